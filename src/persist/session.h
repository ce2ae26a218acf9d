// What the plug-in frame asks of persistence during a filter run.
//
//   prepare:  seedModuleRandomWithTime() (dice.h)
//   start:    beginRun() once the working memory exists, then
//             recordBeforeDialog() just before the dialog opens
//   after a successful final render: finishRender()
//   release:  endRun(), before the working memory goes
#pragma once

#include "params/params.h"
#include "persist/settings_file.h"
#include "persist/undo.h"

namespace tv::persist {

// Persistence's share of the working memory.
struct PersistRun {
    UndoSlots undo;
    bool dotsLoaded = false;  // the dot map was read (or is new) in this run: only then is it written back
    bool dotMapDamaged = false;  // the dot map could not be read: it is left as it is
};

// Start: makes a new 128 x 128 thumbnail, reads the cached settings unless the
// host holds recorded parameters, loads the memory-dot map (the marks are
// cleared first; a map that cannot be read is never written over, see
// PersistRun) and clears the undo slots. Problems with any of these files
// are not failures of the run: a missing or damaged cached settings file
// leaves the settings as they were. Returns the cached settings read's result
// (kFileOk, kFileOpenError when there is none, kFileReadError when it was
// damaged), or kFileOk when it was not read.
int beginRun(ParamRecord& record, StateBlock& state, PersistRun& run, bool hostHasRecordedParameters);

// Start, just before the dialog: an undo step that is also written to a file.
int recordBeforeDialog(const ParamRecord& record, StateBlock& state, PersistRun& run);

// After a successful final render: the cached settings file.
int finishRender(const ParamRecord& record, const StateBlock& state);

// The release step: writes the memory-dot map (when this run loaded it) and
// frees the thumbnail.
int endRun(StateBlock& state, PersistRun& run);

}  // namespace tv::persist
