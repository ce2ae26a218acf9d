#include "ui/replay.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/threads.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/secondary.h"

namespace tv::ui {

namespace {

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool number(std::string_view s, float& v) {
    double d = 0.0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), d);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(d) || std::fabs(d) > 1e6) return false;
    v = float(d);
    return true;
}

bool integer(std::string_view s, int32_t& v, int32_t lo, int32_t hi) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && v >= lo && v <= hi;
}

// The rest of a line after its first n words, trimmed.
std::string_view restAfter(std::string_view line, size_t n) {
    size_t i = 0;
    for (size_t w = 0; w < n; ++w) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    }
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t end = line.size();
    while (end > i && std::isspace(static_cast<unsigned char>(line[end - 1]))) --end;
    return line.substr(i, end - i);
}

// A point: "@ID", "@ID:FX,FY" (one word) or "X Y" (two words); ids name
// controls of the window the events go to.
bool point(const std::vector<std::string_view>& w, size_t& at, float& x, float& y, std::string& why,
           WindowId window) {
    if (at >= w.size()) {
        why = "a point is missing";
        return false;
    }
    std::string_view s = w[at];
    if (!s.empty() && s[0] == '@') {
        s.remove_prefix(1);
        float fx = 0.5f, fy = 0.5f;
        const size_t colon = s.find(':');
        std::string_view idText = s.substr(0, colon);
        if (colon != std::string_view::npos) {
            const std::string_view f = s.substr(colon + 1);
            const size_t comma = f.find(',');
            if (comma == std::string_view::npos || !number(f.substr(0, comma), fx) ||
                !number(f.substr(comma + 1), fy)) {
                why = "bad fractions in \"" + std::string(w[at]) + "\"";
                return false;
            }
        }
        int32_t id = 0;
        if (!integer(idText, id, 0, kControlCount - 1) || !windowControlPoint(window, id, fx, fy, x, y)) {
            why = "no control \"" + std::string(w[at]) + "\"";
            return false;
        }
        ++at;
        return true;
    }
    if (at + 1 >= w.size() || !number(w[at], x) || !number(w[at + 1], y)) {
        why = "bad point \"" + std::string(w[at]) + "\"";
        return false;
    }
    at += 2;
    return true;
}

