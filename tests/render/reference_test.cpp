// The reference renders: every case gives the bytes its checksum was taken
// from, on one worker thread and on several.
#include <gtest/gtest.h>

#include "reference_renders.h"

namespace tv {
namespace {

TEST(ReferenceRenders, EveryCaseMatchesItsChecksumOnAnyThreadCount) {
    const std::string checksums = std::string(TV_SOURCE_DIR) + "/tests/render/reference_renders.txt";
    for (int32_t threads : {1, 3}) {
        const std::string differ = reference::mismatches(checksums, threads);
        EXPECT_TRUE(differ.empty()) << "on " << threads << " threads these cases differ:\n"
                                    << differ << "After an intended change: build/tool_refrender " << checksums
                                    << " SHEET.png, and look at the sheet.";
    }
}

}  // namespace
}  // namespace tv
