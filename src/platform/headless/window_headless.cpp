// The headless window peer: a canvas in memory, events from a script, timers
// that fire when the script says so, and system dialogs the script answers.
// Used by tests and by replays of recorded events; needs no display.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/display_context.h"
#include "platform/environment.h"
#include "platform/window.h"

namespace tv::platform {

namespace {

WindowRect unite(const WindowRect& a, const WindowRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// The screen the headless windows stand on, and the main window centred on it.
constexpr WindowRect kScreen{0, 0, 1920, 1080};
constexpr int32_t kCaptionButton = 28;

class Headless final : public HeadlessWindow {
public:
    Headless(const WindowOptions& options, WindowClient& client, HeadlessScript& script, float scale,
             Headless* owner = nullptr, const ChildOptions* child = nullptr)
        : client_(client), script_(script), width_(options.width), height_(options.height), owner_(owner) {
        if (child) {
            name_ = child->name;
            modal_ = child->modal;
            origin_[0] = child->x;
            origin_[1] = child->y;
            owner_->children_.push_back(this);
        } else {
            name_ = "main";
            origin_[0] = (kScreen.right - width_) / 2;
            origin_[1] = (kScreen.bottom - height_) / 2;
        }
        canvas_.scale = scale > 0.0f ? scale : 1.0f;
        canvas_.width = int32_t(float(width_) * canvas_.scale + 0.5f);
        canvas_.height = int32_t(float(height_) * canvas_.scale + 0.5f);
        canvas_.stride = canvas_.width;
        pixels_.assign(size_t(canvas_.width) * size_t(canvas_.height), 0xFF000000u);
        canvas_.pixels = pixels_.data();
        dirty_ = {0, 0, width_, height_};
    }
    ~Headless() override {
        *alive_ = false;
        if (owner_) owner_->children_.erase(std::remove(owner_->children_.begin(), owner_->children_.end(), this),
                                            owner_->children_.end());
    }

    void invalidate(const WindowRect& r) override {
        dirty_ = unite(dirty_, r.empty() ? WindowRect{0, 0, width_, height_} : r);
    }
    void flush() override {
        if (dirty_.empty()) return;
        const WindowRect d = dirty_;
        dirty_ = {};
        client_.paint(canvas_, d);
    }
    void setTimer(int32_t id, int32_t) override {
        killTimer(id);
        timers_.push_back(id);
    }
    void killTimer(int32_t id) override {
        timers_.erase(std::remove(timers_.begin(), timers_.end(), id), timers_.end());
    }
    void setCursor(const CursorShape& cursor) override { cursor_ = cursor; }
    float scale() const override { return canvas_.scale; }

    int32_t runModal() override {
        flush();
        while (!ended_) {
            if (!script_.step(*this)) {
                // The script ran out: as the window's close box.
                if (!ended_) deliver(WindowEvent{WindowEvent::Close});
                break;
            }
        }
        return code_;
    }
    void endModal(int32_t code) override {
        ended_ = true;
        code_ = code;
    }

    DisplaySurface* displaySurface(int32_t width, int32_t height) override { return surface_.resize(width, height); }

    bool chooseFile(const FileRequest& request, std::string& path) override {
        return script_.answerFile(request, path);
    }
    bool chooseFolder(const std::string& prompt, std::string& folder) override {
        return script_.answerFolder(prompt, folder);
    }
    bool chooseColour(const std::string& prompt, uint8_t rgb[3], uint32_t*) override {
        return script_.answerColour(prompt, rgb);
    }
    void showMessage(const std::string& title, const std::string& text) override { script_.answerMessage(title, text); }
    bool openPage(const std::string& page, std::string*) override {
        script_.pageOpened(page);
        return true;
    }

    std::unique_ptr<Window> openChild(const ChildOptions& options, WindowClient& client, std::string*) override {
        WindowOptions o;
        o.title = options.title;
        o.width = options.width;
        o.height = options.height;
        return std::make_unique<Headless>(o, client, script_, canvas_.scale, &root(), &options);
    }
    ScreenGeometry screenGeometry() const override {
        return {{origin_[0], origin_[1], origin_[0] + width_, origin_[1] + height_}, kScreen, kCaptionButton};
    }
    void raise() override {}

    HeadlessWindow* window(const std::string& name) override {
        Headless& r = root();
        if (name == r.name_) return &r;
        for (Headless* c : r.children_)
            if (c->name_ == name) return c;
        return nullptr;
    }
    bool takesInput() const override {
        const Headless& r = owner_ ? *owner_ : *this;
        for (const Headless* c : r.children_)
            if (c->modal_ && c != this) return false;
        return true;
    }

    void deliver(const WindowEvent& event) override {
        if (ended_) return;
        // Timers, commands and the close box reach a window that a modal child holds.
        const bool input = event.kind != WindowEvent::Timer && event.kind != WindowEvent::Command &&
                           event.kind != WindowEvent::Close;
        if (input && !takesInput()) return;
        Headless& r = root();
        client_.event(event);  // may close this window, when it is a child
        r.flushAll();
    }
    void fireTimers() override {
        const std::vector<int32_t> due = timers_;
        timers_.clear();
        const std::shared_ptr<bool> alive = alive_;
        for (int32_t id : due) {
            WindowEvent e{WindowEvent::Timer};
            e.id = id;
            deliver(e);
            if (!*alive) return;  // the timer closed the window
        }
    }
    bool ended() const override { return ended_; }
    const CursorShape& cursor() const override { return cursor_; }
    bool writeScreenshot(const std::string& path, std::string* error) override {
        flush();
        return writeCanvasPng(path, canvas_.pixels, canvas_.width, canvas_.height, canvas_.stride, error);
    }

private:
    Headless& root() { return owner_ ? *owner_ : *this; }
    // An event may repaint any window (called on the root).
    void flushAll() {
        flush();
        for (Headless* c : children_) c->flush();
    }

    WindowClient& client_;
    HeadlessScript& script_;
    int32_t width_, height_;
    Canvas canvas_;
    std::vector<uint32_t> pixels_;
    WindowRect dirty_;
    std::vector<int32_t> timers_;
    CursorShape cursor_;
    DisplaySurfaceStore surface_;
    bool ended_ = false;
    int32_t code_ = 0;
    Headless* owner_ = nullptr;
    std::vector<Headless*> children_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string name_;
    bool modal_ = false;
    int32_t origin_[2] = {0, 0};
};

}  // namespace

std::unique_ptr<HeadlessWindow> openHeadlessWindow(const WindowOptions& options, WindowClient& client,
                                                   HeadlessScript& script, float scale) {
    return std::make_unique<Headless>(options, client, script, scale);
}

DialogPeerChoice dialogPeerChoice() {
    DialogPeerChoice choice;
    auto value = environmentValue;
    choice.replayPath = value("TERRAVANE_DIALOG_REPLAY");
    choice.screenshotPath = value("TERRAVANE_DIALOG_SCREENSHOT");
    const std::string scale = value("TERRAVANE_DIALOG_SCALE");
    if (!scale.empty()) {
        const double s = std::strtod(scale.c_str(), nullptr);
        if (s >= 0.5 && s <= 4.0) choice.scale = float(s);
    }
    if (!choice.replayPath.empty())
        choice.kind = DialogPeerChoice::Headless;
    else if (value("TERRAVANE_DIALOG_PEER") == "none")
        choice.kind = DialogPeerChoice::None;
    return choice;
}

}  // namespace tv::platform
