#include <cstring>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "clouds/catalogue.h"
#include "platform/files.h"

namespace tv {
namespace {

// 2026-03-06 12:00:00 UTC.
constexpr int64_t kSixthOfMarch2026 = 1772798400;
int64_t testClock() { return kSixthOfMarch2026; }

class CatalogueTest : public test::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        // The built-in servers (nothing here downloads).
        for (const char* name : {"TERRAVANE_IMAGE_SERVER_1", "TERRAVANE_IMAGE_SERVER_2", "TERRAVANE_LIST_SERVER"})
            ::unsetenv(name);
        catalogue.clock = testClock;
    }
    CloudCatalogue catalogue;
};

TEST_F(CatalogueTest, WithoutAListFileTheBuiltInTableServesTenEntries) {
    CatalogueEntry e;
    for (int i = 0; i < kBuiltInEntryCount; ++i) ASSERT_EQ(getEntry(catalogue, i, e), kCatalogueOk) << i;
    for (int i : {10, 11, -1}) EXPECT_EQ(getEntry(catalogue, i, e), kEntryMissing);
    EXPECT_FALSE(catalogue.listLoaded);
    EXPECT_EQ(versionLabel(catalogue), "v. 07");
    ASSERT_EQ(getEntry(catalogue, 0, e), kCatalogueOk);
    EXPECT_STREQ(e.name, "GOES-West infrared low-rez");
    EXPECT_STREQ(e.url, "http://www.ssec.wisc.edu/data/geo/west/latest_west_ir4_fd.gif");
    EXPECT_FLOAT_EQ(e.blackLevel, 70.0f / 255.0f);
    EXPECT_TRUE(e.overlayA == 3 && e.overlayB == -1 && e.flags == kPaintOutOverlays && e.imageKind == kImageKindPalette);
    ASSERT_EQ(getEntry(catalogue, 9, e), kCatalogueOk);
    EXPECT_TRUE(e.overlayA == 0 && e.overlayB == 1 && e.flags == 0 && e.imageKind == kImageKindJpeg);
}

TEST_F(CatalogueTest, DateTemplatesFollowTheReferenceDate) {
    // 48 hours back from 6 March is 4 March; the day-back modes use the 3rd.
    CatalogueEntry e;
    ASSERT_EQ(getEntry(catalogue, 4, e), kCatalogueOk);
    EXPECT_STREQ(e.url,
                 "http://www.sat.dundee.ac.uk/xrit/135.0W/GOES/2026/3/3/2100/2026_3_3_2100_GOES15_1_S2.jpeg");
    const struct {
        const char* pattern;
        int32_t mode;
        int64_t now;
        const char* url;
    } cases[] = {
        // 23:30 on 6 March: every placeholder; unknown ones and a final '>' stay.
        {"a>c>y>m>d>h>i>j>k>l>n>p>q>z>", 3, kSixthOfMarch2026 + 41400, "a2026030323212018161233>z>"},
        {"x/", 1, kSixthOfMarch2026 + 41400, "x/2603031200.gif"},
        {"x/", 2, kSixthOfMarch2026 + 41400, "x/2603042100.gif"},  // the day kept, the hour down to 21
        {"x>p", 0, kSixthOfMarch2026, "x>p"},
        // 3 March 00:30: 48 hours back is 1 March, which stays the 1st.
        {">c>y/>m/>d", 3, 1772497800, "2026/03/01"},
        {"", 1, 1772497800, "2603011200.gif"},
        // 2 March is 28 February 48 hours back; the day-back modes take the 27th.
        {">m/>d", 3, 1772409600, "02/27"},
        // New Year: 1 January 2026 12:00 -> 30 December 2025 -> 29th.
        {">c>y>m>d", 3, 1767268800, "20251229"},
    };
    for (const auto& c : cases) {
        std::string url;
        ASSERT_TRUE(completeUrl(c.pattern, c.mode, c.now, url)) << c.pattern;
        EXPECT_EQ(url, c.url) << c.pattern << " mode " << c.mode;
    }
}

