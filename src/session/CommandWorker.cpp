#include "session/CommandWorker.h"

#include <string>
#include <thread>

namespace cvl::session {

namespace {

// The window's sink, reached from the worker: every call is queued to the
// window's thread, in order.
class ForwardingSink : public StatusSink {
public:
    ForwardingSink(WindowThread& thread, StatusSink& target) : thread_(thread), target_(target) {}
    void showMessage(std::string_view text, bool isError) override {
        thread_.post([this, t = std::string(text), isError] { target_.showMessage(t, isError); });
    }
    void commandStarted() override {
        thread_.post([this] { target_.commandStarted(); });
    }
    void commandEnded() override {
        thread_.post([this] { target_.commandEnded(); });
    }
    void beginProgress(std::uint32_t total) override {
        thread_.post([this, total] { target_.beginProgress(total); });
    }
    void stepProgress() override {
        thread_.post([this] { target_.stepProgress(); });
    }
    void resetProgress() override {
        thread_.post([this] { target_.resetProgress(); });
    }

private:
    WindowThread& thread_;
    StatusSink& target_;
};

}  // namespace

void CommandWorker::run(const std::function<void(StatusSink&)>& work) {
    running_ = true;
    ForwardingSink sink(thread_, sink_);
    std::thread worker([&] {
        work(sink);
        // Queued after every status call the command made: the wait ends once they are shown.
        thread_.post([this] { thread_.quitWaiting(); });
    });
    thread_.waitHere();
    worker.join();
    running_ = false;
}

bool CommandWorker::ask(const std::function<bool()>& f) {
    bool answer = false;
    thread_.callAndWait([&] { answer = f(); });
    return answer;
}

}  // namespace cvl::session
