// The reference renders: every case gives the bytes its checksum was taken
// from, on one worker thread and on several, on every instruction set this
// processor runs (each forced in turn).
#include <gtest/gtest.h>

#include "reference_renders.h"
#include "synth/simd.h"

namespace tv {
namespace {

TEST(ReferenceRenders, EveryCaseMatchesItsChecksumOnAnyThreadCountAndInstructionSet) {
    const std::string checksums = std::string(TV_SOURCE_DIR) + "/tests/render/reference_renders.txt";
    int32_t paths = 0;
    for (int32_t path = 0; path < kSimdPathCount; ++path) {
        if (!setSimdPath(path)) continue;
        ++paths;
        for (int32_t threads : {1, 3}) {
            const std::string differ = reference::mismatches(checksums, threads);
            EXPECT_TRUE(differ.empty()) << simdPathName(path) << " on " << threads << " threads: these cases differ:\n"
                                        << differ << "After an intended change: build/tool_refrender " << checksums
                                        << " SHEET.png, and look at the sheet.";
        }
    }
    setSimdPath(-1);
    EXPECT_GE(paths, 1);
}

}  // namespace
}  // namespace tv
