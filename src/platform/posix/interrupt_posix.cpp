#include <signal.h>

#include <atomic>

#include "platform/interrupt.h"

namespace tv::platform {

namespace {

std::atomic<int> gInterrupts{0};
struct sigaction gPrevious;

void onInterrupt(int) {
    if (gInterrupts.fetch_add(1) >= 1) {
        // A second Ctrl-C: the user insists.
        ::signal(SIGINT, SIG_DFL);
        ::raise(SIGINT);
    }
}

}  // namespace

InterruptWatch::InterruptWatch() {
    gInterrupts = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &gPrevious);
}

InterruptWatch::~InterruptWatch() { ::sigaction(SIGINT, &gPrevious, nullptr); }

bool InterruptWatch::interrupted() const { return gInterrupts.load() > 0; }

}  // namespace tv::platform
