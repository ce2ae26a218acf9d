// The parameter record: every setting of a planet plus the runtime fields of
// the current run, and the state block the host keeps beside it.
//
// Both blocks live in host memory (handles the host allocates for us), so they
// are plain, trivially copyable records. Defaults are defined in one place only:
// loadDefaults() in params.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "base/types.h"

namespace tv {

constexpr int kTextLength = 260;  // text fields: 259 characters and a terminator

// Output modes, in the order of the scripting enumeration ('LG01'..'LG14').
enum OutputMode : int32_t {
    kModeNormal = 1,
    kModeComposite = 2,
    kModeLitMap = 3,
    kModeMapColor = 4,
    kModeLandColor = 5,
    kModeLandBump = 6,
    kModeOceanMask = 7,
    kModeAirColor = 8,
    kModeCloudMask = 9,
    kModeCloudBump = 10,
    kModeCities = 11,
    kModeMural = 12,
    kModeHypsometric = 13,
    kModeBumpWithoutOcean = 14,
};
constexpr int kOutputModeCount = 14;

// Where a render goes.
enum RenderDestination : int32_t {
    kDestinationHost = 0,     // the host image (final render)
    kDestinationPreview = 1,  // the dialog's preview
    kDestinationExport = 2,   // an export image (layered document, thumbnails, command line)
};

struct StateBlock;

// Three 16-bit channels, 0..65535. A scripting or 8-bit value v is stored as v << 8.
struct Colour16 {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;
    uint16_t& operator[](int i) { return i == 0 ? red : (i == 1 ? green : blue); }
    uint16_t operator[](int i) const { return i == 0 ? red : (i == 1 ? green : blue); }
    friend bool operator==(const Colour16&, const Colour16&) = default;
};

struct ParamRecord {
    // ---- settings, in declared order -------------------------------------
    float lightX, lightY, lightZ;  // unit vector towards the light
    float axisX, axisY, axisZ;     // unit vector of the rotation axis
    int32_t outputMode;            // 1..14 (OutputMode); 0 tolerated
    int32_t randomSeed;
    float xCenter, yCenter;        // planet centre as fractions of the area
    Colour16 landColor;
    Colour16 airColor;
    Colour16 seaColor;
    Colour16 desertColor;
    Colour16 iceColor;
    Colour16 cloudColor;
    Colour16 cityColor;
    Colour16 spareColor;
    // Every 32-bit scalar and switch from here to cloudTexture is moved by a
    // snapshot copy; keep them together.
    int32_t airDepth;
    int32_t cloudHeight;
    int32_t cloudShadows;
    int32_t sunset;
    int32_t planetSize;
    int32_t landComplexity;
    int32_t spareValue1;
    int32_t stormSize;
    int32_t stormCount;
    int32_t stormSwirl;
    int32_t airBrightness;
    int32_t realClouds;    // switch
    int32_t backlighting;  // switch
    int32_t realLuna;      // switch
    int32_t seaLevel;
    int32_t desert;
    int32_t craterCount;
    int32_t craterSize;
    int32_t craterTexture;
    int32_t landTexture;
    int32_t cloudCoverage;
    int32_t cloudEdges;
    int32_t spareValue2;
    int32_t cities;
    int32_t cloudViscosity;
    int32_t cloudCoriolis;
    int32_t lunarClimate;  // switch
    int32_t ice;
    int32_t cloudTexture;
    int32_t downloadedClouds;
    char settingsName[kTextLength];

