#pragma once
// A status sink that keeps every line it is shown, with its error flag, and
// passes everything on to the sink the user sees (if any).

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/StatusSink.h"

namespace cvl {

class RecordingSink : public StatusSink {
public:
    explicit RecordingSink(StatusSink* shown) : shown_(shown) {}
    explicit RecordingSink(std::unique_ptr<StatusSink> owned) : owned_(std::move(owned)), shown_(owned_.get()) {}

    void showMessage(std::string_view text, bool isError) override {
        messages.emplace_back(std::string(text), isError);
        if (shown_) shown_->showMessage(text, isError);
    }
    void commandStarted() override {
        if (shown_) shown_->commandStarted();
    }
    void commandEnded() override {
        if (shown_) shown_->commandEnded();
    }
    void beginProgress(std::uint32_t total) override {
        if (shown_) shown_->beginProgress(total);
    }
    void stepProgress() override {
        if (shown_) shown_->stepProgress();
    }
    void resetProgress() override {
        if (shown_) shown_->resetProgress();
    }

    std::vector<std::pair<std::string, bool>> messages;

private:
    std::unique_ptr<StatusSink> owned_;
    StatusSink* shown_;
};

}  // namespace cvl
