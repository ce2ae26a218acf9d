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

RgbImage flat(uint8_t value) {
    RgbImage img(128, 128);
    std::fill(img.pixels.begin(), img.pixels.end(), value);
    return img;
}

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

TEST_F(MemoryDots, DotTwentyFourHasItsFileAndRecallsAsDotTwentyFive) {
    EXPECT_EQ(persist::dotFileName(24), "Terravane A memory dot 24.q1q");
    EXPECT_EQ(persist::dotFileName(0), "Terravane A memory dot 0.q1q");
    FilterRun run;
    run.record.randomSeed = 777;
    run.record.xCenter = 0.125f;
    run.record.downloadedClouds = 3;
    const auto click = persist::clickDot(24, DotClick::Plain, run.record, run.state);
    EXPECT_EQ(click.action, DotAction::Stored);
    EXPECT_TRUE(platform::fileExists(home() + "Terravane A memory dot 24.q1q"));
    EXPECT_EQ(run.state.dotDisplay[24], persist::kDotCurrent);
    EXPECT_EQ(run.state.dotMarks[24], 1);
    EXPECT_EQ(run.state.hoverDot, 24);

    // Recall brings back what snapshots do not carry, and names the settings.
    run.record = defaultRecord();
    const auto recall = persist::clickDot(24, DotClick::Plain, run.record, run.state);
    EXPECT_EQ(recall.action, DotAction::Recalled);
    EXPECT_STREQ(run.record.settingsName, "dot 25");
    EXPECT_EQ(run.record.randomSeed, 777);
    EXPECT_EQ(run.record.xCenter, 0.125f);
    EXPECT_EQ(run.record.downloadedClouds, 3);

    // Out of range: nothing.
    EXPECT_EQ(persist::clickDot(25, DotClick::Plain, run.record, run.state).action, DotAction::None);
    EXPECT_EQ(persist::clickDot(-1, DotClick::Plain, run.record, run.state).action, DotAction::None);
}

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

TEST_F(MemoryDots, ClickRulesOnFilledDotsAndTheSingleCurrentDot) {
    FilterRun run;
    persist::clickDot(3, DotClick::Plain, run.record, run.state);
    const auto second = persist::clickDot(4, DotClick::Plain, run.record, run.state);
    EXPECT_EQ(second.change.repaint, (1u << 3) | (1u << 4));
    EXPECT_EQ(run.state.dotDisplay[3], persist::kDotFilled);
    EXPECT_EQ(run.state.dotDisplay[4], persist::kDotCurrent);

    // A right-click on an empty dot does nothing; on a filled one it empties it.
    EXPECT_EQ(persist::clickDot(9, DotClick::Right, run.record, run.state).action, DotAction::None);
    const auto removed = persist::clickDot(3, DotClick::Right, run.record, run.state);
    EXPECT_EQ(removed.action, DotAction::Removed);
    EXPECT_TRUE(removed.change.pictureHidden);
    EXPECT_EQ(run.state.dotDisplay[3], persist::kDotEmpty);
    EXPECT_EQ(run.state.dotMarks[3], 0);
    EXPECT_EQ(run.state.hoverDot, persist::kNoDot);

    EXPECT_EQ(persist::firstFreeDot(run.state), 0);
    for (int i = 0; i < 3; ++i) persist::clickDot(i, DotClick::Ctrl, run.record, run.state);
    EXPECT_EQ(persist::firstFreeDot(run.state), 0);      // Ctrl-stored dots are not marked
    EXPECT_EQ(persist::firstDotNotShown(run.state), 3);  // but they are shown
    EXPECT_EQ(persist::clearDotDisplay(run.state), 0b10111u);
    EXPECT_EQ(persist::firstDotNotShown(run.state), 0);
}

TEST_F(MemoryDots, PictureIsReadOnceAndMissingFilesShowNone) {
    FilterRun run;
    persist::ensureThumbnail(run.state) = flat(200);
    persist::clickDot(1, DotClick::Plain, run.record, run.state);
    persist::ensureThumbnail(run.state) = flat(40);
    persist::clickDot(2, DotClick::Plain, run.record, run.state);

    const auto shown = persist::showDotPicture(1, run.state);
    EXPECT_TRUE(shown.pictureShown);
    EXPECT_NEAR(run.state.thumbnail->at(64, 64)[0], 200, 3);
    persist::ensureThumbnail(run.state) = flat(90);
    const auto again = persist::showDotPicture(1, run.state);  // still the hover dot: not read again
    EXPECT_FALSE(again.pictureShown);
    EXPECT_EQ(run.state.thumbnail->at(64, 64)[0], 90);

    EXPECT_TRUE(persist::showDotPicture(11, run.state).pictureHidden);  // no file
    EXPECT_EQ(run.state.thumbnail->at(64, 64)[0], 90);
    persist::hideDotPicture(run.state);
    EXPECT_EQ(run.state.hoverDot, persist::kNoDot);
}

