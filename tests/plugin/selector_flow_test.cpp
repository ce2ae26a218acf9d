// The selector flow through PluginMain: resources, block allocation, memory
// limits, refusals, cancelling, the dialog decision and the recorded settings.
#include <new>

#include "../support/plugin.h"
#include "host/plugin.h"
#include "platform/threads.h"
#include "synth/jobs.h"

namespace tv::test {
namespace {

using host::HostImage;
using host::HostOptions;
using host::RunReport;

TEST_F(PluginTest, PrepareAllocatesBothBlocksAndLimitsMemory) {
    HostImage image = host::blankImage(1000, 1000, 8, false, false);
    HostOptions options;
    options.maxSpace = 10000000;
    {
        host::FilterHost filter(module_, session_, image, nullptr, options);
        filter.record().bufferSpace = 12345;
        EXPECT_EQ(filter.call(pi::kSelectorPrepare), 0);
        EXPECT_TRUE(session_.parameters != nullptr && session_.data != 0);
        EXPECT_EQ(filter.record().maxSpace, 2 * 3 * 256 * 256);  // two buffers of three planes and 256 rows
        EXPECT_EQ(filter.record().bufferSpace, 0);
        EXPECT_EQ(record().planetSize, 65);
        EXPECT_EQ(record().previewCentre[0], 500);
    }
    HostImage grey = host::blankImage(300, 100, 8, true, false);
    RunReport report;
    ASSERT_EQ(runSilent(grey, options, std::nullopt, &report), 0);
    EXPECT_EQ(report.maxSpaceAfterPrepare, 2 * 1 * 100 * 256);  // one grey plane, 100 rows
    options.maxSpace = 1000;  // never raised
    ASSERT_EQ(runSilent(grey, options, std::nullopt, &report), 0);
    EXPECT_EQ(report.maxSpaceAfterPrepare, 1000);
}

TEST_F(PluginTest, StartsThatCannotRunAreRefusedAndRenderNothing) {
    HostImage image = host::blankImage(64, 64, 8, false, false);
    {
        host::FilterHost filter(module_, session_, image, nullptr, HostOptions{});
        EXPECT_EQ(filter.call(pi::kSelectorStart), pi::filterBadParameters);  // no blocks
    }
    const HostImage before = image;
    HostOptions options;
    options.advanceState = false;
    RunReport report;
    testing::internal::CaptureStderr();
    EXPECT_EQ(runSilent(image, options, std::nullopt, &report), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("does not support enough of the Photoshop 3.0"),
              std::string::npos);
    EXPECT_EQ(report.failedSelector, pi::kSelectorStart);
    EXPECT_EQ(report.tilesRequested, 0);
    EXPECT_EQ(image.pixels, before.pixels);
    EXPECT_FALSE(std::filesystem::exists(home_ / "Terravane cached settings D"));
    EXPECT_FALSE(session_.recorded.has_value());
    host::FilterHost filter(module_, session_, image, nullptr, HostOptions{});
    filter.record().imageMode = pi::kModeMultichannel;
    ASSERT_EQ(filter.call(pi::kSelectorPrepare), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(filter.call(pi::kSelectorStart), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(filter.report().tilesRequested, 0);
}

// Every pixel of the land bump map is written, so written tiles are easy to tell.
constexpr double kLandBump = 6;

TEST_F(PluginTest, CancelLeavesWrittenTilesAndStopsRequesting) {
    HostImage image = host::blankImage(600, 600, 8, false, false);
    const uint8_t marker = 77;
    std::fill(image.pixels.begin(), image.pixels.end(), marker);
    HostOptions options;
    options.cancelAfterTiles = 2;
    RunReport report;
    EXPECT_EQ(runSilent(image, options, descriptorWith({{"glue", kLandBump}}), &report), pi::userCanceledErr);
    EXPECT_EQ(report.failedSelector, pi::kSelectorStart);
    ASSERT_EQ(report.tilesRequested, 2);
    auto changed = [&](const Rect& r) {
        int64_t n = 0;
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) n += image.sample(x, y, 0)[0] != marker;
        return double(n) / double(int64_t(r.width()) * r.height());
    };
    EXPECT_GT(changed(report.outRects[0]), 0.9);
    EXPECT_GT(changed(report.outRects[1]), 0.9);
    // The last tile was never requested: untouched.
    EXPECT_EQ(changed({512, 512, 600, 600}), 0.0);
    EXPECT_FALSE(session_.recorded.has_value());
}

TEST_F(PluginTest, PlayInformationAndTheHostDecideTheDialog) {
    HostImage image = host::blankImage(48, 48, 8, false, false);
    const auto d = descriptorWith({{"planet size", 50}});
    HostOptions options;
    RunReport report;
    // Display: the dialog is asked for; it cannot be created here, which
    // counts as not accepted.
    options.playInfo = pi::plugInDialogDisplay;
    EXPECT_EQ(runSilent(image, options, d, &report), pi::userCanceledErr);
    EXPECT_EQ(report.tilesRequested, 0);
    for (pi::int16 silent : {pi::plugInDialogSilent, pi::plugInDialogDontDisplay}) {
        options.playInfo = silent;
        EXPECT_EQ(runSilent(image, options, d, &report), 0) << silent;
        EXPECT_GT(report.tilesRequested, 0);
    }
    // Photoshop 8 and 9 ignore the descriptor and the play information.
    for (pi::OSType sig : {pi::kHostPhotoshop8, pi::kHostPhotoshop9}) {
        options.hostSig = sig;
        options.playInfo = pi::plugInDialogDisplay;
        EXPECT_EQ(runSilent(image, options, descriptorWith({{"planet size", 80}}), &report), 0);
        EXPECT_EQ(record().planetSize, 50);
    }
    // A host without descriptors: the parameters selector asks for the
    // dialog; the repeat-filter flow renders silently.
    HostOptions bare;
    bare.descriptors = false;
    host::FilterHost filter(module_, session_, image, nullptr, bare);
    host::RunRequest interactive;
    interactive.interactive = true;
    EXPECT_EQ(filter.run(interactive, report), pi::userCanceledErr);
    EXPECT_EQ(filter.run(host::RunRequest{}, report), 0);
    EXPECT_GT(report.tilesRequested, 0);
}

int dialogWithoutMemory(void*) { throw std::bad_alloc(); }

// The frame in this process (not the loaded module), so that its dialog can
// be replaced: memory running out inside start is a result, not an exception
// through PluginMain, and the working memory is released.
TEST_F(PluginTest, MemoryRunningOutInStartIsAResult) {
    host::PluginModule inProcess;
    inProcess.entry = pluginMain;
    FrameDialogs dialogs;
    dialogs.runMainDialog = dialogWithoutMemory;
    setFrameDialogs(dialogs);
    HostImage image = host::blankImage(48, 48, 8, false, false);
    HostOptions options;
    options.playInfo = pi::plugInDialogDisplay;
    RunReport report;
    {
        host::FilterHost filter(inProcess, session_, image, nullptr, options);
        EXPECT_EQ(filter.run(host::RunRequest{}, report), pi::memFullErr);
    }
    setFrameDialogs(FrameDialogs{});
    EXPECT_EQ(report.failedSelector, pi::kSelectorStart);
    const auto state = host::handleBytes(reinterpret_cast<pi::Handle>(session_.data));
    ASSERT_EQ(state.size(), sizeof(StateBlock));
    StateBlock s;
    std::memcpy(static_cast<void*>(&s), state.data(), sizeof s);
    EXPECT_EQ(s.working, nullptr);
    EXPECT_EQ(s.thumbnail, nullptr);
}

TEST_F(PluginTest, DescriptorWithOneKeyGivesDefaultsPlusThatKey) {
    HostImage image = host::blankImage(48, 48, 8, false, false);
    // A previous run leaves other settings in the record.
    ASSERT_EQ(runSilent(image, {}, descriptorWith({{"sea level", 10}, {"random seed", 5}}), nullptr), 0);
    pi::MemoryDescriptor d = descriptorWith({{"planet size", 80}});
    d.put({pi::fourCC('z', 'z', 'z', 'z'), pi::typeInteger, 0, 99, 0});  // not ours: skipped
    ASSERT_EQ(runSilent(image, {}, d, nullptr), 0);
    const ParamRecord r = record();
    ParamRecord expected = defaultRecord();
    expected.planetSize = 80;
    for (const ScriptKey& k : scriptKeys())
        EXPECT_EQ(getScriptInteger(r, k), getScriptInteger(expected, k)) << k.name;
    ASSERT_TRUE(session_.recorded.has_value());
    EXPECT_EQ(session_.recorded->items.size(), 59u);
    EXPECT_EQ(integerOf(*session_.recorded, "planet size"), 80);
    EXPECT_EQ(integerOf(*session_.recorded, "sea level"), 50);
}

TEST_F(PluginTest, UnknownEnumeratorRendersModeZeroAndWritesNone) {
    HostImage image = host::blankImage(40, 40, 8, false, false);
    pi::MemoryDescriptor d;
    d.put({kGlueKey, pi::typeEnumerated, kOutputModeEnumType, int32_t(pi::fourCC('L', 'G', '9', '9')), 0});
    ASSERT_EQ(runSilent(image, {}, d, nullptr), 0);
    EXPECT_EQ(record().outputMode, 0);
    EXPECT_EQ(uint32_t(integerOf(*session_.recorded, "glue")), pi::enumNone);
}

TEST_F(PluginTest, RepeatRunWithoutSettingsReplaysTheRecordedDescriptor) {
    HostImage first = host::blankImage(64, 64, 8, false, false);
    ASSERT_EQ(runSilent(first, {}, descriptorWith({{"planet size", 30}, {"random seed", 7}}), nullptr), 0);
    ASSERT_TRUE(session_.recorded.has_value());
    const pi::MemoryDescriptor recorded = *session_.recorded;
    // The repeat-filter flow: no settings given, the recorded descriptor plays.
    HostImage second = host::blankImage(64, 64, 8, false, false);
    ASSERT_EQ(runSilent(second, {}, std::nullopt, nullptr), 0);
    EXPECT_EQ(record().planetSize, 30);
    EXPECT_EQ(record().randomSeed, 7);
    HostImage third = host::blankImage(64, 64, 8, false, false);
    ASSERT_EQ(runSilent(third, {}, recorded, nullptr), 0);
    EXPECT_EQ(second.pixels, third.pixels);

    // A new host process without a recorded descriptor: no recorded parameters,
    // so the settings are the cached ones the last render left.
    host::FilterSession fresh;
    std::swap(fresh, session_);
    HostImage fourth = host::blankImage(64, 64, 8, false, false);
    ASSERT_EQ(runSilent(fourth, {}, std::nullopt, nullptr), 0);
    EXPECT_EQ(record().planetSize, 30);
    EXPECT_EQ(record().randomSeed, 7);
}

// The host's thread count reaches the module's own copy of the engine (the
// module keeps its engine private), and the pixels do not depend on it.
TEST_F(PluginTest, WorkerThreadsReachTheModuleAndLeaveThePixelsAlone) {
    ASSERT_NE(module_.workerThreads, nullptr);
    const int32_t hostBefore = threadCount(kMaxThreads);
    const auto d = descriptorWith({{"planet size", 90}, {"random seed", 4}, {"cities", 80}});
    std::vector<uint8_t> first;
    for (int32_t n : {1, 3}) {
        EXPECT_EQ(host::pluginWorkerThreads(module_, n), n);
        // Three by two tiles, the last ones short.
        HostImage image = host::blankImage(520, 260, 16, false, false);
        ASSERT_EQ(runSilent(image, {}, d, nullptr), 0);
        if (first.empty())
            first = image.pixels;
        else
            EXPECT_TRUE(image.pixels == first) << n << " threads";
    }
    EXPECT_EQ(host::pluginWorkerThreads(module_, -1), 3);  // only asks
    EXPECT_EQ(host::pluginWorkerThreads(module_, 0), std::clamp(platform::processorCount(), 1, kMaxThreads));
    EXPECT_EQ(threadCount(kMaxThreads), hostBefore);  // the host's own engine is another copy
}

}  // namespace
}  // namespace tv::test
