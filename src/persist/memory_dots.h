// Memory dots: twenty-five slots that keep planets between runs. Each dot is
// a settings file in the working folder; the dot map file records which dots
// are kept. The dialog decides when these run and repaints what they report.
#pragma once

#include <cstdint>
#include <string>

#include "params/params.h"

namespace tv::persist {

constexpr const char* kDotMapName = "Terravane memdot map 3";
constexpr int32_t kDotMapVersion = 40;
constexpr int32_t kNoDot = -1;

// Display states of a dot.
enum DotState : int16_t {
    kDotEmpty = 0,
    kDotFilled = 1,
    kDotCurrent = 2,  // the dot last stored or recalled; at most one
};

// "Terravane A memory dot 24.q1q" for n = 24 (n may be 25: the preset refresh's keeping place).
std::string dotFileName(int32_t n);
std::string dotFilePath(int32_t n);  // in the working folder
std::string dotMapPath();

// Clears the marks, then reads the dot map when there is one. Returns kFileOk,
// kFileOpenError (no map: all dots unmarked) or kFileReadError (a short or
// foreign map: all dots unmarked).
int loadDotMap(StateBlock& state);
// Writes the dot map (the release step, after every run).
int saveDotMap(const StateBlock& state);

// When the dialog opens: every display state 0, then 1 for every marked dot;
// no picture shown.
void openDotDisplay(StateBlock& state);
// Every display state 0 and the picture hidden. Returns the dots that changed (bit n).
uint32_t clearDotDisplay(StateBlock& state);

int32_t firstFreeDot(const StateBlock& state);     // lowest dot with mark 0, or -1
int32_t firstDotNotShown(const StateBlock& state); // lowest dot neither filled nor current, or -1

// What an operation changed, for the dialog to repaint.
struct DotChange {
    int result = 0;             // kFileOk or the file operation's error
    uint32_t repaint = 0;       // bit n: dot n's display changed
    bool pictureShown = false;  // the state block's thumbnail now holds the hover dot's picture
    bool pictureHidden = false; // the picture is to be taken down
};

// Writes the current settings (and the state block's thumbnail, which the
// dialog has just taken from the preview) to dot n's file; dot n becomes the
// current dot and its picture is shown. When the file cannot be written the
// display is left as it was.
DotChange storeDot(int32_t n, const ParamRecord& record, StateBlock& state);
// Names the settings "dot n+1", reads dot n's file in load mode, makes dot n
// the current dot. The dialog then refreshes its controls and the preview.
DotChange recallDot(int32_t n, ParamRecord& record, StateBlock& state);
// Shows dot n's picture: unless it is already the hover dot, its file is read
// in thumbnail-only mode into the state block's thumbnail.
DotChange showDotPicture(int32_t n, StateBlock& state);
DotChange hideDotPicture(StateBlock& state);

// The click rules of the dialog.
enum class DotClick { Plain, Ctrl, Right };
enum class DotAction { None, Stored, Recalled, Removed, Unmarked };
struct DotClickResult {
    DotAction action = DotAction::None;
    DotChange change;
};
// plain on empty: mark and store; Ctrl on empty: store without mark (filled
// for this dialog, not kept); right on filled: empty it and unmark it, hide the
// picture; Ctrl on filled: unmark; plain on filled: recall.
DotClickResult clickDot(int32_t n, DotClick click, ParamRecord& record, StateBlock& state);

}  // namespace tv::persist
