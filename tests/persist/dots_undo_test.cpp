// Memory dots, the dot map and undo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "persist/memory_dots.h"
#include "persist/session.h"
#include "persist/thumbnail.h"
#include "persist/undo.h"
#include "platform/files.h"

namespace tv {
namespace {

using persist::DotAction;
using persist::DotClick;

// A run as the frame drives it: start, then the dialog opens.
struct FilterRun {
    ParamRecord record = defaultRecord();
    StateBlock state{};
    persist::PersistRun session;
    explicit FilterRun(bool recorded = true) {
        persist::beginRun(record, state, session, recorded);
        persist::openDotDisplay(state);
    }
    ~FilterRun() { persist::freeThumbnail(state); }
};

using MemoryDots = test::TempHome;

TEST_F(MemoryDots, OnlyMarkedDotsAreKeptForTheNextRun) {
    {
        FilterRun run;
        persist::clickDot(2, DotClick::Plain, run.record, run.state);
        persist::clickDot(5, DotClick::Ctrl, run.record, run.state);   // filled now, not kept
        persist::clickDot(7, DotClick::Plain, run.record, run.state);
        persist::clickDot(7, DotClick::Ctrl, run.record, run.state);   // unmarked while filled
        EXPECT_EQ(run.state.dotDisplay[5], persist::kDotFilled);
        EXPECT_EQ(run.state.dotDisplay[7], persist::kDotCurrent);
        EXPECT_EQ(run.state.dotMarks[5], 0);
        ASSERT_EQ(persist::endRun(run.state, run.session), platform::kFileOk);
    }
    FilterRun next;
    EXPECT_EQ(next.state.dotDisplay[2], persist::kDotFilled);
    EXPECT_EQ(next.state.dotDisplay[5], persist::kDotEmpty);
    EXPECT_EQ(next.state.dotDisplay[7], persist::kDotEmpty);
    EXPECT_TRUE(platform::fileExists(persist::dotFilePath(5)));
    EXPECT_EQ(persist::firstFreeDot(next.state), 0);
    EXPECT_EQ(persist::firstDotNotShown(next.state), 0);

    // The map file: 40, then the 25 marks.
    std::vector<uint8_t> map;
    ASSERT_TRUE(platform::readFile(home() + "Terravane memdot map 3", map));
    ASSERT_EQ(map.size(), 26u * 4);
    EXPECT_EQ(map[3], 40);
    EXPECT_EQ(map[4 + 2 * 4 + 3], 1);
    EXPECT_EQ(map[4 + 5 * 4 + 3], 0);
}

TEST_F(MemoryDots, AMapThatCannotBeReadIsLeftAsItIs) {
    {
        FilterRun run;
        persist::clickDot(4, DotClick::Plain, run.record, run.state);
        persist::endRun(run.state, run.session);
    }
    // A start that failed before the map was loaded still releases, and
    // writes nothing.
    StateBlock blank{};
    persist::PersistRun unused;
    EXPECT_EQ(persist::endRun(blank, unused), platform::kFileOk);
    // A short map: no dot is marked in this run, and the file keeps its
    // bytes (a later reader may still make sense of them).
    std::vector<uint8_t> whole;
    ASSERT_TRUE(platform::readFile(persist::dotMapPath(), whole));
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + 50);
    ASSERT_EQ(platform::writeFileAtomic(persist::dotMapPath(), cut.data(), cut.size()), platform::kFileOk);
    {
        FilterRun damaged;
        EXPECT_TRUE(damaged.session.dotMapDamaged);
        for (int32_t m : damaged.state.dotMarks) EXPECT_EQ(m, 0);
        persist::clickDot(6, DotClick::Plain, damaged.record, damaged.state);
        persist::endRun(damaged.state, damaged.session);
    }
    std::vector<uint8_t> after;
    ASSERT_TRUE(platform::readFile(persist::dotMapPath(), after));
    EXPECT_EQ(after, cut);
    // No map at all is no damage: the run starts one.
    ASSERT_TRUE(platform::removeFile(persist::dotMapPath()));
    FilterRun fresh;
    EXPECT_FALSE(fresh.session.dotMapDamaged);
    persist::endRun(fresh.state, fresh.session);
    EXPECT_TRUE(platform::fileExists(persist::dotMapPath()));
}

}  // namespace
}  // namespace tv
