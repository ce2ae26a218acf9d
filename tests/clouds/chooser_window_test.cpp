// The cloud chooser window of terravane edit, replayed against a server on
// 127.0.0.1: "Try cache first" without a cache downloads, "Update this
// list" brings a longer list, a failed download and a cancelled one keep the
// map that was there, and real clouds stay on for it.
#include "../support/terravane.h"
#include "clouds/catalogue.h"
#include "clouds/cloud_cache.h"
#include "local_server.h"
#include "params/params.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "test_images.h"

namespace tv {
namespace {

class ChooserWindowTest : public test::CommandTest {};

TEST_F(ChooserWindowTest, FetchesUpdatesAndFailuresFromTheChooser) {
    test::LocalServer server;
    const std::string gif = test::asText(test::encodeGif(test::earthDisc(677, 708, 1, 17, 673, 30)));
    server.answer("/data/geo/west/latest_west_ir4_fd.gif", {.body = gif});
    // Entry 1 arrives slowly (it is cancelled); entry 2 is not there (404).
    server.answer("/data/geo/west/latest_west_wv_fd.gif", {.body = std::string(200000, 'x'), .chunkDelayMs = 20});
    // The list adds an eleventh entry, a copy of the first.
    ::setenv("TERRAVANE_IMAGE_SERVER_1", server.base().c_str(), 1);
    CatalogueEntry entries[kListEntryCount];
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(builtInEntry(i, entries[i]));
    entries[10] = entries[0];
    std::snprintf(entries[10].name, sizeof entries[10].name, "%s", "Another western disc");
    for (int i = 0; i < 11; ++i) entries[i].valid = true;
    std::vector<uint8_t> list;
    ASSERT_TRUE(encodeUrlList(entries, 11, list));
    server.answer(kUrlListPath, {.body = test::asText(list)});
    const std::string servers = "export TERRAVANE_IMAGE_SERVER_1=" + server.base() + " TERRAVANE_LIST_SERVER=" + server.base();

    ASSERT_TRUE(test::writeText(path("events.txt"),
                                "click @17\n"
                                "window clouds\n"
                                "click @3\n"  // entry 0, no cache yet: downloaded
                                "wait-download\n"
                                "window main\n"
                                "click @17\n"
                                "click @17\n"  // brings the open chooser forward
                                "window clouds\n"
                                "click @4\n"
                                "wait-download\n"
                                "screenshot chooser.png\n"
                                "click @16\n"  // the list's eleventh entry
                                "click @3\n"
                                "wait-download\n"
                                "window main\n"
                                "click @17\n"
                                "window clouds\n"
                                "click @6\n"
                                "click @3\n"  // cached now: no download
                                "window main\n"
                                "click @17\n"
                                "window clouds\n"
                                "click @8\n"
                                "click @1\n"
                                "answer-message\n"
                                "wait-download\n"  // 404: the map stays
                                "window main\n"
                                "click @17\n"
                                "window clouds\n"
                                "click @7\n"
                                "click @1\n"
                                "window download\n"
                                "click @1\n"  // cancelled
                                "wait-download\n"
                                "ok\n"));
    const test::Result r = run("edit --size 200x160 --replay events.txt -o out.png", servers);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("message Choose clouds: The satellite image could not be fetched: "), std::string::npos)
        << r.out;
    if (const char* keep = std::getenv("TERRAVANE_KEEP_SCREENSHOTS"))  // the picture in docs/
        test::writeText(std::string(keep) + "/clouds.png", test::readText(path("chooser.png")));
    EXPECT_TRUE(platform::fileExists(cacheFilePath(0)));
    EXPECT_TRUE(platform::fileExists(cacheFilePath(10)));
    EXPECT_FALSE(platform::fileExists(cacheFilePath(1)));
    EXPECT_FALSE(platform::fileExists(cacheFilePath(2)));
    EXPECT_TRUE(platform::fileExists(urlListPath()));
    std::vector<std::string> paths;
    for (const auto& seen : server.requests()) paths.push_back(seen.path);
    // Entry 0 twice (by itself and as the list's eleventh), the list, entry 2, and entry 1 when the
    // cancel did not come before its request; the cache hit asks nothing.
    if (paths.size() == 5 && paths[4] == "/data/geo/west/latest_west_wv_fd.gif") paths.pop_back();
    EXPECT_EQ(paths, (std::vector<std::string>{"/data/geo/west/latest_west_ir4_fd.gif", kUrlListPath,
                                               "/data/geo/west/latest_west_ir4_fd.gif",
                                               "/data/geo/fy2e/latest_fy2e_ir2_fd.gif"}));
    // Real clouds stayed on through the failures, from the map of entry 0.
    ParamRecord cached = defaultRecord();
    ASSERT_EQ(persist::readSettingsFile(home() + persist::kCachedSettingsName, persist::ReadMode::Load, &cached,
                                        static_cast<RgbImage*>(nullptr)),
              0);
    EXPECT_EQ(cached.realClouds, 1);
    EXPECT_EQ(cached.downloadedClouds, 1);
    ASSERT_EQ(run("render --size 200x160 --quiet -o again.png --set \"real clouds=1\" --set \"downloaded clouds=0\"")
                  .status,
              0);
    EXPECT_EQ(test::readText(path("out.png")), test::readText(path("again.png")));
}

}  // namespace
}  // namespace tv
