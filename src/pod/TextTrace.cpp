#include "pod/TextTrace.h"

namespace cvl {

namespace {
constexpr std::size_t kBytesPerLine = 24;
constexpr std::uint64_t kGapUs = 1000;  // a pause this long starts a new line
}  // namespace

void TextTrace::record(std::uint64_t atUs, bool toPod, const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (!run_.empty() && (toPod != runToPod_ || run_.size() >= kBytesPerLine || atUs > lastUs_ + kGapUs)) flush();
        if (run_.empty()) {
            runStartUs_ = atUs;
            runToPod_ = toPod;
        }
        run_.push_back(bytes[i]);
        lastUs_ = atUs;
    }
}

void TextTrace::flush() {
    if (run_.empty() || out_ == nullptr) return;
    std::fprintf(out_, "%12.3f  %s ", static_cast<double>(runStartUs_) / 1000.0, runToPod_ ? "host>pod" : "pod>host");
    for (std::uint8_t b : run_) std::fprintf(out_, " %02X", b);
    std::fprintf(out_, "%*s  |", static_cast<int>(3 * (kBytesPerLine - run_.size())), "");
    for (std::uint8_t b : run_) std::fputc(b >= 0x20 && b < 0x7F ? b : '.', out_);
    std::fputs("|\n", out_);
    run_.clear();
}

}  // namespace cvl
