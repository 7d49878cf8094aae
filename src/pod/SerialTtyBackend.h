#pragma once
// The pod through the Linux kernel's serial drivers: FTDI adapters bound to
// ftdi_sio (/dev/ttyUSB*, with the USB product string and serial number from
// sysfs), then the virtual pods that running emulators announce
// (pseudo-terminals). Each is opened raw; latency maps to the low-latency
// setting, purges to tcflush, queue counts to FIONREAD/TIOCOUTQ and time-outs
// to poll().

#include "pod/PodPort.h"

namespace cvl {

class SerialTtyBackend : public PodBackend {
public:
    static constexpr const char* kUsbBackend = "ftdi_sio";
    static constexpr const char* kVirtualBackend = "virtual";

    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;
};

}  // namespace cvl
