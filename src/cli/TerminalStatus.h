#pragma once
// Status sink of the command-line tool: every message on its own line (errors
// on standard error), and a progress bar when standard output is a terminal.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/StatusSink.h"

namespace cvl::cli {

class TerminalStatus : public StatusSink {
public:
    // quiet: print nothing (the caller reports the outcome itself, as --json does).
    explicit TerminalStatus(bool quiet = false);

    void showMessage(std::string_view text, bool isError) override;
    void commandStarted() override {}
    void commandEnded() override {}
    void beginProgress(std::uint32_t total) override;
    void stepProgress() override;
    void resetProgress() override;

    const std::string& lastMessage() const { return last_; }
    // Every line shown, in order, with its error flag.
    const std::vector<std::pair<std::string, bool>>& messages() const { return messages_; }
    bool lastIsError() const { return lastIsError_; }

private:
    void drawBar();
    void clearBar();

    bool quiet_;
    bool bar_;
    bool barShown_ = false;
    std::uint32_t total_ = 0;
    std::uint32_t position_ = 0;
    int drawnPercent_ = -1;
    std::string last_;
    std::vector<std::pair<std::string, bool>> messages_;
    bool lastIsError_ = false;
};

}  // namespace cvl::cli
