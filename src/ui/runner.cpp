#include "ui/runner.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/message.h"
#include "ui/draw.h"
#include "ui/replay.h"

namespace tv::ui {

namespace {

// The colour dialog's custom colours, kept for the life of the module.
uint32_t gCustomColours[platform::kCustomColourCount] = {
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
};

// A chosen colour joins the custom colours at the front.
void rememberColour(const uint8_t rgb[3]) {
    const uint32_t c = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
    int at = platform::kCustomColourCount - 1;
    for (int i = 0; i < platform::kCustomColourCount; ++i)
        if (gCustomColours[i] == c) at = i;
    for (int i = at; i > 0; --i) gCustomColours[i] = gCustomColours[i - 1];
    gCustomColours[0] = c;
}

class DialogClient;

// A secondary window's events and painting go to the dialog with its id.
class ChildClient final : public platform::WindowClient {
public:
    ChildClient(DialogClient& owner, WindowId id) : owner_(owner), id_(id) {}
    void paint(platform::Canvas& canvas, const platform::WindowRect& dirty) override;
    void event(const platform::WindowEvent& e) override;

private:
    DialogClient& owner_;
    WindowId id_;
};

// Turns the peer's events into the dialog's and carries out its actions.
class DialogClient final : public platform::WindowClient {
public:
    void paint(platform::Canvas& canvas, const platform::WindowRect& dirty) override {
        Painter p(canvas, dirty);
        ui::paint(state, p);
    }
    void event(const platform::WindowEvent& e) override {
        Event ev;
        ev.window = e;
        dispatch(ev);
    }
    int32_t tooltipAt(float x, float y, std::string& text) override {
        if (state.listOpen || state.captured != kNoControl) return -1;
        const int id = hitTest(state, x, y);
        text = std::string(tooltip(id));
        return text.empty() ? -1 : id;
    }

    void dispatch(const Event& e) {
        Actions actions;
        handle(state, e, actions);
        perform(actions);
    }

    // The window an action is for (null: a secondary window that is closed).
    platform::Window* target(WindowId id) {
        return id == WindowId::Main ? window : children[size_t(id)].window.get();
    }

    void openChild(WindowId id) {
        Child& c = children[size_t(id)];
        if (c.window) return;
        platform::ChildOptions o;
        o.name = windowName(id);
        o.title = windowTitle(id);
        o.width = windowWidth(id);
        o.height = windowHeight(id);
        o.modal = windowIsModal(id);
        centreWindow(window->screenGeometry(), o.width, o.height, !o.modal, o.x, o.y);
        c.client = std::make_unique<ChildClient>(*this, id);
        std::string why;
        c.window = window->openChild(o, *c.client, &why);
        if (!c.window) platform::showMessage("Terravane", ("a window cannot be shown: " + why).c_str());
    }

    void closeChild(WindowId id) {
        Child& c = children[size_t(id)];
        // The client outlives the window, which may still be in one of its calls.
        std::unique_ptr<platform::Window> gone = std::move(c.window);
        gone.reset();
        retired.push_back(std::move(c.client));
    }

    bool chooseFile(const platform::FileRequest& request, std::string& path) {
        if (fileDialogOpen) return false;  // the guard: a second request is cancelled at once
        fileDialogOpen = true;
        const bool ok = window->chooseFile(request, path);
        fileDialogOpen = false;
        // A name given without an extension takes the pattern's ("*.q1q").
        const std::string& pattern = request.pattern;
        if (ok && request.save && pattern.size() > 2 && pattern.compare(0, 2, "*.") == 0 &&
            pattern.find_first_of(";*", 1) == std::string::npos && platform::extensionOf(path).empty())
            path += pattern.substr(1);
        return ok;
    }

    void perform(const Actions& actions) {
        for (const Action& a : actions) {
            Event answer;
            answer.kind = Event::Answer;
            platform::Window* to = target(a.window);
            switch (a.kind) {
                case Action::Repaint:
                    if (to) to->invalidate(a.rect);
                    break;
                case Action::SetTimer:
                    if (to) to->setTimer(a.id, a.ms);
                    break;
                case Action::KillTimer:
                    if (to) to->killTimer(a.id);
                    break;
                case Action::Cursor: window->setCursor(cursorShape(a.cursor, window->scale())); break;
                case Action::OpenWindow: openChild(a.window); break;
                case Action::CloseWindow: closeChild(a.window); break;
                case Action::RaiseWindow:
                    if (to) to->raise();
                    break;
                case Action::OpenPage: {
                    std::string why;
                    if (!window->openPage(a.text, &why))
                        window->showMessage("Terravane", "The page \"" + a.text + "\" could not be opened: " + why);
                    break;
                }
                case Action::FileDialog:
                    answer.ok = chooseFile(a.file, answer.path);
                    dispatch(answer);
                    break;
                case Action::FolderDialog:
                    answer.ok = window->chooseFolder(a.text, answer.path);
                    dispatch(answer);
                    break;
                case Action::ColourDialog:
                    for (int i = 0; i < 3; ++i) answer.rgb[i] = a.rgb[i];
                    if (a.host && hostColours.pick) {
                        answer.ok = hostColours.pick(hostColours.context, a.text, answer.rgb);
                    } else {
                        answer.ok = window->chooseColour(a.text, answer.rgb, gCustomColours);
                        if (answer.ok) rememberColour(answer.rgb);
                    }
                    dispatch(answer);
                    break;
                case Action::Message: window->showMessage(a.title, a.text); break;
                case Action::Work: {
                    window->flush();
                    Event work;
                    work.kind = Event::Work;
                    dispatch(work);
                    break;
                }
                case Action::End:
                    if (headless && !screenshotPath.empty()) {
                        std::string why;
                        if (!headless->writeScreenshot(screenshotPath, &why)) screenshotError = why;
                    }
                    window->endModal(a.code);
                    break;
            }
        }
    }

