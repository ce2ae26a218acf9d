// The command line's render through PluginMain: the host image made from a
// source file, the selection from a mask, the settings played as a
// descriptor. (tests/cli runs the same through the built command.)
#include "../support/images.h"
#include "../support/plugin.h"
#include "host_internal.h"
#include "plugin_render.h"

namespace tv::test {
namespace {

using cli::Image;
using cli::PluginRenderRequest;

TEST(PluginRenderImage, SourceBecomesTheHostImageAtTheRequestedKind) {
    // A 16-bit RGBA source, half transparent, a left-to-right ramp in red.
    Image source = solidImage(4, 2, 16, {0.0f, 0.5f, 1.0f, 0.5f});
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

    // No source: a new layer starts transparent, a flat image opaque black.
    cli::HostImageShape blank{5, 5, 32, false, true};
    host::HostImage empty = cli::makeHostImage(blank, nullptr);
    EXPECT_EQ(empty.value(2, 2, 3), 0.0f);
    blank.layer = false;
    EXPECT_EQ(cli::makeHostImage(blank, nullptr).value(2, 2, 0), 0.0f);
}

TEST(PluginRenderImage, MaskMustMatchAndSelectSomething) {
    const Image mask = solidImage(6, 4, 8, {1.0f, 0.5f});  // grey with alpha
    host::Selection selection;
    std::string error;
    ASSERT_TRUE(cli::makeSelection(mask, 6, 4, selection, &error)) << error;
    EXPECT_EQ(selection.mask[7], 128);  // white at half alpha
    EXPECT_FALSE(cli::makeSelection(mask, 6, 5, selection, &error));
    EXPECT_NE(error.find("6x4"), std::string::npos);
    EXPECT_FALSE(cli::makeSelection(solidImage(6, 4, 8, {0.0f}), 6, 4, selection, &error));
    EXPECT_NE(error.find("selects no pixels"), std::string::npos);

    PluginRenderRequest request;
    request.width = 6;
    request.height = 5;
    request.mask = &mask;
    cli::HostImageShape shape;
    EXPECT_FALSE(cli::resolveHostImage(request, shape, &error));
}

TEST(PluginRenderImage, SizesBeyondAnImageFileAreRefusedBeforeTheRender) {
    PluginRenderRequest request;
    cli::HostImageShape shape;
    std::string error;
    request.width = 70000;  // the interface allows it, an image file of ours does not
    request.height = 10;
    EXPECT_FALSE(cli::resolveHostImage(request, shape, &error));
    EXPECT_NE(error.find("70000x10"), std::string::npos) << error;
    request.width = 40000;  // each side fits, the pixel count does not
    request.height = 40000;
    EXPECT_FALSE(cli::resolveHostImage(request, shape, &error));
    host::HostImage wide;
    wide.width = 70000;
    wide.height = 1;
    wide.depth = 16;
    wide.pixels.resize(wide.rowBytes());
    EXPECT_TRUE(cli::fileImageOf(wide).data.empty());
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

TEST_F(PluginRender, AModuleThatCannotBeLoadedIsReported) {
    PluginRenderRequest r = request(30, 20);
    r.pluginPath = (home_ / "no-such-plugin.so").string();
    Image out;
    std::string error;
    EXPECT_FALSE(cli::renderThroughPlugin(r, out, &error));
    EXPECT_NE(error.find("cannot load the plug-in"), std::string::npos) << error;
}

// A recorded descriptor file may carry any float where the module asks for
// an integer: the host's descriptor procedures saturate.
TEST(HostDescriptorProcs, IntegersReadFromFloatsSaturate) {
    const double values[] = {1e12, -1e12, std::nan(""), -7.9, 2147483647.5};
    const pi::int32 expected[] = {INT32_MAX, INT32_MIN, 0, -7, INT32_MAX};
    pi::MemoryDescriptor d;
    for (uint32_t i = 0; i < 5; ++i) d.put({pi::fourCC('k', 'e', 'y', char('0' + i)), pi::typeFloat, 0, 0, values[i]});
    pi::Handle h = host::newHandleWith(pi::encodeDescriptor(d));
    const pi::ReadDescriptorProcs* procs = host::hostReadProcs();
    pi::PIReadDescriptor token = procs->openReadDescriptorProc(h, nullptr);
    ASSERT_NE(token, nullptr);
    std::vector<pi::int32> read;
    pi::DescriptorKeyID key = 0;
    pi::DescType type = 0;
    while (procs->getKeyProc(token, &key, &type, nullptr)) {
        pi::int32 v = 12345;
        EXPECT_EQ(procs->getIntegerProc(token, &v), pi::noErr);
        read.push_back(v);
    }
    EXPECT_EQ(procs->closeReadDescriptorProc(token), pi::noErr);
    host::disposeHostHandle(h);
    EXPECT_EQ(read, std::vector<pi::int32>(std::begin(expected), std::end(expected)));
}

}  // namespace
}  // namespace tv::test
