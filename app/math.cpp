#include "korvagl/app/math.h"

#include <cmath>

namespace korva {

double Sin(double degrees) { return std::sin(degrees * kDegreesToRadians); }
double Cos(double degrees) { return std::cos(degrees * kDegreesToRadians); }
double Tan(double degrees) { return std::tan(degrees * kDegreesToRadians); }
double ASin(double x) { return std::asin(x) * kRadiansToDegrees; }
double ACos(double x) { return std::acos(x) * kRadiansToDegrees; }
double ATan(double x) { return std::atan(x) * kRadiansToDegrees; }
double ATan2(double y, double x) { return std::atan2(y, x) * kRadiansToDegrees; }

double Sinh(double x) { return std::sinh(x); }
double Cosh(double x) { return std::cosh(x); }
double Tanh(double x) { return std::tanh(x); }
double Exp(double x) { return std::exp(x); }
double Floor(double x) { return std::floor(x); }
double Log(double x) { return std::log(x); }
double Log10(double x) { return std::log10(x); }
double Ceil(double x) { return std::ceil(x); }

}  // namespace korva
