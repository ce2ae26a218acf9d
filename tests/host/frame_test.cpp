// Parts of the frame that a run through the command-line host cannot reach:
// blocks from a host that does not clear them, the render geometry of big
// documents, and the settings-file mode of the shared settings writer.
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

}  // namespace
}  // namespace tv
