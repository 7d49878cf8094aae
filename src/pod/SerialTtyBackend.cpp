#include "pod/SerialTtyBackend.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "pod/PodDirectory.h"

namespace cvl {

namespace fs = std::filesystem;

namespace {

// An attribute (product, serial) of the USB device above a ttyUSB
// interface in sysfs: the first folder upwards that has it.
std::string usbAttribute(const std::string& ttyName, const char* attribute) {
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path("/sys/class/tty") / ttyName / "device", ec);
    for (int up = 0; up < 4 && !ec && !dir.empty(); ++up, dir = dir.parent_path()) {
        std::ifstream in(dir / attribute);
        std::string value;
        if (in && std::getline(in, value)) return value.substr(0, 63);
    }
    return "";
}

speed_t speedFor(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

bool changeTermios(int fd, const std::function<void(termios&)>& change) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    change(t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Flushing a pseudo-terminal's output discards what the emulator on the
// other end has not read yet, unlike a UART whose written bytes are gone once
// its queue is empty: for virtual pods only the receive side is flushed.
int flushSelector(bool usb, bool rx, bool tx) {
    if (!usb) tx = false;
    return rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : tx ? TCOFLUSH : -1;
}

// One open tty, raw, with the read and write time-outs done by poll().
class TtyPort : public PodPort {
public:
    // found: the terminal's settings before it was opened, restored at close.
    TtyPort(int fd, bool usb, const termios& found) : fd_(fd), usb_(usb), found_(found) {}
    ~TtyPort() override { close(); }

    bool resetDevice() override { return tcflush(fd_, flushSelector(usb_, true, true)) == 0; }
    std::optional<std::uint8_t> latencyTimer() override {
        if (!usb_) return 1;  // a pseudo-terminal has no USB latency
        serial_struct ss{};
        if (ioctl(fd_, TIOCGSERIAL, &ss) != 0) return std::nullopt;
        return (ss.flags & ASYNC_LOW_LATENCY) != 0 ? 1 : 16;
    }
    bool setLatencyTimer(std::uint8_t ms) override {
        if (!usb_) return true;
        serial_struct ss{};
        if (ioctl(fd_, TIOCGSERIAL, &ss) != 0) return false;
        if (ms <= 1)
            ss.flags |= ASYNC_LOW_LATENCY;
        else
            ss.flags &= ~ASYNC_LOW_LATENCY;
        return ioctl(fd_, TIOCSSERIAL, &ss) == 0;
    }
    bool setBaudRate(std::uint32_t baud) override {
        const speed_t speed = speedFor(baud);
        return speed != B0 && changeTermios(fd_, [&](termios& t) { cfsetspeed(&t, speed); });
    }
    bool setLineFormat8N1() override {
        return changeTermios(fd_, [](termios& t) {
            t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD);
            t.c_cflag |= CS8;
        });
    }
    bool disableFlowControl() override {
        return changeTermios(fd_, [](termios& t) {
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF | IXANY);
        });
    }
    bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        readTimeoutMs_ = readMs;
        writeTimeoutMs_ = writeMs;
        return true;
    }
    bool purge(bool receive, bool transmit) override {
        const int which = flushSelector(usb_, receive, transmit);
        return which < 0 || tcflush(fd_, which) == 0;
    }
    std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) override;
    std::optional<std::uint32_t> read(std::uint8_t* into, std::uint32_t limit) override;
    std::optional<QueueCounts> queueCounts() override {
        int in = 0, out = 0;
        if (ioctl(fd_, FIONREAD, &in) != 0 || ioctl(fd_, TIOCOUTQ, &out) != 0) return std::nullopt;
        return QueueCounts{static_cast<std::uint32_t>(std::max(in, 0)), static_cast<std::uint32_t>(std::max(out, 0))};
    }
    std::optional<std::uint32_t> receivedCount() override {
        int in = 0;
        if (ioctl(fd_, FIONREAD, &in) != 0) return std::nullopt;
        return static_cast<std::uint32_t>(std::max(in, 0));
    }
    void close() override {
        if (fd_ < 0) return;
        tcsetattr(fd_, TCSANOW, &found_);
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }

private:
    int fd_;
    bool usb_;
    termios found_;
    std::uint32_t readTimeoutMs_ = 0;
    std::uint32_t writeTimeoutMs_ = 0;
};

std::optional<std::uint32_t> TtyPort::write(const std::uint8_t* bytes, std::uint32_t size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs_);
    std::uint32_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd_, bytes + written, size - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
        pollfd pfd{fd_, POLLOUT, 0};
        const int left = remainingMs(deadline);
        if (left == 0 || ::poll(&pfd, 1, left) <= 0) break;  // time-out: report what went
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return std::nullopt;
    }
    return written;
}

std::optional<std::uint32_t> TtyPort::read(std::uint8_t* into, std::uint32_t limit) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
    std::uint32_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd_, into + got, limit - got);
        if (n > 0) {
            got += static_cast<std::uint32_t>(n);
            continue;
        }
        // Raw mode with VMIN 0 answers an empty queue with 0; errors (EIO once
        // the device or the emulator is gone) end the read.
        if (n < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
        pollfd pfd{fd_, POLLIN, 0};
        const int left = remainingMs(deadline);
        if (left == 0) break;
        const int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno != EINTR) return std::nullopt;
        if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) return std::nullopt;
        if (r > 0 && (pfd.revents & POLLHUP) && !(pfd.revents & POLLIN)) return std::nullopt;
    }
    return got;
}

}  // namespace

std::vector<PodInfo> SerialTtyBackend::enumerate() {
    std::vector<PodInfo> devices;
    std::vector<std::string> ttys;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0) ttys.push_back(name);
    }
    std::sort(ttys.begin(), ttys.end());
    for (const auto& name : ttys) {
        devices.push_back({usbAttribute(name, "product"), usbAttribute(name, "serial"), "/dev/" + name, kUsbBackend});
    }
    for (const auto& pod : announcedPods()) {
        devices.push_back({pod.description, pod.serialNumber, pod.devicePath, kVirtualBackend});
    }
    return devices;
}

std::unique_ptr<PodPort> SerialTtyBackend::open(const PodInfo& pod) {
    if (pod.backend != kUsbBackend && pod.backend != kVirtualBackend) return nullptr;
    const int fd = ::open(pod.devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // One program at a time on the line: an advisory lock that every copy of
    // this program takes (it holds for root too), and the terminal's
    // exclusive mode against other programs.
    termios found{};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &found) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    // TIOCEXCL does not bind root: a terminal another process has open (other
    // than the emulator serving a virtual pod) is not taken either.
    std::vector<std::int64_t> holders = otherProcessesHolding(pod.devicePath);
    if (pod.backend == kVirtualBackend) {
        for (const auto& announced : announcedPods()) {
            if (announced.devicePath == pod.devicePath) std::erase(holders, announced.pid);
        }
    }
    if (!holders.empty()) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    termios t = found;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    return std::make_unique<TtyPort>(fd, pod.backend == kUsbBackend, found);
}

}  // namespace cvl
