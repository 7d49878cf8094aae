#pragma once
// The byte channel to the pod: finds it among the FTDI devices by its
// description, opens and configures it, writes requests and reads replies
// under time limits, and closes it again after each command.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Clock.h"
#include "FtdiDriver.h"
#include "StatusSink.h"

namespace cvl {

inline constexpr const char* kPodDescription = "Corvexlink POD";
inline constexpr std::size_t kLinkBufferBytes = 400;

enum class PodOpenResult : std::uint8_t { Opened = 0, PortFailed = 1, InitFailed = 2 };

// Observes every byte that crosses the link (for traces); optional.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    virtual void sent(const std::uint8_t* bytes, std::size_t size) = 0;
    virtual void received(const std::uint8_t* bytes, std::size_t size) = 0;
};

class PodLink {
public:
    // Produces the driver, or nullptr when no backend is usable.
    using DriverLoader = std::function<std::unique_ptr<FtdiDriver>()>;

    PodLink(DriverLoader loader, Clock& clock);
    ~PodLink();
    PodLink(const PodLink&) = delete;
    PodLink& operator=(const PodLink&) = delete;

    bool loadDriver();
    void unloadDriver();
    bool findPod();
    PodOpenResult openPod();
    void closePod();
    void purgePod();
    // Bytes waiting in the receive queue, or nothing when the query failed.
    std::optional<std::uint32_t> receiveQueueCount();
    bool timedWrite(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t limitMs);
    bool timedRead(std::uint8_t* destination, std::uint32_t count, std::uint32_t limitMs);

    // Common entry of every pod command; shows its own failure message.
    bool connectPod(StatusSink& status);
    // Start-up check: shows one message, does not open the device.
    void probePod(StatusSink& status);

    bool podFound() const { return podFound_; }
    bool podConnected() const { return podConnected_; }
    const char* podDescription() const { return podDescription_.data(); }
    void setObserver(LinkObserver* observer) { observer_ = observer; }

    std::array<std::uint8_t, kLinkBufferBytes> txBuffer{};
    std::array<std::uint8_t, kLinkBufferBytes> rxBuffer{};
    std::string pendingFrames;  // batched data-word frames
    std::uint16_t podVersion = 0;

private:
    void closeHandle();

    DriverLoader loader_;
    Clock& clock_;
    std::unique_ptr<FtdiDriver> driver_;
    FtHandle deviceHandle_ = nullptr;
    bool podFound_ = false;
    bool podConnected_ = false;
    std::array<char, kFtDescriptionBytes> podDescription_{};
    LinkObserver* observer_ = nullptr;
};

}  // namespace cvl
