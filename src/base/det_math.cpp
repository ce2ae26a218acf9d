#include "base/det_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tv::dmath {

namespace {

constexpr double kLn2Hi = 6.93147180369123816490e-01;  // ln 2, upper 32 bits
constexpr double kLn2Lo = 1.90821492927058770002e-10;  // ln 2 - kLn2Hi
constexpr double kInvLn2 = 1.44269504088896338700e+00;  // the double nearest to 1/ln 2
constexpr double kPi = 3.14159265358979311600e+00;
constexpr double kHalfPi = 1.57079632679489655800e+00;
// pi/2 in three parts of 33 bits: n * each part is exact for |n| < 2^20.
constexpr double kHalfPi1 = 1.5707963267341256;
constexpr double kHalfPi2 = 6.077100506303966e-11;
constexpr double kHalfPi3 = 2.0222662487959506e-21;
constexpr double kTwoPi = 6.28318530717958647692e+00;

uint64_t bitsOf(double x) {
    uint64_t b;
    std::memcpy(&b, &x, 8);
    return b;
}
double fromBits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, 8);
    return x;
}

// For m in [sqrt(1/2), sqrt(2)): f = m - 1, s = f / (2 + f) (|s| < 0.1716) and
// ln(m) = f - (hfsq - s (hfsq + R)) with hfsq = f^2 / 2 and
// R = 2/3 s^2 + 2/5 s^4 + ... (to s^24, error below 1e-20).
struct LogParts {
    double f, hfsq, tail;  // tail = s (hfsq + R)
};
LogParts logParts(double m) {
    LogParts p;
    p.f = m - 1.0;
    const double s = p.f / (2.0 + p.f);
    const double s2 = s * s;
    double r = 2.0 / 25.0;
    for (int k = 23; k >= 3; k -= 2) r = r * s2 + 2.0 / double(k);
    r *= s2;
    p.hfsq = 0.5 * p.f * p.f;
    p.tail = s * (p.hfsq + r);
    return p;
}

// x = 2^k m with m in [sqrt(1/2), sqrt(2)); x finite and > 0.
double split(double x, int& k) {
    uint64_t b = bitsOf(x);
    k = 0;
    if ((b >> 52) == 0) {  // subnormal
        x *= 18014398509481984.0;  // 2^54
        b = bitsOf(x);
        k = -54;
    }
    k += int(b >> 52) - 1023;
    double m = fromBits((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > 1.41421356237309504880) {
        m *= 0.5;
        ++k;
    }
    return m;
}

// sin and cos of hi + lo (|hi| <= pi/4 about, |lo| tiny) by their Taylor
// series to r^21 and r^20 (truncation error below 1e-23), arranged so that
// the leading term is added last.
double factorialInverse(int n) {
    double f = 1.0;
    for (int k = 2; k <= n; ++k) f *= double(k);
    return 1.0 / f;
}

double sinKernel(double hi, double lo) {
    static const struct Coefficients {
        double s[11];  // s[k]: (-1)^k / (2k+1)!
        Coefficients() {
            for (int k = 0; k < 11; ++k) s[k] = (k % 2 ? -1.0 : 1.0) * factorialInverse(2 * k + 1);
        }
    } c;
    const double z = hi * hi;
    double p = c.s[10];
    for (int k = 9; k >= 2; --k) p = p * z + c.s[k];
    // sin(hi + lo) = hi + hi z (s1 + z p) + lo (1 - z / 2).
    const double v = z * hi;
    return hi - ((z * (0.5 * lo - v * p) - lo) - v * c.s[1]);
}

double cosKernel(double hi, double lo) {
    static const struct Coefficients {
        double c[11];  // c[k]: (-1)^k / (2k)!
        Coefficients() {
            for (int k = 0; k < 11; ++k) c[k] = (k % 2 ? -1.0 : 1.0) * factorialInverse(2 * k);
        }
    } c;
    const double z = hi * hi;
    double p = c.c[10];
    for (int k = 9; k >= 2; --k) p = p * z + c.c[k];
    // cos(hi + lo) = 1 - z / 2 + z^2 p - hi lo, with 1 - z / 2 split so that
    // its rounding error is kept.
    const double r = z * z * p;
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (r - hi * lo));
}