struct KeyName {
    const char* name;
    platform::Key key;
};
constexpr KeyName kKeys[] = {
    {"tab", platform::Key::Tab},
    {"return", platform::Key::Return},
    {"enter", platform::Key::Return},
    {"escape", platform::Key::Escape},
    {"esc", platform::Key::Escape},
    {"space", platform::Key::Space},
    {"backspace", platform::Key::Backspace},
    {"delete", platform::Key::Delete},
    {"left", platform::Key::Left},
    {"right", platform::Key::Right},
    {"up", platform::Key::Up},
    {"down", platform::Key::Down},
    {"home", platform::Key::Home},
    {"end", platform::Key::End},
    {"pageup", platform::Key::PageUp},
    {"pagedown", platform::Key::PageDown},
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool keyName(std::string_view name, ReplayStep& step) {
    std::string rest = lower(name);
    for (;;) {
        const size_t plus = rest.find('+');
        if (plus == std::string::npos || plus + 1 == rest.size()) break;
        const std::string mod = rest.substr(0, plus);
        if (mod == "shift")
            step.modifiers |= platform::kModShift;
        else if (mod == "ctrl" || mod == "control")
            step.modifiers |= platform::kModControl;
        else if (mod == "alt")
            step.modifiers |= platform::kModAlt;
        else
            return false;
        rest = rest.substr(plus + 1);
    }
    for (const KeyName& k : kKeys)
        if (rest == k.name) {
            step.key = k.key;
            return true;
        }
    if (rest.size() == 1 && std::isgraph(static_cast<unsigned char>(rest[0]))) {
        step.key = platform::Key::Character;
        step.character = uint32_t(static_cast<unsigned char>(rest[0]));
        return true;
    }
    return false;
}

bool parseLine(std::string_view line, ReplayStep& step, std::string& why, WindowId& current) {
    const std::vector<std::string_view> w = words(line);
    const std::string verb = lower(w[0]);
    size_t at = 1;
    step.window = int32_t(current);
    auto point = [&](size_t& i, float& x, float& y, std::string& reason) {
        return ::tv::ui::point(w, i, x, y, reason, current);
    };
    auto flags = [&]() {
        for (; at < w.size(); ++at) {
            const std::string f = lower(w[at]);
            if (f == "right")
                step.right = true;
            else if (f == "ctrl")
                step.ctrl = true;
            else {
                why = "unknown word \"" + std::string(w[at]) + "\"";
                return false;
            }
        }
        return true;
    };
    auto done = [&]() {
        if (at == w.size()) return true;
        why = "unexpected \"" + std::string(w[at]) + "\"";
        return false;
    };
    if (verb == "move" || verb == "release") {
        step.kind = verb == "move" ? ReplayStep::Move : ReplayStep::Release;
        return point(at, step.x0, step.y0, why) && done();
    }
    if (verb == "press" || verb == "click") {
        step.kind = verb == "press" ? ReplayStep::Press : ReplayStep::Click;
        return point(at, step.x0, step.y0, why) && flags();
    }
    if (verb == "drag") {
        step.kind = ReplayStep::Drag;
        return point(at, step.x0, step.y0, why) && point(at, step.x1, step.y1, why) && flags();
    }
    if (verb == "wheel") {
        step.kind = ReplayStep::Wheel;
        if (!point(at, step.x0, step.y0, why)) return false;
        if (at >= w.size() || !integer(w[at], step.steps, -100, 100)) {
            why = "the wheel needs a number of steps";
            return false;
        }
        ++at;
        return done();
    }
    if (verb == "window") {
        step.kind = ReplayStep::Window;
        WindowId id = WindowId::Main;
        if (w.size() != 2 || !windowByName(lower(w[1]), id)) {
            why = w.size() < 2 ? "window needs a name" : "no window is called \"" + std::string(w[1]) + "\"";
            return false;
        }
        current = id;
        step.window = int32_t(id);
        step.text = windowName(id);
        return true;
    }
    if (verb == "wait-download" || verb == "wait-export") {
        step.kind = verb == "wait-download" ? ReplayStep::WaitDownload : ReplayStep::WaitExport;
        return done();
    }
    if (verb == "type") {
        step.kind = ReplayStep::Type;
        if (current != WindowId::Main) {
            why = "type goes to the dialog's edit boxes (window main)";
            return false;
        }
        const Control* c = nullptr;
        if (w.size() < 2 || !integer(w[1], step.id, 0, kControlCount - 1) || !(c = control(step.id))) {
            why = "type needs a control id";
            return false;
        }
        if (c->kind == Kind::Slider) step.id = int32_t(c->companion);
        if (control(step.id)->kind != Kind::SliderEdit) {
            why = "control " + std::to_string(step.id) + " has no edit box";
            return false;
        }
        step.text = std::string(restAfter(line, 2));
        return true;
    }
    if (verb == "key") {
        step.kind = ReplayStep::Key;
        if (w.size() != 2 || !keyName(w[1], step)) {
            why = w.size() < 2 ? "key needs a name" : "unknown key \"" + std::string(w[1]) + "\"";
            return false;
        }
        return true;
    }
    if (verb == "timer" || verb == "ok" || verb == "cancel") {
        step.kind = verb == "timer" ? ReplayStep::Timer : (verb == "ok" ? ReplayStep::Ok : ReplayStep::Cancel);
        return done();
    }
    if (verb == "screenshot" || verb == "answer-file" || verb == "answer-folder") {
        step.kind = verb == "screenshot" ? ReplayStep::Screenshot
                                         : (verb == "answer-file" ? ReplayStep::AnswerFile : ReplayStep::AnswerFolder);
        step.text = std::string(restAfter(line, 1));
        if (step.text.empty()) {
            why = verb + " needs a path";
            return false;
        }
        step.cancel = step.kind != ReplayStep::Screenshot && step.text == "cancel";
        return true;
    }
    if (verb == "answer-colour" || verb == "answer-color") {
        step.kind = ReplayStep::AnswerColour;
        if (w.size() == 2 && lower(w[1]) == "cancel") {
            step.cancel = true;
            return true;
        }
        int32_t v[3];
        if (w.size() != 4 || !integer(w[1], v[0], 0, 255) || !integer(w[2], v[1], 0, 255) ||
            !integer(w[3], v[2], 0, 255)) {
            why = "answer-colour needs R G B (0 to 255) or cancel";
            return false;
        }
        for (int i = 0; i < 3; ++i) step.rgb[i] = uint8_t(v[i]);
        return true;
    }
    if (verb == "answer-message") {
        step.kind = ReplayStep::AnswerMessage;
        step.text = std::string(restAfter(line, 1));
        return true;
    }
    why = "unknown event \"" + std::string(w[0]) + "\"";
    return false;
}

platform::WindowEvent mouse(platform::WindowEvent::Kind kind, float x, float y, bool right, bool ctrl) {
    platform::WindowEvent e{kind};
    e.x = x;
    e.y = y;
    e.button = right ? platform::MouseButton::Right : platform::MouseButton::Left;
    e.modifiers = ctrl ? uint32_t(platform::kModControl) : 0u;
    return e;
}

const char* answerName(ReplayStep::Kind kind) {
    switch (kind) {
        case ReplayStep::AnswerFile: return "the file dialog";
        case ReplayStep::AnswerFolder: return "the folder dialog";
        case ReplayStep::AnswerColour: return "the colour dialog";
        default: return "the message";
    }
}

}  // namespace

