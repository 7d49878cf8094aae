#include "SerialTtyDriver.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "PodDirectory.h"

namespace cvl {

namespace fs = std::filesystem;

namespace {

struct Port {
    int fd;
    std::string path;
    bool usb;
    std::uint32_t readTimeoutMs = 0;
    std::uint32_t writeTimeoutMs = 0;
};

Port* port(FtHandle h) { return static_cast<Port*>(h); }

// The USB product string of a ttyUSB device, from the USB device above its
// interface in sysfs.
std::string usbProduct(const std::string& ttyName) {
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path("/sys/class/tty") / ttyName / "device", ec);
    for (int up = 0; up < 4 && !ec && !dir.empty(); ++up, dir = dir.parent_path()) {
        std::ifstream in(dir / "product");
        std::string product;
        if (in && std::getline(in, product)) return product.substr(0, 63);
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

FtStatus withTermios(Port* p, void (*change)(termios&, std::uint32_t), std::uint32_t arg) {
    termios t{};
    if (tcgetattr(p->fd, &t) != 0) return FT_IO_ERROR;
    change(t, arg);
    return tcsetattr(p->fd, TCSANOW, &t) == 0 ? FT_OK : FT_IO_ERROR;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

std::vector<SerialTtyDriver::Device> SerialTtyDriver::scan() {
    std::vector<Device> devices;
    std::vector<std::string> ttys;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0) ttys.push_back(name);
    }
    std::sort(ttys.begin(), ttys.end());
    for (const auto& name : ttys) devices.push_back({usbProduct(name), "/dev/" + name, true});
    for (const auto& pod : announcedPods()) devices.push_back({pod.description, pod.devicePath, false});
    return devices;
}

FtStatus SerialTtyDriver::listDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        listed_ = scan();
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(listed_.size());
        return FT_OK;
    }
    if (flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION)) {
        const auto index = reinterpret_cast<std::uintptr_t>(arg1);
        if (index >= listed_.size()) return FT_DEVICE_NOT_FOUND;
        char* out = static_cast<char*>(arg2);
        std::memset(out, 0, kFtDescriptionBytes);
        std::strncpy(out, listed_[index].description.c_str(), kFtDescriptionBytes - 1);
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

FtStatus SerialTtyDriver::openEx(void* arg, std::uint32_t flags, FtHandle* handle) {
    *handle = nullptr;
    if (flags != FT_OPEN_BY_DESCRIPTION || arg == nullptr) return FT_INVALID_PARAMETER;
    const std::string wanted(static_cast<const char*>(arg));
    for (const Device& d : scan()) {
        if (d.description != wanted) continue;
        const int fd = ::open(d.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        termios t{};
        if (tcgetattr(fd, &t) != 0) {
            ::close(fd);
            continue;
        }
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
        *handle = new Port{fd, d.path, d.usb};
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FtStatus SerialTtyDriver::close(FtHandle handle) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    ::close(p->fd);
    delete p;
    return FT_OK;
}

// Flushing a pseudo-terminal's output discards what the emulator on the
// other end has not read yet, unlike a UART whose written bytes are gone once
// its queue is empty: for virtual pods only the receive side is flushed.
namespace {
int flushSelector(const Port& p, bool rx, bool tx) {
    if (!p.usb) tx = false;
    return rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : tx ? TCOFLUSH : -1;
}
}  // namespace

FtStatus SerialTtyDriver::resetDevice(FtHandle handle) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    return tcflush(p->fd, flushSelector(*p, true, true)) == 0 ? FT_OK : FT_IO_ERROR;
}

FtStatus SerialTtyDriver::getLatencyTimer(FtHandle handle, std::uint8_t* ms) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (!p->usb) {  // a pseudo-terminal has no USB latency
        *ms = 1;
        return FT_OK;
    }
    serial_struct ss{};
    if (ioctl(p->fd, TIOCGSERIAL, &ss) != 0) return FT_IO_ERROR;
    *ms = (ss.flags & ASYNC_LOW_LATENCY) != 0 ? 1 : 16;
    return FT_OK;
}

FtStatus SerialTtyDriver::setLatencyTimer(FtHandle handle, std::uint8_t ms) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (!p->usb) return FT_OK;
    serial_struct ss{};
    if (ioctl(p->fd, TIOCGSERIAL, &ss) != 0) return FT_IO_ERROR;
    if (ms <= 1)
        ss.flags |= ASYNC_LOW_LATENCY;
    else
        ss.flags &= ~ASYNC_LOW_LATENCY;
    return ioctl(p->fd, TIOCSSERIAL, &ss) == 0 ? FT_OK : FT_IO_ERROR;
}

