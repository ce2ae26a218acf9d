#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/threads.h"
#include "synth/jobs.h"

namespace tv {
namespace {

// Restores the machine's own thread rule after each test.
class JobsTest : public ::testing::Test {
protected:
    void TearDown() override {
        setForcedThreadCount(0);
        overrideProcessorCount(-1);
    }
};

// Waits (at most ten seconds) until pred() holds.
template <typename Pred>
bool waitUntil(Pred pred) {
    const double end = platform::monotonicSeconds() + 10.0;
    while (!pred()) {
        if (platform::monotonicSeconds() > end) return false;
        platform::sleepMilliseconds(1);
    }
    return true;
}

Rect tileAt(const Rect& area, int32_t index) {
    JobPlan plan = makePlan(area, 0);
    plan.jobIndex = index;
    return tileOfJob(plan);
}

TEST_F(JobsTest, PlanCutsAreaIntoTilesRowByRowWithShortLastRowAndColumn) {
    const Rect area{10, 20, 10 + 257, 20 + 257};
    const JobPlan plan = makePlan(area, 0);
    EXPECT_EQ(plan.width, 257);
    EXPECT_EQ(plan.tilesAcross, 2);
    EXPECT_EQ(plan.jobCount, 4);
    EXPECT_EQ(plan.tile, (Rect{-1, -1, -1, -1}));
    // Relative to the area: 256x256, 1x256, 256x1, 1x1.
    EXPECT_EQ(tileAt(area, 0), (Rect{0, 0, 256, 256}));
    EXPECT_EQ(tileAt(area, 1), (Rect{0, 256, 256, 257}));
    EXPECT_EQ(tileAt(area, 2), (Rect{256, 0, 257, 256}));
    EXPECT_EQ(tileAt(area, 3), (Rect{256, 256, 257, 257}));
    // Exact multiples have no short tiles; a wide strip numbers across first.
    EXPECT_EQ(tileAt(Rect{0, 0, 256, 768}, 2), (Rect{0, 512, 256, 768}));
    EXPECT_EQ(makePlan(Rect{0, 0, 0, 100}, 0).jobCount, 0);
    EXPECT_EQ(makePlan(Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0).jobCount, 0);
}

TEST_F(JobsTest, ThreadCountFollowsProcessorsJobsAndLimits) {
    EXPECT_EQ(threadCountFor(0, 10), 1);
    EXPECT_EQ(threadCountFor(8, 3), 3);
    EXPECT_EQ(threadCountFor(500, 1000), kMaxThreads);
    overrideProcessorCount(6);
    EXPECT_EQ(threadCount(50), 6);
    setForcedThreadCount(3);
    EXPECT_EQ(threadCount(50), 3);
    EXPECT_EQ(threadCount(2), 2);
    setForcedThreadCount(0);
    overrideProcessorCount(-1);
    EXPECT_EQ(threadCount(1000), threadCountFor(platform::processorCount(), 1000));
}

// Records what happened to every job of a run. Driver-side fields are only
// touched by driver callbacks; workers use the atomics.
struct Recorder {
    Rect area;
    uint64_t driver = platform::currentThreadId();
    std::vector<uint8_t> covered;  // per pixel, written by work() into its own tile
    std::vector<std::atomic<int>> worked;
    std::vector<int> setUps, tearDowns, completes, completeOrder;
    std::atomic<bool> workOnDriver{false};
    bool callbackOffDriver = false;
    std::atomic<int> inWork{0}, maxInWork{0}, published{0};
    int failSetUpOf = -1;
    int cancelAfterCompletes = -1;
    void (*extraWork)(Recorder&, RenderJob&) = nullptr;
    double fakeNow = 0.0;
    std::vector<int> progressValues;
    std::vector<double> progressTimes;

