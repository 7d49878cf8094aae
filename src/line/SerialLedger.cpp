#include "line/SerialLedger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/Clock.h"
#include "common/PrivateFile.h"

namespace cvl {

namespace {

const char* const kHeading = "# Corvexlink serial numbers: the next number, then one line per number and outcome\n";

// Holds "<ledger>.lock" while alive; the ledger itself is replaced whole.
class LedgerLock {
public:
    explicit LedgerLock(const std::string& ledger) {
        fd_ = ::open((ledger + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LedgerLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct Ledger {
    std::optional<std::uint64_t> next;
    std::string entries;  // every line after the next-number line
};

std::optional<Ledger> readLedger(const std::string& path, std::string& error) {
    std::ifstream in(path);
    Ledger ledger;
    if (!in) return ledger;  // a new ledger
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (!ledger.next && line.rfind("next ", 0) == 0) {
            std::uint64_t n = 0;
            const char* b = line.data() + 5;
            const auto [end, ec] = std::from_chars(b, line.data() + line.size(), n);
            if (ec != std::errc{} || end != line.data() + line.size()) {
                error = path + ": the next-number line is damaged";
                return std::nullopt;
            }
            ledger.next = n;
            continue;
        }
        ledger.entries += line + "\n";
    }
    if (!ledger.entries.empty() && !ledger.next) {
        error = path + ": no next-number line";
        return std::nullopt;
    }
    return ledger;
}

bool writeLedger(const std::string& path, const Ledger& ledger, std::string& error) {
    const std::string text = kHeading + std::string("next ") + std::to_string(*ledger.next) + "\n" + ledger.entries;
    return writeFileAtomically(path, text, error);
}

}  // namespace

std::optional<std::vector<std::uint64_t>> TextSerialLedger::take(const std::vector<std::string>& pods,
                                                                 std::string& error) {
    const std::string& path = path_;
    const std::uint64_t start = start_;
    const std::uint64_t maxValue = max_;
    LedgerLock lock(path);
    if (!lock.held()) {
        error = path + ".lock: " + std::strerror(errno);
        return std::nullopt;
    }
    auto ledger = readLedger(path, error);
    if (!ledger) return std::nullopt;
    std::uint64_t next = std::max(ledger->next.value_or(start), start);
    if (next + pods.size() - 1 > maxValue) {
        error = "the serial numbers would pass " + std::to_string(maxValue);
        return std::nullopt;
    }
    std::vector<std::uint64_t> numbers;
    const std::string now = utcTimestamp();
    for (const std::string& pod : pods) {
        numbers.push_back(next);
        ledger->entries += std::to_string(next) + " " + (pod.empty() ? "-" : pod) + " " + now + " issued\n";
        ++next;
    }
    ledger->next = next;
    if (!writeLedger(path, *ledger, error)) return std::nullopt;
    return numbers;
}

bool TextSerialLedger::record(const std::vector<SerialIssue>& outcomes, std::string& error) {
    const std::string& path = path_;
    LedgerLock lock(path);
    if (!lock.held()) {
        error = path + ".lock: " + std::strerror(errno);
        return false;
    }
    auto ledger = readLedger(path, error);
    if (!ledger || !ledger->next) {
        if (error.empty()) error = path + ": the ledger is gone";
        return false;
    }
    const std::string now = utcTimestamp();
    for (const SerialIssue& o : outcomes) {
        ledger->entries +=
            std::to_string(o.number) + " " + (o.pod.empty() ? "-" : o.pod) + " " + now + " " + o.outcome + "\n";
    }
    return writeLedger(path, *ledger, error);
}

}  // namespace cvl
