// The dialog's secondary windows: the cloud chooser, the download and export
// progress windows, the about box and the information picture. Like the
// dialog they are controls as data, a state and painting; the dialog's
// handle() runs their rules (secondary.cpp) and paint draws them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "clouds/cloud_chooser.h"
#include "export/layers_export.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "ui/controls.h"

namespace tv::ui {

class Painter;

enum class WindowId : uint8_t { Main, Clouds, Download, Export, About, Information };
constexpr int kWindowCount = 6;

// The name a replay addresses a window by: "main", "clouds", "download",
// "layers", "about", "information".
const char* windowName(WindowId id);
bool windowByName(std::string_view name, WindowId& id);
const char* windowTitle(WindowId id);
int32_t windowWidth(WindowId id);
int32_t windowHeight(WindowId id);
// Progress windows hold the others while they are open.
inline bool windowIsModal(WindowId id) { return id == WindowId::Download || id == WindowId::Export; }

// A control of a secondary window.
struct SmallControl {
    enum Kind : uint8_t { Button, DefaultButton, Radio, Text, Picture } kind = Text;
    int16_t id = -1;
    ControlRect rect;
    const char* caption = nullptr;
};
std::span<const SmallControl> windowControls(WindowId id);
const SmallControl* windowControl(WindowId id, int controlId);
// The control of window id at (x, y) that takes clicks, or kNoControl.
int windowHitTest(WindowId id, float x, float y);
// A point of a control of any window (fx, fy: fractions of its rectangle).
bool windowControlPoint(WindowId id, int controlId, float fx, float fy, float& x, float& y);

// Ids in the secondary windows.
enum SmallId : int16_t {
    kChooserOk = 1,
    kChooserCancel = 2,
    kChooserCacheFirst = 3,
    kChooserUpdate = 4,
    kChooserPrompt = 5,
    kChooserVersion = 20,  // the radio buttons are 6..17
    kProgressCancel = 1,
    kProgressStatus = 2,
    kProgressCaption = 3,
    kProgressBar = 4,
    kAboutOk = 1,
    kAboutVisit = 5,
    kAboutPicture = 6,
    kAboutText = 7,
    kInfoClose = 1,
    kInfoPicture = 6,
};

// The pointer over a secondary window's buttons.
struct ButtonTrack {
    int hot = kNoControl;
    int pressed = kNoControl;
    bool inside = false;
};

// Long work off the window's thread: a satellite image fetched and
// converted, the catalogue list downloaded, or the layered export. The
// worker writes only the job; the window's thread reads the counters while
// it runs and the results once done is set.
struct BackgroundJob {
    enum Kind : uint8_t { Fetch, UpdateList, Export } kind = Fetch;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> expected{-1};
    std::atomic<int32_t> thousandths{0};
    platform::Thread* thread = nullptr;
    // Fetch.
    int32_t index = 0;
    CloudMap map;         // what arrived (the dialog's map stays until it is complete)
    ParamRecord params{};  // a copy whose cloud fields the fetch sets
    DownloadHooks hooks;
    CloudFetchContext context;
    CloudCatalogue catalogue;  // a copy of the chooser's
    // Export.
    Engine* engine = nullptr;
    std::string path;
    LayersRequest request;
    // The result, once done.
    int32_t result = 0;
    std::string detail;

    ~BackgroundJob();
    void start();
    void join();
};

// The chooser's state on top of its model.
struct CloudsWindow {
    CloudChooser model;
    bool cached[kListEntryCount] = {};
};

// A progress window's state.
struct ProgressWindow {
    std::string status = "--";
    int32_t thousandths = -1;  // the bar; -1 none yet
    bool cancelling = false;
    bool started = false;  // the export: the first tick started it
};

struct SecondaryState {
    bool open[kWindowCount] = {};
    ButtonTrack mouse[kWindowCount];
    CloudsWindow clouds;
    CloudCatalogue catalogue;
    ProgressWindow download, exporting;
    std::shared_ptr<BackgroundJob> job;  // the one long job that may run
};

// The timers of the progress windows (their ticks poll the job).
constexpr int32_t kDownloadTimer = 992;
constexpr int32_t kExportTimer = 993;
constexpr int32_t kPollMs = 100;

// Where a secondary window of w x h goes: centred across the owner's client
// area and moved left by a caption button's width (two thirds of it for a
// window without a system menu), a third of the free height down, kept on
// the screen and never at a negative position.
void centreWindow(const platform::ScreenGeometry& owner, int32_t w, int32_t h, bool systemMenu, int32_t& x,
                  int32_t& y);

// The web address the about box visits.
std::string_view productAddress();

// The about box on its own (the about selector, without the dialog).
void paintAbout(const ButtonTrack& mouse, Painter& p);
// Its input: true when it ends; visit says the web page was asked for.
bool aboutEvent(ButtonTrack& mouse, const platform::WindowEvent& e, bool& visit, bool& repaint);

}  // namespace tv::ui
