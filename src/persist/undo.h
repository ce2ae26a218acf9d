// Undo: the last two states of the settings in two slots, so that Undo
// switches back and forth between the current and the previous state. The
// slots live in the working memory; the undo index in the state block.
#pragma once

#include <cstdint>
#include <string>

#include "params/params.h"

namespace tv::persist {

struct UndoSlots {
    SettingsSnapshot slot[2];
    uint8_t valid[2] = {0, 0};   // the slot holds a state
    uint8_t inFile[2] = {0, 0};  // the state was also written to the slot's undo file
};

// "Terravane undo 0" / "Terravane undo 1" in the working folder.
std::string undoFilePath(int32_t slot);

// Start: undo index 0, both slots empty.
void clearUndo(UndoSlots& undo, StateBlock& state);

// Records the current settings in the slot after the current one. With a file
// the settings (with X/Y center, downloaded clouds and the thumbnail, which a
// snapshot does not carry) also go to the slot's undo file; when that file
// cannot be written the slot holds the snapshot only. Returns the file
// result (kFileOk without a file).
int recordUndo(const ParamRecord& record, StateBlock& state, UndoSlots& undo, bool withFile);

// Brings back the other slot's state, when it holds one, and makes it the
// current slot. Returns true when something was restored.
bool undo(ParamRecord& record, StateBlock& state, UndoSlots& undo);

}  // namespace tv::persist
