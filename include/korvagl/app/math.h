// KorvaGL: math helpers. Angles are degrees; everything works in double.
#pragma once

namespace korva {

inline constexpr double kDegreesToRadians = 0.017453292519943295;
inline constexpr double kRadiansToDegrees = 57.29577951308232;

double Sin(double degrees);
double Cos(double degrees);
double Tan(double degrees);
// These return degrees.
double ASin(double x);
double ACos(double x);
double ATan(double x);
double ATan2(double y, double x);

double Sinh(double x);
double Cosh(double x);
double Tanh(double x);
double Exp(double x);
double Floor(double x);
double Log(double x);
double Log10(double x);
double Ceil(double x);

}  // namespace korva
