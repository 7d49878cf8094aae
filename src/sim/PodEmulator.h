#pragma once
// A model of the pod firmware driving an F2833x target. It takes the bytes the
// host sends, parses request frames and answers exactly as the pod does: '!'
// (with the reply bytes of read commands) or silence. Time is modelled, not
// waited for: every reply byte carries the moment it reaches the host, so the
// same model serves tests on a manual clock and the real-time emulator.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pod/ByteTrace.h"
#include "sim/Faults.h"
#include "sim/PodStoreModel.h"
#include "sim/TargetModel.h"

namespace cvl::sim {

// Real-time link timing: 10 bits a byte each way at the line rate, the USB
// latency on every reply, and pod-side processing times per command.
struct WireModel {
    bool enabled = false;
    std::uint32_t baud = 921600;
    std::uint32_t usbLatencyUs = 1000;
    // Keyed by letter ("K", "R") or, for flash operations, "O00", "O01", "O02".
    std::map<std::string, std::uint32_t> podTimeUs;

    std::uint64_t byteNs() const { return enabled ? 10'000'000'000ull / baud : 0; }
};

struct EmulatorOptions {
    McuType device = kDefaultMcu;
    std::uint16_t version = 12;
    std::string identifier = "CVL";  // three characters in the identify reply
    std::string description = "Corvexlink POD";
    std::string serialNumber = "CVLSIM01";  // the USB serial number it is listed with
    WireModel wire;
    std::vector<Fault> faults;
};

// What the wire model accounts for, to compare a real run against.
struct WireStats {
    std::uint64_t bytesToPod = 0;
    std::uint64_t bytesToHost = 0;
    std::uint64_t replies = 0;
    std::uint64_t podTimeUs = 0;
    std::uint64_t modelledUs(const WireModel& wire) const;
};

class PodEmulator {
public:
    explicit PodEmulator(EmulatorOptions options);

    // Host side of the link.
    void receive(const std::uint8_t* bytes, std::size_t size, std::uint64_t sentAtUs);
    std::uint32_t inboundPending(std::uint64_t nowUs) const;  // sent, not yet at the pod
    std::uint32_t available(std::uint64_t nowUs) const;       // reply bytes at the host
    std::size_t take(std::uint8_t* out, std::size_t max, std::uint64_t nowUs);
    // When the next reply byte reaches the host, or 0 when none is on its way.
    std::uint64_t nextReadyUs() const;
    void purgeReceived(std::uint64_t nowUs);
    bool unplugged() const { return unplugged_; }
    // Plugged in again: the unplug fault has had its effect and is dropped.
    void replug();

    TargetModel& target() { return target_; }
    PodStoreModel& store() { return store_; }
    const EmulatorOptions& options() const { return options_; }
    const WireStats& stats() const { return stats_; }
    void setTrace(ByteTrace* trace) { trace_ = trace; }
    void onTargetReset(std::function<void()> hook) { resetHook_ = std::move(hook); }
    void onStoreChanged(std::function<void()> hook) { storeHook_ = std::move(hook); }
    // Frames received so far, by letter.
    std::uint32_t framesOf(char letter) const;

private:
    enum class Mode : std::uint8_t { Idle, Boot, Flash, Ran };
    enum class BootStep : std::uint8_t { Size, AddressHigh, AddressLow, Data };
    struct Outcome {
        bool answer = false;
        std::vector<std::uint8_t> bytes;
    };
    struct Pending {
        std::uint8_t byte;
        std::uint64_t readyNs;
    };

    void frameByte(std::uint8_t byte, std::uint64_t atNs);
    void dispatch(std::uint64_t atNs);
    Outcome execute(char letter, std::string_view fields);
    Outcome targetCommand(char letter, std::string_view fields);
    Outcome bootStream(char letter, std::uint16_t value);
    Outcome flashOperation(std::string_view fields);
    Outcome storeCommand(char letter, std::string_view fields);
    Outcome storeAccess(char letter, std::string_view fields);
    Outcome storeWrite(char letter, std::string_view fields);
    Outcome storePage(char letter, std::string_view fields);
    Outcome storeRead(char letter, std::string_view fields);
    void dataWord(std::uint16_t value);
    bool beginStoreWrite();
    // Ends a store access: complete marks the job written, otherwise a job
    // being written is left erased.
    void endStoreAccess(bool complete);
    void queueReply(const std::vector<std::uint8_t>& bytes, std::uint64_t fromNs);
    std::uint32_t podTimeUs(char letter, std::string_view fields) const;

    EmulatorOptions options_;
    TargetModel target_;
    PodStoreModel store_;
    ByteTrace* trace_ = nullptr;
    std::function<void()> resetHook_;
    std::function<void()> storeHook_;
    WireStats stats_;

    // Link state.
    std::uint64_t inLineFreeNs_ = 0;
    std::uint64_t outLineFreeNs_ = 0;
    std::deque<Pending> out_;
    std::uint64_t hostBytes_ = 0;
    bool unplugged_ = false;
    bool inFrame_ = false;
    std::string frame_;
    std::map<char, std::uint32_t> frameCounts_;

    // Target state.
    Mode mode_ = Mode::Idle;
    BootStep bootStep_ = BootStep::Size;
    std::uint32_t blockWords_ = 0;
    std::uint32_t blockAddress_ = 0;
    std::uint32_t blockFilled_ = 0;
    bool streamBroken_ = false;
    bool flashReady_ = false;
    std::vector<std::uint16_t> flashBlock_;

    // Store access.
    bool storeOpen_ = false;
    bool storeWriting_ = false;
    std::vector<std::uint8_t> page_;
};

}  // namespace cvl::sim