TEST_F(MemoryDots, ShortOrMissingMapLeavesEveryDotUnmarked) {
    StateBlock state{};
    for (auto& m : state.dotMarks) m = 1;
    EXPECT_EQ(persist::loadDotMap(state), platform::kFileOpenError);
    for (int32_t m : state.dotMarks) EXPECT_EQ(m, 0);

    ByteWriter w;
    for (int i = 0; i < 20; ++i) w.i32(1);  // six words short
    ASSERT_EQ(platform::writeFileAtomic(persist::dotMapPath(), w.data().data(), w.size()), platform::kFileOk);
    for (auto& m : state.dotMarks) m = 1;
    EXPECT_EQ(persist::loadDotMap(state), platform::kFileReadError);
    for (int32_t m : state.dotMarks) EXPECT_EQ(m, 0);
}

TEST_F(MemoryDots, ARunThatNeverLoadedTheMapDoesNotOverwriteIt) {
    {
        FilterRun run;
        persist::clickDot(4, DotClick::Plain, run.record, run.state);
        persist::endRun(run.state, run.session);
    }
    // A start that failed before the map was loaded still releases.
    StateBlock blank{};
    persist::PersistRun unused;
    EXPECT_EQ(persist::endRun(blank, unused), platform::kFileOk);
    FilterRun next;
    EXPECT_EQ(next.state.dotMarks[4], 1);
}

TEST_F(MemoryDots, RecallOfAMissingFileOnlyRenames) {
    FilterRun run;
    run.state.dotDisplay[6] = persist::kDotFilled;  // shown, but its file is gone
    const ParamRecord before = run.record;
    const auto r = persist::clickDot(6, DotClick::Plain, run.record, run.state);
    EXPECT_EQ(r.change.result, platform::kFileOpenError);
    EXPECT_STREQ(run.record.settingsName, "dot 7");
    std::strcpy(run.record.settingsName, before.settingsName);
    EXPECT_EQ(std::memcmp(&before, &run.record, sizeof before), 0);
}

using Undo = test::TempHome;

TEST_F(Undo, NothingBeforeTheFirstChangeThenAlternates) {
    FilterRun run(false);
    run.record.xCenter = 0.375f;
    run.record.seaLevel = 10;
    persist::recordBeforeDialog(run.record, run.state, run.session);
    EXPECT_TRUE(platform::fileExists(home() + "Terravane undo 1"));
    const ParamRecord opened = run.record;

    // Undo before any change does nothing.
    EXPECT_FALSE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(std::memcmp(&opened, &run.record, sizeof opened), 0);

    // One change in the dialog (no file), also moving the centre, which a
    // snapshot does not carry but the start's undo file does.
    run.record.seaLevel = 90;
    run.record.xCenter = 0.9f;
    setText(run.record.settingsName, "changed");
    persist::recordUndo(run.record, run.state, run.session.undo, false);
    EXPECT_FALSE(platform::fileExists(home() + "Terravane undo 0"));

    ASSERT_TRUE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(run.record.seaLevel, 10);
    EXPECT_EQ(run.record.xCenter, 0.375f);
    EXPECT_STREQ(run.record.settingsName, "Terravane settings");
    ASSERT_TRUE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(run.record.seaLevel, 90);
    EXPECT_STREQ(run.record.settingsName, "changed");
    EXPECT_EQ(run.record.xCenter, 0.375f);  // slot without a file: the centre stays
    ASSERT_TRUE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(run.record.seaLevel, 10);

    // A new record overwrites the slot that does not hold the current state.
    run.record.seaLevel = 55;
    persist::recordUndo(run.record, run.state, run.session.undo, false);
    ASSERT_TRUE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(run.record.seaLevel, 10);
    ASSERT_TRUE(persist::undo(run.record, run.state, run.session.undo));
    EXPECT_EQ(run.record.seaLevel, 55);
}

TEST_F(Undo, StartClearsTheSlotsOfTheLastRun) {
    FilterRun run;
    persist::recordUndo(run.record, run.state, run.session.undo, false);
    persist::recordUndo(run.record, run.state, run.session.undo, false);
    persist::beginRun(run.record, run.state, run.session, true);
    EXPECT_EQ(run.state.undoIndex, 0);
    EXPECT_FALSE(persist::undo(run.record, run.state, run.session.undo));
}

}  // namespace
}  // namespace tv