TEST_F(CatalogueTest, ListsRoundTripThroughTheFileWithEmptySlotsAndReservedValues) {
    ASSERT_EQ(writeBuiltInList(), kCatalogueOk);
    ASSERT_EQ(readUrlList(catalogue), kCatalogueOk);
    EXPECT_TRUE(catalogue.listLoaded && catalogue.version == 7);
    for (int i = 0; i < kListEntryCount; ++i) EXPECT_EQ(catalogue.list[i].valid, i < kBuiltInEntryCount) << i;
    // A float keeps five decimals, truncated: 0.27450982 comes back as 0.2745, 0.9 as 0.89999.
    EXPECT_EQ(catalogue.list[0].blackLevel, static_cast<float>(27450 * 0.00001));
    EXPECT_EQ(catalogue.list[0].whiteLevel, static_cast<float>(89999 * 0.00001));
    EXPECT_EQ(catalogue.list[4].discWidth, 1354.5f);
    CatalogueEntry e;
    ASSERT_EQ(getEntry(catalogue, 8, e), kCatalogueOk);
    EXPECT_STREQ(e.url, "http://www.sat.dundee.ac.uk/xrit/000.0E/MSG/2026/3/3/600/2026_3_3_600_MSG2_5_S1.jpeg");

    CatalogueEntry entries[kListEntryCount];
    entries[1].valid = true;
    entries[1].reservedTriples[1][0] = 123456;
    entries[1].reservedPair[1] = 42;
    entries[1].flags = kFindDisc | kPaintOutOverlays;
    entries[1].threshold = 0.25f;
    std::strcpy(entries[1].url, "http://127.0.0.1:1/x.gif");
    std::strcpy(entries[1].name, "second slot");
    ASSERT_EQ(writeUrlList(entries, 9), kCatalogueOk);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::readFile(urlListPath(), bytes));
    // Magic, version, then slot 0 is the single word -1 and slot 1 starts with 0.
    ByteReader r(bytes);
    uint32_t magic;
    int32_t version, slot0, slot1;
    ASSERT_TRUE(r.u32(magic) && r.i32(version) && r.i32(slot0) && r.i32(slot1));
    EXPECT_TRUE(version == 9 && slot0 == -1 && slot1 == 0);
    ASSERT_EQ(readUrlList(catalogue), kCatalogueOk);
    EXPECT_EQ(versionLabel(catalogue), "v. 09");
    const CatalogueEntry& back = catalogue.list[1];
    ASSERT_TRUE(back.valid && !catalogue.list[0].valid && !catalogue.list[2].valid);
    EXPECT_TRUE(back.reservedTriples[1][0] == 123456 && back.reservedPair[1] == 42 && back.flags == 3 &&
                back.threshold == 0.25f);
    EXPECT_STREQ(back.name, "second slot");
}

TEST_F(CatalogueTest, ABrokenListFileChangesNothing) {
    CatalogueEntry entries[kListEntryCount];
    entries[0].valid = true;
    std::strcpy(entries[0].url, "http://127.0.0.1:1/a.jpg");
    std::strcpy(entries[0].name, "only");
    std::vector<uint8_t> good;
    ASSERT_TRUE(encodeUrlList(entries, 12, good));

    // Every shortened list fails to decode; as a file it leaves the built-in table in force.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        CatalogueEntry out[kListEntryCount];
        int32_t version;
        ASSERT_EQ(decodeUrlList(cut.data(), cut.size(), out, version), kListReadError) << n;
    }
    ASSERT_EQ(platform::writeFileAtomic(urlListPath(), good.data(), good.size() - 1), platform::kFileOk);
    CloudCatalogue c;
    ASSERT_EQ(readUrlList(c), kListReadError);
    EXPECT_TRUE(!c.listLoaded && c.version == kBuiltInListVersion && !c.list[0].valid);

    // A text longer than its 259-character field is an error, not an overflow:
    // a 259-character address is read, one character more (the list still
    // in step after it) is refused, as are lengths far beyond or below.
    std::memset(entries[0].url, 'u', 259);
    std::vector<uint8_t> longest;
    ASSERT_TRUE(encodeUrlList(entries, 12, longest));
    CatalogueEntry out[kListEntryCount];
    int32_t version;
    ASSERT_EQ(decodeUrlList(longest.data(), longest.size(), out, version), kCatalogueOk);
    const size_t urlLengthAt = 8 + 4 + 20 * 4;
    for (int32_t bad : {260, 100000, -1}) {
        std::vector<uint8_t> b = longest;
        for (int i = 0; i < 4; ++i) b[urlLengthAt + size_t(i)] = uint8_t(uint32_t(bad) >> (24 - 8 * i));
        b.insert(b.begin() + long(urlLengthAt + 4), 'u');
        EXPECT_EQ(decodeUrlList(b.data(), b.size(), out, version), kListReadError) << bad;
    }

    // A foreign file is ignored as well.
    std::vector<uint8_t> foreign = good;
    foreign[0] = 0x12;
    ASSERT_EQ(platform::writeFileAtomic(urlListPath(), foreign.data(), foreign.size()), platform::kFileOk);
    CatalogueEntry e;
    ASSERT_EQ(getEntry(catalogue, 3, e), kCatalogueOk);
    EXPECT_STREQ(e.name, "FY2E water vapor low-rez");
    EXPECT_FALSE(catalogue.listLoaded);

    // The good file is then taken.
    ASSERT_EQ(platform::writeFileAtomic(urlListPath(), good.data(), good.size()), platform::kFileOk);
    ASSERT_EQ(getEntry(catalogue, 0, e), kCatalogueOk);
    EXPECT_STREQ(e.name, "only");
    EXPECT_EQ(getEntry(catalogue, 3, e), kEntryMissing);
    EXPECT_EQ(versionLabel(catalogue), "v. 12");
}