bool parseReplay(std::string_view text, std::vector<ReplayStep>& steps, std::string* error) {
    steps.clear();
    if (text.size() > kReplayMaxBytes) {
        if (error) *error = "the events file is larger than " + std::to_string(kReplayMaxBytes) + " bytes";
        return false;
    }
    int32_t number = 0;
    size_t i = 0;
    WindowId current = WindowId::Main;
    while (i < text.size()) {
        size_t end = text.find('\n', i);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(i, end - i);
        i = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string why;
        if (line.size() > kReplayMaxLine) {
            why = "the line is too long";
        } else {
            const std::vector<std::string_view> w = words(line);
            if (w.empty() || w[0][0] == '#') continue;
            ReplayStep step;
            step.line = number;
            if (parseLine(line, step, why, current)) {
                steps.push_back(std::move(step));
                continue;
            }
        }
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return false;
    }
    return true;
}

void ReplayScript::fail(const std::string& why) {
    if (failed_) return;
    error_ = "line " + std::to_string(line_) + ": " + why;
    failed_ = true;
}

bool ReplayScript::deliverTo(platform::HeadlessWindow& main, const ReplayStep& s, const platform::WindowEvent& e) {
    // Looked up for every event: the one before may have closed it.
    const char* name = windowName(WindowId(s.window));
    platform::HeadlessWindow* w = main.window(name);
    if (!w) {
        fail(std::string("no window \"") + name + "\" is open");
        return false;
    }
    w->deliver(e);
    return true;
}

// Waits until the named window has closed, ticking its timers (the job's
// progress is polled by them).
bool ReplayScript::waitFor(platform::HeadlessWindow& main, const char* name) {
    constexpr double kLimitSeconds = 300.0;
    const double start = platform::monotonicSeconds();
    while (platform::HeadlessWindow* w = main.window(name)) {
        if (platform::monotonicSeconds() - start > kLimitSeconds) {
            fail(std::string("the ") + name + " window was still open after " + std::to_string(int(kLimitSeconds)) +
                 " seconds");
            return false;
        }
        platform::sleepMilliseconds(5);
        w->fireTimers();
    }
    return true;
}

