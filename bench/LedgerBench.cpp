// What a board costs the production line beside its programming: taking its
// serial number from the SQLite ledger, marking the number's outcome, and
// appending its record to the JSON-lines log, all synced to disk. Target:
// under 5 ms a board.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "line/JsonLinesLog.h"
#include "line/SqliteSerialLedger.h"

namespace {

void BM_LedgerNumberAndRecord(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("corvexlink-ledger-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string error;
    auto ledger = cvl::SqliteSerialLedger::open((dir / "serials.db").string(), error);
    cvl::JsonLinesLog log;
    if (!ledger || !log.open((dir / "line.log").string(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    ledger->setRange(1, 0xFFFFFFFF);
    cvl::BoardRecord board;
    board.pod.serialNumber = "BENCH";
    board.command = "write";
    for (auto _ : state) {
        const auto numbers = ledger->take({"BENCH"}, error);
        if (!numbers) {
            state.SkipWithError(error.c_str());
            break;
        }
        board.serialNumber = numbers->front();
        if (!log.append(board, error) || !ledger->record({{numbers->front(), "BENCH", "Ok"}}, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    fs::remove_all(dir);
}

BENCHMARK(BM_LedgerNumberAndRecord)->Unit(benchmark::kMillisecond);

}  // namespace