FtStatus SerialTtyDriver::setBaudRate(FtHandle handle, std::uint32_t baud) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (speedFor(baud) == B0) return FT_INVALID_PARAMETER;
    return withTermios(
        p, [](termios& t, std::uint32_t b) { cfsetspeed(&t, speedFor(b)); }, baud);
}

FtStatus SerialTtyDriver::setDataCharacteristics(FtHandle handle, std::uint8_t bits, std::uint8_t stop,
                                                 std::uint8_t parity) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if ((bits != 7 && bits != 8) || (stop != 0 && stop != 2) || parity > 2) return FT_INVALID_PARAMETER;
    const std::uint32_t packed = bits | (stop << 8) | (parity << 16);
    return withTermios(
        p,
        [](termios& t, std::uint32_t v) {
            t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD);
            t.c_cflag |= (v & 0xFF) == 8 ? CS8 : CS7;
            if (((v >> 8) & 0xFF) == 2) t.c_cflag |= CSTOPB;
            const std::uint32_t par = (v >> 16) & 0xFF;
            if (par == 1) t.c_cflag |= PARENB | PARODD;  // D2XX: 1 odd, 2 even
            if (par == 2) t.c_cflag |= PARENB;
        },
        packed);
}

FtStatus SerialTtyDriver::setFlowControl(FtHandle handle, std::uint16_t flow, std::uint8_t, std::uint8_t) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (flow != FT_FLOW_NONE) return FT_INVALID_PARAMETER;  // the pod never uses flow control
    return withTermios(
        p,
        [](termios& t, std::uint32_t) {
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF | IXANY);
        },
        0);
}

FtStatus SerialTtyDriver::setTimeouts(FtHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    p->readTimeoutMs = readMs;
    p->writeTimeoutMs = writeMs;
    return FT_OK;
}

FtStatus SerialTtyDriver::purge(FtHandle handle, std::uint32_t mask) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const int which = flushSelector(*p, mask & FT_PURGE_RX, mask & FT_PURGE_TX);
    if (which < 0) return FT_OK;
    return tcflush(p->fd, which) == 0 ? FT_OK : FT_IO_ERROR;
}

FtStatus SerialTtyDriver::write(FtHandle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
    *written = 0;
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(p->writeTimeoutMs);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (*written < size) {
        const ssize_t n = ::write(p->fd, bytes + *written, size - *written);
        if (n > 0) {
            *written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return FT_IO_ERROR;
        pollfd pfd{p->fd, POLLOUT, 0};
        const int left = remainingMs(deadline);
        if (left == 0 || ::poll(&pfd, 1, left) <= 0) break;  // time-out: report what went
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return FT_IO_ERROR;
    }
    return FT_OK;
}

FtStatus SerialTtyDriver::getStatus(FtHandle handle, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* events) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    int in = 0, out = 0;
    if (ioctl(p->fd, FIONREAD, &in) != 0 || ioctl(p->fd, TIOCOUTQ, &out) != 0) return FT_IO_ERROR;
    *rx = static_cast<std::uint32_t>(std::max(in, 0));
    *tx = static_cast<std::uint32_t>(std::max(out, 0));
    *events = 0;
    return FT_OK;
}

FtStatus SerialTtyDriver::read(FtHandle handle, void* data, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(p->readTimeoutMs);
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (*got < size) {
        const ssize_t n = ::read(p->fd, bytes + *got, size - *got);
        if (n > 0) {
            *got += static_cast<std::uint32_t>(n);
            continue;
        }
        // Raw mode with VMIN 0 answers an empty queue with 0; errors (EIO once
        // the device or the emulator is gone) end the read.
        if (n < 0 && errno != EAGAIN && errno != EINTR) return FT_IO_ERROR;
        pollfd pfd{p->fd, POLLIN, 0};
        const int left = remainingMs(deadline);
        if (left == 0) break;
        const int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno != EINTR) return FT_IO_ERROR;
        if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) return FT_IO_ERROR;
        if (r > 0 && (pfd.revents & POLLHUP) && !(pfd.revents & POLLIN)) return FT_IO_ERROR;
    }
    return FT_OK;
}

FtStatus SerialTtyDriver::getQueueStatus(FtHandle handle, std::uint32_t* rx) {
    Port* p = port(handle);
    if (p == nullptr) return FT_INVALID_HANDLE;
    int in = 0;
    if (ioctl(p->fd, FIONREAD, &in) != 0) return FT_IO_ERROR;
    *rx = static_cast<std::uint32_t>(std::max(in, 0));
    return FT_OK;
}

}  // namespace cvl
