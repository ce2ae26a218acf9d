// The command line's render through PluginMain: the host image made from a
// source file, the selection from a mask, the settings played as a
// descriptor, and the repeat-filter flow across processes (the recorded
// descriptor in the working folder, then the cached settings).
#include <csignal>
#include <cmath>
#include <cstring>

#include "plugin_fixture.h"
#include "platform/console.h"
#include "plugin_render.h"

namespace tv::test {
namespace {

using cli::Image;
using cli::PluginRenderRequest;

Image solid(int32_t w, int32_t h, int32_t channels, int32_t depth, std::initializer_list<float> values) {
    Image image;
    EXPECT_TRUE(image.allocate(w, h, channels, depth));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int32_t c = 0;
            for (float v : values) {
                const size_t i = (size_t(y) * size_t(w) + size_t(x)) * size_t(channels) + size_t(c++);
                if (depth == 8) image.data[i] = uint8_t(std::nearbyint(v * 255.0f));
                if (depth == 16) {
                    const uint16_t s = uint16_t(std::nearbyint(v * 65535.0f));
                    std::memcpy(image.data.data() + 2 * i, &s, 2);
                }
                if (depth == 32) std::memcpy(image.data.data() + 4 * i, &v, 4);
            }
        }
    return image;
}

TEST(PluginRenderImage, SourceBecomesTheHostImageAtTheRequestedKind) {
    // A 16-bit RGBA source, half transparent, a left-to-right ramp in red.
    Image source = solid(4, 2, 4, 16, {0.0f, 0.5f, 1.0f, 0.5f});
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const uint16_t red = uint16_t(x * 20000);
            std::memcpy(source.data.data() + (size_t(y) * 4 + size_t(x)) * 8, &red, 2);
        }
    PluginRenderRequest request;
    request.source = &source;
    cli::HostImageShape shape;
    std::string error;
    ASSERT_TRUE(cli::resolveHostImage(request, shape, &error)) << error;
    EXPECT_EQ(shape.width, 4);
    EXPECT_EQ(shape.depth, 16);  // the source's depth by default
    EXPECT_FALSE(shape.grey);

    // Without a layer the alpha is flattened over white.
    host::HostImage flat = cli::makeHostImage(shape, &source);
    EXPECT_EQ(flat.planes(), 3);
    EXPECT_NEAR(flat.value(0, 0, 1), 0.5f * 0.5f + 0.5f, 1e-3);
    EXPECT_NEAR(flat.value(3, 1, 0), (60000.0f / 65535.0f) * 0.5f + 0.5f, 1e-3);

    // 8-bit grey with a layer: the luminance, the alpha in the plane after it.
    request.depth = 8;
    request.grey = true;
    request.layer = true;
    ASSERT_TRUE(cli::resolveHostImage(request, shape, &error));
    host::HostImage layer = cli::makeHostImage(shape, &source);
    ASSERT_EQ(layer.planes(), 2);
    EXPECT_EQ(layer.sample(0, 0, 0)[0], std::nearbyint(255.0f * (0.59f * 0.5f + 0.11f)));
    EXPECT_EQ(layer.sample(0, 0, 1)[0], 128);

    // Another size resamples the source.
    request.width = 8;
    request.height = 2;
    ASSERT_TRUE(cli::resolveHostImage(request, shape, &error));
    host::HostImage wide = cli::makeHostImage(shape, &source);
    EXPECT_EQ(wide.width, 8);
    EXPECT_LE(wide.sample(0, 0, 0)[0], wide.sample(3, 0, 0)[0]);
    EXPECT_LT(wide.sample(3, 0, 0)[0], wide.sample(7, 0, 0)[0]);

    // No source: a new layer starts transparent, a flat image opaque black.
    cli::HostImageShape blank{5, 5, 32, false, true};
    host::HostImage empty = cli::makeHostImage(blank, nullptr);
    EXPECT_EQ(empty.value(2, 2, 3), 0.0f);
    blank.layer = false;
    EXPECT_EQ(cli::makeHostImage(blank, nullptr).value(2, 2, 0), 0.0f);
}

