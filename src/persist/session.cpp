#include "persist/session.h"

#include "persist/memory_dots.h"
#include "persist/thumbnail.h"
#include "platform/files.h"

namespace tv::persist {

int beginRun(ParamRecord& record, StateBlock& state, PersistRun& run, bool hostHasRecordedParameters) {
    freeThumbnail(state);
    ensureThumbnail(state);
    int result = platform::kFileOk;
    if (!hostHasRecordedParameters) result = readCachedSettings(record, state);
    // A damaged map keeps the marks it holds for a later reader: this run
    // shows no marks and does not write the map back.
    const int dots = loadDotMap(state);
    run.dotMapDamaged = dots == platform::kFileReadError;
    run.dotsLoaded = !run.dotMapDamaged;
    clearUndo(run.undo, state);
    return result;
}

int recordBeforeDialog(const ParamRecord& record, StateBlock& state, PersistRun& run) {
    return recordUndo(record, state, run.undo, true);
}

int finishRender(const ParamRecord& record, const StateBlock& state) { return writeCachedSettings(record, state); }

int endRun(StateBlock& state, PersistRun& run) {
    int result = platform::kFileOk;
    if (run.dotsLoaded) result = saveDotMap(state);
    run.dotsLoaded = false;
    freeThumbnail(state);
    return result;
}

}  // namespace tv::persist
