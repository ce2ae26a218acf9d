// The layered export through the real renderer, at tiny sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "export/layers_export.h"
#include "export/psd_writer.h"
#include "psd_test_reader.h"
#include "render/render.h"

namespace tv::test {
namespace {

void noProgress(void*, int32_t) {}

class LayersExportTest : public TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        params_ = defaultRecord();
        params_.stateBlock = &state_;
        initEngine(engine_, &params_, &state_);
        // The user's state before the export: a preview of a globe.
        params_.outputMode = kModeComposite;
        params_.renderDestination = kDestinationPreview;
        params_.sampleFactor = 3;
        params_.passIndex = -1;
        params_.passCount = 7;
        engine_.exportProgress = noProgress;
    }
    void expectStateRestored() {
        EXPECT_EQ(params_.outputMode, kModeComposite);
        EXPECT_EQ(params_.renderDestination, kDestinationPreview);
        EXPECT_EQ(params_.sampleFactor, 3);
        EXPECT_EQ(params_.passIndex, -1);
        EXPECT_EQ(params_.passCount, 7);
        EXPECT_EQ(engine_.exportImage, nullptr);
        EXPECT_EQ(engine_.exportProgress, &noProgress);
    }
    ParamRecord params_;
    StateBlock state_{};
    Engine engine_;
};

TEST_F(LayersExportTest, EveryLayerIsItsModeRenderedAtFullSize) {
    LayersRequest request;
    request.width = 24;
    request.height = 12;
    request.depthBits = 16;
    std::vector<int32_t> progress;
    request.progress.context = &progress;
    request.progress.report = [](void* c, int32_t t) { static_cast<std::vector<int32_t>*>(c)->push_back(t); };
    ASSERT_EQ(exportLayers(engine_, path("maps.psd"), request), 0);
    expectStateRestored();
    const ParsedDocument doc = parsePsd(readBytes(path("maps.psd")));
    ASSERT_TRUE(doc.ok) << doc.error;
    ASSERT_EQ(doc.layers.size(), 11u);
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
    EXPECT_EQ(progress.back(), 1000);

    // The same maps rendered one by one must match the layers sample for sample.
    for (int32_t index : {1, 4, 6, 11}) {
        ParamRecord p = defaultRecord();
        StateBlock s{};
        p.stateBlock = &s;
        p.outputMode = psdLayerMode(index);
        Engine e;
        initEngine(e, &p, &s);
        ExportImage image;
        ASSERT_EQ(renderToExportImage(e, image, 24, 12, 2), 0);
        const auto& red = doc.layers[size_t(index - 1)].planes.at(0);
        for (size_t px = 0; px < 24 * 12; ++px) {
            uint16_t v;
            std::memcpy(&v, image.pixels.data() + px * 8, 2);
            const uint32_t expected = v >= 32768 ? 65535u : v * 2u;
            ASSERT_EQ(uint32_t(red[px * 2] << 8 | red[px * 2 + 1]), expected) << "layer " << index << " pixel " << px;
        }
    }
}

}  // namespace
}  // namespace tv::test
