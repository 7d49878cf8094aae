#pragma once
// The serial-number ledger of a station: a SQLite database, created when
// missing. A number is taken in one BEGIN IMMEDIATE transaction (WAL journal,
// synchronous FULL, a busy timeout), so processes never get the same number,
// and a process killed meanwhile leaves the ledger whole. Numbers are issued
// before programming, then marked used or failed, and never issued twice.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "line/SerialLedger.h"

struct sqlite3;

namespace cvl {

class SqliteSerialLedger : public SerialLedger {
public:
    ~SqliteSerialLedger() override;
    SqliteSerialLedger(const SqliteSerialLedger&) = delete;
    SqliteSerialLedger& operator=(const SqliteSerialLedger&) = delete;

    // Opens the ledger at path, created when missing. Nothing, with error set
    // and the file untouched, when it is not a ledger of ours (another SQLite
    // database, a text file, an old text ledger: the message names the command
    // that converts it), cannot be read or written, or has a second name (a hard
    // link would give it a second journal). A symbolic link is followed to the
    // real file, whose name the journal takes.
    static std::unique_ptr<SqliteSerialLedger> open(const std::string& path, std::string& error);
    // Only opens a ledger that exists (for reading it).
    static std::unique_ptr<SqliteSerialLedger> openExisting(const std::string& path, std::string& error);

    std::optional<std::vector<std::uint64_t>> take(const std::vector<std::string>& pods, std::string& error) override;
    bool record(const std::vector<SerialIssue>& outcomes, std::string& error) override;

    std::optional<std::vector<LedgerEntry>> list(std::string& error) override;
    // Adds numbers as another ledger kept them, and the number the next one
    // may not be below (a conversion).
    bool add(const std::vector<LedgerEntry>& entries, std::uint64_t next, std::string& error);

private:
    SqliteSerialLedger(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    static std::unique_ptr<SqliteSerialLedger> openLedger(const std::string& path, bool create, std::string& error);
    bool exec(const char* sql, std::string& error);

    sqlite3* db_;
    std::string path_;
};

// A ledger of the old text format: its next number and every number with its
// last state; nothing (error set) when the file is not one.
struct TextLedger {
    std::uint64_t next = 0;
    std::vector<LedgerEntry> entries;
};
std::optional<TextLedger> readTextLedger(const std::string& path, std::string& error);

}  // namespace cvl
