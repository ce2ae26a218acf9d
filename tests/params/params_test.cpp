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

TEST(ParamRecord, PrepareLeavesTheDefaultsAndResetsTheRunFields) {
    ParamRecord r = scrambled();
    StateBlock state{};
    resetAtPrepare(r, &state);
    ParamRecord defaults = defaultRecord();
    setText(defaults.settingsName, "Terravane settings");
    for (const RecordField& f : settingsFields()) {
        if (f.kind == FieldKind::Text) continue;
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&r) + f.offset,
                              reinterpret_cast<const char*>(&defaults) + f.offset,
                              f.kind == FieldKind::Colour ? sizeof(Colour16) : 4) == 0,
                  std::string(f.name) != "spare color")  // the spare colour keeps what the record held
            << f.name;
    }
    EXPECT_STREQ(r.settingsName, "Terravane settings");
    EXPECT_TRUE(r.stateBlock == &state && r.sampleFactor == 1 && r.renderDestination == kDestinationHost);
    EXPECT_TRUE(r.pendingRect[0] == -1 && r.hostPreviewFlag == 0 && r.popupText[2][0] == '\0');
    EXPECT_EQ(r.landColor, (Colour16{0x3B1C, 0x42D1, 0x9CC5}));
    EXPECT_NEAR(double(r.lightX) * r.lightX + double(r.lightY) * r.lightY + double(r.lightZ) * r.lightZ, 1.0, 1e-6);
}

TEST(ParamRecord, SnapshotMovesSettingsButNotCentreOrCloudsOrRuntime) {
    ParamRecord a = defaultRecord();
    setText(a.settingsName, "alpha");
    a.xCenter = 0.1f;
    a.downloadedClouds = 3;
    a.cloudTexture = 77;
    a.spareColor = {1, 2, 3};
    a.outputMode = kModeMural;
    SettingsSnapshot snap = defaultRecord();
    snap.xCenter = 0.9f;
    snap.downloadedClouds = 7;
    snap.sampleFactor = 4;
    copyToSnapshot(a, snap);
    EXPECT_STREQ(snap.settingsName, "alpha");
    EXPECT_TRUE(snap.cloudTexture == 77 && snap.spareColor == (Colour16{1, 2, 3}) && snap.outputMode == kModeMural);
    EXPECT_TRUE(snap.xCenter == 0.9f && snap.downloadedClouds == 7 && snap.sampleFactor == 4);
    ParamRecord b = defaultRecord();
    b.yCenter = 0.4f;
    b.downloadedClouds = 5;
    b.sampleFactor = 2;
    copyFromSnapshot(snap, b);
    EXPECT_TRUE(b.cloudTexture == 77 && b.yCenter == 0.4f && b.downloadedClouds == 5 && b.sampleFactor == 2);
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
    EXPECT_TRUE(applyScriptingAssignment(r, "land red=255", &err));  // a channel keeps the high byte only
    EXPECT_EQ(r.landColor.red, 0xFF00);
    EXPECT_EQ(getScriptInteger(r, *findScriptKey("land red")), 255);

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

}  // namespace
}  // namespace tv
