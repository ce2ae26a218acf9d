// Render jobs: an area cut into 256 x 256 tiles, run on one worker per
// processor. A driver on the calling thread starts jobs, waits for any to
// finish, does the finished job's host-side work itself, and refills the slot.
#pragma once

#include <cstdint>

#include "base/types.h"

namespace tv {

enum JobType : int32_t {
    kJobRenderTile = 2,
    kJobPyramidLevel = -1000,       // 8- and 16-bit maps
    kJobPyramidLevelFloat = -1001,  // floating-point maps
    kJobEmpty = 999,
};

constexpr int32_t kTileSize = 256;
// Plan kinds: 256 x 256 tiles, or the small tiles of the dialog's preview,
// which is never larger than its pane and must spread over every worker.
constexpr int32_t kPlanTiles = 0;
constexpr int32_t kPlanSmallTiles = 1;
constexpr int32_t kSmallTileSize = 64;
constexpr int32_t kMaxThreads = 100;
constexpr int32_t kJobArgCount = 13;

struct JobPlan {
    int32_t width = 0, height = 0;
    int32_t tilesAcross = 0;
    int32_t jobCount = 0;
    int32_t jobIndex = 0;
    int32_t gridWidth = 0, gridHeight = 0;  // tile size + 2, set with the views
    int32_t kind = 0;                       // kPlanTiles or kPlanSmallTiles
    Rect area;                              // top, left, bottom, right
    Rect tile{-1, -1, -1, -1};              // relative to the area; empty in the plan itself
};

JobPlan makePlan(const Rect& area, int32_t kind);
// The tile of plan.jobIndex, relative to the area.
Rect tileOfJob(const JobPlan& plan);

struct RenderJob {
    int32_t type = kJobEmpty;
    int32_t status = -1;  // -1 starting, 0 started, -2 could not be started
    JobPlan plan;         // with this job's jobIndex and tile
    void* views = nullptr;
    int32_t viewCount = 0;
    intptr_t args[kJobArgCount] = {};
    bool skipped = false;  // set up failed (no grid): not rendered, not written
    int32_t slot = -1;     // the worker slot it runs on
};

// What one batch of jobs does. Every callback but work() runs on the calling
// (driver) thread; work() runs on a worker and must not touch the host. Any
// callback may be null.
struct JobHandlers {
    void* context = nullptr;
    // Allocates the job's views and grid; false marks the job skipped (its
    // work() and complete() are not called).
    bool (*setUp)(void* context, RenderJob& job) = nullptr;
    // Not called for type kJobEmpty.
    void (*work)(void* context, RenderJob& job) = nullptr;
    // Host-side completion of a finished job (not called after a cancel, nor
    // for a skipped job).
    void (*complete)(void* context, RenderJob& job) = nullptr;
    // Called for every job whose setUp was called, skipped or not, last.
    void (*tearDown)(void* context, RenderJob& job) = nullptr;
    // Cancel test, asked once per finished job; true stops new jobs.
    bool (*cancelled)(void* context) = nullptr;
    // Progress in thousandths of the whole pass set, at most once a second.
    void (*progress)(void* context, int32_t thousandths) = nullptr;
    int32_t passIndex = -1;  // progress is reported only while passIndex >= 1
    int32_t passCount = 1;
    // The clock for progress, in seconds; null uses the system's steady clock.
    double (*now)(void* context) = nullptr;
};

struct JobRunResult {
    int32_t jobCount = 0;
    int32_t jobsStarted = 0;
    int32_t jobsFinished = 0;
    int32_t threadCount = 0;
    bool aborted = false;
};

JobRunResult runJobs(int32_t type, const intptr_t args[kJobArgCount], const Rect& area, int32_t kind,
                     const JobHandlers& handlers);

// min(processors, jobCount), at least 1, at most 100; a forced count stands in
// for the processor count when set.
int32_t threadCount(int32_t jobCount);
// The same rule for a given processor count (0 when the system cannot tell).
int32_t threadCountFor(int32_t processors, int32_t jobCount);
// Forces the number of worker threads (tests, --threads); 0 returns to one per processor.
void setForcedThreadCount(int32_t n);
// Replaces the processor count the system reports (tests); a negative value
// returns to the system's.
void overrideProcessorCount(int32_t n);

}  // namespace tv
