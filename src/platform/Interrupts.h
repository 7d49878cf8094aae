#pragma once
// Ctrl-C and requests to end the program (SIGINT, SIGTERM, SIGHUP; the
// console's control events on Windows).

#include <functional>
#include <memory>

namespace cvl {

// A write past the file-size limit fails with an error the program reports
// (EFBIG) instead of ending it with SIGXFSZ and no word (POSIX; nothing to
// do on Windows).
void reportFileSizeLimitAsError();

// Holds interrupts back for as long as it lives: one that comes meanwhile
// takes effect when it ends, so work in between is never cut in half.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// While it lives, an interrupt calls onInterrupt (on a thread of its own)
// and then ends the program with the status a shell gives it (128 + signal).
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace cvl
