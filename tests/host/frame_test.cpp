// Parts of the frame that a run through the command-line host cannot reach:
// the about box (re-entered while open), the preview set-up (driven by the
// dialog) and the settings-file mode of the shared settings writer.
#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include <vector>

#include "params/fields.h"
#include "host/pi/resources.h"
#include "host/plugin.h"
#include "params/settings_writer.h"
#include "host/transfer.h"

namespace tv {
namespace {

int gAboutShown = 0;

int aboutThatAsksAgain(void*) {
    ++gAboutShown;
    // A second about request while the box is open returns at once.
    pi::AboutRecord about{};
    int16_t result = 99;
    pi::intptr data = 0;
    pluginMain(pi::kSelectorAbout, &about, &data, &result);
    EXPECT_EQ(result, 99);  // untouched
    return 1;
}

TEST(Frame, SecondAboutRequestReturnsAtOnce) {
    FrameDialogs dialogs;
    dialogs.runAboutBox = aboutThatAsksAgain;
    setFrameDialogs(dialogs);
    pi::AboutRecord about{};
    int16_t result = 0;
    pi::intptr data = 0;
    pluginMain(pi::kSelectorAbout, &about, &data, &result);
    EXPECT_EQ(gAboutShown, 1);
    EXPECT_EQ(result, 0);
    // Closed again: the next request shows it.
    pluginMain(pi::kSelectorAbout, &about, &data, &result);
    EXPECT_EQ(gAboutShown, 2);
    setFrameDialogs(FrameDialogs{});
}

// A host whose new handles hold whatever was in memory before.
struct DirtyHandle {
    std::vector<char> bytes;
};
pi::Handle newDirty(pi::int32 size) {
    return reinterpret_cast<pi::Handle>(new DirtyHandle{std::vector<char>(size_t(size), char(0xA5))});
}
void disposeDirty(pi::Handle h) { delete reinterpret_cast<DirtyHandle*>(h); }
pi::Ptr lockDirty(pi::Handle h, pi::Boolean) { return reinterpret_cast<DirtyHandle*>(h)->bytes.data(); }
void unlockDirty(pi::Handle) {}

TEST(Frame, BlocksTheModuleAllocatesStartZeroed) {
    pi::HandleProcs procs{pi::kCurrentHandleProcsVersion, pi::kCurrentHandleProcsCount, newDirty, disposeDirty,
                          nullptr, nullptr, lockDirty, unlockDirty, nullptr, disposeDirty};
    pi::FilterRecord record{};
    record.handleProcs = &procs;
    pi::intptr data = 0;
    int16_t result = 0;
    pluginMain(pi::kSelectorParameters, &record, &data, &result);
    ASSERT_EQ(result, 0);
    ASSERT_NE(record.parameters, nullptr);
    ASSERT_NE(data, 0);
    const auto* state = reinterpret_cast<const StateBlock*>(lockDirty(reinterpret_cast<pi::Handle>(data), 0));
    const auto* params = reinterpret_cast<const ParamRecord*>(lockDirty(record.parameters, 0));
    EXPECT_EQ(state->working, nullptr);
    EXPECT_EQ(state->thumbnail, nullptr);
    EXPECT_EQ(state->showDialog, 1);
    EXPECT_EQ(params->stateBlock, nullptr);
    EXPECT_EQ(params->settingsName[0], 0);
    // A second step locks the same blocks and follows no stray pointer.
    pluginMain(pi::kSelectorParameters, &record, &data, &result);
    EXPECT_EQ(result, 0);
    disposeDirty(record.parameters);
    disposeDirty(reinterpret_cast<pi::Handle>(data));
}

pi::OSErr advance() { return 0; }
pi::OSErr display(const pi::PSPixelMap*, const pi::VRect*, pi::int32, pi::int32, void*) { return 0; }

struct PreviewFixture {
    pi::FilterRecord record{};
    ParamRecord params = defaultRecord();
    StateBlock state{};
    HostTransfer transfer;
    RenderTarget target;
    PreviewFixture() {
        record.planes = 3;
        record.imageMode = pi::kModeRGBColor;
        record.depth = 8;
        record.filterRect = {0, 0, 900, 1200};
        record.advanceState = advance;
        record.displayPixels = display;
        record.samplingSupport = 1;
        transfer.record = &record;
        transfer.params = &params;
        transfer.state = &state;
        transfer.paneWidth = 388;
        transfer.paneHeight = 218;
    }
};

TEST(Frame, PreviewFactorNeedsSamplingSupport) {
    PreviewFixture f;
    f.params.sampleFactor = 4;
    EXPECT_EQ(previewSetUp(f.transfer, 4, f.target), 4);
    EXPECT_EQ(f.record.inputRate, 4 << 16);
    EXPECT_EQ(f.state.renderRect, (Rect{0, 0, 218, 300}));  // 1200 / 4 wide, cut to the pane's height

    PreviewFixture g;
    g.record.samplingSupport = 0;
    g.params.sampleFactor = 4;
    EXPECT_EQ(previewSetUp(g.transfer, 4, g.target), 1);
    EXPECT_EQ(g.params.sampleFactor, 1);
    EXPECT_EQ(g.record.inputRate, 1 << 16);
    EXPECT_EQ(g.state.renderRect, (Rect{0, 0, 218, 388}));

    PreviewFixture h;
    h.record.displayPixels = nullptr;
    EXPECT_EQ(previewSetUp(h.transfer, 3, h.target), 1);
}

TEST(Frame, PhotoshopEightPreviewIsMovedByThePanOrigin) {
    PreviewFixture f;
    f.record.hostSig = pi::kHostPhotoshop8;
    f.record.filterRect = {100, 200, 900, 1200};
    f.params.previewOriginX = 40;
    f.params.previewOriginY = 20;
    previewSetUp(f.transfer, 2, f.target);
    // (100, 200, 450, 600) / 2 cut to the pane, moved to the origin, shifted by the pan / 2.
    EXPECT_EQ(f.state.renderRect, (Rect{10, 20, 10 + 218, 20 + 388}));
}

TEST(Frame, RenderGeometryCountsPixelsWithoutOverflow) {
    StateBlock s{};
    storeRenderGeometry(s, Rect{10, 20, 110, 320});
    EXPECT_EQ(s.renderPixels, 30000);
    EXPECT_EQ(s.areaLastColumn, 319);
    // A big document's area: the count stays the largest word, never negative.
    storeRenderGeometry(s, Rect{0, 0, 60000, 50000});
    EXPECT_EQ(s.renderWidth, 50000);
    EXPECT_EQ(s.renderPixels, INT32_MAX);
}

struct Words : SettingsOutput {
    std::vector<int32_t> words;
    int keys = 0;
    void word(int32_t w) override { words.push_back(w); }
    void putInteger(const ScriptKey&, int32_t) override { ++keys; }
    void putBoolean(const ScriptKey&, bool) override { ++keys; }
    void putFloat(const ScriptKey&, double) override { ++keys; }
    void putEnumerated(const ScriptKey&, uint32_t, uint32_t) override { ++keys; }
};

TEST(Frame, SettingsWriterSaturatesVectorsOutsideTheWordRange) {
    // A descriptor or --set may put any float into the record; its word must
    // still be defined.
    ParamRecord r = defaultRecord();
    r.lightX = 3.0e9f;
    r.lightY = -3.0e9f;
    r.lightZ = std::numeric_limits<float>::quiet_NaN();
    r.yCenter = 1.0e6f;
    Words file;
    writeSettings(r, SettingsWriteMode::File, file);
    ASSERT_EQ(file.words.size(), 71u);
    EXPECT_EQ(file.words[49], INT32_MAX);
    EXPECT_EQ(file.words[50], INT32_MIN);
    EXPECT_EQ(file.words[51], 0);
    EXPECT_EQ(file.words[70], INT32_MAX);
}

TEST(Frame, ResourceReadersRefuseEveryTruncation) {
    const auto pipl = pi::buildPropertyList();
    const auto aete = pi::buildTerminology();
    pi::PropertyListInfo info;
    pi::Terminology terms;
    std::string error;
    ASSERT_TRUE(pi::parsePropertyList(pipl.data(), pipl.size(), info, &error)) << error;
    ASSERT_TRUE(pi::parseTerminology(aete.data(), aete.size(), terms, &error)) << error;
    for (size_t n = 0; n + 1 < pipl.size(); ++n) {
        std::vector<uint8_t> cut(pipl.begin(), pipl.begin() + long(n));
        EXPECT_FALSE(pi::parsePropertyList(cut.data(), cut.size(), info, &error)) << n;
    }
    for (size_t n = 0; n < aete.size(); ++n) {
        std::vector<uint8_t> cut(aete.begin(), aete.begin() + long(n));
        EXPECT_FALSE(pi::parseTerminology(cut.data(), cut.size(), terms, &error)) << n;
    }
}

}  // namespace
}  // namespace tv
