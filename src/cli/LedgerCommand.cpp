#include "cli/LedgerCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliReport.h"
#include "common/JsonText.h"
#include "common/Text.h"
#include "line/stores/LineStores.h"

namespace cvl::cli {

namespace {

void printDone(const ParsedArgs& args, const std::string& message) {
    if (args.json()) {
        nlohmann::ordered_json j = {{"command", "ledger"}, {"result", "Ok"}};
        putText(j, "message", message);
        j["isError"] = false;
        j["exitStatus"] = 0;
        std::cout << jsonText(j) << '\n';
    } else {
        std::printf("%s\n", escapeControls(message).c_str());
    }
}

int importLedger(const ParsedArgs& args, const std::string& from, const std::string& to) {
    std::string error;
    const auto count = importTextLedger(from, to, error);
    if (!count) return refuse(args, OutcomeCode::LedgerFailed, error);
    printDone(args, std::to_string(*count) + " numbers imported into " + to);
    return 0;
}

// Makes a ledger's tables, so a database's owner can make them before
// granting stations only the rights they use.
// With --serial-start, also the first number it issues.
int initLedger(const ParsedArgs& args, const std::string& where) {
    std::optional<std::uint64_t> start;
    if (const auto text = args.value("--serial-start")) {
        start = parseDecimal(*text, 0xFFFFFFFFull);
        if (!start)
            return usageError(args, "--serial-start takes a decimal number up to 4294967295, not '" + *text + "'");
    }
    std::string error;
    const auto ledger = openSerialLedger(where, LedgerUse::Init, error);
    if (!ledger || (start && !ledger->startAt(*start, error))) return refuse(args, OutcomeCode::LedgerFailed, error);
    printDone(args,
              start ? "the ledger is ready: its next number is " + std::to_string(*start) : "the ledger is ready");
    return 0;
}

int listLedger(const ParsedArgs& args, const std::string& path) {
    std::string error;
    const auto ledger = openSerialLedger(path, LedgerUse::Read, error);
    const auto entries = ledger ? ledger->list(error) : std::nullopt;
    if (!entries) return refuse(args, OutcomeCode::LedgerFailed, error);
    if (args.json()) {
        nlohmann::ordered_json numbers = nlohmann::ordered_json::array();
        for (const LedgerEntry& e : *entries) {
            nlohmann::ordered_json n = {{"number", e.number}, {"state", e.state}};
            putText(n, "board", e.board);
            n["time"] = e.time;
            numbers.push_back(std::move(n));
        }
        nlohmann::ordered_json j = {{"command", "ledger"}, {"result", "Ok"}};
        putText(j, "message", std::to_string(entries->size()) + " numbers");
        j["isError"] = false;
        j["exitStatus"] = 0;
        j["numbers"] = std::move(numbers);
        std::cout << jsonText(j) << '\n';
        return 0;
    }
    std::printf("%-12s %-7s %-24s %s\n", "Number", "State", "Board", "Time");
    for (const LedgerEntry& e : *entries) {
        std::printf("%-12llu %-7s %-24s %s\n", static_cast<unsigned long long>(e.number), e.state.c_str(),
                    escapeControls(e.board).c_str(), e.time.c_str());
    }
    return 0;
}

}  // namespace

int runLedger(const ParsedArgs& args) {
    if (args.value("--serial-start") && args.file != "init")
        return usageError(args, "--serial-start is for 'ledger init'");
    if (args.file == "import" && args.more.size() == 2) return importLedger(args, args.more[0], args.more[1]);
    if (args.file == "list" && args.more.size() == 1) return listLedger(args, args.more[0]);
    if (args.file == "init" && args.more.size() == 1) return initLedger(args, args.more[0]);
    return usageError(args, "ledger takes 'import OLD NEW', 'list LEDGER' or 'init LEDGER'");
}

}  // namespace cvl::cli
