#include "pod/ComPortBackend.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devpkey.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cctype>

#include "platform/win32/WideText.h"
#include "pod/PodChoice.h"
#include "pod/PodLink.h"

namespace cvl {

namespace {

using win32::utf8Text;
using win32::wideText;

// GUID_DEVINTERFACE_COMPORT: the device interface every COM port offers.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string registryText(HKEY key, const wchar_t* value) {
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "";
    return utf8Text(text);
}

// The FTDI driver's instance ID, FTDIBUS\VID_0403+PID_6001+A1B2C3D4A\0000:
// the serial number, then the letter of the chip's first channel.
std::string ftdiSerial(const std::string& instance) {
    if (instance.rfind("FTDIBUS\\", 0) != 0) return "";
    const auto plus = instance.rfind('+');
    const auto slash = instance.find('\\', plus == std::string::npos ? 0 : plus);
    if (plus == std::string::npos || slash == std::string::npos) return "";
    std::string serial = instance.substr(plus + 1, slash - plus - 1);
    if (serial.size() > 1 && serial.back() == 'A') serial.pop_back();
    return serial;
}

struct ListedPort {
    std::string port;
    std::string description;  // bus-reported; empty when the system reports none
    std::string serial;
    std::optional<unsigned> latencyMs;
};

std::vector<ListedPort> listPorts() {
    std::vector<ListedPort> ports;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        ListedPort listed;
        const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            listed.port = portNameOf(registryText(key, L"PortName"));
            DWORD ms = 0, size = sizeof ms, type = 0;
            if (RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&ms), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD)
                listed.latencyMs = ms;
            RegCloseKey(key);
        }
        if (listed.port.empty()) continue;
        wchar_t text[256] = {};
        DEVPROPTYPE type = 0;
        if (SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                      reinterpret_cast<BYTE*>(text), sizeof text - sizeof(wchar_t), nullptr, 0) &&
            type == DEVPROP_TYPE_STRING)
            listed.description = utf8Text(text);
        wchar_t instance[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr))
            listed.serial = ftdiSerial(utf8Text(instance));
        ports.push_back(std::move(listed));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

class ComPort : public PodPort {
public:
    explicit ComPort(HANDLE h) : h_(h) {}
    ~ComPort() override { close(); }

    bool resetDevice() override { return PurgeComm(h_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR); }
    // The driver's latency timer is set in its port settings, not through
    // the port: the link works at whatever it is, and the user is told when
    // it slows replies.
    std::optional<std::uint8_t> latencyTimer() override { return 1; }
    bool setLatencyTimer(std::uint8_t) override { return true; }
    bool setBaudRate(std::uint32_t baud) override {
        return changeState([&](DCB& dcb) { dcb.BaudRate = baud; });
    }
    // Every field of the port's settings is set here or in disableFlowControl:
    // whatever the port's last user left (one drops received zero bytes,
    // another stops on a line error) must not reach the pod's bytes.
    bool setLineFormat8N1() override {
        return changeState([](DCB& dcb) {
            dcb.fBinary = TRUE;
            dcb.fParity = FALSE;
            dcb.fErrorChar = FALSE;
            dcb.fNull = FALSE;
            dcb.fAbortOnError = FALSE;
            dcb.ByteSize = 8;
            dcb.Parity = NOPARITY;
            dcb.StopBits = ONESTOPBIT;
            dcb.ErrorChar = 0;
            dcb.EofChar = 0;
            dcb.EvtChar = 0;
        });
    }
    // No flow control; DTR and RTS asserted, as the serial driver of other
    // systems leaves them when it opens a port.
    bool disableFlowControl() override {
        return changeState([](DCB& dcb) {
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutxDsrFlow = FALSE;
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
            dcb.fDsrSensitivity = FALSE;
            dcb.fTXContinueOnXoff = TRUE;
            dcb.fOutX = FALSE;
            dcb.fInX = FALSE;
            dcb.XonLim = 0;
            dcb.XoffLim = 0;
            dcb.XonChar = 0x11;
            dcb.XoffChar = 0x13;
        });
    }
    bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        // A read returns at once with what has come, else waits up to readMs for the first byte.
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = readMs == 0 ? 1 : readMs;
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = writeMs;
        return SetCommTimeouts(h_, &t);
    }
    bool purge(bool receive, bool transmit) override {
        DWORD flags = 0;
        if (receive) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (transmit) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        return flags == 0 || PurgeComm(h_, flags);
    }
    std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) override {
        DWORD n = 0;
        if (!WriteFile(h_, bytes, size, &n, nullptr)) return std::nullopt;
        return n;
    }
    std::optional<std::uint32_t> read(std::uint8_t* into, std::uint32_t limit) override {
        DWORD n = 0;
        if (!ReadFile(h_, into, limit, &n, nullptr)) return std::nullopt;
        return n;
    }
    std::optional<QueueCounts> queueCounts() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(h_, &errors, &status)) return std::nullopt;
        return QueueCounts{status.cbInQue, status.cbOutQue};
    }
    std::optional<std::uint32_t> receivedCount() override {
        const auto counts = queueCounts();
        if (!counts) return std::nullopt;
        return counts->received;
    }
    void close() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    template <typename Change>
    bool changeState(Change change) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h_, &dcb)) return false;
        change(dcb);
        return SetCommState(h_, &dcb);
    }
    HANDLE h_;
};

}  // namespace

std::vector<PodInfo> ComPortBackend::enumerate() {
    std::vector<PodInfo> pods;
    std::vector<std::string> named;
    for (const std::string& n : named_) {
        if (!portNameOf(n).empty()) named.push_back(portNameOf(n));
    }
    for (const ListedPort& p : listPorts()) {
        const bool wanted = std::find(named.begin(), named.end(), p.port) != named.end();
        pods.push_back(comPortListing(p.port, p.description, p.serial, wanted));
        named.erase(std::remove(named.begin(), named.end(), p.port), named.end());
    }
    // Named ports the system does not list (a hub or driver that hides them,
    // or wine): tried as named; one that is not there fails to open.
    for (const std::string& port : named) pods.push_back(comPortListing(port, "", "", true));
    return pods;
}

PodInfo comPortListing(const std::string& port, const std::string& description, const std::string& serial, bool named) {
    const bool assumed = named && description.empty();
    PodInfo pod{assumed ? std::string(kPodDescription) : description, serial, port, ComPortBackend::kBackend};
    pod.namedOnly = assumed;
    return pod;
}

std::string openFailureText(const std::string& port, unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return port + " does not exist";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return port + " is held by another program, or access to it was denied";
        default:
            return port + ": " + win32::errorText(error);
    }
}

std::unique_ptr<PodPort> ComPortBackend::open(const PodInfo& pod) {
    // Not shared: Windows opens a COM port for one program at a time.
    const HANDLE h = CreateFileW(wideText("\\\\.\\" + portNameOf(pod.devicePath)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        openFailure_ = openFailureText(portNameOf(pod.devicePath), GetLastError());
        return nullptr;
    }
    openFailure_.clear();
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);  // an error state the last user left
    return std::make_unique<ComPort>(h);
}

std::optional<unsigned> comPortLatencyMs(const std::string& port) {
    for (const ListedPort& p : listPorts()) {
        if (p.port == portNameOf(port)) return p.latencyMs;
    }
    return std::nullopt;
}

}  // namespace cvl
