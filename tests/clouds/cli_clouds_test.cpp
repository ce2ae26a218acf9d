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
