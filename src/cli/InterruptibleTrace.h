#pragma once
// The byte trace of a command-line run, kept whole when the run is
// interrupted: an interrupt is taken by a thread of its own, which waits for
// a write under way to be recorded, writes the lines so far and the one
// being built, then ends the tool with the usual status for the signal.

#include <cstdio>
#include <memory>
#include <mutex>

#include "common/Clock.h"
#include "platform/Interrupts.h"
#include "pod/PodLink.h"
#include "pod/TextTrace.h"

namespace cvl::cli {

class InterruptibleTrace : public LinkObserver {
public:
    InterruptibleTrace(std::FILE* file, Clock& clock);
    ~InterruptibleTrace() override;  // writes the last line; signals act as before again
    InterruptibleTrace(const InterruptibleTrace&) = delete;
    InterruptibleTrace& operator=(const InterruptibleTrace&) = delete;

    // A write and its record are one step for the watcher.
    void sending() override { mutex_.lock(); }
    void sent(const std::uint8_t* bytes, std::size_t size) override;
    void received(const std::uint8_t* bytes, std::size_t size) override;

private:
    std::FILE* file_;
    Clock& clock_;
    std::mutex mutex_;
    TextTrace text_;
    std::unique_ptr<InterruptWatch> watch_;
};

}  // namespace cvl::cli
