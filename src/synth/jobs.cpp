#include "synth/jobs.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/clock.h"
#include "platform/threads.h"

namespace tv {

namespace {

std::atomic<int32_t> gForcedThreads{0};
std::atomic<int32_t> gProcessorOverride{-1};

constexpr int32_t kQuit = -1;

struct Run;

// One worker slot: its thread, its inbox and the job it is running.
struct Slot {
    Run* run = nullptr;
    int32_t index = 0;
    platform::Thread* thread = nullptr;
    platform::Mailbox* inbox = nullptr;
    RenderJob job;
};

struct Run {
    const JobHandlers* handlers = nullptr;
    JobPlan plan;
    int32_t type = kJobEmpty;
    intptr_t args[kJobArgCount] = {};
    platform::Mailbox* done = nullptr;  // slot numbers of finished jobs
    JobRunResult result;
    double lastProgressTime = 0.0;
};

double nowOf(const Run& run) {
    const JobHandlers& h = *run.handlers;
    return h.now != nullptr ? h.now(h.context) : platform::monotonicSeconds();
}

void doWork(Run& run, RenderJob& job) {
    const JobHandlers& h = *run.handlers;
    if (job.type != kJobEmpty && h.work != nullptr) h.work(h.context, job);
}

void workerMain(void* arg) {
    Slot* slot = static_cast<Slot*>(arg);
    for (;;) {
        if (platform::waitMessage(slot->inbox) == kQuit) return;
        doWork(*slot->run, slot->job);
        // The done mailbox has room for every slot and each slot posts once
        // per job it was given, so this cannot fail.
        platform::postMessage(slot->run->done, slot->index);
    }
}

// Fills the record for job `index` and lets the caller set it up.
// False when the set-up failed (the job is skipped).
bool prepareJob(Run& run, RenderJob& job, int32_t index, int32_t slot) {
    job = RenderJob{};
    job.type = run.type;
    job.slot = slot;
    job.plan = run.plan;
    job.plan.jobIndex = index;
    job.plan.tile = tileOfJob(job.plan);
    std::copy(run.args, run.args + kJobArgCount, job.args);
    const JobHandlers& h = *run.handlers;
    if (h.setUp != nullptr && !h.setUp(h.context, job)) job.skipped = true;
    job.status = job.skipped ? -2 : 0;
    return !job.skipped;
}

// The driver's completion step for a finished (or skipped) job.
void finishJob(Run& run, RenderJob& job) {
    const JobHandlers& h = *run.handlers;
    JobRunResult& r = run.result;
    if (!r.aborted && h.cancelled != nullptr && h.cancelled(h.context)) r.aborted = true;
    if (!r.aborted && !job.skipped && h.complete != nullptr) h.complete(h.context, job);
    if (h.tearDown != nullptr) h.tearDown(h.context, job);
    r.jobsFinished += 1;

    if (h.passIndex >= 1 && h.progress != nullptr) {
        const double now = nowOf(run);
        if (now - run.lastProgressTime >= 1.0) {
            run.lastProgressTime = now;
            const int64_t passCount = std::max(h.passCount, h.passIndex);
            const int64_t done = int64_t{h.passIndex - 1} * r.jobCount + r.jobsFinished;
            const int64_t total = passCount * r.jobCount;
            h.progress(h.context, static_cast<int32_t>(1000 * done / total));
        }
    }
}

// Starts the next job on a free slot. Jobs whose set-up fails are finished on
// the spot and the next one is tried. False when no job was started.
bool fillSlot(Run& run, Slot& slot) {
    JobRunResult& r = run.result;
    while (r.jobsStarted < r.jobCount && !r.aborted) {
        const int32_t index = r.jobsStarted++;
        if (!prepareJob(run, slot.job, index, slot.index)) {
            finishJob(run, slot.job);
            continue;
        }
        if (platform::postMessage(slot.inbox, index)) return true;
        slot.job.skipped = true;  // the inbox has room for one job; cannot happen
        finishJob(run, slot.job);
    }
    return false;
}

// Without any worker thread the driver runs the jobs itself, one by one.
void runOnDriver(Run& run) {
    JobRunResult& r = run.result;
    RenderJob job;
    while (r.jobsStarted < r.jobCount && !r.aborted) {
        const int32_t index = r.jobsStarted++;
        if (prepareJob(run, job, index, 0)) doWork(run, job);
        finishJob(run, job);
    }
}

}  // namespace

JobPlan makePlan(const Rect& area, int32_t kind) {
    JobPlan plan;
    plan.kind = kind;
    plan.area = area;
    const int64_t width = int64_t{area.right} - area.left;
    const int64_t height = int64_t{area.bottom} - area.top;
    if (width <= 0 || height <= 0) return plan;
    const int64_t side = kind == kPlanSmallTiles ? kSmallTileSize : kTileSize;
    const int64_t across = (width + side - 1) / side;
    const int64_t down = (height + side - 1) / side;
    if (width > INT32_MAX || height > INT32_MAX || across * down > INT32_MAX) return plan;
    plan.width = static_cast<int32_t>(width);
    plan.height = static_cast<int32_t>(height);
    plan.tilesAcross = static_cast<int32_t>(across);
    plan.jobCount = static_cast<int32_t>(across * down);
    return plan;
}

Rect tileOfJob(const JobPlan& plan) {
    if (plan.jobIndex < 0 || plan.jobIndex >= plan.jobCount) return Rect{-1, -1, -1, -1};
    const int32_t row = plan.jobIndex / plan.tilesAcross;
    const int32_t column = plan.jobIndex % plan.tilesAcross;
    const int32_t side = plan.kind == kPlanSmallTiles ? kSmallTileSize : kTileSize;
    Rect tile;
    tile.top = side * row;
    tile.left = side * column;
    tile.bottom = std::min(tile.top + side, plan.height);
    tile.right = std::min(tile.left + side, plan.width);
    return tile;
}

int32_t threadCountFor(int32_t processors, int32_t jobCount) {
    int32_t n = std::max(processors, 1);
    n = std::min(n, kMaxThreads);
    n = std::min(n, std::max(jobCount, 1));
    return n;
}

int32_t threadCount(int32_t jobCount) {
    int32_t processors = gForcedThreads.load();
    if (processors <= 0) processors = gProcessorOverride.load();
    if (processors < 0) processors = platform::processorCount();
    return threadCountFor(processors, jobCount);
}

void setForcedThreadCount(int32_t n) { gForcedThreads.store(std::max(n, 0)); }

void overrideProcessorCount(int32_t n) { gProcessorOverride.store(n < 0 ? -1 : n); }

JobRunResult runJobs(int32_t type, const intptr_t args[kJobArgCount], const Rect& area, int32_t kind,
                     const JobHandlers& handlers) {
    Run run;
    run.handlers = &handlers;
    run.type = type;
    if (args != nullptr) std::copy(args, args + kJobArgCount, run.args);
    run.plan = makePlan(area, kind);
    run.result.jobCount = run.plan.jobCount;
    run.lastProgressTime = nowOf(run);
    if (run.plan.jobCount == 0) return run.result;

    const int32_t wanted = threadCount(run.plan.jobCount);
    Slot* slots = new (std::nothrow) Slot[static_cast<size_t>(wanted)];
    run.done = slots != nullptr ? platform::createMailbox(wanted) : nullptr;
    int32_t started = 0;
    if (run.done != nullptr) {
        // Slots whose inbox or thread cannot be had are left out.
        for (int32_t i = 0; i < wanted; ++i) {
            Slot& s = slots[started];
            s.run = &run;
            s.index = started;
            s.inbox = platform::createMailbox(1);
            if (s.inbox == nullptr) continue;
            s.thread = platform::startThread(workerMain, &s);
            if (s.thread == nullptr) {
                platform::destroyMailbox(s.inbox);
                s.inbox = nullptr;
                continue;
            }
            ++started;
        }
    }
    run.result.threadCount = std::max(started, 1);

    if (started == 0) {
        runOnDriver(run);
    } else {
        int32_t busy = 0;
        for (int32_t i = 0; i < started; ++i) busy += fillSlot(run, slots[i]) ? 1 : 0;
        // Every busy slot posts exactly once when its job is done, so the
        // wait always ends.
        while (busy > 0) {
            Slot& s = slots[platform::waitMessage(run.done)];
            --busy;
            finishJob(run, s.job);
            busy += fillSlot(run, s) ? 1 : 0;
        }
        for (int32_t i = 0; i < started; ++i) {
            platform::postMessage(slots[i].inbox, kQuit);
            platform::joinThread(slots[i].thread);
            platform::destroyMailbox(slots[i].inbox);
        }
    }
    platform::destroyMailbox(run.done);
    delete[] slots;
    return run.result;
}

}  // namespace tv
