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

TEST_F(PluginTest, PropertyListAndTerminologyDescribeTheFilter) {
    const pi::PropertyListInfo& info = module_.info;
    EXPECT_EQ(info.propertyCount, 10);
    EXPECT_EQ(info.kind, pi::fourCC('8', 'B', 'F', 'M'));
    EXPECT_EQ(info.name, "Terravane...");
    EXPECT_EQ(info.category, "Bramble Kiln");
    EXPECT_EQ(info.version, 0x00040000);
    EXPECT_EQ(info.entryPoint, "PluginMain");
    EXPECT_EQ(info.modes, 0x50);
    ASSERT_EQ(info.enableInfo.size(), 2u);
    EXPECT_EQ(info.enableInfo[0], "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ");
    EXPECT_NE(info.enableInfo[1].find("Gray32Mode, RGB96Mode) ) && (PSHOP_ImageMode !=  MultichannelMode) "),
              std::string::npos);
    ASSERT_TRUE(info.hasFilterCases);
    for (int i = 0; i < pi::kFilterCaseCount; ++i) {
        EXPECT_EQ(info.filterCases[i].inputHandling, 1);
        EXPECT_EQ(info.filterCases[i].flags1, i < 3 ? 1 : 3) << "case " << i + 1;
    }
    EXPECT_TRUE(info.hasTerminology);
    EXPECT_EQ(info.terminologyId, 16000);
    EXPECT_EQ(info.scope, "Bramble Kiln Terravane");

    const pi::Terminology& t = module_.terminology;
    EXPECT_EQ(t.suiteName, "Bramble Kiln");
    EXPECT_EQ(t.eventDescription, "Makes planets");
    EXPECT_EQ(t.directType, pi::fourCC('#', 'I', 'm', 'R'));
    EXPECT_EQ(t.directFlags, 0xB000);
    ASSERT_EQ(t.parameters.size(), 59u);
    EXPECT_EQ(t.parameters[24].name, "crater size");
    EXPECT_EQ(t.parameters[24].key, pi::fourCC('2', '4', 'p', '5'));
    EXPECT_EQ(t.parameters[33].key, pi::fourCC('L', 'G', 'k', 'y'));
    EXPECT_EQ(t.parameters[33].flags, 0xA000);
    EXPECT_EQ(t.parameters[39].type, pi::fourCC('l', 'o', 'n', 'g'));  // light x, declared 'long'
    EXPECT_EQ(t.parameters[58].type, pi::fourCC('d', 'o', 'u', 'b'));
    for (const auto& p : t.parameters) {
        EXPECT_EQ(p.description, p.name);
        if (p.key != pi::fourCC('L', 'G', 'k', 'y')) {
            EXPECT_EQ(p.flags, 0x8000) << p.name;
        }
    }
    ASSERT_EQ(t.enumerators.size(), 14u);
    EXPECT_EQ(t.enumerationType, pi::fourCC('L', 'G', 't', 'y'));
    EXPECT_EQ(t.enumerators[13].name, "bump w/o ocean");
    EXPECT_EQ(t.enumerators[13].id, pi::fourCC('L', 'G', '1', '4'));
}

TEST_F(PluginTest, PrepareWithoutParametersAllocatesBothBlocksAndLimitsMemory) {
    HostImage image = host::blankImage(1000, 1000, 8, false, false);
    HostOptions options;
    options.maxSpace = 10000000;
    host::FilterHost filter(module_, session_, image, nullptr, options);
    filter.record().bufferSpace = 12345;
    EXPECT_EQ(filter.call(pi::kSelectorPrepare), 0);
    EXPECT_NE(session_.parameters, nullptr);
    EXPECT_NE(session_.data, 0);
    EXPECT_EQ(filter.record().maxSpace, 2 * 3 * 256 * 256);
    EXPECT_EQ(filter.record().bufferSpace, 0);
    const ParamRecord r = record();
    EXPECT_EQ(r.planetSize, 65);
    EXPECT_STREQ(r.settingsName, "Terravane settings");
    EXPECT_EQ(r.previewCentre[0], 500);
}

TEST_F(PluginTest, MaxSpaceCountsPlanesAndRowsAndNeverRises) {
    HostImage image = host::blankImage(300, 100, 8, true, false);
    HostOptions options;
    options.maxSpace = 10000000;
    RunReport report;
    ASSERT_EQ(runSilent(image, options, std::nullopt, &report), 0);
    EXPECT_EQ(report.maxSpaceAfterPrepare, 2 * 1 * 100 * 256);  // one grey plane, 100 rows
    options.maxSpace = 1000;
    ASSERT_EQ(runSilent(image, options, std::nullopt, &report), 0);
    EXPECT_EQ(report.maxSpaceAfterPrepare, 1000);
}

TEST_F(PluginTest, StartWithoutBlocksIsBadParameters) {
    HostImage image = host::blankImage(64, 64, 8, false, false);
    host::FilterHost filter(module_, session_, image, nullptr, HostOptions{});
    EXPECT_EQ(filter.call(pi::kSelectorStart), pi::filterBadParameters);
    EXPECT_EQ(filter.report().tilesRequested, 0);
}

