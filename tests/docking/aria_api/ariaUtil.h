// Stand-in for the kind of code ARIA 2.9.1's own headers carry (its
// ariaUtil.h and friends), which our warning flags reject:
// misleading indentation, unused parameters, implicit copies the language
// has deprecated, std::binary_function. A program includes it through
// Aria.h, as with ARIA; with -Wall -Wextra -Werror it compiles only when the
// directory is included as a system header directory. The names are not
// ARIA's API and nothing may use them.
#pragma once

#include <functional>
#include <string>
#include <strings.h>

// Misleading indentation, as at ariaUtil.h:2360.
inline int ArStandinClamp(int value, int low)
{
  if (value < low)
    value = low;
    return value;
}

// Unused parameters in inline virtual functions.
class ArStandinCallbacks
{
public:
  virtual ~ArStandinCallbacks() {}
  virtual void setName(const char *name) {}
  virtual bool check(int level, bool verbose) { return true; }
};

// A user-written copy constructor and an implicit, deprecated copy
// assignment.
class ArStandinPose
{
public:
  ArStandinPose(double x = 0, double y = 0) : myX(x), myY(y) {}
  ArStandinPose(const ArStandinPose &pose) : myX(pose.myX), myY(pose.myY) {}
  double getX(void) const { return myX; }
  double getY(void) const { return myY; }

protected:
  double myX;
  double myY;
};

inline ArStandinPose ArStandinMidpoint(const ArStandinPose &a, const ArStandinPose &b)
{
  ArStandinPose mid;
  mid = ArStandinPose((a.getX() + b.getX()) / 2, (a.getY() + b.getY()) / 2);
  return mid;
}

// std::binary_function, deprecated since C++11.
struct ArStandinStrCaseCmpOp : public std::binary_function<const std::string &, const std::string &, bool>
{
  bool operator()(const std::string &s1, const std::string &s2) const
  {
    return strcasecmp(s1.c_str(), s2.c_str()) < 0;
  }
};
