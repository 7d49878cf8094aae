#pragma once
// Status sink of the command-line tool: keeps the last message line and,
// when asked, echoes each message as it is shown.

#include <cstdio>
#include <string>

#include "StatusSink.h"

namespace cvl::cli {

class CliStatus : public StatusSink {
public:
    explicit CliStatus(std::FILE* echo = nullptr) : echo_(echo) {}

    void showMessage(std::string_view text, bool isError) override {
        lastMessage = std::string(text);
        lastIsError = isError;
        if (echo_ != nullptr) std::fprintf(echo_, "%s\n", lastMessage.c_str());
    }
    void setBusy(bool) override {}
    void beginProgress(std::uint32_t total) override {
        progressTotal = total;
        progressPos = 0;
    }
    void stepProgress() override { ++progressPos; }
    void resetProgress() override { progressPos = 0; }
    void beginWaitCursor() override {}
    void endWaitCursor() override {}

    std::string lastMessage;
    bool lastIsError = false;
    std::uint32_t progressTotal = 0;
    std::uint32_t progressPos = 0;

private:
    std::FILE* echo_;
};

}  // namespace cvl::cli
