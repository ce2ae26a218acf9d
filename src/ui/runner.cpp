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

    void perform(const Actions& actions) {
        for (const Action& a : actions) {
            Event answer;
            answer.kind = Event::Answer;
            switch (a.kind) {
                case Action::Repaint: window->invalidate(a.rect); break;
                case Action::SetTimer: window->setTimer(a.id, a.ms); break;
                case Action::KillTimer: window->killTimer(a.id); break;
                case Action::Cursor: window->setCursor(cursorShape(a.cursor, window->scale())); break;
                case Action::FileDialog:
                    answer.ok = window->chooseFile(a.file, answer.path);
                    dispatch(answer);
                    break;
                case Action::FolderDialog:
                    answer.ok = window->chooseFolder(a.text, answer.path);
                    dispatch(answer);
                    break;
                case Action::ColourDialog:
                    for (int i = 0; i < 3; ++i) answer.rgb[i] = a.rgb[i];
                    answer.ok = window->chooseColour(a.text, answer.rgb);
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

    DialogState state;
    platform::Window* window = nullptr;
    platform::HeadlessWindow* headless = nullptr;
    std::string screenshotPath, screenshotError;
};

}  // namespace

int runMainDialog(const DialogSetup& setup, void* parentWindow) {
    const platform::DialogPeerChoice choice = platform::dialogPeerChoice();
    if (choice.kind == platform::DialogPeerChoice::None) return -1;
    platform::WindowOptions options;
    options.title = "Terravane";
    options.width = kDialogWidth;
    options.height = kDialogHeight;
    options.parent = parentWindow;

    auto client = std::make_unique<DialogClient>();
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<ReplayScript> script;
    if (choice.kind == platform::DialogPeerChoice::Headless) {
        std::vector<uint8_t> bytes;
        std::vector<ReplayStep> steps;
        std::string why;
        if (!platform::readFile(choice.replayPath, bytes, kReplayMaxBytes)) {
            platform::showMessage("terravane edit",
                                  ("cannot read the events file \"" + choice.replayPath + "\"").c_str());
            return -1;
        }
        if (!parseReplay(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), steps, &why)) {
            platform::showMessage("terravane edit", (choice.replayPath + ": " + why).c_str());
            return -1;
        }
        script = std::make_unique<ReplayScript>(std::move(steps));
        auto headless = platform::openHeadlessWindow(options, *client, *script, choice.scale);
        client->headless = headless.get();
        client->screenshotPath = choice.screenshotPath;
        window = std::move(headless);
    } else {
        std::string why;
        window = platform::openNativeWindow(options, *client, &why);
        if (!window) {
            platform::showMessage("Terravane", ("the dialog cannot be shown: " + why).c_str());
            return -1;
        }
    }
    client->window = window.get();
    client->state.systemTips = window->showsTooltips();
    const ControlRect inner = previewInner();
    client->state.surface = window->displaySurface(inner.width(), inner.height());
    Actions actions;
    openDialog(client->state, setup, actions);
    client->perform(actions);
    const int code = window->runModal();
    const int result = client->state.endCode != 0 ? client->state.endCode : code;
    if (script && !script->error().empty()) platform::showMessage("terravane edit", script->error().c_str());
    if (!client->screenshotError.empty())
        platform::showMessage("terravane edit", ("the screenshot was not written: " + client->screenshotError).c_str());
    return result;
}

}  // namespace tv::ui
