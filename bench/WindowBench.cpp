// The window's own costs, on the offscreen platform: starting it (dialog
// built, settings read, the recent file loaded, shown), and what the message
// line and progress bar updates add to a full-flash Target Write. The
// transfer itself runs against the emulator on a manual clock, so only the
// host's work is timed; the updates' share is reported against the 36.45 s
// the wire model accounts for a full-flash write. Target: under 1%.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>

#include "BenchSupport.h"
#include "image/CoffReader.h"
#include "CoffWriter.h"
#include "common/ManualClock.h"
#include "sim/PodEmulator.h"
#include "app/ProgrammerDialog.h"
#include "sim/SimPodBackend.h"
#include "pod/TargetProgrammer.h"

namespace {

constexpr double kFullFlashWireModelSeconds = 36.45;  // from BM_TargetWriteWireModel/262144

QApplication& app() {
    static int argc = 1;
    static char name[] = "corvexlink-bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication instance(argc, argv);
    return instance;
}

std::string writeProgram(const QTemporaryDir& dir, std::uint32_t words) {
    cvl::test::CoffLayout layout;
    cvl::test::TestSection s;
    s.name = ".text";
    s.address = 0x300000;
    s.words.assign(words, 0x1234);
    layout.sections = {s};
    const std::string path = dir.filePath("program.out").toStdString();
    const auto bytes = cvl::test::buildCoff(layout);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void BM_WindowStart(benchmark::State& state) {
    app();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const std::string program = writeProgram(dir, 0x8000);
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Quillon", QCoreApplication::applicationName());
        s.setValue("File List/Recent File0", QString::fromStdString(program));
    }
    cvl::ManualClock clock;
    cvl::sim::PodEmulator pod{cvl::sim::EmulatorOptions{}};
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto dialog = std::make_unique<cvl::ui::ProgrammerDialog>(
            [&] { return std::make_unique<cvl::sim::SimPodBackend>(pod, clock); }, clock);
        dialog->show();
        QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (dialog->image().imageLoaded != 1) state.SkipWithError("recent file not loaded");
    }
}

void BM_FullFlashWriteStatus(benchmark::State& state) {
    app();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const bool window = state.range(0) != 0;
    cvl::CoffImage image;
    {
        const std::string program = writeProgram(dir, 0x40000);
        image.mcuType = cvl::McuType::F28335;
        cvl::readCoff(program, image);
        image.summarize();
    }
    cvl::ManualClock clock;
    for (auto _ : state) {
        cvl::sim::PodEmulator pod{cvl::sim::EmulatorOptions{}};
        cvl::PodLink link([&] { return std::make_unique<cvl::sim::SimPodBackend>(pod, clock); }, clock);
        cvl::NullStatusSink quiet;
        cvl::ui::ProgrammerDialog dialog([] { return std::unique_ptr<cvl::PodBackend>(); }, clock);
        dialog.show();
        QCoreApplication::processEvents();
        cvl::StatusSink& status = window ? static_cast<cvl::StatusSink&>(dialog) : quiet;
        link.loadDriver();
        link.connectPod(quiet);
        cvl::CsmKeys keys;
        cvl::TargetProgrammer programmer(link, status, image, keys);
        const auto t0 = std::chrono::steady_clock::now();
        if (programmer.runTargetWrite({true, false, false}) != cvl::OutcomeCode::Ok) {
            state.SkipWithError("write failed");
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(s);
        state.counters["host_s"] = s;
    }
}

BENCHMARK(BM_WindowStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FullFlashWriteStatus)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
