#pragma once
// A PodLink wired to the in-process emulator on a manual clock, with every
// write the host makes recorded as one string.

#include <memory>
#include <string>
#include <vector>

#include "common/ManualClock.h"
#include "sim/PodEmulator.h"
#include "pod/PodLink.h"
#include "sim/SimPodBackend.h"
#include "TestStatus.h"

namespace cvl::test {

class WriteRecorder : public LinkObserver {
public:
    void sent(const std::uint8_t* bytes, std::size_t size) override {
        writes.emplace_back(reinterpret_cast<const char*>(bytes), size);
    }
    void received(const std::uint8_t*, std::size_t) override {}
    // The frames of every write, STX and ETX shown as '<' and '>'.
    std::vector<std::string> frames() const {
        std::vector<std::string> out;
        for (const std::string& w : writes) {
            std::string cur;
            for (char c : w) {
                if (c == 0x02)
                    cur = "";
                else if (c == 0x03)
                    out.push_back(cur);
                else
                    cur += c;
            }
        }
        return out;
    }
    std::vector<std::string> writes;
};

struct PodRig {
    explicit PodRig(sim::EmulatorOptions options = {})
        : pod(std::move(options)),
          link(
              [this] {
                  auto d = std::make_unique<sim::SimPodBackend>(pod, clock);
                  driver = d.get();
                  return std::unique_ptr<PodBackend>(std::move(d));
              },
              clock) {
        link.setObserver(&recorder);
    }
    bool connect() { return link.loadDriver() && link.connectPod(status) == OutcomeCode::Ok; }

    ManualClock clock;
    sim::PodEmulator pod;
    sim::SimPodBackend* driver = nullptr;
    PodLink link;
    WriteRecorder recorder;
    RecordingStatus status;
};

inline sim::Fault fault(sim::FaultKind kind, char letter, std::uint32_t nth, std::uint32_t delayMs = 0) {
    sim::Fault f;
    f.kind = kind;
    f.letter = letter;
    f.nth = nth;
    f.delayMs = delayMs;
    return f;
}

inline sim::EmulatorOptions withFaults(std::vector<sim::Fault> faults) {
    sim::EmulatorOptions o;
    o.faults = std::move(faults);
    return o;
}

}  // namespace cvl::test
