#include "params/params.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tv {

void loadDefaults(ParamRecord& r) {
    r.lightX = -0.68f;
    r.lightY = -0.68f;
    // A unit vector: z from the squares of x and y, computed in double.
    const double ly = r.lightY;
    r.lightZ = static_cast<float>(std::sqrt(0.5375999902725219 - ly * ly));
    r.axisX = 0.0f;
    r.axisY = -1.0f;
    r.axisZ = 0.0f;
    r.outputMode = kModeNormal;
    r.randomSeed = 21;
    r.xCenter = 0.5f;
    r.yCenter = 0.5f;
    r.landColor = {0x3B1C, 0x42D1, 0x9CC5};
    r.airColor = {0x6BF0, 0x8311, 0x9CC5};
    r.seaColor = {0x0CD9, 0x1721, 0x47F5};
    r.desertColor = {0xE3E3, 0xC8C8, 0x9191};
    r.iceColor = {0xE1E1, 0xE3E3, 0xEFEF};
    r.cloudColor = {0xFFFF, 0xFFFF, 0xFFFF};
    r.cityColor = {0x70A3, 0x6147, 0x3333};
    r.airDepth = 33;
    r.cloudHeight = 50;
    r.cloudShadows = 80;
    r.sunset = 80;
    r.planetSize = 65;
    r.landComplexity = 57;
    r.spareValue1 = 0;
    r.stormSize = 30;
    r.stormCount = 4;
    r.stormSwirl = 50;
    r.airBrightness = 33;
    r.realClouds = 0;
    r.backlighting = 0;
    r.realLuna = 0;
    r.seaLevel = 50;
    r.desert = 50;
    r.craterCount = 40;
    r.craterSize = 50;
    r.craterTexture = 50;
    r.landTexture = 50;
    r.cloudCoverage = 50;
    r.cloudEdges = 50;
    r.spareValue2 = 4;
    r.cities = 0;
    r.cloudViscosity = 57;
    r.cloudCoriolis = 100;
    r.lunarClimate = 0;
    r.ice = 20;
    r.cloudTexture = 50;
    r.downloadedClouds = 0;
}

void setText(char (&field)[kTextLength], const char* text) {
    const size_t n = text ? std::min(std::strlen(text), static_cast<size_t>(kTextLength - 1)) : 0;
    if (n) std::memmove(field, text, n);
    field[n] = '\0';
}

void resetAtPrepare(ParamRecord& r, StateBlock* state) {
    r.hostPreviewFlag = 0;
    r.hostPreviewDisabled = 0;
    r.fullRenderFlag = 0;
    r.stateBlock = state;
    r.sampleFactor = 1;
    r.renderDestination = kDestinationHost;
    r.pendingRect[0] = -1;
    r.pendingRect[1] = -1;
    r.outputMode = kModeNormal;
    for (auto& slot : r.popupText) slot[0] = '\0';
    setText(r.settingsName, "Terravane settings");
    loadDefaults(r);
}

namespace {

// The contiguous run of scalars a snapshot moves: airDepth .. cloudTexture.
constexpr size_t kScalarsBegin = offsetof(ParamRecord, airDepth);
constexpr size_t kScalarsEnd = offsetof(ParamRecord, cloudTexture) + sizeof(int32_t);
static_assert(offsetof(ParamRecord, downloadedClouds) == kScalarsEnd, "downloaded clouds stays outside the run");

void copySettings(const ParamRecord& from, ParamRecord& to) {
    std::memcpy(to.settingsName, from.settingsName, sizeof to.settingsName);
    to.landColor = from.landColor;
    to.airColor = from.airColor;
    to.seaColor = from.seaColor;
    to.desertColor = from.desertColor;
    to.iceColor = from.iceColor;
    to.cloudColor = from.cloudColor;
    to.cityColor = from.cityColor;
    to.spareColor = from.spareColor;
    std::memcpy(reinterpret_cast<char*>(&to) + kScalarsBegin,
                reinterpret_cast<const char*>(&from) + kScalarsBegin, kScalarsEnd - kScalarsBegin);
    to.randomSeed = from.randomSeed;
    to.lightX = from.lightX;
    to.lightY = from.lightY;
    to.lightZ = from.lightZ;
    to.axisX = from.axisX;
    to.axisY = from.axisY;
    to.axisZ = from.axisZ;
    to.outputMode = from.outputMode;
}

}  // namespace

void copyToSnapshot(const ParamRecord& record, SettingsSnapshot& snapshot) {
    copySettings(record, snapshot);
}

void copyFromSnapshot(const SettingsSnapshot& snapshot, ParamRecord& record) {
    copySettings(snapshot, record);
}

ParamRecord defaultRecord() {
    ParamRecord r{};
    resetAtPrepare(r, nullptr);
    r.lastCloudImage = -1;
    return r;
}

int32_t workBufferSize(int32_t a, int32_t b) {
    const int32_t n = std::max(2 * (std::max(a, b) + 4), 3 * a + 2184);
    return 128 * n;
}

}  // namespace tv
