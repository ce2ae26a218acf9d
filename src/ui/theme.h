// The look shared by the dialog and its secondary windows: a light, flat
// theme with one accent colour.
#pragma once

#include "ui/draw.h"

namespace tv::ui {

namespace theme {
constexpr Colour background = rgb(0xF3F4F6);
constexpr Colour text = rgb(0x1E2329);
constexpr Colour secondary = rgb(0x5C6570);
constexpr Colour disabled = rgb(0x8C8C8C);
constexpr Colour heading = rgb(0x34465E);
constexpr Colour hairline = rgb(0xD8DCE2);
constexpr Colour accent = rgb(0x2F6FDE);
constexpr Colour accentSoft = rgb(0xCFE0FC);
constexpr Colour water = rgb(0x1D9AB0);
constexpr Colour field = rgb(0xFFFFFF);
constexpr Colour border = rgb(0xC3C9D1);
constexpr Colour borderHot = rgb(0x8FAEE8);
constexpr Colour track = rgb(0xD3D8DF);
constexpr Colour pane = rgb(0x1A1D22);
constexpr Colour tip = rgb(0x2A3037);
constexpr float textSize = 11.0f;
}  // namespace theme

}  // namespace tv::ui
