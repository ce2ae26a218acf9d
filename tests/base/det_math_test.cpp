// The engine's own transcendental functions: the float forms are correctly
// rounded (checked against the double functions of the C library, rounded
// once), the double forms within one unit in the last place of the extended
// precision ones. (That they give the same bytes on Windows is what the Wine
// checks show.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/det_math.h"

namespace tv {
namespace {

TEST(DetMath, FloatFormsAreCorrectlyRoundedAndDoubleFormsWithinAnUlp) {
    struct Case {
        const char* name;
        double lo, hi;
        float (*ours)(float);
        double (*reference)(double);
        double (*oursDouble)(double);
        long double (*extended)(long double);
    };
    const Case cases[] = {
        {"log", 1e-6, 1e6, [](float x) { return dmath::log(x); }, [](double x) { return std::log(x); },
         [](double x) { return dmath::log(x); }, [](long double x) { return logl(x); }},
        {"log2", 1e-6, 1e6, [](float x) { return dmath::log2(x); }, [](double x) { return std::log2(x); },
         [](double x) { return dmath::log2(x); }, [](long double x) { return log2l(x); }},
        {"sin", -40, 40, [](float x) { return dmath::sin(x); }, [](double x) { return std::sin(x); },
         [](double x) { return dmath::sin(x); }, [](long double x) { return sinl(x); }},
        {"cos", -40, 40, [](float x) { return dmath::cos(x); }, [](double x) { return std::cos(x); },
         [](double x) { return dmath::cos(x); }, [](long double x) { return cosl(x); }},
        {"acos", -1, 1, [](float x) { return dmath::acos(x); }, [](double x) { return std::acos(x); },
         [](double x) { return dmath::acos(x); }, [](long double x) { return acosl(x); }},
    };
    for (const Case& c : cases) {
        int wrong = 0;
        double worst = 0.0;
        for (int i = 0; i <= 200000; ++i) {
            const double t = double(i) / 200000.0;
            const double x = c.name[0] == 'l' ? c.lo * std::pow(c.hi / c.lo, t) : c.lo + (c.hi - c.lo) * t;
            const float xf = float(x);
            if (c.ours(xf) != float(c.reference(double(xf)))) ++wrong;
            const long double exact = c.extended((long double)x);
            const double ulp = std::nextafter(std::fabs(double(exact)), INFINITY) - std::fabs(double(exact));
            if (ulp > 0) worst = std::max(worst, double(std::fabs((long double)c.oursDouble(x) - exact) / ulp));
        }
        EXPECT_EQ(wrong, 0) << c.name;
        EXPECT_LT(worst, 1.5) << c.name;
    }
    EXPECT_EQ(dmath::sin(0.0), 0.0);
    EXPECT_EQ(dmath::cos(0.0), 1.0);
    EXPECT_EQ(dmath::log(1.0), 0.0);
    EXPECT_EQ(dmath::log2(1024.0), 10.0);
    EXPECT_TRUE(std::isnan(dmath::acos(1.5)));
    EXPECT_TRUE(std::isinf(dmath::log(0.0)));
    EXPECT_TRUE(std::isnan(dmath::sin(INFINITY)));
}

}  // namespace
}  // namespace tv
