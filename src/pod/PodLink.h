#pragma once
// The byte channel to the pod: finds it among the devices of the usable
// backends by its description, opens and configures it, writes requests and
// reads replies under time limits, and closes it again after each command.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/Clock.h"
#include "common/Outcome.h"
#include "common/StatusSink.h"
#include "pod/Frame.h"
#include "pod/PodPort.h"

namespace cvl {

inline constexpr const char* kPodDescription = "Corvexlink POD";
// The most the link writes at once: one batch of data-word frames.
inline constexpr std::size_t kLinkBufferBytes = 400;
inline constexpr std::uint32_t kFrameWriteLimitMs = 200;
// The longest reply: 'g', the acknowledgement and 16 password bytes.
inline constexpr std::size_t kMaxReplyBytes = 17;

// Observes every byte that crosses the link (for traces); optional.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // Just before bytes are written; sent() follows with what went (maybe nothing).
    virtual void sending() {}
    virtual void sent(const std::uint8_t* bytes, std::size_t size) = 0;
    virtual void received(const std::uint8_t* bytes, std::size_t size) = 0;
};

// The bytes of an acknowledged reply; the acknowledgement is byte 0.
struct Reply {
    std::array<std::uint8_t, kMaxReplyBytes> bytes{};
    std::uint32_t size = 0;
    // The bytes after the acknowledgement.
    const std::uint8_t* payload() const { return bytes.data() + 1; }
};

class PodLink {
public:
    // Produces the backends to search, or nullptr when none is usable.
    using BackendLoader = std::function<std::unique_ptr<PodBackend>()>;

    PodLink(BackendLoader loader, Clock& clock);
    ~PodLink();
    PodLink(const PodLink&) = delete;
    PodLink& operator=(const PodLink&) = delete;

    bool loadDriver();
    void unloadDriver();
    // The backends come from loader from now on (the pod is closed and the
    // driver unloaded; the next loadDriver uses it).
    void replaceLoader(BackendLoader loader) {
        unloadDriver();
        loader_ = std::move(loader);
    }
    // Every device listed now whose description is the pod's, in order.
    std::vector<PodInfo> listPods();
    // Only pods this accepts are chosen from then on (a front end's --pod).
    void setPodFilter(std::function<bool(const PodInfo&)> accept) {
        accept_ = std::move(accept);
        pod_.reset();
    }
    // Only this device, exactly as it was listed (serial number, path and
    // backend), is chosen from then on; a path alone is never enough.
    void usePodOnly(const PodInfo& listed) {
        setPodFilter([listed](const PodInfo& pod) { return pod == listed; });
    }
    // No device is chosen until the filter changes.
    void useNoPod() {
        setPodFilter([](const PodInfo&) { return false; });
    }
    // Chooses the first device whose description is the pod's (and that the
    // filter accepts).
    bool findPod();
    // Ok, PortFailed or PodInitFailed.
    OutcomeCode openPod();
    void closePod();
    void purgePod();
    // Bytes waiting in the receive queue, or nothing when the query failed.
    std::optional<std::uint32_t> receiveQueueCount();
    bool timedWrite(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t limitMs);
    bool timedRead(std::uint8_t* destination, std::uint32_t count, std::uint32_t limitMs);

    // Writes a frame (200 ms); no reply is awaited. An invalid frame is not sent.
    bool send(const Frame& frame);
    // Writes a frame, then reads replyBytes within limitMs: the reply when
    // both worked and its first byte is the acknowledgement.
    std::optional<Reply> transact(const Frame& frame, std::uint32_t replyBytes, std::uint32_t limitMs);

    // Common entry of every pod command; shows its own failure message.
    OutcomeCode connectPod(StatusSink& status);
    // Start-up check: shows one message, does not open the device.
    void probePod(StatusSink& status);

    bool podFound() const { return pod_.has_value(); }
    bool podConnected() const { return podConnected_; }
    // The device chosen by the last successful findPod().
    const std::optional<PodInfo>& pod() const { return pod_; }
    void setObserver(LinkObserver* observer) { observer_ = observer; }

private:
    BackendLoader loader_;
    Clock& clock_;
    std::unique_ptr<PodBackend> backend_;
    std::unique_ptr<PodPort> port_;
    std::optional<PodInfo> pod_;
    std::function<bool(const PodInfo&)> accept_;
    bool podConnected_ = false;
    LinkObserver* observer_ = nullptr;
    std::string openFailure_;  // why the last open failed, when the backend could tell
};

}  // namespace cvl