bool ReplayScript::step(platform::HeadlessWindow& window) {
    using W = platform::WindowEvent;
    if (failed_ || next_ >= steps_.size()) return false;
    const ReplayStep& s = steps_[next_++];
    line_ = s.line;
    auto to = [&](const W& e) { return !failed_ && deliverTo(window, s, e); };
    switch (s.kind) {
        case ReplayStep::Move: to(mouse(W::MouseMove, s.x0, s.y0, false, false)); break;
        case ReplayStep::Press:
            to(mouse(W::MouseMove, s.x0, s.y0, false, s.ctrl)) && to(mouse(W::MouseDown, s.x0, s.y0, s.right, s.ctrl));
            break;
        case ReplayStep::Release: to(mouse(W::MouseUp, s.x0, s.y0, false, false)); break;
        case ReplayStep::Click:
            to(mouse(W::MouseMove, s.x0, s.y0, false, s.ctrl)) && to(mouse(W::MouseDown, s.x0, s.y0, s.right, s.ctrl)) &&
                to(mouse(W::MouseUp, s.x0, s.y0, s.right, s.ctrl));
            break;
        case ReplayStep::Drag: {
            if (!to(mouse(W::MouseMove, s.x0, s.y0, false, s.ctrl)) || !to(mouse(W::MouseDown, s.x0, s.y0, s.right, s.ctrl)))
                break;
            constexpr int kMoves = 8;
            for (int i = 1; i <= kMoves; ++i) {
                const float t = float(i) / float(kMoves);
                if (!to(mouse(W::MouseMove, s.x0 + (s.x1 - s.x0) * t, s.y0 + (s.y1 - s.y0) * t, false, s.ctrl))) break;
            }
            to(mouse(W::MouseUp, s.x1, s.y1, s.right, s.ctrl));
            break;
        }
        case ReplayStep::Wheel: {
            W e = mouse(W::Wheel, s.x0, s.y0, false, false);
            e.steps = s.steps;
            to(e);
            break;
        }
        case ReplayStep::Type: {
            float x = 0, y = 0;
            controlPoint(s.id, 0.5f, 0.5f, x, y);
            W press = mouse(W::MouseDown, x, y, false, false);
            press.clicks = 2;  // a double click selects the whole text
            window.deliver(mouse(W::MouseMove, x, y, false, false));
            window.deliver(press);
            window.deliver(mouse(W::MouseUp, x, y, false, false));
            if (s.text.empty()) {
                W del{W::KeyDown};
                del.key = platform::Key::Delete;
                window.deliver(del);
            }
            for (char c : s.text) {
                W e{W::Text};
                e.character = uint32_t(static_cast<unsigned char>(c));
                window.deliver(e);
            }
            break;
        }
        case ReplayStep::Key: {
            W e{W::KeyDown};
            e.key = s.key;
            e.modifiers = s.modifiers;
            e.character = s.character;
            if (to(e) && s.key == platform::Key::Character &&
                !(s.modifiers & (platform::kModControl | platform::kModAlt))) {
                W t{W::Text};
                t.character = s.character;
                to(t);
            }
            break;
        }
        case ReplayStep::Timer:
            if (platform::HeadlessWindow* w = window.window(windowName(WindowId(s.window))))
                w->fireTimers();
            else
                fail(std::string("no window \"") + windowName(WindowId(s.window)) + "\" is open");
            break;
        case ReplayStep::Screenshot: {
            platform::HeadlessWindow* w = window.window(windowName(WindowId(s.window)));
            std::string why = std::string("no window \"") + windowName(WindowId(s.window)) + "\" is open";
            if (!w || !w->writeScreenshot(s.text, &why)) fail(why);
            break;
        }
        case ReplayStep::Ok:
        case ReplayStep::Cancel: {
            W e{W::Command};
            e.id = s.kind == ReplayStep::Ok ? kOk : kCancel;
            window.deliver(e);
            break;
        }
        case ReplayStep::Window: break;
        case ReplayStep::WaitDownload: waitFor(window, windowName(WindowId::Download)); break;
        case ReplayStep::WaitExport: waitFor(window, windowName(WindowId::Export)); break;
        default: answers_.push_back(s); break;
    }
    return !failed_;
}

void ReplayScript::pageOpened(const std::string& page) {
    pages_.push_back(page);
    platform::printLine("opened " + page);
}

std::optional<ReplayStep> ReplayScript::takeAnswer(ReplayStep::Kind kind, const std::string& what) {
    for (auto it = answers_.begin(); it != answers_.end(); ++it)
        if (it->kind == kind) {
            ReplayStep taken = *it;
            answers_.erase(it);
            return taken;
        }
    fail(std::string("no answer was queued for ") + answerName(kind) + " \"" + what + "\"");
    return std::nullopt;
}

bool ReplayScript::answerFile(const platform::FileRequest& request, std::string& path) {
    const auto a = takeAnswer(ReplayStep::AnswerFile, request.title);
    if (!a || a->cancel) return false;
    path = a->text;
    return true;
}

bool ReplayScript::answerFolder(const std::string& prompt, std::string& folder) {
    const auto a = takeAnswer(ReplayStep::AnswerFolder, prompt);
    if (!a || a->cancel) return false;
    folder = a->text;
    return true;
}

bool ReplayScript::answerColour(const std::string& prompt, uint8_t rgb[3]) {
    const auto a = takeAnswer(ReplayStep::AnswerColour, prompt);
    if (!a || a->cancel) return false;
    for (int i = 0; i < 3; ++i) rgb[i] = a->rgb[i];
    return true;
}

void ReplayScript::answerMessage(const std::string& title, const std::string& text) {
    if (takeAnswer(ReplayStep::AnswerMessage, title)) platform::printLine("message " + title + ": " + text);
}

}  // namespace tv::ui
