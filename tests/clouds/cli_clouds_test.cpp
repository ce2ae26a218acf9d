// terravane clouds and the render that uses its cache, run as a user would.
#include "../support/terravane.h"
#include "clouds/cloud_cache.h"
#include "local_server.h"
#include "platform/files.h"
#include "test_images.h"

namespace tv {
namespace {

class CloudsCommandTest : public test::CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        const auto gif = test::encodeGif(test::earthDisc(677, 708, 1, 17, 673, 30));
        server.answer("/data/geo/west/latest_west_ir4_fd.gif", {.body = test::asText(gif)});
        ::setenv("TERRAVANE_IMAGE_SERVER_1", server.base().c_str(), 1);
    }
    // Runs terravane; returns the exit status, with stdout and stderr kept.
    int terravane(const std::string& args) {
        const test::Result r = run(args);
        out = r.out;
        err = r.err;
        return r.status;
    }
    std::string read(const std::string& name) { return test::readText(path(name)); }
    test::LocalServer server;
    std::string out, err;
};

TEST_F(CloudsCommandTest, FetchListConvertAndFailures) {
    ASSERT_EQ(terravane("clouds fetch 0"), 0) << err;
    EXPECT_NE(out.find("677 x 708"), std::string::npos) << out;
    EXPECT_TRUE(platform::fileExists(cacheFilePath(0)));

    EXPECT_EQ(terravane("clouds fetch 1"), 1);
    EXPECT_NE(err.find("404"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(platform::fileExists(cacheFilePath(1)));

    ASSERT_EQ(terravane("clouds list"), 0) << err;
    EXPECT_NE(out.find("v. 07"), std::string::npos);
    EXPECT_NE(out.find(" 0  available    GOES-West infrared low-rez  [cached]"), std::string::npos) << out;
    EXPECT_NE(out.find(server.base() + "/data/geo/west/latest_west_wv_fd.gif"), std::string::npos) << out;
    EXPECT_NE(out.find("11  unavailable"), std::string::npos);

    // Entry 4's images hold the disc at x 26-1380, y 136-1482.
    ASSERT_TRUE(test::writeBytes(path("disc.jpeg"), test::encodeJpeg(1381, 1483, test::earthDiscRgb(1381, 1483, 26, 136, 1350))));
    ASSERT_EQ(terravane("clouds convert disc.jpeg --entry 4"), 0) << err;
    EXPECT_TRUE(platform::fileExists(cacheFilePath(4)));
    // A picture without the disc where the entry has it is refused, not cached.
    ASSERT_TRUE(test::writeBytes(path("small.jpeg"), test::encodeJpeg(80, 60, test::earthDiscRgb(80, 60, 12, 2, 56))));
    EXPECT_EQ(terravane("clouds convert small.jpeg --entry 9"), 1);
    EXPECT_NE(err.find("no Earth disc where entry 9 expects one"), std::string::npos) << err;
    EXPECT_FALSE(platform::fileExists(cacheFilePath(9)));
    EXPECT_EQ(terravane("clouds convert missing.gif --entry 9"), 1);
    EXPECT_EQ(terravane("clouds convert disc.jpeg --entry 10"), 1);  // no such entry in the built-in table
    EXPECT_EQ(terravane("clouds fetch 12"), 2);
    EXPECT_EQ(terravane("clouds fetch"), 2);
}

TEST_F(CloudsCommandTest, RealCloudsRenderFromTheCacheOrFallBack) {
    const std::string common = "render --size 120x120 --quiet --set \"light z=1\" --set \"light x=0\" --set \"light y=0\" ";
    ASSERT_EQ(terravane(common + "-o synthetic.png"), 0) << err;
    ASSERT_EQ(terravane(common + "-o nomap.png --set \"real clouds=1\" --set \"downloaded clouds=0\""), 0) << err;
    // Without a cache file real clouds fall back to the synthetic ones.
    EXPECT_EQ(read("nomap.png"), read("synthetic.png"));

    ASSERT_EQ(terravane("clouds fetch 0"), 0) << err;
    ASSERT_EQ(terravane(common + "-o real.png --set \"real clouds=1\" --set \"downloaded clouds=0\""), 0) << err;
    EXPECT_NE(read("real.png"), read("synthetic.png"));
    // The cache is read, not the network: the server saw only the fetch.
    EXPECT_EQ(server.requests().size(), 1u);
    ASSERT_EQ(terravane(common + "-o other.png --set \"real clouds=1\" --set \"downloaded clouds=4\""), 0) << err;
    EXPECT_EQ(read("other.png"), read("synthetic.png"));
}

}  // namespace
}  // namespace tv
