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

// A functor with a result; invoke() calls invokeR() and drops the result.
template <class Ret>
class ArRetFunctor : public ArFunctor
{
public:
  virtual ~ArRetFunctor() {}
  virtual void invoke(void) { invokeR(); }
  virtual Ret invokeR(void) = 0;
};

// A functor with a result and one argument. invokeR() without an argument
// uses the argument stored in the functor.
template <class Ret, class P1>
class ArRetFunctor1 : public ArRetFunctor<Ret>
{
public:
  virtual ~ArRetFunctor1() {}
  virtual Ret invokeR(void) = 0;
  virtual Ret invokeR(P1 p1) = 0;
};

// Calls a plain function of one argument and returns its result.
template <class Ret, class P1>
class ArGlobalRetFunctor1 : public ArRetFunctor1<Ret, P1>
{
public:
  ArGlobalRetFunctor1() : myFunc(0), myP1() {}
  ArGlobalRetFunctor1(Ret (*func)(P1)) : myFunc(func), myP1() {}
  ArGlobalRetFunctor1(Ret (*func)(P1), P1 p1) : myFunc(func), myP1(p1) {}
  virtual ~ArGlobalRetFunctor1() {}
  virtual Ret invokeR(void) { return (*myFunc)(myP1); }
  virtual Ret invokeR(P1 p1) { return (*myFunc)(p1); }
  virtual void setP1(P1 p1) { myP1 = p1; }

protected:
  Ret (*myFunc)(P1);
  P1 myP1;
};

// Calls a member function of one argument on an object and returns its result.
template <class Ret, class T, class P1>
class ArRetFunctor1C : public ArRetFunctor1<Ret, P1>
{
public:
  ArRetFunctor1C() : myObj(0), myFunc(0), myP1() {}
  ArRetFunctor1C(T &obj, Ret (T::*func)(P1)) : myObj(&obj), myFunc(func), myP1() {}
  ArRetFunctor1C(T &obj, Ret (T::*func)(P1), P1 p1) : myObj(&obj), myFunc(func), myP1(p1) {}
  ArRetFunctor1C(T *obj, Ret (T::*func)(P1)) : myObj(obj), myFunc(func), myP1() {}
  ArRetFunctor1C(T *obj, Ret (T::*func)(P1), P1 p1) : myObj(obj), myFunc(func), myP1(p1) {}
  virtual ~ArRetFunctor1C() {}
  virtual Ret invokeR(void) { return (myObj->*myFunc)(myP1); }
  virtual Ret invokeR(P1 p1) { return (myObj->*myFunc)(p1); }
  virtual void setThis(T *obj) { myObj = obj; }
  virtual void setThis(T &obj) { myObj = &obj; }
  virtual void setP1(P1 p1) { myP1 = p1; }

protected:
  T *myObj;
  Ret (T::*myFunc)(P1);
  P1 myP1;
};
