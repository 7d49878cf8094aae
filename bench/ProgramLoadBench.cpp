// Loading the other program formats, each against reading the same file's
// bytes into memory in one go: a full F28335 flash as hex2000 writes it
// (0x40000 words, about 1.3 MB of Intel HEX text; target: under 5 ms) and a
// 7.5 MiB ELF file (target: within 1.5 times the plain read, like COFF).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "CoffWriter.h"
#include "image/CoffReader.h"
#include "image/IntelHexReader.h"
#include "image/ProgramReader.h"
#include "image/ProgramWriter.h"

namespace {

// A program of `words` counting words at 0x300000, as an image.
void fillImage(cvl::CoffImage& image, std::uint32_t words) {
    cvl::test::CoffLayout layout;
    cvl::test::TestSection s;
    s.name = ".text";
    s.address = 0x300000;
    for (std::uint32_t i = 0; i < words; ++i) s.words.push_back(static_cast<std::uint16_t>(i * 7));
    layout.sections = {s};
    const auto bytes = cvl::test::buildCoff(layout);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    image.mcuType = cvl::kAnyDevice;
    cvl::readCoff(in, image);
}

const std::string& bigHex() {
    static const std::string path = [] {
        cvl::CoffImage image;
        fillImage(image, 0x40000);  // the F28335's whole flash
        const std::string text = cvl::intelHexText(image);
        return cvl::test::writeTempFile("bench-flash.hex", cvl::test::Bytes(text.begin(), text.end()));
    }();
    return path;
}

const std::string& bigElf() {
    static const std::string path = [] {
        const std::uint32_t bytes = 0x3C0000 * 2;  // 7.5 MiB in one loadable segment
        cvl::test::Bytes file(52 + 32 + bytes, 0);
        const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
        std::memcpy(file.data(), ident, sizeof ident);
        cvl::test::put16(file, 16, 2);
        cvl::test::put16(file, 18, 141);
        cvl::test::put32(file, 28, 52);
        cvl::test::put16(file, 42, 32);
        cvl::test::put16(file, 44, 1);
        cvl::test::put32(file, 52, 1);
        cvl::test::put32(file, 56, 52 + 32);
        cvl::test::put32(file, 60, 0x300000);
        cvl::test::put32(file, 64, 0x300000);
        cvl::test::put32(file, 68, bytes);
        cvl::test::put32(file, 72, bytes);
        for (std::uint32_t i = 0; i < bytes; ++i) file[84 + i] = static_cast<std::uint8_t>(i * 13);
        return cvl::test::writeTempFile("bench-big.elf", file);
    }();
    return path;
}

void loadBench(benchmark::State& state, const std::string& path) {
    cvl::CoffImage image;
    image.mcuType = cvl::kAnyDevice;
    for (auto _ : state) {
        std::string detail;
        if (cvl::readProgram(path, image, {}, detail) != cvl::OutcomeCode::Ok) state.SkipWithError("load failed");
        image.summarize();
        benchmark::DoNotOptimize(image.summary.ramBytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * image.totalBytes);
}

void readBench(benchmark::State& state, const std::string& path) {
    std::string buffer(32u << 20, '\0');
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
}

// Reading the HEX text line by line, doing nothing with it: the least any
// text reader does.
void BM_ReadHexLines(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream in(bigHex());
        std::size_t lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        benchmark::DoNotOptimize(lines);
    }
}

void BM_LoadHex(benchmark::State& state) { loadBench(state, bigHex()); }

void BM_PlainReadHex(benchmark::State& state) { readBench(state, bigHex()); }
void BM_LoadElf(benchmark::State& state) { loadBench(state, bigElf()); }
void BM_PlainReadElf(benchmark::State& state) { readBench(state, bigElf()); }

BENCHMARK(BM_LoadHex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadHex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHexLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadElf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadElf)->Unit(benchmark::kMillisecond);

}  // namespace
