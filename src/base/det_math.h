// Transcendental functions with the same result on every system: the C
// libraries' own (glibc on Linux, msvcrt or Wine's on Windows) differ in the
// last bit for some arguments, which moves a rare pixel by one. These use only
// IEEE additions, multiplications, divisions and square roots (exact on every
// system without fused multiply-add), in double precision; the float forms
// round the double result once, which makes them correctly rounded except
// within about 1e-16 of a rounding boundary. They are for the engine's
// arguments, which are modest: sin and cos reduce exactly up to 2^20 radians
// and through fmod (also exact) beyond.
#pragma once

namespace tv::dmath {

double log(double x);   // natural logarithm; -inf at 0, NaN below
double log2(double x);
double sin(double x);
double cos(double x);
double asin(double x);  // NaN outside [-1, 1]
double acos(double x);

inline float log(float x) { return float(log(double(x))); }
inline float log2(float x) { return float(log2(double(x))); }
inline float sin(float x) { return float(sin(double(x))); }
inline float cos(float x) { return float(cos(double(x))); }
inline float acos(float x) { return float(acos(double(x))); }

}  // namespace tv::dmath
