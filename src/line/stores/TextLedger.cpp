#include "line/stores/TextLedger.h"

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/Files.h"

namespace cvl {

std::optional<TextLedger> readTextLedger(const std::string& path, std::string& error) {
    std::ifstream in(nativePath(path));
    if (!in) return error = path + ": cannot be read", std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line.rfind(kTextLedgerHeading, 0) != 0) {
        return error = path + ": not a text ledger of Corvexlink", std::nullopt;
    }
    TextLedger ledger;
    bool haveNext = false;
    std::map<std::uint64_t, LedgerEntry> numbers;
    std::uint64_t lineNumber = 1;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string first, pod, time, outcome;
        words >> first;
        std::uint64_t n = 0;
        if (first == "next") {
            std::string value;
            words >> value;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc{} || end != value.data() + value.size()) break;
            ledger.next = n;
            haveNext = true;
            continue;
        }
        words >> pod >> time >> outcome;
        const auto [end, ec] = std::from_chars(first.data(), first.data() + first.size(), n);
        if (ec != std::errc{} || end != first.data() + first.size() || outcome.empty()) {
            return error = path + ": line " + std::to_string(lineNumber) + " is damaged", std::nullopt;
        }
        numbers[n] = {n, ledgerState(outcome), pod == "-" ? "" : pod, time};
    }
    if (!haveNext) return error = path + ": no next-number line", std::nullopt;
    for (auto& [n, entry] : numbers) ledger.entries.push_back(std::move(entry));
    return ledger;
}

}  // namespace cvl
