#pragma once
// The narrow interface between the pod link and the ways a pod can be
// reached. A backend lists the pods it sees (with their identity) and opens
// one of them; an open port offers typed operations on the serial line.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// A pod as its backend lists it.
struct PodInfo {
    std::string description;   // the USB product string, "Corvexlink POD" for ours
    std::string serialNumber;  // the USB serial number; empty when the backend cannot tell
    std::string devicePath;    // where the system has it (a tty path, a bus location)
    std::string backend;       // the name of the backend that listed it
    // The same pod as a second backend lists it (FTDI's library beside its
    // COM-port driver: one serial number, two ways in); empty when none.
    std::string alsoPath{};
    std::string alsoBackend{};
    // Offered only because the user named it (a COM port whose description
    // the system does not report): a pod once it answers the handshake.
    bool namedOnly = false;
    bool operator==(const PodInfo&) const = default;
};

struct QueueCounts {
    std::uint32_t received = 0;  // bytes waiting to be read
    std::uint32_t queued = 0;    // bytes written but not yet on the line
};

class PodPort {
public:
    virtual ~PodPort() = default;
    // Every call returns false (or nothing) when the device failed.
    virtual bool resetDevice() = 0;
    virtual std::optional<std::uint8_t> latencyTimer() = 0;
    virtual bool setLatencyTimer(std::uint8_t ms) = 0;
    virtual bool setBaudRate(std::uint32_t baud) = 0;
    virtual bool setLineFormat8N1() = 0;
    virtual bool disableFlowControl() = 0;
    virtual bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    virtual bool purge(bool receive, bool transmit) = 0;
    // Writes up to the write time-out; the count of bytes that went.
    virtual std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) = 0;
    // Reads at most limit bytes, waiting up to the read time-out for them.
    virtual std::optional<std::uint32_t> read(std::uint8_t* into, std::uint32_t limit) = 0;
    virtual std::optional<QueueCounts> queueCounts() = 0;
    virtual std::optional<std::uint32_t> receivedCount() = 0;
    virtual void close() = 0;
};

class PodBackend {
public:
    virtual ~PodBackend() = default;
    // Every device this backend can reach now, pod or not.
    virtual std::vector<PodInfo> enumerate() = 0;
    // Opens a device this backend listed; nullptr when it cannot be opened.
    virtual std::unique_ptr<PodPort> open(const PodInfo& pod) = 0;
    // Why the last open failed, in words ("COM5 does not exist"), when the
    // backend can tell; empty otherwise.
    virtual std::string openFailure() const { return {}; }
};

}  // namespace cvl
