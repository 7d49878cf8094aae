#pragma once
// A device that answers from a script instead of the emulator: a flood of
// bytes, garbage of the expected length after every frame, or replies taken
// one after another from a byte string (the fuzz targets feed theirs). It
// lists itself as "Corvexlink POD" and accepts every setting.

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "common/Clock.h"
#include "pod/PodPort.h"

namespace cvl::test {

class ScriptedBackend : public PodBackend {
public:
    enum class Mode { Flood, Garbage, Script };

    ScriptedBackend(Mode mode, Clock& clock, std::string script = {})
        : mode_(mode), clock_(clock), script_(std::move(script)) {}

    // Frames answered normally ('!' and a plausible reply) before the script starts.
    int honestFrames = 0;

    std::vector<PodInfo> enumerate() override { return {{"Corvexlink POD", "SCRIPT", "script", "script"}}; }
    std::unique_ptr<PodPort> open(const PodInfo&) override { return std::make_unique<Port>(*this); }

private:
    class Port : public PodPort {
    public:
        explicit Port(ScriptedBackend& b) : b_(b) {}
        bool resetDevice() override { return true; }
        std::optional<std::uint8_t> latencyTimer() override { return 1; }
        bool setLatencyTimer(std::uint8_t) override { return true; }
        bool setBaudRate(std::uint32_t) override { return true; }
        bool setLineFormat8N1() override { return true; }
        bool disableFlowControl() override { return true; }
        bool setTimeouts(std::uint32_t, std::uint32_t) override { return true; }
        bool purge(bool receive, bool) override {
            if (receive) b_.pending_.clear();
            return true;
        }
        std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) override {
            for (std::uint32_t i = 0; i < size; ++i) {
                if (bytes[i] == 0x02 && i + 1 < size) b_.answer(static_cast<char>(bytes[i + 1]));
            }
            return size;
        }
        std::optional<std::uint32_t> read(std::uint8_t* out, std::uint32_t size) override {
            std::uint32_t got = 0;
            while (got < size) {
                if (b_.flooding()) {
                    out[got++] = 'x';
                } else if (!b_.pending_.empty()) {
                    out[got++] = b_.pending_.front();
                    b_.pending_.pop_front();
                } else {
                    b_.clock_.sleepMs(200);  // the device's read time-out
                    break;
                }
            }
            return got;
        }
        std::optional<QueueCounts> queueCounts() override { return QueueCounts{*receivedCount(), 0}; }
        std::optional<std::uint32_t> receivedCount() override {
            return b_.flooding() ? 4096u : static_cast<std::uint32_t>(b_.pending_.size());
        }
        void close() override {}

    private:
        ScriptedBackend& b_;
    };

    bool flooding() const { return mode_ == Mode::Flood && frames_ > honestFrames; }

    static std::size_t replyLength(char letter) {
        switch (letter) {
            case '?':
                return 6;
            case 'J':
                return 16;
            case 'h':
                return 7;
            case 'g':
                return 17;
            case 'l':
                return 10;
            case 'S':
            case 'G':
            case 'H':
            case 'i':
                return 0;
            default:
                return 1;
        }
    }

    void answer(char letter) {
        ++frames_;
        const std::size_t n = replyLength(letter);
        if (frames_ <= honestFrames) {
            const std::string honest = letter == '?' ? "!CVL12" : std::string(n, '\0');
            for (std::size_t i = 0; i < n; ++i) pending_.push_back(i == 0 ? '!' : static_cast<std::uint8_t>(honest[i]));
            return;
        }
        if (mode_ == Mode::Garbage) {
            for (std::size_t i = 0; i < n; ++i) pending_.push_back(static_cast<std::uint8_t>('#' + i));
        } else if (mode_ == Mode::Script) {
            const std::size_t take = std::min(n, script_.size() - used_);
            for (std::size_t i = 0; i < take; ++i) pending_.push_back(static_cast<std::uint8_t>(script_[used_ + i]));
            used_ += take;
        }
    }

    Mode mode_;
    Clock& clock_;
    std::string script_;
    std::size_t used_ = 0;
    int frames_ = 0;
    std::deque<std::uint8_t> pending_;
};

}  // namespace cvl::test
