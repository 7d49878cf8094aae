#pragma once
// The pod through Windows' serial-port driver: the COM ports SetupAPI lists,
// a pod being one whose USB bus-reported description is "Corvexlink POD"
// (its serial number from the FTDI device instance ID), plus the ports a
// user names (COM5) even when the system reports no description for them:
// those are pods only once they answer the pod's handshake. Each is opened
// exclusively; queue counts come from ClearCommError, time-outs from
// SetCommTimeouts.

#include <string>
#include <vector>

#include "pod/PodPort.h"

namespace cvl {

class ComPortBackend : public PodBackend {
public:
    static constexpr const char* kBackend = "com";
    explicit ComPortBackend(std::vector<std::string> namedPorts = {}) : named_(std::move(namedPorts)) {}
    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;
    std::string openFailure() const override { return openFailure_; }

private:
    std::vector<std::string> named_;
    std::string openFailure_;
};

// How a listed port is offered: with its bus-reported description, except
// that a port the user named whose description the system does not report
// is offered as a pod (its handshake decides). A port that reports another
// description is no pod, named or not.
PodInfo comPortListing(const std::string& port, const std::string& description, const std::string& serial, bool named);

// Why a COM port could not be opened, from the system's error code.
std::string openFailureText(const std::string& port, unsigned long error);

// The FTDI latency timer of a COM port in milliseconds, as its driver keeps
// it in the registry; nothing when the port has none.
std::optional<unsigned> comPortLatencyMs(const std::string& port);

}  // namespace cvl