TEST_F(PluginTest, HostWithoutAdvanceStateIsRefusedAndNothingRenders) {
    HostImage image = host::blankImage(64, 64, 8, false, false);
    const HostImage before = image;
    HostOptions options;
    options.advanceState = false;
    RunReport report;
    testing::internal::CaptureStderr();
    EXPECT_EQ(runSilent(image, options, std::nullopt, &report), 1);
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("does not support enough of the Photoshop 3.0 plug-in standard"), std::string::npos);
    EXPECT_EQ(report.failedSelector, pi::kSelectorStart);
    EXPECT_EQ(report.tilesRequested, 0);
    EXPECT_EQ(image.pixels, before.pixels);
    EXPECT_FALSE(std::filesystem::exists(home_ / "Terravane cached settings D"));
    EXPECT_FALSE(session_.recorded.has_value());
}

TEST_F(PluginTest, MultichannelImageIsRefused) {
    HostImage image = host::blankImage(32, 32, 8, false, false);
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

TEST_F(PluginTest, PlayInformationDecidesTheDialog) {
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

TEST_F(PluginTest, ParametersSelectorWithoutDescriptorsAsksForTheDialog) {
    HostImage image = host::blankImage(48, 48, 8, false, false);
    HostOptions options;
    options.descriptors = false;
    host::FilterHost filter(module_, session_, image, nullptr, options);
    host::RunRequest interactive;
    interactive.interactive = true;
    RunReport report;
    EXPECT_EQ(filter.run(interactive, report), pi::userCanceledErr);
    EXPECT_EQ(report.tilesRequested, 0);
    // The repeat-filter flow (no parameters selector) renders silently.
    EXPECT_EQ(filter.run(host::RunRequest{}, report), 0);
    EXPECT_GT(report.tilesRequested, 0);
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

TEST_F(PluginTest, PhotoshopEightAndNineIgnoreTheDescriptor) {
    HostImage image = host::blankImage(48, 48, 8, false, false);
    // A first run allocates the blocks (and with them asks for the dialog once).
    ASSERT_EQ(runSilent(image, {}, std::nullopt, nullptr), 0);
    for (pi::OSType sig : {pi::kHostPhotoshop8, pi::kHostPhotoshop9}) {
        HostOptions options;
        options.hostSig = sig;
        options.playInfo = pi::plugInDialogDisplay;  // ignored too: no dialog
        RunReport report;
        EXPECT_EQ(runSilent(image, options, descriptorWith({{"planet size", 80}}), &report), 0);
        EXPECT_GT(report.tilesRequested, 0);
        EXPECT_EQ(record().planetSize, 65);
    }
}

TEST_F(PluginTest, WrittenDescriptorReadsBackEveryKey) {
    HostImage image = host::blankImage(40, 40, 8, false, false);
    pi::MemoryDescriptor d;
    int n = 0;
    for (const ScriptKey& k : scriptKeys()) {
        ++n;
        switch (k.value) {
            case ScriptValue::Channel: d.put({k.key, pi::typeInteger, 0, (n * 37) % 256, 0}); break;
            case ScriptValue::Integer: d.put({k.key, pi::typeInteger, 0, n + 3, 0}); break;
            case ScriptValue::Boolean: d.put({k.key, pi::typeBoolean, 0, n % 2, 0}); break;
            case ScriptValue::Float: d.put({k.key, pi::typeFloat, 0, 0, 0.125 * (n % 7) - 0.25}); break;
            case ScriptValue::Enumerated:
                d.put({k.key, pi::typeEnumerated, kOutputModeEnumType, int32_t(outputModeEnumerator(9)), 0});
                break;
        }
    }
    ASSERT_EQ(runSilent(image, {}, d, nullptr), 0);
    ASSERT_TRUE(session_.recorded.has_value());
    const pi::MemoryDescriptor first = *session_.recorded;
    // Replayed from the recorded descriptor (no descriptor given): the same again.
    ASSERT_EQ(runSilent(image, {}, std::nullopt, nullptr), 0);
    const pi::MemoryDescriptor* runs[] = {&first, &*session_.recorded};
    for (const pi::MemoryDescriptor* got : runs) {
        ASSERT_EQ(got->items.size(), 59u);
        for (size_t i = 0; i < got->items.size(); ++i) {
            const pi::DescriptorItem& a = got->items[i];
            EXPECT_EQ(a.key, scriptKeys()[i].key);  // in the table's order
            const pi::DescriptorItem* b = d.find(a.key);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(a.type, b->type) << scriptKeys()[i].name;
            EXPECT_EQ(a.integer, b->integer) << scriptKeys()[i].name;
            EXPECT_EQ(a.number, b->number) << scriptKeys()[i].name;
        }
    }
    const ParamRecord r = record();
    for (const Colour16* c : {&r.landColor, &r.airColor, &r.seaColor, &r.cloudColor, &r.desertColor, &r.iceColor,
                              &r.cityColor})
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ((*c)[ch] & 0xFF, 0);
    EXPECT_EQ(r.outputMode, 9);
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