TEST(PluginRenderImage, MaskMustMatchAndSelectSomething) {
    const Image mask = solid(6, 4, 2, 8, {1.0f, 0.5f});  // grey with alpha
    host::Selection selection;
    std::string error;
    ASSERT_TRUE(cli::makeSelection(mask, 6, 4, selection, &error)) << error;
    EXPECT_EQ(selection.mask[7], 128);  // white at half alpha
    EXPECT_FALSE(cli::makeSelection(mask, 6, 5, selection, &error));
    EXPECT_NE(error.find("6x4"), std::string::npos);
    EXPECT_FALSE(cli::makeSelection(solid(6, 4, 1, 8, {0.0f}), 6, 4, selection, &error));
    EXPECT_NE(error.find("selects no pixels"), std::string::npos);

    PluginRenderRequest request;
    request.width = 6;
    request.height = 5;
    request.mask = &mask;
    cli::HostImageShape shape;
    EXPECT_FALSE(cli::resolveHostImage(request, shape, &error));
}

TEST(PluginRenderImage, SixteenBitFullScaleBecomesTheFileFullScale) {
    host::HostImage image = host::blankImage(2, 1, 16, true, true);
    image.setValue(0, 0, 0, 1.0f);
    image.setValue(1, 0, 0, 0.5f);
    const Image file = cli::fileImageOf(image);
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.sample(0, 0, 0), 1.0f);
    EXPECT_NEAR(file.sample(1, 0, 0), 0.5f, 1.0f / 65535.0f);
    EXPECT_EQ(file.sample(1, 0, 1), 1.0f);
}

class PluginRender : public PluginTest {
protected:
    PluginRenderRequest request(int32_t w, int32_t h) {
        PluginRenderRequest r;
        r.width = w;
        r.height = h;
        r.pluginPath = pluginPath();
        return r;
    }
    static ParamRecord settings(std::initializer_list<const char*> assignments) {
        ParamRecord r = defaultRecord();
        for (const char* a : assignments) EXPECT_TRUE(applyScriptingAssignment(r, a, nullptr)) << a;
        return r;
    }
};

TEST_F(PluginRender, EverySettingReachesTheModule) {
    ParamRecord wanted = settings({"planet size=41", "light x=0.25", "glue=mural", "land red=200", "real luna=1",
                                   "Y center=0.625", "random seed=1234"});
    PluginRenderRequest r = request(24, 16);
    r.settings = cli::descriptorOf(wanted);
    EXPECT_EQ(r.settings->items.size(), 59u);
    Image out;
    std::string error;
    ASSERT_TRUE(cli::renderThroughPlugin(r, out, &error)) << error;
    // The module's copy of the settings, as recorded for the next run.
    const auto recorded = host::loadRecordedDescriptor(&error);
    ASSERT_TRUE(recorded.has_value());
    for (const ScriptKey& k : scriptKeys()) {
        const pi::DescriptorItem* got = recorded->find(k.key);
        const pi::DescriptorItem* sent = r.settings->find(k.key);
        ASSERT_TRUE(got && sent) << k.name;
        EXPECT_EQ(got->integer, sent->integer) << k.name;
        EXPECT_EQ(got->number, sent->number) << k.name;
    }
    EXPECT_EQ(integerOf(*recorded, "planet size"), 41);
}

TEST_F(PluginRender, CompositeLaysThePlanetOverTheSourceInsideTheMask) {
    const Image source = solid(120, 80, 3, 8, {0.2f, 0.4f, 0.6f});
    // The left two thirds selected.
    Image mask = solid(120, 80, 1, 8, {0.0f});
    for (int32_t y = 0; y < 80; ++y)
        for (int32_t x = 0; x < 80; ++x) mask.data[size_t(y) * 120 + size_t(x)] = 255;
    PluginRenderRequest r = request(0, 0);
    r.source = &source;
    r.mask = &mask;
    r.settings = cli::descriptorOf(settings({"glue=composite", "planet size=60", "air depth=0"}));
    Image out;
    std::string error;
    ASSERT_TRUE(cli::renderThroughPlugin(r, out, &error)) << error;
    ASSERT_EQ(out.width, 120);  // the source's size
    ASSERT_EQ(out.channels, 3);
    // The filter area is the selection's bounds (80 x 80): the planet sits at
    // its centre, the source shows around it and beyond the selection.
    EXPECT_EQ(out.data[(size_t(1) * 120 + 1) * 3 + 2], 153);
    EXPECT_EQ(out.data[(size_t(40) * 120 + 110) * 3 + 0], 51);
    const uint8_t* centre = &out.data[(size_t(40) * 120 + 40) * 3];
    EXPECT_FALSE(centre[0] == 51 && centre[1] == 102 && centre[2] == 153);
}