    Recorder(const Rect& a, int jobs)
        : area(a), covered(static_cast<size_t>(a.width()) * a.height()), worked(jobs), setUps(jobs),
          tearDowns(jobs), completes(jobs) {}
    static Recorder& on(void* c) {
        Recorder& r = *static_cast<Recorder*>(c);
        if (platform::currentThreadId() != r.driver) r.callbackOffDriver = true;
        return r;
    }
};

JobHandlers recorderHandlers(Recorder& rec) {
    JobHandlers h;
    h.context = &rec;
    h.setUp = [](void* c, RenderJob& job) {
        Recorder& r = Recorder::on(c);
        r.setUps[job.plan.jobIndex] += 1;
        return job.plan.jobIndex != r.failSetUpOf;
    };
    h.work = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        if (platform::currentThreadId() == r.driver) r.workOnDriver = true;
        const int now = ++r.inWork;
        for (int seen = r.maxInWork; now > seen && !r.maxInWork.compare_exchange_weak(seen, now);) {
        }
        r.worked[job.plan.jobIndex] += 1;
        const Rect& t = job.plan.tile;
        for (int y = t.top; y < t.bottom; ++y)
            for (int x = t.left; x < t.right; ++x) r.covered[static_cast<size_t>(y) * r.area.width() + x] += 1;
        if (r.extraWork != nullptr) r.extraWork(r, job);
        --r.inWork;
    };
    h.complete = [](void* c, RenderJob& job) {
        Recorder& r = Recorder::on(c);
        r.completes[job.plan.jobIndex] += 1;
        r.completeOrder.push_back(job.plan.jobIndex);
        ++r.published;
        r.fakeNow += 0.4;
    };
    h.tearDown = [](void* c, RenderJob& job) { Recorder::on(c).tearDowns[job.plan.jobIndex] += 1; };
    h.cancelled = [](void* c) {
        Recorder& r = Recorder::on(c);
        return r.cancelAfterCompletes >= 0 && static_cast<int>(r.completeOrder.size()) >= r.cancelAfterCompletes;
    };
    h.now = [](void* c) { return static_cast<Recorder*>(c)->fakeNow; };
    h.progress = [](void* c, int32_t thousandths) {
        Recorder& r = Recorder::on(c);
        r.progressValues.push_back(thousandths);
        r.progressTimes.push_back(r.fakeNow);
    };
    return h;
}

TEST_F(JobsTest, EveryTileIsWorkedOnceOnWorkersAndCompletedOnTheCallingThread) {
    struct Case {
        int forced, processors;
        Rect area;
        int jobs, threads;
    };
    const Case cases[] = {
        {3, -1, Rect{3, 7, 3 + 700, 7 + 530}, 9, 3},
        {0, 0, Rect{0, 0, 600, 600}, 9, 1},  // a machine reporting no processors
        {0, 8, Rect{0, 0, 40, 100}, 1, 1},   // smaller than a tile
    };
    for (const Case& k : cases) {
        setForcedThreadCount(k.forced);
        overrideProcessorCount(k.processors);
        Recorder rec(k.area, k.jobs);
        const JobRunResult r = runJobs(kJobRenderTile, nullptr, k.area, 0, recorderHandlers(rec));
        EXPECT_EQ(r.jobCount, k.jobs);
        EXPECT_EQ(r.jobsFinished, k.jobs);
        EXPECT_EQ(r.threadCount, k.threads);
        EXPECT_FALSE(r.aborted);
        for (int i = 0; i < k.jobs; ++i) {
            EXPECT_EQ(rec.worked[i] + rec.setUps[i] + rec.completes[i] + rec.tearDowns[i], 4) << i;
        }
        for (uint8_t c : rec.covered) ASSERT_EQ(c, 1);
        EXPECT_FALSE(rec.workOnDriver);
        EXPECT_FALSE(rec.callbackOffDriver);
        EXPECT_LE(rec.maxInWork.load(), k.threads);
    }
    // Empty jobs do no work; an empty area calls nothing.
    Recorder empty(Rect{0, 0, 10, 10}, 1);
    runJobs(kJobEmpty, nullptr, empty.area, 0, recorderHandlers(empty));
    EXPECT_EQ(empty.worked[0], 0);
    EXPECT_EQ(empty.completes[0], 1);
    EXPECT_EQ(runJobs(kJobRenderTile, nullptr, Rect{}, 0, recorderHandlers(empty)).jobCount, 0);
    EXPECT_EQ(empty.setUps[0], 1);
}

TEST_F(JobsTest, SlotsRunConcurrentlyAndJobsFinishOutOfOrder) {
    // Job 0 holds its slot until the other slot has run jobs 1..3 and the
    // driver has completed them; job 1 waits until both slots are busy.
    setForcedThreadCount(2);
    const Rect area{0, 0, 256, 256 * 6};
    Recorder rec(area, 6);
    rec.extraWork = [](Recorder& r, RenderJob& job) {
        if (job.plan.jobIndex == 0) {
            EXPECT_TRUE(waitUntil([&r] { return r.published.load() >= 3; }));
        } else if (job.plan.jobIndex == 1) {
            EXPECT_TRUE(waitUntil([&r] { return r.inWork.load() == 2; }));
        }
    };
    const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(rec));
    EXPECT_EQ(r.jobsFinished, 6);
    EXPECT_EQ(rec.maxInWork.load(), 2);
    ASSERT_EQ(rec.completeOrder.size(), 6u);
    EXPECT_EQ(std::vector<int>(rec.completeOrder.begin(), rec.completeOrder.begin() + 3),
              (std::vector<int>{1, 2, 3}));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(rec.completes[i], 1) << i;
}

