#include "persist/dice.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/clock.h"

namespace tv::persist {

RandomSource& moduleRandom() {
    static RandomSource source;
    return source;
}

void seedModuleRandom(uint32_t seed) { moduleRandom().seed(seed); }

void seedModuleRandomWithTime() { seedModuleRandom(static_cast<uint32_t>(platform::unixTime())); }

int32_t randomInteger(RandomSource& rng, int32_t lo, int32_t hi) {
    if (lo > hi) std::swap(lo, hi);
    const int64_t d = int64_t(hi) - int64_t(lo);
    int64_t mask = 1;
    if (d >= 2)
        while (mask < d) mask = mask * 2 + 1;
    for (;;) {
        const int64_t r = ((rng.next() >> 4) & mask) + lo;
        if (r <= hi) return static_cast<int32_t>(r);
    }
}

Colour16 randomColour(RandomSource& rng) {
    Colour16 c;
    for (int i = 0; i < 3; ++i) c[i] = static_cast<uint16_t>((rng.next() & 0xFF) * 256);
    return c;
}

Colour16 tintedRandomColour(RandomSource& rng, int32_t k) {
    Colour16 c = randomColour(rng);
    const int32_t luminance = (77 * c.red + 150 * c.green + 28 * c.blue) / 256;
    for (int i = 0; i < 3; ++i)
        c[i] = static_cast<uint16_t>(std::clamp(((256 - k) * c[i] + k * luminance) / 256, 0, 65535));
    return c;
}

void dice(ParamRecord& r, RandomSource& rng) {
    auto random = [&rng](int32_t lo, int32_t hi) { return randomInteger(rng, lo, hi); };
    random(0, 100);  // drawn and dropped
    do {
        r.airDepth = random(0, 100);
        r.airBrightness = random(25, 75);
    } while (r.airBrightness * r.airDepth > 725);

    r.cloudHeight = random(25, 100);
    r.cloudShadows = random(70, 100);
    r.sunset = random(0, 100);
    r.landComplexity = random(40, 70);
    r.spareValue1 = random(0, 30);
    r.stormSize = random(5, 50);
    r.stormCount = random(0, 30);
    r.stormSwirl = random(30, 70);
    r.realClouds = random(0, 1);

    r.landColor = randomColour(rng);
    r.airColor = tintedRandomColour(rng, 192);
    if (random(0, 100) > 90) r.airColor = tintedRandomColour(rng, 128);
    r.seaColor = randomColour(rng);

    r.seaLevel = random(0, 100);
    r.desert = random(30, 70);
    r.craterCount = random(10, 35);
    if (random(0, 100) < 70) r.craterCount = 0;
    r.craterSize = 35;
    if (r.craterCount != 0) r.craterSize = std::clamp(1750 / r.craterCount, 0, 100);

    r.craterTexture = random(30, 60);
    r.cities = random(25, 37);
    r.cloudViscosity = 25;
    r.cloudCoriolis = random(0, 50) + 50;
    r.cloudEdges = random(0, 100);
    r.spareValue2 = random(0, 20);
    r.ice = random(0, 100);
    r.cloudTexture = random(20, 80);

    r.randomSeed = rng.next() & 0x7FF;

    for (int i = 0; i < 3; ++i) r.cloudColor[i] = static_cast<uint16_t>((random(0, 30) + 225) * 255);

    // City lights: a warm colour around (112.2, 96.9, 51.0).
    r.cityColor = tintedRandomColour(rng, 220);
    const double base[3] = {112.2, 96.9, 51.0};
    for (int i = 0; i < 3; ++i) {
        const int32_t a = random(0, 30) + 225;
        const int32_t b = random(0, 30) + 225;
        const long v = std::lround((b + (base[i] - a) * 0.6) * 257.0);
        r.cityColor[i] = static_cast<uint16_t>(std::clamp(v, 0L, 65535L));
    }

    r.cities = 0;
    if (random(0, 100) > 85) r.cities = random(0, 50) + 30;

    r.spareColor = randomColour(rng);
    r.desertColor = tintedRandomColour(rng, 200);
    r.iceColor = tintedRandomColour(rng, 220);

    r.realLuna = 0;
    if (random(0, 100) > 95) r.realLuna = 1;

    r.landTexture = random(10, 60);
    r.cloudCoverage = random(0, 50);
    setText(r.settingsName, "random settings");
}

}  // namespace tv::persist
