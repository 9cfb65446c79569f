// Callback objects, as ARIA 2.x declares them (the part programs use).
#pragma once

// A callable object with no arguments and no result.
class ArFunctor
{
public:
  virtual ~ArFunctor() {}
  // Calls the function held by the functor.
  virtual void invoke(void) = 0;
};

// Calls a plain function of no arguments.
class ArGlobalFunctor : public ArFunctor
{
public:
  ArGlobalFunctor(void) : myFunc(0) {}
  ArGlobalFunctor(void (*func)(void)) : myFunc(func) {}
  virtual ~ArGlobalFunctor() {}
  virtual void invoke(void) { if (myFunc != 0) (*myFunc)(); }

protected:
  void (*myFunc)(void);
};