TEST_F(JobsTest, CancelStartsNoNewJobAndKeepsWhatWasCompleted) {
    setForcedThreadCount(2);
    const Rect area{0, 0, 256 * 4, 256 * 5};  // 20 jobs
    Recorder rec(area, 20);
    rec.cancelAfterCompletes = 3;
    const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(rec));
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(rec.completeOrder.size(), 3u);  // tiles written before the cancel stay written
    EXPECT_EQ(r.jobsFinished, r.jobsStarted);  // the run waited for every started job
    // The cancel is seen when the fourth job finishes, while at most the
    // other slot's job runs; nothing starts afterwards.
    EXPECT_LE(r.jobsStarted, 5);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(rec.setUps[i], i < r.jobsStarted ? 1 : 0) << i;
        EXPECT_EQ(rec.worked[i], rec.setUps[i]) << i;  // running jobs ran to their end
        EXPECT_EQ(rec.tearDowns[i], rec.setUps[i]) << i;
    }
}

TEST_F(JobsTest, JobWhoseSetUpFailsIsSkippedAndTheRunGoesOn) {
    for (int threads : {1, 2}) {
        setForcedThreadCount(threads);
        Recorder rec(Rect{0, 0, 512, 512}, 4);
        rec.failSetUpOf = 2;
        const JobRunResult r = runJobs(kJobRenderTile, nullptr, rec.area, 0, recorderHandlers(rec));
        EXPECT_EQ(r.jobsFinished, 4);
        EXPECT_EQ(rec.worked[2] + rec.completes[2], 0);
        EXPECT_EQ(rec.tearDowns[2], 1);
        EXPECT_EQ(rec.completeOrder.size(), 3u);
    }
}

TEST_F(JobsTest, ProgressAtMostOncePerSecondAndOnlyForCountedPasses) {
    setForcedThreadCount(1);
    const Rect area{0, 0, 256, 256 * 10};  // 10 jobs; each completion moves the clock 0.4 s
    Recorder rec(area, 10);
    JobHandlers h = recorderHandlers(rec);
    h.passIndex = 2;
    h.passCount = 3;
    runJobs(kJobRenderTile, nullptr, area, 0, h);
    // Reports at 1.2 s (3 jobs done), 2.4 s (6) and 3.6 s (9), of pass 2 of 3.
    ASSERT_EQ(rec.progressValues.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        if (i > 0) {
            EXPECT_GE(rec.progressTimes[i] - rec.progressTimes[i - 1], 1.0 - 1e-9);
        }
        const int finished = static_cast<int>(rec.progressTimes[i] / 0.4 + 0.5);
        EXPECT_EQ(rec.progressValues[i], 1000 * (10 + finished) / 30) << i;
    }
    Recorder preview(area, 10);
    runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(preview));  // pass index -1
    EXPECT_TRUE(preview.progressValues.empty());
}

TEST(ThreadsTest, MailboxKeepsOrderAndRefusesWhenFull) {
    platform::Mailbox* m = platform::createMailbox(2);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(platform::postMessage(m, 7));
    EXPECT_TRUE(platform::postMessage(m, -3));
    EXPECT_FALSE(platform::postMessage(m, 9));
    EXPECT_EQ(platform::waitMessage(m), 7);
    EXPECT_TRUE(platform::postMessage(m, 11));
    EXPECT_EQ(platform::waitMessage(m), -3);
    EXPECT_EQ(platform::waitMessage(m), 11);
    platform::destroyMailbox(m);
    EXPECT_EQ(platform::createMailbox(0), nullptr);
    EXPECT_GE(platform::processorCount(), 1);
}

}  // namespace
}  // namespace tv
