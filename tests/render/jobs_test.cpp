#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/threads.h"
#include "render/jobs.h"

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

// Waits (a bounded time) until pred() holds; false on time-out.
template <typename Pred>
bool waitUntil(Pred pred, double seconds = 10.0) {
    const double end = platform::monotonicSeconds() + seconds;
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
    EXPECT_EQ(plan.height, 257);
    EXPECT_EQ(plan.tilesAcross, 2);
    EXPECT_EQ(plan.jobCount, 4);
    EXPECT_EQ(plan.area, area);
    EXPECT_EQ(plan.tile, (Rect{-1, -1, -1, -1}));
    // Relative to the area: 256x256, 1x256, 256x1, 1x1.
    EXPECT_EQ(tileAt(area, 0), (Rect{0, 0, 256, 256}));
    EXPECT_EQ(tileAt(area, 1), (Rect{0, 256, 256, 257}));
    EXPECT_EQ(tileAt(area, 2), (Rect{256, 0, 257, 256}));
    EXPECT_EQ(tileAt(area, 3), (Rect{256, 256, 257, 257}));

    // Exact multiples have no short tiles; a wide strip numbers across first.
    const Rect strip{0, 0, 256, 768};
    EXPECT_EQ(makePlan(strip, 0).jobCount, 3);
    EXPECT_EQ(tileAt(strip, 2), (Rect{0, 512, 256, 768}));

    EXPECT_EQ(makePlan(Rect{0, 0, 0, 100}, 0).jobCount, 0);
    EXPECT_EQ(makePlan(Rect{5, 5, 4, 100}, 0).jobCount, 0);
    EXPECT_EQ(makePlan(Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0).jobCount, 0);
}

TEST_F(JobsTest, ThreadCountFollowsProcessorsJobsAndLimits) {
    EXPECT_EQ(threadCountFor(0, 10), 1);
    EXPECT_EQ(threadCountFor(8, 3), 3);
    EXPECT_EQ(threadCountFor(2, 30), 2);
    EXPECT_EQ(threadCountFor(500, 1000), kMaxThreads);
    EXPECT_EQ(threadCountFor(4, 1), 1);

    overrideProcessorCount(0);
    EXPECT_EQ(threadCount(50), 1);
    overrideProcessorCount(6);
    EXPECT_EQ(threadCount(50), 6);
    setForcedThreadCount(3);
    EXPECT_EQ(threadCount(50), 3);
    EXPECT_EQ(threadCount(2), 2);
    setForcedThreadCount(0);
    overrideProcessorCount(-1);
    EXPECT_EQ(threadCount(1000), threadCountFor(platform::processorCount(), 1000));
}

// Records what happened to every job of a run.
struct Recorder {
    Rect area;
    uint64_t driver = platform::currentThreadId();
    std::vector<uint8_t> covered;            // per pixel of the area, written by work()
    std::vector<std::atomic<int>> worked;    // work() calls per job
    std::vector<int> setUps, tearDowns, completes;
    std::vector<int> completeOrder;
    std::atomic<bool> workOnDriver{false};
    bool callbackOffDriver = false;
    std::atomic<int> inWork{0};
    std::atomic<int> maxInWork{0};
    // Options.
    int failSetUpOf = -1;
    int cancelAfterCompletes = -1;
    int startedAtCancel = -1;
    std::vector<int> progressValues;
    std::vector<double> progressTimes;
    double fakeNow = 0.0;
    void (*extraWork)(Recorder&, RenderJob&) = nullptr;

    explicit Recorder(const Rect& a, int jobs)
        : area(a), covered(static_cast<size_t>(a.width()) * a.height()), worked(jobs),
          setUps(jobs), tearDowns(jobs), completes(jobs) {}

    void checkDriver() {
        if (platform::currentThreadId() != driver) callbackOffDriver = true;
    }
};

JobHandlers recorderHandlers(Recorder& rec) {
    JobHandlers h;
    h.context = &rec;
    h.setUp = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        r.checkDriver();
        r.setUps[job.plan.jobIndex] += 1;
        return job.plan.jobIndex != r.failSetUpOf;
    };
    h.work = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        if (platform::currentThreadId() == r.driver) r.workOnDriver = true;
        const int now = ++r.inWork;
        int seen = r.maxInWork.load();
        while (now > seen && !r.maxInWork.compare_exchange_weak(seen, now)) {
        }
        r.worked[job.plan.jobIndex] += 1;
        const Rect& t = job.plan.tile;
        for (int y = t.top; y < t.bottom; ++y)
            for (int x = t.left; x < t.right; ++x) r.covered[static_cast<size_t>(y) * r.area.width() + x] += 1;
        if (r.extraWork != nullptr) r.extraWork(r, job);
        --r.inWork;
    };
    h.complete = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        r.checkDriver();
        r.completes[job.plan.jobIndex] += 1;
        r.completeOrder.push_back(job.plan.jobIndex);
    };
    h.tearDown = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        r.checkDriver();
        r.tearDowns[job.plan.jobIndex] += 1;
    };
    h.cancelled = [](void* c) {
        Recorder& r = *static_cast<Recorder*>(c);
        r.checkDriver();
        const bool stop = r.cancelAfterCompletes >= 0 &&
                          static_cast<int>(r.completeOrder.size()) >= r.cancelAfterCompletes;
        return stop;
    };
    return h;
}

