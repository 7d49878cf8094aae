// What a board costs the production line beside its programming: taking its
// serial number from the ledger, marking the number's outcome, and storing
// its record. A station's files (SQLite ledger, JSON-lines log, synced to
// disk): target under 5 ms a board. A line's PostgreSQL database over a local
// socket (CORVEXLINK_BENCH_PG, a URI): target under 20 ms a board.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "line/stores/JsonLinesLog.h"
#include "line/stores/PgBoardLog.h"
#include "line/stores/PgSerialLedger.h"
#include "line/stores/SqliteSerialLedger.h"

namespace {

// One board's number and record, each iteration.
void numberAndRecord(benchmark::State& state, cvl::SerialLedger& ledger, cvl::BoardLog& log) {
    ledger.setRange(1, 0xFFFFFFFF);
    cvl::BoardRecord board;
    board.pod.serialNumber = "BENCH";
    board.command = "write";
    std::string error;
    for (auto _ : state) {
        const auto numbers = ledger.take({"BENCH"}, error);
        if (!numbers) {
            state.SkipWithError(error.c_str());
            break;
        }
        board.serialNumber = numbers->front();
        if (!log.append(board, error) || !ledger.record({{numbers->front(), "BENCH", "Ok"}}, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
}

void BM_LedgerNumberAndRecord(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("corvexlink-ledger-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string error;
    auto ledger = cvl::SqliteSerialLedger::open((dir / "serials.db").string(), cvl::LedgerUse::Init, error);
    cvl::JsonLinesLog log;
    if (!ledger || !log.open((dir / "line.log").string(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    numberAndRecord(state, *ledger, log);
    fs::remove_all(dir);
}

void BM_LedgerNumberAndRecordPostgres(benchmark::State& state) {
    const char* uri = std::getenv("CORVEXLINK_BENCH_PG");
    if (uri == nullptr) {
        state.SkipWithError("CORVEXLINK_BENCH_PG names no database");
        return;
    }
    std::string error;
    auto ledger = cvl::PgSerialLedger::open(uri, true, error);
    auto log = ledger ? cvl::PgBoardLog::open(uri, error) : nullptr;
    if (!log) {
        state.SkipWithError(error.c_str());
        return;
    }
    numberAndRecord(state, *ledger, *log);
}

BENCHMARK(BM_LedgerNumberAndRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerNumberAndRecordPostgres)->Unit(benchmark::kMillisecond);

}  // namespace
