#pragma once
// The byte trace of a command-line run. It is written under a temporary name
// and takes its own name only when the run ends, so a command that fails
// before it starts leaves whatever file had that name as it was. It is kept
// whole when the run is interrupted: an interrupt is taken by a thread of its
// own, which waits for a write under way to be recorded, writes the lines so
// far and the one being built, puts the file in place, then ends the tool
// with the usual status for the signal.

#include <memory>
#include <mutex>
#include <string>

#include "common/Clock.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"
#include "pod/PodLink.h"
#include "pod/TextTrace.h"

namespace cvl::cli {

class InterruptibleTrace : public LinkObserver {
public:
    // The trace for path; nullptr with error set when path may not be
    // replaced (a link, not a regular file, read-only) or nothing can be
    // written beside it.
    static std::unique_ptr<InterruptibleTrace> open(const std::string& path, Clock& clock, std::string& error);
    ~InterruptibleTrace() override;  // a trace never finished is dropped
    InterruptibleTrace(const InterruptibleTrace&) = delete;
    InterruptibleTrace& operator=(const InterruptibleTrace&) = delete;

    // Writes the last line and puts the file in place; signals act as before
    // again. False, with error set, when the file lost anything.
    bool finish(std::string& error);

    // A write and its record are one step for the watcher.
    void sending() override { mutex_.lock(); }
    void sent(const std::uint8_t* bytes, std::size_t size) override;
    void received(const std::uint8_t* bytes, std::size_t size) override;

private:
    explicit InterruptibleTrace(Clock& clock);

    std::unique_ptr<StagedOutput> output_;
    Clock& clock_;
    std::mutex mutex_;
    std::unique_ptr<TextTrace> text_;
    std::unique_ptr<InterruptWatch> watch_;
    bool traced_ = false;  // a byte went to or came from a pod
};

}  // namespace cvl::cli