TEST_F(JobsTest, EveryTileIsWorkedOnceOnWorkersAndCompletedOnTheCallingThread) {
    setForcedThreadCount(3);
    const Rect area{3, 7, 3 + 700, 7 + 530};  // 3 x 3 tiles
    Recorder rec(area, 9);
    const JobHandlers h = recorderHandlers(rec);
    const intptr_t args[kJobArgCount] = {42};
    const JobRunResult r = runJobs(kJobRenderTile, args, area, 0, h);

    EXPECT_EQ(r.jobCount, 9);
    EXPECT_EQ(r.jobsStarted, 9);
    EXPECT_EQ(r.jobsFinished, 9);
    EXPECT_EQ(r.threadCount, 3);
    EXPECT_FALSE(r.aborted);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(rec.worked[i], 1) << i;
        EXPECT_EQ(rec.setUps[i], 1) << i;
        EXPECT_EQ(rec.completes[i], 1) << i;
        EXPECT_EQ(rec.tearDowns[i], 1) << i;
    }
    for (uint8_t c : rec.covered) ASSERT_EQ(c, 1);
    EXPECT_FALSE(rec.workOnDriver);
    EXPECT_FALSE(rec.callbackOffDriver);
    EXPECT_LE(rec.maxInWork.load(), 3);
}

TEST_F(JobsTest, SmallAreaRunsOneJobOnOneThreadAndEmptyJobsDoNoWork) {
    const Rect area{0, 0, 40, 100};
    Recorder rec(area, 1);
    JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(rec));
    EXPECT_EQ(r.jobCount, 1);
    EXPECT_EQ(r.threadCount, 1);
    EXPECT_EQ(rec.worked[0], 1);
    EXPECT_EQ(rec.completes[0], 1);

    Recorder empty(area, 1);
    r = runJobs(kJobEmpty, nullptr, area, 0, recorderHandlers(empty));
    EXPECT_EQ(r.jobsFinished, 1);
    EXPECT_EQ(empty.worked[0], 0);
    EXPECT_EQ(empty.completes[0], 1);

    // Nothing to do: no call at all.
    Recorder none(Rect{0, 0, 1, 1}, 1);
    r = runJobs(kJobRenderTile, nullptr, Rect{0, 0, 0, 0}, 0, recorderHandlers(none));
    EXPECT_EQ(r.jobCount, 0);
    EXPECT_EQ(none.setUps[0], 0);
}

TEST_F(JobsTest, MachineReportingNoProcessorsRunsOneThread) {
    overrideProcessorCount(0);
    const Rect area{0, 0, 600, 600};
    Recorder rec(area, 9);
    const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(rec));
    EXPECT_EQ(r.threadCount, 1);
    EXPECT_EQ(r.jobsFinished, 9);
    EXPECT_EQ(rec.maxInWork.load(), 1);
    for (uint8_t c : rec.covered) ASSERT_EQ(c, 1);
}

TEST_F(JobsTest, SlotsRunConcurrentlyAndJobsFinishOutOfOrder) {
    // Job 0 holds its slot until the other slot has run jobs 1..3 and the
    // driver has completed them; job 1 waits until both slots are busy.
    setForcedThreadCount(2);
    const Rect area{0, 0, 256, 256 * 6};
    Recorder rec(area, 6);
    // `completes` belongs to the driver; the workers watch this count instead.
    static std::atomic<int> published;
    published = 0;
    rec.extraWork = [](Recorder& r, RenderJob& job) {
        if (job.plan.jobIndex == 0) EXPECT_TRUE(waitUntil([] { return published.load() >= 3; }));
        if (job.plan.jobIndex == 1) EXPECT_TRUE(waitUntil([&r] { return r.inWork.load() == 2; }));
    };
    JobHandlers h = recorderHandlers(rec);
    h.complete = [](void* c, RenderJob& job) {
        Recorder& r = *static_cast<Recorder*>(c);
        r.completes[job.plan.jobIndex] += 1;
        r.completeOrder.push_back(job.plan.jobIndex);
        ++published;
    };
    const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, h);
    EXPECT_EQ(r.jobsFinished, 6);
    EXPECT_EQ(rec.maxInWork.load(), 2);
    ASSERT_EQ(rec.completeOrder.size(), 6u);
    EXPECT_EQ(rec.completeOrder[0], 1);
    EXPECT_EQ(rec.completeOrder[1], 2);
    EXPECT_EQ(rec.completeOrder[2], 3);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(rec.completes[i], 1) << i;
}

