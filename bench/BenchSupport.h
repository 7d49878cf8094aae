#pragma once
// Pieces the benchmarks share: the process's CPU time, an image that fills
// flash from 0x300000, and timing a transfer against the wire model.

#include <time.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>

#include "image/CoffReader.h"
#include "CoffWriter.h"
#include "sim/PodEmulator.h"
#include "common/StatusSink.h"

namespace cvl::bench {

inline double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One F28335 flash section of the given length at 0x300000, loaded through the reader.
inline void loadFlashImage(CoffImage& image, std::uint32_t words) {
    test::CoffLayout layout;
    test::TestSection s;
    s.name = ".text";
    s.address = 0x300000;
    for (std::uint32_t i = 0; i < words; ++i) s.words.push_back(static_cast<std::uint16_t>(i * 7919));
    layout.sections = {s};
    const auto bytes = test::buildCoff(layout);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    image.mcuType = cvl::McuType::F28335;
    readCoff(in, image);
    image.summarize();
}

// Times one transfer against the emulator's wire model and reports the wall
// time, what the model accounts for, their ratio and the CPU share.
template <typename Transfer>
bool timeAgainstWireModel(benchmark::State& state, const sim::PodEmulator& pod, Transfer transfer) {
    const sim::WireStats before = pod.stats();
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = transfer();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    sim::WireStats s = pod.stats();
    s.bytesToPod -= before.bytesToPod;
    s.bytesToHost -= before.bytesToHost;
    s.replies -= before.replies;
    s.podTimeUs -= before.podTimeUs;
    const double modelled = static_cast<double>(s.modelledUs(pod.options().wire)) * 1e-6;
    state.SetIterationTime(wall);
    state.counters["wall_s"] = wall;
    state.counters["wire_model_s"] = modelled;
    state.counters["ratio"] = wall / modelled;
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    return ok;
}

}  // namespace cvl::bench
