#pragma once
// The byte trace of a command-line run, kept whole when the run is
// interrupted: SIGINT and SIGTERM are taken by a thread of their own, which
// waits for a write under way to be recorded, writes the lines so far and
// the one being built, then ends the tool with the usual status for the
// signal (128 + its number).

#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include "common/Clock.h"
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
    void watch();

    std::FILE* file_;
    Clock& clock_;
    std::mutex mutex_;
    TextTrace text_;
    sigset_t signals_;
    sigset_t previous_;
    std::thread watcher_;
};

}  // namespace cvl::cli