TEST_F(CatalogueTest, ACompletedUrlMustFitItsField) {
    CatalogueEntry entries[kListEntryCount];
    entries[0].valid = true;
    entries[0].templateMode = 1;  // appends fourteen characters
    std::memset(entries[0].url, 'u', 250);
    entries[1] = entries[0];
    entries[1].templateMode = 0;
    ASSERT_EQ(writeUrlList(entries, 8), kCatalogueOk);
    CatalogueEntry e;
    EXPECT_EQ(getEntry(catalogue, 0, e), kEntryUrlTooLong);
    EXPECT_EQ(getEntry(catalogue, 1, e), kCatalogueOk);
    EXPECT_EQ(std::strlen(e.url), 250u);
}

TEST_F(CatalogueTest, ServersComeFromTheEnvironmentWhenSet) {
    EXPECT_EQ(listUrl(), std::string(serverDefault(CloudServer::List)) + "/dl/terravane-data-v3.dat");

    ::setenv("TERRAVANE_IMAGE_SERVER_2", "https://mirror.example.org:8443/", 1);
    ::setenv("TERRAVANE_IMAGE_SERVER_1", "http://127.0.0.1:8080", 1);
    ::setenv("TERRAVANE_LIST_SERVER", "https://[::1]:99", 1);
    CatalogueEntry e;
    ASSERT_EQ(getEntry(catalogue, 5, e), kCatalogueOk);
    EXPECT_EQ(std::string(e.url).rfind("https://mirror.example.org:8443/xrit/135.0W/GOES/2026/3/3/", 0), 0u) << e.url;
    ASSERT_EQ(getEntry(catalogue, 1, e), kCatalogueOk);
    EXPECT_STREQ(e.url, "http://127.0.0.1:8080/data/geo/west/latest_west_wv_fd.gif");
    EXPECT_EQ(listUrl(), "https://[::1]:99/dl/terravane-data-v3.dat");

    ::setenv("TERRAVANE_IMAGE_SERVER_1", "ftp://example.org", 1);
    std::string problem;
    EXPECT_EQ(serverBase(CloudServer::Image1, &problem), "");
    EXPECT_NE(problem.find("TERRAVANE_IMAGE_SERVER_1"), std::string::npos);

    for (const char* good : {"http://a", "https://a.b-c.d:1", "http://localhost:65535/", "http://[fe80::1]"})
        EXPECT_TRUE(isBaseUrl(good)) << good;
    for (const char* bad : {"", "http://", "a.b", "http://a/b", "http://a:0", "http://a:65536", "http://a:",
                            "http://user@a", "https://a:12x", "http://[]", "HTTP//a"})
        EXPECT_FALSE(isBaseUrl(bad)) << bad;
}

}  // namespace
}  // namespace tv
