// Renders give the same bytes on every instruction set this processor runs
// and on any number of worker threads.
#include "render_helpers.h"
#include "synth/jobs.h"
#include "synth/simd.h"

namespace tv::testing {
namespace {

struct Scene {
    const char* name;
    ParamRecord record;
    int32_t width, height, bytes;
    bool grey;
};

std::vector<Scene> scenes() {
    std::vector<Scene> s;
    ParamRecord globe = defaultRecord();
    globe.cities = 70;
    globe.stormCount = 40;
    s.push_back({"globe", globe, 300, 270, 1, false});  // across tile boundaries
    ParamRecord lit = withMode(kModeLitMap);
    lit.craterCount = 90;
    s.push_back({"lit map 16", lit, 300, 150, 2, false});
    ParamRecord mural = withMode(kModeMural);
    mural.lunarClimate = 1;
    s.push_back({"mural grey", mural, 200, 100, 1, true});
    ParamRecord back = defaultRecord();
    back.backlighting = 1;
    setLight(back, 0.1f, 0.2f, 0.9f);
    s.push_back({"backlit 16", back, 160, 160, 2, false});
    s.push_back({"hypsometric", withMode(kModeHypsometric), 200, 100, 1, false});
    return s;
}

class SimdRender : public ::testing::Test {
protected:
    void TearDown() override {
        setSimdPath(-1);
        setForcedThreadCount(0);
    }
};

TEST_F(SimdRender, EveryPathAndThreadCountGivesTheSameBytes) {
    for (const Scene& scene : scenes()) {
        SCOPED_TRACE(scene.name);
        ASSERT_TRUE(setSimdPath(kSimdSse2));
        setForcedThreadCount(1);
        const Rendered reference = renderRecord(scene.record, scene.width, scene.height, scene.bytes, scene.grey);
        ASSERT_EQ(reference.result, 0);
        for (int32_t path = 0; path < kSimdPathCount; ++path) {
            if (!setSimdPath(path)) continue;
            for (int32_t threads : {1, 2, 3}) {
                if (path == kSimdSse2 && threads == 1) continue;
                setForcedThreadCount(threads);
                const Rendered r = renderRecord(scene.record, scene.width, scene.height, scene.bytes, scene.grey);
                EXPECT_TRUE(r.image.pixels == reference.image.pixels) << simdPathName(path) << ", " << threads << " threads";
            }
        }
    }
}

}  // namespace
}  // namespace tv::testing
