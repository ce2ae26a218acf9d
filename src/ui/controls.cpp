#include "ui/controls.h"

#include <array>
#include <cctype>

namespace tv::ui {

namespace {

// ---- the layout grid ---------------------------------------------------------------
// Two columns of slider rows at the left, 25 pixels apart; in a row the label,
// the track, the edit box and (for some) the colour of what the row sets.
constexpr int16_t kColumnA = 12, kColumnB = 292;
constexpr int16_t kGridTop = 12, kRowPitch = 25;
constexpr int16_t slotTop(int slot) { return int16_t(kGridTop + kRowPitch * slot); }
constexpr int16_t rowTop(int slot) { return int16_t(slotTop(slot) + 3); }

constexpr ControlRect rect(int l, int t, int r, int b) { return {int16_t(l), int16_t(t), int16_t(r), int16_t(b)}; }

constexpr Control label(int id, int of, int index, ControlRect r, int8_t align) {
    Control c;
    c.id = int16_t(id);
    c.kind = Kind::Label;
    c.rect = r;
    c.companion = of;
    c.labelIndex = int16_t(index);
    c.align = align;
    return c;
}
constexpr ControlRect columnSlot(int x0, int slot) {
    return rect(x0, slotTop(slot), x0 + 268, slotTop(slot) + kRowPitch);
}
constexpr Control heading(int id, const char* text, ControlRect r) {
    Control c;
    c.id = int16_t(id);
    c.kind = Kind::Heading;
    c.rect = r;
    c.caption = text;
    return c;
}
constexpr Control button(int id, Kind kind, ControlRect r, const char* caption, Glyph glyph) {
    Control c;
    c.id = int16_t(id);
    c.kind = kind;
    c.rect = r;
    c.caption = caption;
    c.glyph = glyph;
    return c;
}
constexpr Control simple(int id, Kind kind, ControlRect r, Field field = Field::None) {
    Control c;
    c.id = int16_t(id);
    c.kind = kind;
    c.rect = r;
    c.field = field;
    return c;
}
constexpr Control dot(int n) {
    Control c;
    c.id = int16_t(kFirstDot + n);
    c.kind = Kind::MemoryDot;
    c.rect = rect(876, 14 + 20 * n, 892, 30 + 20 * n);
    return c;
}

// Lower sections and the right-hand panel.
constexpr int16_t kLowerTop = 376;
constexpr int16_t kPanelLeft = 572, kPanelRight = 863;
constexpr int16_t kBarTop = 526, kBarBottom = 556;
constexpr ControlRect barButton(int left, int width) { return rect(left, kBarTop, left + width, kBarBottom); }

// A slider row: the slider, its edit box, its label (and label text), where
// it sits, what it edits, its track style, and the colour button of what it
// sets, when there is one.
struct SliderRow {
    int16_t slider, edit, label, labelIndex;
    int16_t x0, slot;
    Field field;
    int16_t track;
    int16_t swatch = -1;
    Field swatchField = Field::None;
};

constexpr SliderRow kSliderRows[] = {
    // Column A: the planet, the atmosphere, storms.
    {37, 86, 36, 11, kColumnA, 1, Field::PlanetSize, 101},
    {39, 85, 38, 12, kColumnA, 2, Field::LandComplexity, 101},
    {55, 90, 54, 27, kColumnA, 3, Field::SeaLevel, 102, 9, Field::SeaColour},
    {57, 91, 56, 28, kColumnA, 4, Field::Desert, 102, 19, Field::DesertColour},
    {65, 81, 64, 23, kColumnA, 5, Field::Ice, 102, 20, Field::IceColour},
    {12, 79, 22, 9, kColumnA, 7, Field::AirDepth, 101, 8, Field::AirColour},
    {51, 83, 50, 17, kColumnA, 8, Field::AirBrightness, 101},
    {13, 80, 4, 10, kColumnA, 9, Field::Sunset, 101},
    {45, 88, 44, 14, kColumnA, 11, Field::StormCount, 101},
    {43, 87, 42, 13, kColumnA, 12, Field::StormSize, 101},
    {47, 89, 46, 16, kColumnA, 13, Field::StormSwirl, 101},
    // Column B: clouds and the surface.
    {98, 99, 97, 7, kColumnB, 1, Field::CloudCoverage, 102, 14, Field::CloudColour},
    {69, 95, 68, 25, kColumnB, 2, Field::CloudEdges, 102},
    {67, 82, 66, 24, kColumnB, 3, Field::CloudTexture, 102},
    {11, 78, 15, 8, kColumnB, 4, Field::CloudHeight, 102},
    {10, 77, 24, 5, kColumnB, 5, Field::CloudShadows, 102},
    {110, 111, 109, 21, kColumnB, 6, Field::CloudViscosity, 101},
    {114, 115, 113, 34, kColumnB, 7, Field::CloudCoriolis, 101},
    {59, 92, 58, 18, kColumnB, 9, Field::CraterCount, 101},
    {61, 93, 60, 19, kColumnB, 10, Field::CraterSize, 101},
    {63, 94, 62, 22, kColumnB, 11, Field::CraterTexture, 101},
    {103, 104, 102, 6, kColumnB, 12, Field::LandTexture, 101, 7, Field::LandColour},
    {107, 108, 106, 46, kColumnB, 13, Field::Cities, 102, 29, Field::CityColour},
};

// Everything else.
constexpr Control kOtherControls[] = {
    heading(160, "Planet", columnSlot(kColumnA, 0)),
    heading(161, "Atmosphere", columnSlot(kColumnA, 6)),
    heading(162, "Storms", columnSlot(kColumnA, 10)),
    heading(163, "Clouds", columnSlot(kColumnB, 0)),
    heading(164, "Surface", columnSlot(kColumnB, 8)),

    // Light and axis.
    heading(165, "Light and axis", rect(kColumnA, kLowerTop, kColumnA + 268, kLowerTop + kRowPitch)),
    simple(112, Kind::Globe, rect(40, 406, 126, 488), Field::Light),
    simple(100, Kind::Globe, rect(166, 406, 252, 488), Field::Axis),
    label(170, 112, 47, rect(40, 490, 126, 506), 2),
    label(40, 100, 44, rect(166, 490, 252, 506), 2),

    // Output: the map mode and the switches.
    heading(166, "Output", rect(kColumnB, kLowerTop, kColumnB + 268, kLowerTop + kRowPitch)),
    label(146, 73, 45, rect(kColumnB, 407, kColumnB + 84, 427), 1),
    simple(73, Kind::ModeList, rect(kColumnB + 90, 407, kColumnB + 246, 427), Field::OutputMode),
    simple(48, Kind::CheckBox, rect(kColumnB, 442, kColumnB + 14, 456), Field::RealClouds),
    label(49, 48, 3, rect(kColumnB + 19, 439, kColumnB + 130, 459), 1),
    simple(52, Kind::CheckBox, rect(kColumnB + 134, 442, kColumnB + 148, 456), Field::Backlighting),
    label(53, 52, 4, rect(kColumnB + 153, 439, kColumnB + 268, 459), 1),
    simple(21, Kind::CheckBox, rect(kColumnB, 468, kColumnB + 14, 482), Field::RealLuna),
    label(23, 21, 39, rect(kColumnB + 19, 465, kColumnB + 130, 485), 1),
    simple(105, Kind::CheckBox, rect(kColumnB + 134, 468, kColumnB + 148, 482), Field::LunarClimate),
    label(70, 105, 43, rect(kColumnB + 153, 465, kColumnB + 268, 485), 1),

    // The preview with its zoom buttons and the settings name.
    simple(18, Kind::Preview, rect(kPanelLeft, 12, kPanelRight, 189)),
    button(33, Kind::IconButton, rect(kPanelLeft, 195, kPanelLeft + 24, 219), nullptr, Glyph::ZoomOut),
    button(32, Kind::IconButton, rect(kPanelLeft + 28, 195, kPanelLeft + 52, 219), nullptr, Glyph::ZoomIn),
    button(34, Kind::IconButton, rect(kPanelLeft + 56, 195, kPanelLeft + 80, 219), nullptr, Glyph::Percent),
    simple(76, Kind::NameStrip, rect(kPanelLeft + 88, 195, kPanelRight, 219)),

    // Memory: the picture of the dot under the pointer, and the dots.
    heading(167, "Memory", rect(kPanelLeft, slotTop(9), kPanelRight, slotTop(10))),
    simple(119, Kind::SpecialDot, rect(kPanelRight - 96, 266, kPanelRight, 362)),
    dot(0),
    dot(1),
    dot(2),
    dot(3),
    dot(4),
    dot(5),
    dot(6),
    dot(7),
    dot(8),
    dot(9),
    dot(10),
    dot(11),
    dot(12),
    dot(13),
    dot(14),
    dot(15),
    dot(16),
    dot(17),
    dot(18),
    dot(19),
    dot(20),
    dot(21),
    dot(22),
    dot(23),
    dot(24),

    // The maker's mark: opens the about box.
    button(25, Kind::Icon, rect(kPanelLeft, 404, kPanelLeft + 48, 452), nullptr, Glyph::Logo),

    // Commands along the bottom.
    button(35, Kind::IconButton, barButton(12, 70), "&Load", Glyph::Load),
    button(26, Kind::IconButton, barButton(86, 70), "&Save", Glyph::Save),
    button(27, Kind::IconButton, barButton(160, 70), "&Plain", Glyph::Plain),
    button(74, Kind::IconButton, barButton(234, 70), "&Undo", Glyph::Undo),
    button(72, Kind::IconButton, barButton(316, 70), "&Dice", Glyph::Dice),
    button(75, Kind::IconButton, barButton(390, 70), "&Ecce", Glyph::Ecce),
    button(17, Kind::IconButton, barButton(472, 76), "C&louds", Glyph::Clouds),
    button(71, Kind::IconButton, barButton(552, 76), "L&ayers", Glyph::Layers),
    button(150, Kind::IconButton, barButton(640, 30), nullptr, Glyph::Catalogue),
    button(116, Kind::IconButton, barButton(674, 30), nullptr, Glyph::Information),
    button(3, Kind::DialogButton, barButton(722, 82), "&OK", Glyph::None),
    button(2, Kind::DialogButton, barButton(812, 82), "&Cancel", Glyph::None),
};

constexpr size_t kSwatchCount = [] {
    size_t n = 0;
    for (const SliderRow& r : kSliderRows) n += r.swatch >= 0 ? 1 : 0;
    return n;
}();

// The whole table: each slider row as its four controls, then the others.
constexpr auto kTable = [] {
    std::array<Control, std::size(kSliderRows) * 3 + kSwatchCount + std::size(kOtherControls)> table{};
    size_t n = 0;
    for (const SliderRow& r : kSliderRows) {
        const int16_t top = rowTop(r.slot);
        Control& slider = table[n++];
        slider.id = r.slider;
        slider.kind = Kind::Slider;
        slider.rect = rect(r.x0 + 90, top, r.x0 + 204, top + 20);
        slider.companion = r.edit;
        slider.minimum = 0;
        slider.maximum = 100;
        slider.field = r.field;
        slider.bitmap = r.track;
        Control& edit = table[n++];
        edit.id = r.edit;
        edit.kind = Kind::SliderEdit;
        edit.rect = rect(r.x0 + 210, top, r.x0 + 246, top + 20);
        edit.companion = r.slider;
        table[n++] = label(r.label, r.slider, r.labelIndex, rect(r.x0, top, r.x0 + 84, top + 20), 0);
        if (r.swatch >= 0)
            table[n++] =
                simple(r.swatch, Kind::ColourButton, rect(r.x0 + 250, top + 1, r.x0 + 268, top + 19), r.swatchField);
    }
    for (const Control& c : kOtherControls) table[n++] = c;
    return table;
}();

constexpr int16_t kOtherTabOrder[] = {73, 48, 52, 21, 105, 33, 32, 34, 35, 26, 27, 74, 72, 75, 17, 71, 150, 116, 3, 2};

// Tab walks the slider rows (slider, box, colour), then the other controls.
constexpr auto kTabOrder = [] {
    std::array<int16_t, std::size(kSliderRows) * 2 + kSwatchCount + std::size(kOtherTabOrder)> order{};
    size_t n = 0;
    for (const SliderRow& r : kSliderRows) {
        order[n++] = r.slider;
        order[n++] = r.edit;
        if (r.swatch >= 0) order[n++] = r.swatch;
    }
    for (int16_t id : kOtherTabOrder) order[n++] = id;
    return order;
}();

constexpr std::array<int16_t, kControlCount> indexTable() {
    std::array<int16_t, kControlCount> index{};
    for (auto& i : index) i = -1;
    for (size_t i = 0; i < kTable.size(); ++i) index[size_t(kTable[i].id)] = int16_t(i);
    return index;
}
constexpr auto kIndex = indexTable();

struct Text {
    int16_t id;
    const char* text;
};

// The label table (label index -> text). 46 and 47 are our own: the cities
// slider and the light globe have no label of their own.
constexpr Text kLabels[] = {
    {2, "Auto preview"},
    {3, "Real clouds"},
    {4, "Backlighting"},
    {5, "Shadows"},
    {6, "Land texture"},
    {7, "Coverage"},
    {8, "Height"},
    {9, "Depth"},
    {10, "Sunset"},
    {11, "Size"},
    {12, "Complexity"},
    {13, "Storm size"},
    {14, "Storm count"},
    {15, "Storm spacing"},
    {16, "Storm spin"},
    {17, "Brightness"},
    {18, "Crater count"},
    {19, "Crater size"},
    {21, "Viscosity"},
    {22, "Crater texture"},
    {23, "Ice"},
    {24, "Texture"},
    {25, "Edges"},
    {26, "Swirl"},
    {27, "Sea level"},
    {28, "Desert"},
    {33, "random settings"},
    {34, "Coriolis"},
    {35, "Choose the land color."},
    {36, "Choose the air color."},
    {37, "Choose the water color."},
    {38, "Choose the cloud color."},
    {39, "Real Luna"},
    {40, "Choose the desert color."},
    {41, "Choose the ice color."},
    {42, "Choose the city color."},
    {43, "Lunar climate"},
    {44, "Axis"},
    {45, "Map mode"},
    {46, "Cities"},
    {47, "Light"},
};

constexpr Text kPrompts[] = {
    {7, "Choose the land color."},   {8, "Choose the air color."},     {9, "Choose the water color."},
    {14, "Choose the cloud color."}, {19, "Choose the desert color."}, {20, "Choose the ice color."},
    {29, "Choose the city color."},
};

constexpr Text kTooltips[] = {
    {37, "Size of the planet in the image"},
    {39, "Detail of the coastlines and the land's height"},
    {55, "How much of the planet the sea covers"},
    {57, "How much of the land is desert"},
    {65, "How far the polar ice reaches"},
    {12, "Thickness of the atmosphere"},
    {51, "How bright the atmosphere glows"},
    {13, "Strength of the red band along the edge of night"},
    {45, "Number of storms"},
    {43, "Size of the storms"},
    {47, "How tightly the storms spin"},
    {98, "How much of the sky the clouds cover"},
    {69, "Sharpness of the clouds' edges"},
    {67, "Fine detail of the clouds"},
    {11, "Height of the clouds above the ground"},
    {10, "Darkness of the shadows the clouds cast"},
    {110, "Smoothness of the cloud flow"},
    {114, "Twist of the clouds with latitude"},
    {59, "Number of craters"},
    {61, "Size of the craters"},
    {63, "Roughness of the craters"},
    {103, "Fine texture of the land"},
    {107, "City lights on the night side"},
    {9, "Colour of the sea (click to choose)"},
    {19, "Colour of the deserts (click to choose)"},
    {20, "Colour of the ice (click to choose)"},
    {8, "Colour of the atmosphere (click to choose)"},
    {14, "Colour of the clouds (click to choose)"},
    {7, "Colour of the land (click to choose)"},
    {29, "Colour of the city lights (click to choose)"},
    {112, "Drag to move the light; Ctrl points it at the viewer"},
    {100, "Drag to tilt the planet's axis; Ctrl points it at the viewer"},
    {73, "What to render: the lit globe or one of the flat maps"},
    {48, "Clouds from a downloaded satellite image instead of invented ones"},
    {52, "Light the atmosphere from behind the planet"},
    {21, "Use the Moon's own relief for the land"},
    {105, "A moon-like surface: relief in shades of the land colour"},
    {18, "Click to place the planet; when zoomed in, drag to look around"},
    {33, "Zoom out"},
    {32, "Zoom in"},
    {34, "Show the image at 100 %"},
    {76, "The name of the current settings"},
    {119, "The planet kept in the dot under the pointer"},
    {25, "About Terravane"},
    {35, "Load settings from a file"},
    {26, "Save the settings to a file"},
    {27, "Plain settings: every value back to its default"},
    {74, "Undo: back to the previous settings (again to redo)"},
    {72, "Dice: a random planet"},
    {75, "Ecce: the same planet from a new random seed"},
    {17, "Clouds from a cached satellite image"},
    {71, "Write every map of this planet as one layered document"},
    {150, "Write a web page of the presets in a folder"},
    {116, "About the controls"},
    {3, "Render the planet into the image"},
    {2, "Close without rendering; the settings go back to how they were"},
};

constexpr const char* kModes[] = {"normal",    "composite",  "lit map",     "map color",     "land color",
                                  "land bump", "ocean mask", "air color",   "cloud mask",    "cloud bump",
                                  "cities",    "mural",      "hypsometric", "bump w/o ocean"};

const char* find(std::span<const Text> table, int id) {
    for (const Text& t : table)
        if (t.id == id) return t.text;
    return nullptr;
}

}  // namespace

const Control* control(int id) {
    if (id < 0 || id >= kControlCount || kIndex[size_t(id)] < 0) return nullptr;
    return &kTable[size_t(kIndex[size_t(id)])];
}

std::span<const Control> controls() { return kTable; }

std::string_view labelText(int index) {
    const char* t = find(kLabels, index);
    return t ? t : "-undef string-";
}

std::string_view labelOf(int id) {
    const Control* c = control(id);
    return c && c->kind == Kind::Label ? labelText(c->labelIndex) : std::string_view();
}

std::string_view colourPrompt(int id) {
    const char* t = find(kPrompts, id);
    return t ? t : "";
}

std::string_view tooltip(int id) {
    const Control* c = control(id);
    if (c && (c->kind == Kind::SliderEdit || c->kind == Kind::Label)) id = c->companion;
    if (id >= kFirstDot && id <= kLastDot)
        return "Memory dot: click to keep or bring back a planet; Ctrl-click keeps it for this session only; "
               "right-click empties it";
    const char* t = find(kTooltips, id);
    return t ? t : "";
}

std::string_view modeName(int index) { return index >= 0 && index < 14 ? kModes[index] : ""; }

std::span<const int16_t> tabOrder() { return kTabOrder; }

uint32_t mnemonicOf(const char* caption) {
    if (!caption) return 0;
    for (const char* p = caption; *p; ++p)
        if (*p == '&' && p[1] && p[1] != '&') return uint32_t(std::tolower(static_cast<unsigned char>(p[1])));
    return 0;
}

std::string captionText(const char* caption, int* underline) {
    std::string out;
    if (underline) *underline = -1;
    for (const char* p = caption ? caption : ""; *p; ++p) {
        if (*p == '&' && p[1]) {
            if (underline && *underline < 0) *underline = int(out.size());
            ++p;
        }
        out += *p;
    }
    return out;
}

}  // namespace tv::ui
