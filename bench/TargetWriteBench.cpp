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
#include "CoffReader.h"
#include "CoffWriter.h"
#include "PodEmulator.h"
#include "SimFtdiDriver.h"
#include "TargetWrite.h"

namespace {

using cvl::bench::cpuSeconds;
using cvl::bench::NullStatus;

void BM_TargetWriteWireModel(benchmark::State& state) {
    const auto words = static_cast<std::uint32_t>(state.range(0));
    cvl::preferPreciseSleeps();  // as corvexlink and corvexlink-cli do at start
    cvl::CoffImage image;
    cvl::bench::loadFlashImage(image, words);
    for (auto _ : state) {
        cvl::sim::EmulatorOptions options;
        options.wire.enabled = true;
        options.wire.podTimeUs = {{"N", 50'000},    {"K", 200'000}, {"O00", 20'000},
                                  {"O01", 250'000}, {"O02", 1'000}, {"R", 10'000}};
        cvl::sim::PodEmulator pod(options);
        cvl::SteadyClock clock;
        cvl::PodLink link([&] { return std::make_unique<cvl::sim::SimFtdiDriver>(pod, clock); }, clock);
        NullStatus status;
        link.loadDriver();
        if (!link.connectPod(status)) {
            state.SkipWithError("no pod");
            return;
        }
        const auto before = pod.stats();
        cvl::CsmKeys keys;
        cvl::TargetProgrammer programmer(link, status, image, keys);
        const double cpu0 = cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const auto result = programmer.runTargetWrite(true, false, false);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = cpuSeconds() - cpu0;
        if (result != cvl::TargetWriteResult::Success) state.SkipWithError("write failed");
        cvl::sim::WireStats s = pod.stats();
        s.bytesToPod -= before.bytesToPod;
        s.bytesToHost -= before.bytesToHost;
        s.replies -= before.replies;
        s.podTimeUs -= before.podTimeUs;
        const double modelled = static_cast<double>(s.modelledUs(options.wire)) * 1e-6;
        state.SetIterationTime(wall);
        state.counters["wall_s"] = wall;
        state.counters["wire_model_s"] = modelled;
        state.counters["ratio"] = wall / modelled;
        state.counters["cpu_pct"] = 100.0 * cpu / wall;
    }
}

BENCHMARK(BM_TargetWriteWireModel)->Arg(0x40000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_TargetWriteWireModel)->Arg(0x4000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
