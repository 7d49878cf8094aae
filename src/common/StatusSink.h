#pragma once
// What a command reports while it runs: the message line, the progress bar,
// and when a long command starts and ends (the window disables its buttons
// and shows the wait cursor meanwhile). The window, the command-line tool and
// the tests each provide one.

#include <cstdint>
#include <string_view>

namespace cvl {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // Replaces the message line: red when isError, black otherwise.
    virtual void showMessage(std::string_view text, bool isError) = 0;
    // A long command begins: nothing else may be started until it ends.
    virtual void commandStarted() = 0;
    virtual void commandEnded() = 0;
    virtual void beginProgress(std::uint32_t total) = 0;  // range 0..total, position 0
    virtual void stepProgress() = 0;
    virtual void resetProgress() = 0;  // position 0, range kept
};

// Discards everything: for runs nobody watches (benchmarks, fuzzing).
class NullStatusSink : public StatusSink {
public:
    void showMessage(std::string_view, bool) override {}
    void commandStarted() override {}
    void commandEnded() override {}
    void beginProgress(std::uint32_t) override {}
    void stepProgress() override {}
    void resetProgress() override {}
};

}  // namespace cvl
