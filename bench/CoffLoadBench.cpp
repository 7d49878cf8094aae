// Loading a program that fills most of the 8 MiB image buffer, against
// reading the same file's bytes into memory in one go. Target: the load
// takes no more than 1.5 times the plain read.

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>

#include "image/CoffReader.h"
#include "CoffWriter.h"

namespace {

const std::string& bigProgram() {
    static const std::string path = [] {
        cvl::test::CoffLayout layout;
        for (int i = 0; i < 4; ++i) {  // 4 x 0xF0000 words = 7.5 MiB
            cvl::test::TestSection s;
            s.name = "section_number_" + std::to_string(i);
            s.address = 0x300000 + 0xF0000u * static_cast<unsigned>(i);
            s.words.assign(0xF0000, static_cast<std::uint16_t>(0x1234 + i));
            layout.sections.push_back(std::move(s));
        }
        return cvl::test::writeTempFile("bench-big.out", cvl::test::buildCoff(layout));
    }();
    return path;
}

void BM_LoadCoff(benchmark::State& state) {
    cvl::CoffImage image;
    const std::string& path = bigProgram();
    for (auto _ : state) {
        const auto r = cvl::readCoff(path, image);
        if (r != cvl::CoffReadResult::Ok) state.SkipWithError("load failed");
        image.summarize();
        benchmark::DoNotOptimize(image.summary.flashBytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * image.totalBytes);
}

void BM_PlainRead(benchmark::State& state) {
    const std::string& path = bigProgram();
    auto buffer = std::make_unique<char[]>(cvl::CoffImage::kBufferBytes + 4096);
    std::size_t size = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        in.read(buffer.get(), static_cast<std::streamsize>(cvl::CoffImage::kBufferBytes + 4096));
        size = static_cast<std::size_t>(in.gcount());
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

BENCHMARK(BM_LoadCoff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

}  // namespace
