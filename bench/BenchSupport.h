#pragma once
// Pieces the benchmarks share: a status sink that discards everything, the
// process's CPU time, and an image that fills flash from 0x300000.

#include <time.h>

#include <sstream>

#include "CoffReader.h"
#include "CoffWriter.h"
#include "StatusSink.h"

namespace cvl::bench {

class NullStatus : public StatusSink {
public:
    void showMessage(std::string_view, bool) override {}
    void setBusy(bool) override {}
    void beginProgress(std::uint32_t) override {}
    void stepProgress() override {}
    void resetProgress() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
};

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
    image.mcuType = 2;
    readCoff(in, image);
    image.summarize();
}

}  // namespace cvl::bench
