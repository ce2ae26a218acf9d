// The user's interrupt (Ctrl-C) for long command-line work: while a watch is
// held, an interrupt is remembered instead of ending the process, so that the
// work can stop cleanly (no half-written files left behind). A second
// interrupt during the same watch ends the process as usual.
#pragma once

namespace tv::platform {

class InterruptWatch {
public:
    InterruptWatch();   // starts watching
    ~InterruptWatch();  // the previous behaviour comes back
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    bool interrupted() const;
};

}  // namespace tv::platform
