#include "cli/TerminalStatus.h"

#include "common/Text.h"
#include "platform/Host.h"

namespace cvl::cli {

namespace {
constexpr int kBarWidth = 40;
}

TerminalStatus::TerminalStatus(bool quiet) : quiet_(quiet), bar_(!quiet && stdoutIsTerminal()) {}

void TerminalStatus::showMessage(std::string_view text, bool isError) {
    last_ = std::string(text);
    lastIsError_ = isError;
    messages_.emplace_back(last_, isError);
    if (quiet_) return;
    clearBar();
    std::fflush(stdout);
    std::FILE* out = isError ? stderr : stdout;
    std::fprintf(out, "%s\n", escapeControls(last_).c_str());
    std::fflush(out);
}

void TerminalStatus::beginProgress(std::uint32_t total) {
    total_ = total;
    position_ = 0;
    drawnPercent_ = -1;
    drawBar();
}

void TerminalStatus::stepProgress() {
    ++position_;
    drawBar();
}

void TerminalStatus::resetProgress() {
    position_ = 0;
    clearBar();
}

void TerminalStatus::drawBar() {
    if (!bar_ || total_ == 0) return;
    const int percent = static_cast<int>(std::uint64_t{std::min(position_, total_)} * 100 / total_);
    if (percent == drawnPercent_) return;  // redraw only when the figure changes
    drawnPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::printf("\r[%.*s%*s] %3d%%", filled, "########################################", kBarWidth - filled, "",
                percent);
    std::fflush(stdout);
    barShown_ = true;
}

void TerminalStatus::clearBar() {
    if (!barShown_) return;
    std::printf("\r%*s\r", kBarWidth + 8, "");
    barShown_ = false;
    drawnPercent_ = -1;
}

}  // namespace cvl::cli
