// The built-in relief images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "synth/relief_images.h"

namespace tv {
namespace {

TEST(ReliefImages, KnownIdsOnlyWithTheirSizes) {
    ReliefImage image;
    for (int32_t id : {146, 148, 149, 150}) {
        ASSERT_TRUE(findReliefImage(id, image)) << id;
        EXPECT_EQ(image.width, 384);
        EXPECT_EQ(image.height, 384);
        EXPECT_NE(image.pixels, nullptr);
    }
    ASSERT_TRUE(findReliefImage(151, image));
    EXPECT_EQ(image.width, 512);
    EXPECT_EQ(image.height, 512);
    for (int32_t id : {0, 145, 147, 152, -151}) {
        EXPECT_FALSE(findReliefImage(id, image)) << id;
        EXPECT_EQ(image.pixels, nullptr);
    }
}

TEST(ReliefImages, CraterFieldsLieInsideTheInscribedCircleAroundNoRelief) {
    const uint8_t* previous = nullptr;
    for (int32_t id : {146, 148, 149, 150}) {
        ReliefImage image;
        ASSERT_TRUE(findReliefImage(id, image));
        int below = 0, above = 0, inside = 0;
        double sum = 0;
        for (int y = 0; y < 384; ++y)
            for (int x = 0; x < 384; ++x) {
                const double dx = x + 0.5 - 192, dy = y + 0.5 - 192;
                const int v = image.pixels[y * 384 + x];
                if (dx * dx + dy * dy >= 192.0 * 192.0) {
                    ASSERT_EQ(v, 128) << id << " at " << x << "," << y;
                    continue;
                }
                ++inside;
                sum += v;
                below += v < 100;
                above += v > 150;
            }
        // Bowls below 128 and rims above it, centred on 128.
        EXPECT_GT(below, inside / 50) << id;
        EXPECT_GT(above, inside / 200) << id;
        EXPECT_NEAR(sum / inside, 128.0, 6.0) << id;
        // The circle's edge fades to 128 (no step where the field ends).
        for (int x = 0; x < 384; ++x) {
            const double dx = x + 0.5 - 192, dy = 2.5 - 192;
            if (dx * dx + dy * dy < 192.0 * 192.0) {
                EXPECT_NEAR(image.pixels[2 * 384 + x], 128, 2) << id;
            }
        }
        if (previous) {
            EXPECT_NE(std::memcmp(previous, image.pixels, 384 * 384), 0);
        }
        previous = image.pixels;
    }
}

TEST(ReliefImages, MoonHasDarkMariaBrightHighlandsAndASmearedOutside) {
    ReliefImage image;
    ASSERT_TRUE(findReliefImage(151, image));
    // Stored turned by 180 degrees: the view a user sees is the reversed bytes.
    auto view = [&](int x, int y) { return static_cast<int>(image.pixels[(511 - y) * 512 + (511 - x)]); };
    auto meanAround = [&](double latDeg, double lonDeg) {
        const double lat = latDeg * M_PI / 180, lon = lonDeg * M_PI / 180;
        const int cx = static_cast<int>(256 + 256 * std::cos(lat) * std::sin(lon));
        const int cy = static_cast<int>(256 - 256 * std::sin(lat));
        double s = 0;
        for (int y = cy - 4; y <= cy + 4; ++y)
            for (int x = cx - 4; x <= cx + 4; ++x) s += view(x, y);
        return s / 81;
    };
    // Mare Imbrium and Tranquillitatis are low; the southern highlands high.
    const double highlands = meanAround(-30, 15);
    EXPECT_LT(meanAround(33, -16), highlands - 30);
    EXPECT_LT(meanAround(9, 29), highlands - 30);
    EXPECT_GT(highlands, 140);
    // Outside the disc each pixel repeats the limb along its radius: the
    // corners match the disc's edge on the diagonal.
    const double d = 256 / std::sqrt(2.0);
    const int ex = static_cast<int>(256 - d + 3), ey = static_cast<int>(256 - d + 3);
    EXPECT_NEAR(view(0, 0), view(ex, ey), 25);
    EXPECT_EQ(view(0, 0), view(1, 1));
}

}  // namespace
}  // namespace tv
