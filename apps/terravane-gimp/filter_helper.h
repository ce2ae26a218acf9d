// The filter helper: the part of terravane-gimp that hosts the module. It
// plays the host's part with the command-line host's suites (FilterHost) over
// the image the GIMP side sends, and answers with the result.
#pragma once

#include <functional>
#include <string>

#include "filter_job.h"

namespace tv::gimp {

// The argument that starts terravane-gimp as the helper.
constexpr const char* kHelperArgument = "--filter-helper";

// The module: beside this program, else where an installation of the
// command-line host puts it.
std::string modulePath();

// One run of the module over the job's image: its settings put in place, the
// selectors called, the region's samples taken back. abort answers abortProc;
// progress receives the module's progress.
FilterOutcome runFilterJob(const FilterJob& job, const std::string& modulePath, const std::function<bool()>& abort,
                           const std::function<void(int32_t, int32_t)>& progress);

// The helper's life: one job from the parent, its outcome back. Exit status 0
// when answered, 1 when no sound job came, 130 when the parent went away
// during the run (the module was told to stop; with its dialog up, the helper
// ends at once).
int filterHelperMain();

}  // namespace tv::gimp
