#include "persist/undo.h"

#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::persist {

std::string undoFilePath(int32_t slot) {
    return platform::workingFile(slot == 0 ? "Terravane undo 0" : "Terravane undo 1");
}

void clearUndo(UndoSlots& undo, StateBlock& state) {
    state.undoIndex = 0;
    undo.valid[0] = undo.valid[1] = 0;
    undo.inFile[0] = undo.inFile[1] = 0;
}

int recordUndo(const ParamRecord& record, StateBlock& state, UndoSlots& undo, bool withFile) {
    const int32_t i = 1 - (state.undoIndex & 1);
    state.undoIndex = i;
    copyToSnapshot(record, undo.slot[i]);
    int result = platform::kFileOk;
    undo.inFile[i] = 0;
    if (withFile) {
        result = writeSettingsFile(undoFilePath(i), record, state.thumbnail);
        // A file that was not written must never be read back: it may hold an
        // older state.
        undo.inFile[i] = result == platform::kFileOk ? 1 : 0;
    }
    undo.valid[i] = 1;
    return result;
}

bool undo(ParamRecord& record, StateBlock& state, UndoSlots& slots) {
    const int32_t j = 1 - (state.undoIndex & 1);
    if (!slots.valid[j]) return false;
    copyFromSnapshot(slots.slot[j], record);
    if (slots.inFile[j]) readSettingsFile(undoFilePath(j), ReadMode::Load, &record, state);
    state.undoIndex = j;
    return true;
}

}  // namespace tv::persist
