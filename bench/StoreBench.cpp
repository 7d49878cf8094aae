// POD Write and POD Verify of the largest job the store takes (0x80000
// bytes) against the in-process emulator with its wire model on, in real
// time. Reports the wall time against what the wire model alone accounts for
// and the process's CPU share. Target: ratio <= 1.05, CPU under 10%.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <sstream>

#include "BenchSupport.h"
#include "image/CoffReader.h"
#include "CoffWriter.h"
#include "sim/PodEmulator.h"
#include "sim/SimPodBackend.h"
#include "store/StoreJob.h"
#include "command/StoreCommands.h"
#include "platform/Host.h"

namespace {

void BM_StoreWireModel(benchmark::State& state) {
    const bool verify = state.range(0) != 0;
    const cvl::PreciseTimers preciseTimers;
    cvl::CoffImage image;
    cvl::bench::loadFlashImage(image, 0x40000);
    for (auto _ : state) {
        cvl::sim::EmulatorOptions options;
        options.wire.enabled = true;
        options.wire.podTimeUs = {{"W", 3'000}, {"L", 1'000}, {"V", 100}, {"P", 100}, {"T", 100}, {"Q", 100}};
        cvl::sim::PodEmulator pod(options);
        cvl::SteadyClock clock;
        cvl::PodLink link([&] { return std::make_unique<cvl::sim::SimPodBackend>(pod, clock); }, clock);
        cvl::NullStatusSink status;
        link.loadDriver();
        link.connectPod(status);
        cvl::CsmKeys keys;
        cvl::PodStoreClient store(link, status, image, keys);
        if (verify && cvl::storeProgram(store, status, image, clock, false, false, "BENCH") != cvl::OutcomeCode::Ok) {
            state.SkipWithError("write failed");
            return;
        }
        const bool ok = cvl::bench::timeAgainstWireModel(state, pod, [&] {
            const cvl::OutcomeCode code = verify
                                              ? cvl::verifyStore(store, status, image)
                                              : cvl::storeProgram(store, status, image, clock, false, false, "BENCH");
            return code == cvl::OutcomeCode::Ok;
        });
        if (!ok) state.SkipWithError("store command failed");
    }
}

BENCHMARK(BM_StoreWireModel)
    ->ArgName("verify")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
