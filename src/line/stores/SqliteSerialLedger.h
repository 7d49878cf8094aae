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

    // Opens the ledger at path for use. Nothing, with error set and the file
    // untouched, when it is missing (only Init makes one), not a ledger of
    // ours (another SQLite database, a text file, an old text ledger: the
    // message names the command that converts it), cannot be read or written,
    // has a second name (a hard link would give it a second journal), or lies
    // where another user could rewrite it. Init makes a missing ledger in one
    // step, and finishes one whose making was cut short (it holds no numbers).
    // A symbolic link is followed to the real file, whose name the journal
    // takes. Every failure names its cause: disk full, read-only, busy, damaged.
    static std::unique_ptr<SqliteSerialLedger> open(const std::string& path, LedgerUse use, std::string& error);

    std::optional<std::vector<std::uint64_t>> take(const std::vector<std::string>& pods, std::string& error) override;
    bool record(const std::vector<SerialIssue>& outcomes, std::string& error) override;

    std::optional<std::vector<LedgerEntry>> list(std::string& error) override;
    bool startAt(std::uint64_t first, std::string& error) override;
    // Adds numbers as another ledger kept them, and the number the next one
    // may not be below (a conversion).
    bool add(const std::vector<LedgerEntry>& entries, std::uint64_t next, std::string& error);

private:
    enum class Completeness { Whole, Half, Foreign, Unknown };

    SqliteSerialLedger(sqlite3* db, std::string path, std::string given)
        : db_(db), path_(std::move(path)), given_(std::move(given)) {}
    static std::unique_ptr<SqliteSerialLedger> openMade(const std::string& given, const std::string& path,
                                                        LedgerUse use, std::string& error);
    static Completeness completeness(const std::string& given, const std::string& path, const std::string& head,
                                     std::string& error);
    static bool makeLedger(const std::string& given, const std::string& path, bool replace, std::string& error);
    bool exec(const char* sql, std::string& error);
    // The number the next take gives, read in the open transaction.
    std::optional<std::uint64_t> nextNumber(std::string& error);
    // The message for a failed SQLite call: the ledger's name, the cause in
    // plain words, SQLite's own text.
    std::string failure(int code) const;

    sqlite3* db_;
    std::string path_;
    std::string given_;
};

// Why the ledger at path (given by the user) may not be used, if it may not:
// a folder other users may write, or a file of it (the ledger, its -wal,
// -shm or -journal) that belongs to another user.
std::optional<std::string> unsafeLedgerFiles(const std::string& given, const std::string& path);

}  // namespace cvl
