// GIMP's cancel: GIMP ends a plug-in whose progress the user cancels, which
// closes the pipe to the filter helper. The helper must then answer the
// module's abortProc with yes, so that the render stops where it is and the
// module keeps nothing of it (no settings file written after the render).
#include "../support/temp_home.h"
#include "filter_helper.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

class FilterHelperTest : public TempHome {};

TEST_F(FilterHelperTest, ClosingThePipeStopsTheRenderThroughAbortProc) {
    gimp::FilterJob job;
    job.width = job.height = 2048;
    job.region = {0, 0, 2048, 2048};
    job.threads = 1;
    job.pixels.assign(job.pixelBytes(), 0);
    platform::ChildProcess helper;
    std::string error;
    ASSERT_TRUE(platform::startChild(std::string(TV_BINARY_DIR) + "/gimp-plug-ins/terravane-gimp/terravane-gimp",
                                     {"terravane-gimp", gimp::kHelperArgument}, helper, &error))
        << error;
    ASSERT_TRUE(gimp::sendJob(helper.toChild, job));
    int32_t reports = 0;
    gimp::FilterOutcome outcome;
    // At the first progress report the plug-in side goes away.
    EXPECT_FALSE(gimp::receiveOutcome(helper.fromChild, job, outcome, [&](int32_t done, int32_t total) {
        if (reports++ == 0) platform::closeChannel(helper.toChild);
        EXPECT_LT(done, total);
    }, &error));
    EXPECT_EQ(platform::waitChild(helper), 130);
    EXPECT_GE(reports, 1);
    EXPECT_FALSE(platform::fileExists(persist::cachedSettingsPath()));
}

}  // namespace
}  // namespace tv::test
