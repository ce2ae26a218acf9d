// A test hook of the file layer: a write step that fails on demand, as on a
// full disk or a failing device, so that every writer's failure path can be
// exercised in a real process.
//
// TERRAVANE_FAIL_WRITE_STEP=N makes the Nth write step of the process fail
// with "no space left" (N:EIO: an input/output error). The steps are the
// pieces FileWriter::write hands to the system, the flush of commit() and the
// renames (commit's and renameFile's), counted in that order over every file.
// The count lives in the variable itself (it is counted down), so the host and
// a module with its own copy of this layer share it. The failing step is
// named on standard error. Unset, a step costs one look-up of the variable.
#pragma once

namespace tv::platform {

enum class WriteStep { Write, Flush, Rename };
enum class WriteFault { None, NoSpace, IoError };

constexpr const char* kFailWriteStepVariable = "TERRAVANE_FAIL_WRITE_STEP";

// Counts one step; the failure to simulate in place of it (None: go ahead).
WriteFault nextWriteStep(WriteStep step);

}  // namespace tv::platform