TEST_F(PluginRender, TransparentLayerTakesThePlanetsCoverage) {
    PluginRenderRequest r = request(64, 64);
    r.layer = true;
    r.depth = 16;
    r.settings = cli::descriptorOf(settings({"glue=composite", "planet size=50", "air depth=0"}));
    Image out;
    std::string error;
    ASSERT_TRUE(cli::renderThroughPlugin(r, out, &error)) << error;
    ASSERT_EQ(out.channels, 4);
    EXPECT_EQ(out.sample(32, 32, 3), 1.0f);
    EXPECT_EQ(out.sample(1, 1, 3), 0.0f);
}

TEST_F(PluginRender, RepeatRunsReplayTheRecordedSettingsThenTheCachedOnes) {
    Image first, replay, cached, defaults;
    std::string error;
    // What the module played, as it recorded it at finish.
    auto played = [&](const char* name) {
        const auto d = host::loadRecordedDescriptor(nullptr);
        return d ? integerOf(*d, name) : INT32_MIN;
    };
    PluginRenderRequest r = request(48, 48);
    r.settings = cli::descriptorOf(settings({"planet size=30", "random seed=77"}));
    ASSERT_TRUE(cli::renderThroughPlugin(r, first, &error)) << error;
    // Another process, no settings given: the recorded descriptor plays.
    r.settings.reset();
    ASSERT_TRUE(cli::renderThroughPlugin(r, replay, &error)) << error;
    EXPECT_EQ(replay.data, first.data);
    // The recorded descriptor is gone (a host restarted afresh): the cached
    // settings of the last render play instead (light and axis are kept to
    // two decimals in settings files, so the pixels may differ slightly).
    std::filesystem::remove(home_ / host::kRecordedDescriptorFile);
    ASSERT_TRUE(cli::renderThroughPlugin(r, cached, &error)) << error;
    EXPECT_EQ(played("planet size"), 30);
    EXPECT_EQ(played("random seed"), 77);
    // Neither: the defaults.
    std::filesystem::remove_all(home_);
    std::filesystem::create_directories(home_);
    ASSERT_TRUE(cli::renderThroughPlugin(r, defaults, &error)) << error;
    EXPECT_NE(defaults.data, first.data);
    EXPECT_EQ(played("planet size"), 65);
    // A damaged recorded descriptor is ignored with a warning (the cached
    // settings play).
    ASSERT_TRUE(cli::renderThroughPlugin(r, first, &error)) << error;
    std::filesystem::resize_file(home_ / host::kRecordedDescriptorFile, 5);
    std::string warning;
    ASSERT_TRUE(cli::renderThroughPlugin(r, replay, &error, &warning)) << error;
    EXPECT_NE(warning.find("damaged"), std::string::npos);
    EXPECT_EQ(played("planet size"), 65);
}

TEST_F(PluginRender, FailuresAndCancelsAreReportedWithTheirMeaning) {
    PluginRenderRequest r = request(300, 40);
    Image out;
    std::string error;
    // Ctrl-C (already pressed here) answers the module's cancel test.
    r.interruptCancels = true;
    platform::installInterruptHandler();
    std::raise(SIGINT);
    ASSERT_TRUE(platform::interruptRequested());
    EXPECT_FALSE(cli::renderThroughPlugin(r, out, &error));
    platform::clearInterrupt();
    EXPECT_NE(error.find("cancelled (-128)"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(home_ / host::kRecordedDescriptorFile));
    EXPECT_FALSE(std::filesystem::exists(home_ / "Terravane cached settings D"));

    r.pluginPath = (home_ / "no-such-plugin.so").string();
    EXPECT_FALSE(cli::renderThroughPlugin(r, out, &error));
    EXPECT_NE(error.find("cannot load the plug-in"), std::string::npos) << error;
}

}  // namespace
}  // namespace tv::test
