// What the dialog's source files share: the command entry, the preview, the
// slider, globe and list arithmetic, and small helpers that add actions.
#pragma once

#include "persist/memory_dots.h"
#include "ui/dialog.h"

namespace tv::ui {

constexpr int kEditChange = 0x300;  // an edit box's text changed

// A command from control id: code 0 a click, 1 a selection change of the
// list, kEditChange typing in an edit box.
void command(DialogState& s, int id, int code, Actions& out);
// Mouse, keyboard, timers and the close box.
void windowEvent(DialogState& s, const platform::WindowEvent& e, Actions& out);
// The same for a secondary window.
void secondaryEvent(DialogState& s, WindowId id, const platform::WindowEvent& e, Actions& out);
// Buttons of the dialog that open secondary windows.
void openClouds(DialogState& s, Actions& out);
void openAboutOrInformation(DialogState& s, WindowId id, Actions& out);
// Layers: the export window for path, started at its first tick.
void startExport(DialogState& s, const std::string& path, Actions& out);
// OK and Cancel: every secondary window closes (a running job is stopped).
void closeSecondaryWindows(DialogState& s, Actions& out);
// Whether a progress window holds the dialog.
bool modalWindowOpen(const DialogState& s);

// Renders the preview through the host (the record first takes every
// control's value) and asks for the pane to be painted.
void renderPreview(DialogState& s, Actions& out);
// The zoom buttons' enabled flags from the factors.
void updateZoomButtons(DialogState& s, Actions& out);
// Moves the pan offsets so that the pane's centre shows the same image
// point at factor to as at factor from.
void keepViewCentre(DialogState& s, int32_t from, int32_t to);
// Pan offsets kept inside the image at the current factor.
void clampOrigin(DialogState& s);
// The planet's centre from a click at (x, y) in the pane.
void centreFromClick(DialogState& s, float x, float y);
// Whether (x, y) lies on the visible image.
bool onPreviewImage(const DialogState& s, float x, float y);

// Slider arithmetic in window pixels.
int32_t sliderValueAt(const DialogState& s, int id, float x);
float thumbLeft(const DialogState& s, int id);
constexpr float kThumbWidth = 12.0f;

// Globe arithmetic: the vector for a point (dx, dy) from the centre.
void globeVector(float dx, float dy, bool ctrl, float v[3]);
constexpr float kGlobeCentreX = 43.0f, kGlobeCentreY = 41.0f, kGlobeRadius = 33.0f;

// The map-mode list's drop-down: its rectangle and an item's.
ControlRect listPopupRect();
ControlRect listItemRect(int index);
constexpr int kListItemHeight = 18;

namespace detail {
void repaint(Actions& out, int id);
void repaintRect(Actions& out, const platform::WindowRect& r);
void repaintAll(Actions& out);
void setTimer(Actions& out, int32_t id, int32_t ms);
void killTimer(Actions& out, int32_t id);
void setCursor(DialogState& s, Actions& out, CursorId cursor);
void message(Actions& out, const std::string& title, const std::string& text);
void cancelEditTimer(DialogState& s, Actions& out);
void refreshFromRecord(DialogState& s, Actions& out);
void takeThumbnail(DialogState& s);
void applyDotChange(DialogState& s, const persist::DotChange& change, Actions& out);
void applyUndoClass(DialogState& s, int undoClass);
void finishClick(DialogState& s, int id, int undoClass, bool changed, Actions& out);
void plainCurrentDot(DialogState& s, Actions& out);
void checkRealClouds(DialogState& s, Actions& out);
// A value the user changed by a drag, a key, the list or typing: the record
// takes the controls, an undo step is recorded, the preview follows.
void valueChanged(DialogState& s, Actions& out);
}  // namespace detail

}  // namespace tv::ui
