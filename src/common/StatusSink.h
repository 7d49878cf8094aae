#pragma once
// What a command reports while it runs: the message line, the busy state of
// the command buttons, the progress bar and the wait cursor. The window, the
// command-line tool and the tests each provide one.

#include <cstdint>
#include <string_view>

namespace cvl {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // Replaces the message line: red when isError, black otherwise.
    virtual void showMessage(std::string_view text, bool isError) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void beginProgress(std::uint32_t total) = 0;  // range 0..total, position 0
    virtual void stepProgress() = 0;
    virtual void resetProgress() = 0;  // position 0, range kept
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
};

// Discards everything: for runs nobody watches (benchmarks, fuzzing).
class NullStatusSink : public StatusSink {
public:
    void showMessage(std::string_view, bool) override {}
    void setBusy(bool) override {}
    void beginProgress(std::uint32_t) override {}
    void stepProgress() override {}
    void resetProgress() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
};

}  // namespace cvl
