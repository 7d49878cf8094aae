#pragma once
// Runs a window command off the window's thread, so that the window keeps
// painting and answering the window manager during a 40-second write. Status
// calls reach the window's sink in the order they were made, on its thread;
// run() returns when the command has ended and every status call is shown.

#include <functional>

#include "common/StatusSink.h"
#include "session/WindowThread.h"

namespace cvl::session {

class CommandWorker {
public:
    CommandWorker(WindowThread& thread, StatusSink& windowSink) : thread_(thread), sink_(windowSink) {}

    bool running() const { return running_; }
    // Runs work on a worker thread with a sink that forwards to the window's.
    void run(const std::function<void(StatusSink&)>& work);
    // From the worker: f on the window's thread, queued in order with the
    // status calls, or waited for.
    void post(std::function<void()> f) { thread_.post(std::move(f)); }
    bool ask(const std::function<bool()>& f);

private:
    WindowThread& thread_;
    StatusSink& sink_;
    bool running_ = false;
};

}  // namespace cvl::session
