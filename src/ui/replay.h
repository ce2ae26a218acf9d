// Replays of the dialog: an events file, one event a line, drives the dialog
// through the headless peer (tests, screenshots, reproducible sessions).
//
//   move X Y                      press X Y [right] [ctrl]      release X Y
//   click X Y [right] [ctrl]      drag X0 Y0 X1 Y1              wheel X Y STEPS
//   type ID TEXT                  key NAME (Tab, Shift+Tab, Return, Escape, Left, Alt+D, ...)
//   timer                         screenshot FILE.png           ok   cancel
//   answer-file PATH|cancel       answer-folder PATH|cancel
//   answer-colour R G B|cancel    answer-message [BUTTON]
//   window NAME                   wait-download   wait-export
//
// X Y are window pixels; "@ID" stands for the centre of control ID and
// "@ID:FX,FY" for the point at fractions FX, FY of its rectangle. The
// events after "window NAME" go to that secondary window ("clouds",
// "download", "layers", "about", "information"; "main" for the dialog),
// whose controls "@ID" then names. An answer is queued for the next system
// dialog of its kind; a dialog without one ends the replay with an error.
// wait-download and wait-export wait until the running download or export
// has ended. Lines starting with '#' and blank lines are skipped.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace tv::ui {

constexpr size_t kReplayMaxBytes = 1u << 20;
constexpr size_t kReplayMaxLine = 4096;

struct ReplayStep {
    enum Kind : uint8_t {
        Move,
        Press,
        Release,
        Click,
        Drag,
        Wheel,
        Type,
        Key,
        Timer,
        Screenshot,
        Ok,
        Cancel,
        AnswerFile,
        AnswerFolder,
        AnswerColour,
        AnswerMessage,
        Window,
        WaitDownload,
        WaitExport,
    } kind = Move;
    int32_t line = 0;
    int32_t window = 0;  // the window the event goes to (a WindowId)
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool right = false, ctrl = false;
    int32_t id = 0;     // type: the control
    int32_t steps = 0;  // wheel
    std::string text;   // type, screenshot, answer paths
    platform::Key key = platform::Key::None;
    uint32_t modifiers = 0;
    uint32_t character = 0;
    bool cancel = false;  // an answer that cancels
    uint8_t rgb[3] = {0, 0, 0};
};

// Parses a whole events file; on error says which line and why.
bool parseReplay(std::string_view text, std::vector<ReplayStep>& steps, std::string* error);

// Plays parsed steps into a headless window; the system dialogs take the
// answers queued before them.
class ReplayScript : public platform::HeadlessScript {
public:
    explicit ReplayScript(std::vector<ReplayStep> steps) : steps_(std::move(steps)) {}
    bool step(platform::HeadlessWindow& window) override;
    bool answerFile(const platform::FileRequest& request, std::string& path) override;
    bool answerFolder(const std::string& prompt, std::string& folder) override;
    bool answerColour(const std::string& prompt, uint8_t rgb[3]) override;
    void answerMessage(const std::string& title, const std::string& text) override;
    void pageOpened(const std::string& page) override;

    // What went wrong while playing (empty when nothing did).
    const std::string& error() const { return error_; }
    // The pages the dialog opened.
    const std::vector<std::string>& pages() const { return pages_; }

private:
    std::optional<ReplayStep> takeAnswer(ReplayStep::Kind kind, const std::string& what);
    void fail(const std::string& why);
    // Delivers e to the step's window; false (after fail) when it is not open.
    bool deliverTo(platform::HeadlessWindow& main, const ReplayStep& s, const platform::WindowEvent& e);
    bool waitFor(platform::HeadlessWindow& main, const char* name);

    std::vector<ReplayStep> steps_;
    size_t next_ = 0;
    int32_t line_ = 0;
    std::deque<ReplayStep> answers_;
    std::string error_;
    bool failed_ = false;
    std::vector<std::string> pages_;
};

}  // namespace tv::ui