    struct Child {
        std::unique_ptr<ChildClient> client;
        std::unique_ptr<platform::Window> window;
    };

    DialogState state;
    platform::Window* window = nullptr;
    platform::HeadlessWindow* headless = nullptr;
    std::string screenshotPath, screenshotError;
    HostColourPicker hostColours;
    bool fileDialogOpen = false;
    Child children[kWindowCount];
    std::vector<std::unique_ptr<ChildClient>> retired;
};

void ChildClient::paint(platform::Canvas& canvas, const platform::WindowRect& dirty) {
    Painter p(canvas, dirty);
    paintWindow(owner_.state, id_, p);
}

void ChildClient::event(const platform::WindowEvent& e) {
    Event ev;
    ev.window = e;
    ev.target = id_;
    owner_.dispatch(ev);
}

}  // namespace

namespace {

// The peer the host's environment asks for: a replay's headless window, or
// the system's own. Null (after a message) when neither can be had.
std::unique_ptr<platform::Window> openPeer(const platform::DialogPeerChoice& choice,
                                           const platform::WindowOptions& options, platform::WindowClient& client,
                                           std::unique_ptr<ReplayScript>& script,
                                           platform::HeadlessWindow*& headless) {
    if (choice.kind == platform::DialogPeerChoice::Headless) {
        std::vector<uint8_t> bytes;
        std::vector<ReplayStep> steps;
        std::string why;
        if (!platform::readFile(choice.replayPath, bytes, kReplayMaxBytes)) {
            platform::showMessage("terravane edit",
                                  ("cannot read the events file \"" + choice.replayPath + "\"").c_str());
            return nullptr;
        }
        if (!parseReplay(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), steps, &why)) {
            platform::showMessage("terravane edit", (choice.replayPath + ": " + why).c_str());
            return nullptr;
        }
        script = std::make_unique<ReplayScript>(std::move(steps));
        auto window = platform::openHeadlessWindow(options, client, *script, choice.scale);
        headless = window.get();
        return window;
    }
    std::string why;
    auto window = platform::openNativeWindow(options, client, &why);
    if (!window) platform::showMessage("Terravane", ("the dialog cannot be shown: " + why).c_str());
    return window;
}

void reportReplay(const ReplayScript* script, const std::string& screenshotError) {
    if (script && !script->error().empty()) platform::showMessage("terravane edit", script->error().c_str());
    if (!screenshotError.empty())
        platform::showMessage("terravane edit", ("the screenshot was not written: " + screenshotError).c_str());
}

// The about box on its own: ends on OK, the close box or the visit button.
class AboutClient final : public platform::WindowClient {
public:
    void paint(platform::Canvas& canvas, const platform::WindowRect& dirty) override {
        Painter p(canvas, dirty);
        paintAbout(mouse, p);
    }
    void event(const platform::WindowEvent& e) override {
        bool visit = false, repaint = false;
        const bool ends = aboutEvent(mouse, e, visit, repaint);
        if (repaint) window->invalidate({});
        if (visit) {
            std::string why;
            if (!window->openPage(std::string(productAddress()), &why))
                window->showMessage("About", "The page could not be opened: " + why);
        }
        if (ends) {
            if (headless && !screenshotPath.empty()) headless->writeScreenshot(screenshotPath, &screenshotError);
            window->endModal(visit ? kAboutVisit : kAboutOk);
        }
    }
    ButtonTrack mouse;
    platform::Window* window = nullptr;
    platform::HeadlessWindow* headless = nullptr;
    std::string screenshotPath, screenshotError;
};

}  // namespace

int runAboutBox(void* parentWindow) {
    const platform::DialogPeerChoice choice = platform::dialogPeerChoice();
    if (choice.kind == platform::DialogPeerChoice::None) return -1;
    platform::WindowOptions options;
    options.title = windowTitle(WindowId::About);
    options.width = windowWidth(WindowId::About);
    options.height = windowHeight(WindowId::About);
    options.parent = parentWindow;
    AboutClient client;
    std::unique_ptr<ReplayScript> script;
    std::unique_ptr<platform::Window> window = openPeer(choice, options, client, script, client.headless);
    if (!window) return -1;
    client.window = window.get();
    client.screenshotPath = choice.screenshotPath;
    const int code = window->runModal();
    reportReplay(script.get(), client.screenshotError);
    return code;
}

int runMainDialog(const DialogSetup& setup, void* parentWindow) {
    const platform::DialogPeerChoice choice = platform::dialogPeerChoice();
    if (choice.kind == platform::DialogPeerChoice::None) return -1;
    platform::WindowOptions options;
    options.title = "Terravane";
    options.width = kDialogWidth;
    options.height = kDialogHeight;
    options.parent = parentWindow;

    auto client = std::make_unique<DialogClient>();
    std::unique_ptr<ReplayScript> script;
    std::unique_ptr<platform::Window> window = openPeer(choice, options, *client, script, client->headless);
    if (!window) return -1;
    client->screenshotPath = choice.screenshotPath;
    client->window = window.get();
    client->state.systemTips = window->showsTooltips();
    client->hostColours = setup.hostColours;
    const ControlRect inner = previewInner();
    client->state.surface = window->displaySurface(inner.width(), inner.height());
    Actions actions;
    openDialog(client->state, setup, actions);
    client->perform(actions);
    const int code = window->runModal();
    // Whatever is still open goes before the dialog's window.
    for (int i = 1; i < kWindowCount; ++i) client->closeChild(WindowId(i));
    const int result = client->state.endCode != 0 ? client->state.endCode : code;
    reportReplay(script.get(), client->screenshotError);
    return result;
}

}  // namespace tv::ui
