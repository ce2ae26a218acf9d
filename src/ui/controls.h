// The dialog's controls as data: one constant table of descriptors (id, kind,
// rectangle, companion edit box, range, label, caption), the label texts, the
// tooltips and the keyboard order. Everything the dialog draws or hit-tests
// is found here by control id (0 to 199).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tv::ui {

constexpr int kControlCount = 200;
constexpr int kNoControl = -1;
constexpr int kNoCompanion = 65535;

// Kinds, numbered as the hit tests report them (the last three are our own).
enum class Kind : int8_t {
    None = -1,
    Slider = 0,
    Label = 1,
    SliderEdit = 2,
    CheckBox = 3,
    DialogButton = 4,
    IconButton = 7,
    ColourButton = 8,
    Globe = 9,
    ModeList = 13,
    Icon = 18,
    MemoryDot = 25,
    SpecialDot = 26,
    Preview = 40,
    NameStrip = 41,
    Heading = 42,
};

// The pictures drawn on buttons and icons.
enum class Glyph : int8_t {
    None,
    Load,
    Save,
    Plain,
    Dice,
    Ecce,
    Undo,
    Clouds,
    Layers,
    ZoomOut,
    ZoomIn,
    Percent,
    Catalogue,
    Information,
    Logo,
};

// Which record field a control edits.
enum class Field : int8_t {
    None,
    AirDepth,
    CloudHeight,
    CloudShadows,
    Sunset,
    PlanetSize,
    LandComplexity,
    StormSize,
    StormCount,
    StormSwirl,
    AirBrightness,
    RealClouds,
    Backlighting,
    RealLuna,
    SeaLevel,
    Desert,
    CraterCount,
    CraterSize,
    CraterTexture,
    LandTexture,
    CloudCoverage,
    CloudEdges,
    Cities,
    CloudViscosity,
    CloudCoriolis,
    LunarClimate,
    Ice,
    CloudTexture,
    LandColour,
    AirColour,
    SeaColour,
    DesertColour,
    IceColour,
    CloudColour,
    CityColour,
    Light,
    Axis,
    OutputMode,
};

struct ControlRect {
    int16_t left = 0, top = 0, right = 0, bottom = 0;
    int16_t width() const { return int16_t(right - left); }
    int16_t height() const { return int16_t(bottom - top); }
    bool contains(float x, float y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct Control {
    int16_t id = -1;
    Kind kind = Kind::None;
    ControlRect rect;
    int32_t companion = kNoCompanion;  // a slider's edit box; an edit box's slider; a label's control
    int16_t labelIndex = -1;           // into the label table (labels)
    int8_t align = 0;                  // labels: 0 right, 1 left, 2 centre
    int16_t minimum = 0, maximum = 0;  // sliders
    Field field = Field::None;
    const char* caption = nullptr;  // buttons: text with '&' before the mnemonic; headings
    Glyph glyph = Glyph::None;
    int16_t bitmap = 0;  // sliders: the track style, 101 or 102
};

// The descriptor of id, or null when id has none (not drawn, not hit).
const Control* control(int id);
inline Kind kindOf(int id) {
    const Control* c = control(id);
    return c ? c->kind : Kind::None;
}
std::span<const Control> controls();

// The dialog's size in window pixels.
constexpr int32_t kDialogWidth = 906;
constexpr int32_t kDialogHeight = 575;

// Well-known ids.
enum ControlId : int16_t {
    kCancel = 2,
    kOk = 3,
    kLandColourButton = 7,
    kAirColourButton = 8,
    kSeaColourButton = 9,
    kCloudColourButton = 14,
    kClouds = 17,
    kPreview = 18,
    kDesertColourButton = 19,
    kIceColourButton = 20,
    kRealLuna = 21,
    kAbout = 25,
    kSave = 26,
    kPlain = 27,
    kCityColourButton = 29,
    kZoomIn = 32,
    kZoomOut = 33,
    kZoomFull = 34,
    kLoad = 35,
    kRealCloudsBox = 48,
    kBacklighting = 52,
    kLayers = 71,
    kDice = 72,
    kModeList = 73,
    kUndo = 74,
    kEcce = 75,
    kNameStrip = 76,
    kAxisGlobe = 100,
    kLunarClimate = 105,
    kLightGlobe = 112,
    kInformation = 116,
    kSpecialDot = 119,
    kFirstDot = 121,
    kLastDot = 145,
    kCatalogue = 150,
};

// Label text of a label index; "-undef string-" for an index without one.
std::string_view labelText(int index);
// The text a label control shows (its label index resolved), or empty.
std::string_view labelOf(int id);
// The prompt of a colour button's chooser.
std::string_view colourPrompt(int id);
// The tooltip of a control (edit boxes and labels share their slider's).
std::string_view tooltip(int id);

// The fourteen map modes in list order ("normal" .. "bump w/o ocean").
std::string_view modeName(int index);  // 0..13

// Controls in keyboard (Tab) order.
std::span<const int16_t> tabOrder();

// The mnemonic letter of a caption ('&' before it), lower case, or 0.
uint32_t mnemonicOf(const char* caption);
// The caption without its '&'; underline receives the byte index of the
// mnemonic letter in it (or -1).
std::string captionText(const char* caption, int* underline);

// A memory dot's number 0..24, or -1.
inline int dotIndex(int id) { return id >= kFirstDot && id <= kLastDot ? id - kFirstDot : -1; }

}  // namespace tv::ui