TEST_F(JobsTest, CancelStartsNoNewJobAndKeepsWhatWasCompleted) {
    setForcedThreadCount(2);
    const Rect area{0, 0, 256 * 4, 256 * 5};  // 20 jobs
    Recorder rec(area, 20);
    rec.cancelAfterCompletes = 3;
    JobHandlers h = recorderHandlers(rec);
    const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, h);

    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(rec.completeOrder.size(), 3u);  // the tiles written before the cancel stay written
    EXPECT_LT(r.jobsStarted, 20);
    EXPECT_EQ(r.jobsFinished, r.jobsStarted);  // the run waited for every started job
    // The cancel is seen when the fourth job finishes: at most the one other
    // slot's job is still running then, and nothing starts afterwards.
    EXPECT_LE(r.jobsStarted, 5);
    int started = 0;
    for (int i = 0; i < 20; ++i) {
        if (rec.setUps[i]) {
            ++started;
            EXPECT_EQ(rec.worked[i], 1) << i;  // running jobs ran to their end
            EXPECT_EQ(rec.tearDowns[i], 1) << i;
        } else {
            EXPECT_EQ(rec.worked[i], 0) << i;
        }
    }
    EXPECT_EQ(started, r.jobsStarted);
    EXPECT_FALSE(rec.callbackOffDriver);
}

TEST_F(JobsTest, JobWhoseSetUpFailsIsSkippedAndTheRunGoesOn) {
    for (int threads : {1, 2}) {
        setForcedThreadCount(threads);
        const Rect area{0, 0, 512, 512};
        Recorder rec(area, 4);
        rec.failSetUpOf = 2;
        const JobRunResult r = runJobs(kJobRenderTile, nullptr, area, 0, recorderHandlers(rec));
        EXPECT_EQ(r.jobsFinished, 4);
        EXPECT_FALSE(r.aborted);
        EXPECT_EQ(rec.worked[2], 0);
        EXPECT_EQ(rec.completes[2], 0);
        EXPECT_EQ(rec.tearDowns[2], 1);
        for (int i : {0, 1, 3}) EXPECT_EQ(rec.completes[i], 1) << i;
    }
}

TEST_F(JobsTest, ProgressAtMostOncePerSecondAndOnlyForCountedPasses) {
    setForcedThreadCount(1);
    const Rect area{0, 0, 256, 256 * 10};  // 10 jobs
    // Each completion moves the fake clock on by 0.4 s.
    auto handlersFor = [](Recorder& rec, int passIndex, int passCount) {
        JobHandlers h = recorderHandlers(rec);
        h.passIndex = passIndex;
        h.passCount = passCount;
        h.complete = [](void* c, RenderJob&) { static_cast<Recorder*>(c)->fakeNow += 0.4; };
        h.now = [](void* c) { return static_cast<Recorder*>(c)->fakeNow; };
        h.progress = [](void* c, int32_t thousandths) {
            Recorder& r = *static_cast<Recorder*>(c);
            r.progressValues.push_back(thousandths);
            r.progressTimes.push_back(r.fakeNow);
        };
        return h;
    };

    Recorder rec(area, 10);
    runJobs(kJobRenderTile, nullptr, area, 0, handlersFor(rec, 2, 3));
    // Finishing job k happens at 0.4 k s: reports at 1.2 (3 jobs done), 2.4 (6), 3.6 (9).
    ASSERT_EQ(rec.progressValues.size(), 3u);
    for (size_t i = 1; i < rec.progressTimes.size(); ++i)
        EXPECT_GE(rec.progressTimes[i] - rec.progressTimes[i - 1], 1.0 - 1e-9);
    for (size_t i = 0; i < rec.progressValues.size(); ++i) {
        const int finished = static_cast<int>(rec.progressTimes[i] / 0.4 + 0.5);
        EXPECT_EQ(rec.progressValues[i], (1000 * (10 + finished)) / 30) << i;
    }

    Recorder preview(area, 10);
    runJobs(kJobRenderTile, nullptr, area, 0, handlersFor(preview, -1, 1));
    EXPECT_TRUE(preview.progressValues.empty());
}

TEST(ThreadsTest, MailboxCarriesMessagesInOrderAndRefusesWhenFull) {
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
}

TEST(ThreadsTest, ThreadRunsOnItsOwnThreadAndWakesAWaiter) {
    struct Ctx {
        platform::Mailbox* box;
        uint64_t id = 0;
    } ctx{platform::createMailbox(1)};
    platform::Thread* t = platform::startThread(
        [](void* p) {
            Ctx* c = static_cast<Ctx*>(p);
            platform::sleepMilliseconds(20);
            c->id = platform::currentThreadId();
            platform::postMessage(c->box, 5);
        },
        &ctx);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(platform::waitMessage(ctx.box), 5);
    platform::joinThread(t);
    EXPECT_NE(ctx.id, 0u);
    EXPECT_NE(ctx.id, platform::currentThreadId());
    EXPECT_GE(platform::processorCount(), 1);
    platform::destroyMailbox(ctx.box);
}

}  // namespace
}  // namespace tv
