// The dialog's artwork, drawn as vector shapes: the button pictures, the
// maker's mark and the cursors.
#pragma once

#include "ui/controls.h"
#include "ui/draw.h"

namespace tv::ui {

// Draws a button picture into a square box (designed on a 16-pixel grid).
void drawGlyph(Painter& p, Glyph glyph, const RectF& box, Colour colour);
// The maker's mark: a ringed planet.
void drawLogo(Painter& p, const RectF& box);
// A push button's face: the accent colour for the default button, else a
// light gradient with a border; darker while pressed, lighter under the pointer.
void drawButtonFace(Painter& p, const RectF& r, bool pressed, bool hot, bool primary);

}  // namespace tv::ui