    // ---- runtime fields -----------------------------------------------------
    uint8_t dialogFlags[2];
    uint8_t hostPreviewFlag;
    uint8_t hostPreviewDisabled;
    uint8_t fullRenderFlag;
    uint8_t reserved0[3];
    StateBlock* stateBlock;     // set at prepare
    int32_t scratchWord;
    int32_t sampleFactor;       // 1 after prepare
    int32_t renderDestination;  // RenderDestination
    int32_t previewOriginX, previewOriginY;
    int32_t passCount, passIndex;
    int32_t pendingRect[2];     // -1, -1 after prepare
    int32_t previewCentre[2];
    int32_t lastCloudImage;     // -1 at start
    // Document export settings (size mode, custom size, proportions); the
    // layered export itself always uses the filter area's size.
    int32_t exportSizeMode;
    int32_t exportWidth, exportHeight;
    int32_t exportReserved[3];
    uint8_t exportKeepProportions, exportReservedFlag;
    uint8_t cloudCacheLoaded;   // set by a cloud cache load
    uint8_t reserved1;
    char catalogueFileName[kTextLength];
    char catalogueFolder[kTextLength];
    char popupText[3][kTextLength];
    char settingsFolder[kTextLength];  // folder last used for settings files
    char documentFolder[kTextLength];  // folder last used for exported documents
    char keywordList[kTextLength];     // extra keywords for exported files, ';'-separated
};
static_assert(std::is_trivially_copyable_v<ParamRecord>);
static_assert(std::is_standard_layout_v<ParamRecord>);

// A settings snapshot has the layout of the parameter record (memory dots, undo).
using SettingsSnapshot = ParamRecord;

// Opaque engine objects the state block points to.
struct WorkingMemory;
struct RgbImage;

// The 8-bit planar copy of the host image that the preview keeps.
struct PreviewImage {
    uint8_t* pixels = nullptr;
    int32_t rowLength = 0;  // the width
    int32_t height = 0;
    int32_t planeSize = 0;
    int32_t planeCount = 0;
};

constexpr int kMemoryDotCount = 25;

struct StateBlock {
    // Head: zeroed, scale 1.0 and show-dialog set by the head initialisation.
    Rect renderRect;
    float renderScale;
    int32_t renderWidth, renderHeight;  // render geometry of the current area
    int32_t renderPixels;               // width x height
    int32_t headReserved[2];
    uint8_t showDialog;
    uint8_t exportReset;
    uint8_t dialogActive;
    uint8_t previewFlags;
    Rect fullRenderRect;  // the filter rectangle
    void* dialogWindow;
    // Render geometry stored by the host-image set-up.
    int32_t areaFirstRow, areaLastRow, areaFirstColumn, areaLastColumn;
    // Undo and memory dots.
    int32_t undoIndex;
    int32_t dotMarks[kMemoryDotCount];
    int16_t dotDisplay[kMemoryDotCount];
    int16_t dotReserved;
    int32_t hoverDot;
    // Preview image and thumbnail.
    PreviewImage preview;
    RgbImage* frameImages[8];
    RgbImage* thumbnail;  // 128 x 128, made at start
    // Working memory (allocated by start, released by finish or on failure).
    WorkingMemory* working;
    int32_t workBlockSize;
    int32_t bufferSize;   // the 128 x n buffer
    int32_t smallBufferSize;
};
static_assert(std::is_trivially_copyable_v<StateBlock>);

// Writes every default of the settings except the spare colour and the name.
void loadDefaults(ParamRecord& record);

// The runtime reset the prepare step runs, followed by loadDefaults().
void resetAtPrepare(ParamRecord& record, StateBlock* state);

// Snapshot copies move: the name, all eight colours, every scalar and switch
// from air depth to cloud texture, the seed, light and axis vectors, output
// mode. Never X/Y center, downloaded clouds or any runtime field.
void copyToSnapshot(const ParamRecord& record, SettingsSnapshot& snapshot);
void copyFromSnapshot(const SettingsSnapshot& snapshot, ParamRecord& record);

// Zeroed record with defaults loaded and the name set (what prepare leaves).
ParamRecord defaultRecord();

// Sets a text field, cutting it to fit.
void setText(char (&field)[kTextLength], const char* text);

// Colour conversions between 8-bit (scripting) values and 16-bit channels.
constexpr uint16_t channelFrom8(int32_t v) { return static_cast<uint16_t>(v << 8); }
constexpr int32_t channelTo8(uint16_t c) { return c >> 8; }

// Sizes of the working memory.
constexpr int32_t kWorkBlockSize = 88728;
constexpr int32_t kWorkBlockMagic = 123456;
// The 128 x n buffer: n is the larger of 2 x (max(a, b) + 4) and 3a + 2184.
int32_t workBufferSize(int32_t a, int32_t b);

}  // namespace tv
