// Parts of the frame that a run through the command-line host cannot reach:
// blocks from a host that does not clear them, and the render geometry of
// big documents.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "host/plugin.h"
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
    // The filter record is packed: its handle is copied out, not bound by reference.
    const pi::Handle parameters = record.parameters;
    ASSERT_NE(parameters, nullptr);
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

}  // namespace
}  // namespace tv
