#pragma once
// A device that answers from a script instead of the emulator: a flood of
// bytes, garbage of the expected length after every frame, or replies taken
// one after another from a byte string (the fuzz targets feed theirs). It
// lists itself as "Corvexlink POD" and accepts every setting.

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "Clock.h"
#include "FtdiDriver.h"

namespace cvl::test {

class ScriptedDriver : public FtdiDriver {
public:
    enum class Mode { Flood, Garbage, Script };

    ScriptedDriver(Mode mode, Clock& clock, std::string script = {})
        : mode_(mode), clock_(clock), script_(std::move(script)) {}

    // Frames answered normally ('!' and a plausible reply) before the script starts.
    int honestFrames = 0;

    FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) override {
        if (flags == FT_LIST_NUMBER_ONLY) {
            *static_cast<std::uint32_t*>(arg1) = 1;
        } else {
            std::memset(arg2, 0, kFtDescriptionBytes);
            std::strcpy(static_cast<char*>(arg2), "Corvexlink POD");
        }
        return FT_OK;
    }
    FtStatus openEx(void*, std::uint32_t, FtHandle* handle) override {
        *handle = this;
        return FT_OK;
    }
    FtStatus close(FtHandle) override { return FT_OK; }
    FtStatus resetDevice(FtHandle) override { return FT_OK; }
    FtStatus getLatencyTimer(FtHandle, std::uint8_t* ms) override {
        *ms = 1;
        return FT_OK;
    }
    FtStatus setLatencyTimer(FtHandle, std::uint8_t) override { return FT_OK; }
    FtStatus setBaudRate(FtHandle, std::uint32_t) override { return FT_OK; }
    FtStatus setDataCharacteristics(FtHandle, std::uint8_t, std::uint8_t, std::uint8_t) override { return FT_OK; }
    FtStatus setFlowControl(FtHandle, std::uint16_t, std::uint8_t, std::uint8_t) override { return FT_OK; }
    FtStatus setTimeouts(FtHandle, std::uint32_t, std::uint32_t) override { return FT_OK; }
    FtStatus purge(FtHandle, std::uint32_t mask) override {
        if ((mask & FT_PURGE_RX) != 0) pending_.clear();
        return FT_OK;
    }
    FtStatus write(FtHandle, const void* data, std::uint32_t size, std::uint32_t* written) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::uint32_t i = 0; i < size; ++i) {
            if (bytes[i] == 0x02 && i + 1 < size) answer(static_cast<char>(bytes[i + 1]));
        }
        *written = size;
        return FT_OK;
    }
    FtStatus getStatus(FtHandle h, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* events) override {
        *tx = 0;
        *events = 0;
        return getQueueStatus(h, rx);
    }
    FtStatus read(FtHandle, void* data, std::uint32_t size, std::uint32_t* got) override {
        auto* out = static_cast<std::uint8_t*>(data);
        *got = 0;
        while (*got < size) {
            if (flooding()) {
                out[(*got)++] = 'x';
            } else if (!pending_.empty()) {
                out[(*got)++] = pending_.front();
                pending_.pop_front();
            } else {
                clock_.sleepMs(200);  // the device's read time-out
                break;
            }
        }
        return FT_OK;
    }
    FtStatus getQueueStatus(FtHandle, std::uint32_t* rx) override {
        *rx = flooding() ? 4096u : static_cast<std::uint32_t>(pending_.size());
        return FT_OK;
    }

private:
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
