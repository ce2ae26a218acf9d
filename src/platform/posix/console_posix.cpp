#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console.h"

namespace tv::platform {

namespace {
volatile sig_atomic_t gInterrupted = 0;
// The first Ctrl-C asks for a cancel; a second one ends the process as usual.
void onInterrupt(int) {
    if (gInterrupted) {
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    gInterrupted = 1;
}
}  // namespace

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int terminalColumns() {
    winsize w{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0) return w.ws_col;
    return 80;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool interruptRequested() { return gInterrupted != 0; }
void clearInterrupt() { gInterrupted = 0; }

}  // namespace tv::platform
