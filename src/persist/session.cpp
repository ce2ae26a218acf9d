#include "persist/session.h"

#include "persist/memory_dots.h"
#include "persist/thumbnail.h"
#include "platform/files.h"

namespace tv::persist {

int beginRun(ParamRecord& record, StateBlock& state, UndoSlots& undo, bool hostHasRecordedParameters) {
    ensureThumbnail(state);
    int result = platform::kFileOk;
    if (!hostHasRecordedParameters) result = readCachedSettings(record, state);
    loadDotMap(state);
    clearUndo(undo, state);
    return result;
}

int recordBeforeDialog(const ParamRecord& record, StateBlock& state, UndoSlots& undo) {
    return recordUndo(record, state, undo, true);
}

int finishRender(const ParamRecord& record, const StateBlock& state) { return writeCachedSettings(record, state); }

int endRun(StateBlock& state) {
    const int result = saveDotMap(state);
    freeThumbnail(state);
    return result;
}

}  // namespace tv::persist
