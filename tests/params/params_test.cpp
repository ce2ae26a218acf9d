#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "params/fields.h"
#include "params/params.h"

namespace tv {
namespace {

ParamRecord scrambled() {
    ParamRecord r;
    std::memset(static_cast<void*>(&r), 0x5A, sizeof r);
    return r;
}

TEST(ParamRecord, PrepareLeavesExactlyTheDefaults) {
    ParamRecord r = scrambled();
    StateBlock state{};
    resetAtPrepare(r, &state);
    EXPECT_STREQ(r.settingsName, "Terravane settings");
    EXPECT_EQ(r.stateBlock, &state);
    EXPECT_EQ(r.sampleFactor, 1);
    EXPECT_EQ(r.renderDestination, kDestinationHost);
    EXPECT_EQ(r.pendingRect[0], -1);
    EXPECT_EQ(r.pendingRect[1], -1);
    EXPECT_EQ(r.hostPreviewFlag, 0);
    EXPECT_EQ(r.popupText[2][0], '\0');
    EXPECT_EQ(r.outputMode, kModeNormal);
    EXPECT_EQ(r.randomSeed, 21);
    EXPECT_EQ(r.planetSize, 65);
    EXPECT_EQ(r.spareValue2, 4);
    EXPECT_EQ(r.cloudCoriolis, 100);
    EXPECT_EQ(r.landColor, (Colour16{0x3B1C, 0x42D1, 0x9CC5}));
    EXPECT_EQ(r.cityColor, (Colour16{0x70A3, 0x6147, 0x3333}));
    EXPECT_FLOAT_EQ(r.xCenter, 0.5f);
    EXPECT_FLOAT_EQ(r.axisY, -1.0f);
    // The spare colour is not a default: it keeps what the record held.
    EXPECT_EQ(r.spareColor.red, 0x5A5A);
}

TEST(ParamRecord, LightDefaultIsAUnitVector) {
    ParamRecord r = defaultRecord();
    EXPECT_EQ(r.lightX, -0.68f);
    EXPECT_EQ(r.lightY, -0.68f);
    EXPECT_NEAR(r.lightZ, 0.274226f, 1e-6f);
    const double len = std::sqrt(double(r.lightX) * r.lightX + double(r.lightY) * r.lightY +
                                 double(r.lightZ) * r.lightZ);
    EXPECT_NEAR(len, 1.0, 1e-6);
}

TEST(ParamRecord, SnapshotMovesSettingsButNotCentreOrCloudsOrRuntime) {
    ParamRecord a = defaultRecord();
    setText(a.settingsName, "alpha");
    a.xCenter = 0.1f;
    a.yCenter = 0.2f;
    a.downloadedClouds = 3;
    a.cloudTexture = 77;
    a.airDepth = 12;
    a.randomSeed = 999;
    a.spareColor = {1, 2, 3};
    a.outputMode = kModeMural;
    a.lightZ = 0.5f;

    SettingsSnapshot snap = defaultRecord();
    snap.xCenter = 0.9f;
    snap.downloadedClouds = 7;
    snap.sampleFactor = 4;
    copyToSnapshot(a, snap);
    EXPECT_STREQ(snap.settingsName, "alpha");
    EXPECT_EQ(snap.cloudTexture, 77);
    EXPECT_EQ(snap.airDepth, 12);
    EXPECT_EQ(snap.randomSeed, 999);
    EXPECT_EQ(snap.spareColor, (Colour16{1, 2, 3}));
    EXPECT_EQ(snap.outputMode, kModeMural);
    EXPECT_FLOAT_EQ(snap.lightZ, 0.5f);
    EXPECT_FLOAT_EQ(snap.xCenter, 0.9f);
    EXPECT_EQ(snap.downloadedClouds, 7);
    EXPECT_EQ(snap.sampleFactor, 4);

    ParamRecord b = defaultRecord();
    b.xCenter = 0.3f;
    b.yCenter = 0.4f;
    b.downloadedClouds = 5;
    b.sampleFactor = 2;
    copyFromSnapshot(snap, b);
    EXPECT_EQ(b.cloudTexture, 77);
    EXPECT_STREQ(b.settingsName, "alpha");
    EXPECT_FLOAT_EQ(b.xCenter, 0.3f);
    EXPECT_FLOAT_EQ(b.yCenter, 0.4f);
    EXPECT_EQ(b.downloadedClouds, 5);
    EXPECT_EQ(b.sampleFactor, 2);
}

TEST(ScriptKeys, TableHasFiftyNineUniqueKeysWithTheGlueInPlaceOf0033) {
    auto keys = scriptKeys();
    ASSERT_EQ(keys.size(), 59u);
    std::set<uint32_t> codes;
    std::set<std::string> names;
    for (const auto& k : keys) {
        codes.insert(k.key);
        names.insert(k.name);
    }
    EXPECT_EQ(codes.size(), 59u);
    EXPECT_EQ(names.size(), 59u);
    EXPECT_EQ(codes.count(fourCC("0033")), 0u);
    EXPECT_EQ(keys[24].key, fourCC("24p5"));
    EXPECT_STREQ(keys[24].name, "crater size");
    EXPECT_EQ(keys[33].key, kGlueKey);
    EXPECT_EQ(keys[58].type, fourCC("doub"));
}

TEST(ScriptKeys, ChannelValuesKeepTheHighByteOnly) {
    ParamRecord r = defaultRecord();
    std::string err;
    ASSERT_TRUE(applyScriptingAssignment(r, "land red=255", &err)) << err;
    EXPECT_EQ(r.landColor.red, 0xFF00);
    EXPECT_EQ(getScriptInteger(r, *findScriptKey("land red")), 255);
}

TEST(ScriptKeys, AssignmentsParseEveryValueKindAndRejectBadInput) {
    ParamRecord r = defaultRecord();
    std::string err;
    EXPECT_TRUE(applyScriptingAssignment(r, "planet size=80", &err));
    EXPECT_EQ(r.planetSize, 80);
    EXPECT_TRUE(applyScriptingAssignment(r, "light x=0.25", &err));
    EXPECT_FLOAT_EQ(r.lightX, 0.25f);
    EXPECT_TRUE(applyScriptingAssignment(r, "backlighting=true", &err));
    EXPECT_EQ(r.backlighting, 1);
    EXPECT_TRUE(applyScriptingAssignment(r, "glue=bump w/o ocean", &err));
    EXPECT_EQ(r.outputMode, kModeBumpWithoutOcean);
    EXPECT_TRUE(applyScriptingAssignment(r, "glue=3", &err));
    EXPECT_EQ(r.outputMode, kModeLitMap);

    EXPECT_FALSE(applyScriptingAssignment(r, "planet girth=3", &err));
    EXPECT_NE(err.find("planet girth"), std::string::npos);
    EXPECT_FALSE(applyScriptingAssignment(r, "planet size=big", &err));
    EXPECT_NE(err.find("big"), std::string::npos);
    EXPECT_FALSE(applyScriptingAssignment(r, "glue=15", &err));
    EXPECT_FALSE(applyScriptingAssignment(r, "backlighting=2", &err));
    EXPECT_FALSE(applyScriptingAssignment(r, "land red=256", &err));
    EXPECT_FALSE(applyScriptingAssignment(r, "light x=nan", &err));
    EXPECT_FALSE(applyScriptingAssignment(r, "no equals sign", &err));
    EXPECT_EQ(r.planetSize, 80);
}

TEST(ScriptKeys, OutputModeEnumeratorsRoundTrip) {
    EXPECT_EQ(outputModeEnumerator(1), fourCC("LG01"));
    EXPECT_EQ(outputModeEnumerator(14), fourCC("LG14"));
    EXPECT_EQ(outputModeEnumerator(0), 0u);
    EXPECT_EQ(outputModeEnumerator(15), 0u);
    for (int m = 1; m <= 14; ++m) EXPECT_EQ(outputModeFromEnumerator(outputModeEnumerator(m)), m);
    EXPECT_EQ(outputModeFromEnumerator(fourCC("LG15")), 0);
    EXPECT_STREQ(outputModeName(7), "ocean mask");
}

TEST(RecordFields, NamesCoverEverySetting) {
    EXPECT_EQ(settingsFields().size(), 49u);
    ASSERT_NE(findSettingsField("X center"), nullptr);
    EXPECT_EQ(findSettingsField("settings name")->kind, FieldKind::Text);
    EXPECT_EQ(findSettingsField("land color")->offset, offsetof(ParamRecord, landColor));
    EXPECT_EQ(findSettingsField("nope"), nullptr);
}

}  // namespace
}  // namespace tv
