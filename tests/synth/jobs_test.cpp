// The job runner: every tile worked once on a worker and completed on the
// calling thread, a job whose set-up fails skipped, progress at most once a
// second, and the thread count rules.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/threads.h"
#include "synth/jobs.h"

namespace tv {
namespace {

class JobsTest : public ::testing::Test {
protected:
    void TearDown() override {
        setForcedThreadCount(0);
        overrideProcessorCount(-1);
    }
};

// What happened to the jobs of a run: driver callbacks count in plain
// fields, workers in atomics.
struct Recorder {
    Rect area;
    uint64_t driver = platform::currentThreadId();
    std::vector<uint8_t> covered;  // per pixel, written by work() into its own tile
    std::vector<std::atomic<int>> worked;
    std::vector<int> calls;        // set-up, complete and tear-down of each job
    std::atomic<bool> workOnDriver{false};
    bool callbackOffDriver = false;
    std::atomic<int> inWork{0}, maxInWork{0};
    int failSetUpOf = -1, completed = 0;
    double fakeNow = 0.0;
    std::vector<int> progress;

    Recorder(const Rect& a, int jobs) : area(a), covered(size_t(a.width()) * size_t(a.height())), worked(jobs), calls(jobs) {}
    static Recorder& on(void* c, RenderJob* job) {
        Recorder& r = *static_cast<Recorder*>(c);
        if (platform::currentThreadId() != r.driver) r.callbackOffDriver = true;
        if (job) ++r.calls[job->plan.jobIndex];
        return r;
    }
    JobHandlers handlers() {
        JobHandlers h;
        h.context = this;
        h.setUp = [](void* c, RenderJob& job) { return job.plan.jobIndex != on(c, &job).failSetUpOf; };
        h.work = [](void* c, RenderJob& job) {
            Recorder& r = *static_cast<Recorder*>(c);
            if (platform::currentThreadId() == r.driver) r.workOnDriver = true;
            const int now = ++r.inWork;
            for (int seen = r.maxInWork; now > seen && !r.maxInWork.compare_exchange_weak(seen, now);) {
            }
            r.worked[job.plan.jobIndex] += 1;
            const Rect& t = job.plan.tile;
            for (int y = t.top; y < t.bottom; ++y)
                for (int x = t.left; x < t.right; ++x) r.covered[size_t(y) * size_t(r.area.width()) + size_t(x)] += 1;
            --r.inWork;
        };
        h.complete = [](void* c, RenderJob& job) {
            Recorder& r = on(c, &job);
            ++r.completed;
            r.fakeNow += 0.4;
        };
        h.tearDown = [](void* c, RenderJob& job) { on(c, &job); };
        h.now = [](void* c) { return static_cast<Recorder*>(c)->fakeNow; };
        h.progress = [](void* c, int32_t thousandths) { on(c, nullptr).progress.push_back(thousandths); };
        return h;
    }
};

TEST_F(JobsTest, EveryTileIsWorkedOnceOnWorkersAndCompletedOnTheCallingThread) {
    const struct {
        int forced, processors;
        Rect area;
        int jobs, threads;
    } cases[] = {
        {3, -1, Rect{3, 7, 3 + 700, 7 + 530}, 9, 3},
        {0, 0, Rect{0, 0, 600, 600}, 9, 1},  // a machine reporting no processors
        {0, 8, Rect{0, 0, 40, 100}, 1, 1},   // smaller than a tile
    };
    for (const auto& k : cases) {
        setForcedThreadCount(k.forced);
        overrideProcessorCount(k.processors);
        Recorder rec(k.area, k.jobs);
        const JobRunResult r = runJobs(kJobRenderTile, nullptr, k.area, 0, rec.handlers());
        EXPECT_TRUE(r.jobCount == k.jobs && r.jobsFinished == k.jobs && r.threadCount == k.threads && !r.aborted);
        for (int i = 0; i < k.jobs; ++i) EXPECT_EQ(rec.worked[i] + rec.calls[i], 4) << i;
        for (uint8_t c : rec.covered) ASSERT_EQ(c, 1);
        EXPECT_FALSE(rec.workOnDriver || rec.callbackOffDriver);
        EXPECT_LE(rec.maxInWork.load(), k.threads);
    }
    EXPECT_EQ(threadCountFor(500, 1000), kMaxThreads);
    EXPECT_EQ(threadCountFor(8, 3), 3);
}

TEST_F(JobsTest, AJobWhoseSetUpFailsIsSkippedAndTheRunGoesOn) {
    for (int threads : {1, 2}) {
        setForcedThreadCount(threads);
        Recorder rec(Rect{0, 0, 512, 512}, 4);
        rec.failSetUpOf = 2;
        EXPECT_EQ(runJobs(kJobRenderTile, nullptr, rec.area, 0, rec.handlers()).jobsFinished, 4);
        EXPECT_EQ(rec.worked[2], 0);
        EXPECT_EQ(rec.calls[2], 2);  // set up and torn down, never completed
        EXPECT_EQ(rec.completed, 3);
    }
}

TEST_F(JobsTest, ProgressAtMostOncePerSecondAndOnlyForCountedPasses) {
    setForcedThreadCount(1);
    const Rect area{0, 0, 256, 256 * 10};  // 10 jobs; each completion moves the clock 0.4 s
    Recorder rec(area, 10);
    JobHandlers h = rec.handlers();
    h.passIndex = 2;
    h.passCount = 3;
    runJobs(kJobRenderTile, nullptr, area, 0, h);
    // Reports at 1.2 s (3 jobs done), 2.4 s (6) and 3.6 s (9), of pass 2 of 3.
    EXPECT_EQ(rec.progress, (std::vector<int>{1000 * 13 / 30, 1000 * 16 / 30, 1000 * 19 / 30}));
    Recorder preview(area, 10);
    runJobs(kJobRenderTile, nullptr, area, 0, preview.handlers());  // pass index -1
    EXPECT_TRUE(preview.progress.empty());
}

}  // namespace
}  // namespace tv