// x = n pi/2 + (hi + lo) with |hi| <= pi/4 (about); n mod 4 in quadrant.
// n p1 and n p2 are exact (n < 2^20, p1 and p2 of 33 bits) and x - n p1 is
// exact (Sterbenz), so the remainder keeps about 100 bits of pi/2.
void reduce(double x, int& quadrant, double& hi, double& lo) {
    if (!(std::fabs(x) < 1048576.0)) x = std::fmod(x, kTwoPi);  // exact, of the double 2 pi
    const double n = std::nearbyint(x * (2.0 / kPi));
    const double t = x - n * kHalfPi1;
    const double y = n * kHalfPi2;
    const double r = t - y;
    const double tail = ((t - r) - y) - n * kHalfPi3;
    hi = r + tail;
    lo = tail - (hi - r);
    quadrant = int(int64_t(n) & 3);
}

// asin(x) for |x| <= 0.5: the series x + x^3/6 + 3x^5/40 + ... to x^61.
double asinKernel(double x) {
    const double x2 = x * x;
    // Coefficients c_n of x^(2n+1): c_0 = 1, c_{n+1} = c_n (2n+1)^2 / ((2n+2)(2n+3)).
    static const struct Table {
        double c[31];
        Table() {
            c[0] = 1.0;
            for (int n = 0; n < 30; ++n) c[n + 1] = c[n] * double((2 * n + 1) * (2 * n + 1)) / double((2 * n + 2) * (2 * n + 3));
        }
    } table;
    double p = table.c[30];
    for (int n = 29; n >= 1; --n) p = p * x2 + table.c[n];
    return x + x * (x2 * p);
}

}  // namespace

double log(double x) {
    if (!(x > 0.0)) return x == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    if (x == std::numeric_limits<double>::infinity()) return x;
    int k;
    const LogParts p = logParts(split(x, k));
    const double dk = double(k);
    return dk * kLn2Hi - ((p.hfsq - (p.tail + dk * kLn2Lo)) - p.f);
}

double log2(double x) {
    if (!(x > 0.0)) return x == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    if (x == std::numeric_limits<double>::infinity()) return x;
    int k;
    const LogParts p = logParts(split(x, k));
    // ln(m) = hi + lo with hi cut to 20 significant bits, so that hi times the
    // upper part of 1/ln 2 (33 bits) is exact.
    const double hi = fromBits(bitsOf(p.f - p.hfsq) & 0xFFFFFFFF00000000ull);
    const double lo = (p.f - hi) - p.hfsq + p.tail;
    static const double invLn2Hi = fromBits(bitsOf(kInvLn2) & 0xFFFFFFFF00000000ull);
    // 1/ln 2 beyond the double nearest to it: 2.0355273740931033e-17.
    static const double invLn2Lo = (kInvLn2 - invLn2Hi) + 2.0355273740931033e-17;
    double valueHi = hi * invLn2Hi;
    double valueLo = (lo + hi) * invLn2Lo + lo * invLn2Hi;
    const double y = double(k);
    const double w = y + valueHi;
    valueLo += (y - w) + valueHi;
    valueHi = w;
    return valueLo + valueHi;
}

double sin(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    int q;
    double hi, lo;
    reduce(x, q, hi, lo);
    switch (q) {
        case 0: return sinKernel(hi, lo);
        case 1: return cosKernel(hi, lo);
        case 2: return -sinKernel(hi, lo);
        default: return -cosKernel(hi, lo);
    }
}

double cos(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    int q;
    double hi, lo;
    reduce(x, q, hi, lo);
    switch (q) {
        case 0: return cosKernel(hi, lo);
        case 1: return -sinKernel(hi, lo);
        case 2: return -cosKernel(hi, lo);
        default: return sinKernel(hi, lo);
    }
}

double asin(double x) {
    const double a = std::fabs(x);
    if (!(a <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
    if (a <= 0.5) return asinKernel(x);
    // asin(a) = pi/2 - 2 asin(sqrt((1 - a) / 2)).
    const double r = kHalfPi - 2.0 * asinKernel(std::sqrt((1.0 - a) * 0.5));
    return x < 0 ? -r : r;
}

double acos(double x) {
    const double a = std::fabs(x);
    if (!(a <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
    if (a <= 0.5) return kHalfPi - asinKernel(x);
    const double t = 2.0 * asinKernel(std::sqrt((1.0 - a) * 0.5));
    return x > 0 ? t : kPi - t;
}

}  // namespace tv::dmath
