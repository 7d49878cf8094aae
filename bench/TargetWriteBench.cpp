// Target Write of a program filling an F28335's whole flash (0x40000 words)
// against the in-process emulator with its wire model on, in real time.
// Reports the run's wall time against what the wire model alone accounts for
// (bytes each way at 921600 baud, the 1 ms USB latency of every reply, the
// pod-side times), and the host's CPU time. Targets: ratio <= 1.05, CPU under
// 10% of one core.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <sstream>

#include "BenchSupport.h"
#include "image/CoffReader.h"
#include "CoffWriter.h"
#include "sim/PodEmulator.h"
#include "sim/SimPodBackend.h"
#include "pod/TargetProgrammer.h"
#include "platform/Host.h"

namespace {

void BM_TargetWriteWireModel(benchmark::State& state) {
    const auto words = static_cast<std::uint32_t>(state.range(0));
    const cvl::PreciseTimers preciseTimers;  // as corvexlink and corvexlink-cli do at start
    cvl::CoffImage image;
    cvl::bench::loadFlashImage(image, words);
    for (auto _ : state) {
        cvl::sim::EmulatorOptions options;
        options.wire.enabled = true;
        options.wire.podTimeUs = {{"N", 50'000},    {"K", 200'000}, {"O00", 20'000},
                                  {"O01", 250'000}, {"O02", 1'000}, {"R", 10'000}};
        cvl::sim::PodEmulator pod(options);
        cvl::SteadyClock clock;
        cvl::PodLink link([&] { return std::make_unique<cvl::sim::SimPodBackend>(pod, clock); }, clock);
        cvl::NullStatusSink status;
        link.loadDriver();
        if (link.connectPod(status) != cvl::OutcomeCode::Ok) {
            state.SkipWithError("no pod");
            return;
        }
        cvl::CsmKeys keys;
        cvl::TargetProgrammer programmer(link, status, image, keys);
        const bool ok = cvl::bench::timeAgainstWireModel(state, pod, [&] {
            return programmer.runTargetWrite({true, false, false}) == cvl::OutcomeCode::Ok;
        });
        if (!ok) state.SkipWithError("write failed");
    }
}

BENCHMARK(BM_TargetWriteWireModel)->Arg(0x40000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_TargetWriteWireModel)->Arg(0x4000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
