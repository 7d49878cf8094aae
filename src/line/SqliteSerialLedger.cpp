#include "line/SqliteSerialLedger.h"

#include <sqlite3.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "common/Clock.h"
#include "platform/Files.h"

namespace cvl {

namespace {

constexpr const char* kSchemaVersion = "1";
constexpr int kBusyTimeoutMs = 10000;
const char* const kTextHeading = "# Corvexlink serial numbers";

// One prepared statement, finalised when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string text(int column) const {
        const auto* t = sqlite3_column_text(stmt_, column);
        return t != nullptr ? reinterpret_cast<const char*>(t) : "";
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Rolls back an open transaction unless it was committed.
class Transaction {
public:
    Transaction(sqlite3* db, bool& ok) : db_(db) {
        ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool commit() {
        done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return done_;
    }

private:
    sqlite3* db_;
    bool done_ = false;
};

std::string firstBytes(const std::string& path, std::size_t n) {
    std::ifstream in(nativePath(path), std::ios::binary);
    std::string head(n, '\0');
    in.read(head.data(), static_cast<std::streamsize>(n));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return head;
}

}  // namespace

SqliteSerialLedger::~SqliteSerialLedger() { sqlite3_close(db_); }

bool SqliteSerialLedger::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = path_ + ": " + (message != nullptr ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    return false;
}

std::unique_ptr<SqliteSerialLedger> SqliteSerialLedger::open(const std::string& path, std::string& error) {
    return openLedger(path, true, error);
}

std::unique_ptr<SqliteSerialLedger> SqliteSerialLedger::openExisting(const std::string& path, std::string& error) {
    return openLedger(path, false, error);
}

std::unique_ptr<SqliteSerialLedger> SqliteSerialLedger::openLedger(const std::string& given, bool create,
                                                                   std::string& error) {
    // The real file: its journal is named after the name it is opened by.
    const std::string path = realPath(given);
    const FileFacts facts = fileFacts(path);
    const bool exists = facts.exists;
    if (!exists && !create) return error = given + ": no such ledger", nullptr;
    if (exists) {
        if (!facts.regular) return error = given + ": not a regular file", nullptr;
        if (facts.names > 1) {
            return error = given + ": the ledger has more than one name (a hard link): use one file of one name",
                   nullptr;
        }
        if (!facts.readWrite) {
            return error = given + ": cannot be read and written", nullptr;
        }
        const std::string head = firstBytes(path, 32);
        if (head.rfind(kTextHeading, 0) == 0) {
            return error = given +
                           ": a text ledger of an older version: convert it with 'corvexlink-cli ledger import " +
                           given + " NEW.db' and give NEW.db",
                   nullptr;
        }
        if (head.size() < 16 || std::memcmp(head.data(), "SQLite format 3", 16) != 0) {
            return error = given + ": not a serial-number ledger", nullptr;
        }
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE) | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = given + ": " + (db != nullptr ? sqlite3_errmsg(db) : "cannot be opened");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteSerialLedger> ledger(new SqliteSerialLedger(db, path));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (exists) {
        // Ours only when it says so; another database is left as it was.
        Statement version(db, "SELECT value FROM corvexlink_ledger WHERE key = 'schema_version'");
        if (!version.ok() || version.step() != SQLITE_ROW)
            return error = given + ": not a serial-number ledger", nullptr;
        if (version.text(0) != kSchemaVersion) {
            return error = given + ": a ledger of schema " + version.text(0) + ", not " + kSchemaVersion, nullptr;
        }
    }
    if (!ledger->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", error)) return nullptr;
    if (!exists) {
        bool begun = false;
        Transaction t(db, begun);
        const bool made =
            begun &&
            ledger->exec(
                "CREATE TABLE IF NOT EXISTS corvexlink_ledger (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                "INSERT OR IGNORE INTO corvexlink_ledger VALUES ('schema_version', '1'), ('next', '0');"
                "CREATE TABLE IF NOT EXISTS serial_numbers (series TEXT NOT NULL, number INTEGER NOT NULL,"
                " state TEXT NOT NULL, board TEXT NOT NULL, time TEXT NOT NULL,"
                " PRIMARY KEY (series, number));",
                error) &&
            t.commit();
        if (!made) {
            if (error.empty()) error = given + ": " + sqlite3_errmsg(db);
            return nullptr;
        }
    }
    return ledger;
}

std::optional<std::vector<std::uint64_t>> SqliteSerialLedger::take(const std::vector<std::string>& pods,
                                                                   std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = path_ + ": " + sqlite3_errmsg(db_), std::nullopt;
    Statement highest(db_, "SELECT max(number) FROM serial_numbers WHERE series = ?1");
    highest.bind(1, std::string(kLedgerSeries));
    Statement floor(db_, "SELECT value FROM corvexlink_ledger WHERE key = 'next'");
    if (highest.step() != SQLITE_ROW || floor.step() != SQLITE_ROW)
        return error = path_ + ": " + sqlite3_errmsg(db_), std::nullopt;
    std::uint64_t next = start_;
    if (!highest.isNull(0)) next = std::max<std::uint64_t>(next, static_cast<std::uint64_t>(highest.integer(0)) + 1);
    std::uint64_t stored = 0;
    const std::string floorText = floor.text(0);
    std::from_chars(floorText.data(), floorText.data() + floorText.size(), stored);
    next = std::max(next, stored);
    const std::uint64_t count = pods.size();
    // Checked without overflow: next + count - 1 <= max.
    if (!fits(next, count)) {
        error = "the serial numbers would pass " + std::to_string(max_);
        return std::nullopt;
    }
    const std::string now = utcTimestamp();
    Statement insert(
        db_, "INSERT INTO serial_numbers (series, number, state, board, time) VALUES (?1, ?2, 'issued', ?3, ?4)");
    std::vector<std::uint64_t> numbers;
    for (const std::string& pod : pods) {
        insert.bind(1, std::string(kLedgerSeries)).bind(2, static_cast<std::int64_t>(next)).bind(3, pod).bind(4, now);
        if (insert.step() != SQLITE_DONE) return error = path_ + ": " + sqlite3_errmsg(db_), std::nullopt;
        insert.reset();
        numbers.push_back(next++);
    }
    Statement advance(db_, "UPDATE corvexlink_ledger SET value = ?1 WHERE key = 'next'");
    advance.bind(1, std::to_string(next));
    if (advance.step() != SQLITE_DONE || !t.commit()) return error = path_ + ": " + sqlite3_errmsg(db_), std::nullopt;
    return numbers;
}

bool SqliteSerialLedger::record(const std::vector<SerialIssue>& outcomes, std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = path_ + ": " + sqlite3_errmsg(db_), false;
    const std::string now = utcTimestamp();
    Statement update(db_, "UPDATE serial_numbers SET state = ?1, time = ?2 WHERE series = ?3 AND number = ?4");
    for (const SerialIssue& o : outcomes) {
        update.bind(1, ledgerState(o.outcome))
            .bind(2, now)
            .bind(3, std::string(kLedgerSeries))
            .bind(4, static_cast<std::int64_t>(o.number));
        if (update.step() != SQLITE_DONE) return error = path_ + ": " + sqlite3_errmsg(db_), false;
        update.reset();
    }
    if (!t.commit()) return error = path_ + ": " + sqlite3_errmsg(db_), false;
    return true;
}

std::optional<std::vector<LedgerEntry>> SqliteSerialLedger::list(std::string& error) {
    Statement all(db_, "SELECT number, state, board, time FROM serial_numbers WHERE series = ?1 ORDER BY number");
    all.bind(1, std::string(kLedgerSeries));
    std::vector<LedgerEntry> entries;
    int r = 0;
    while ((r = all.step()) == SQLITE_ROW) {
        entries.push_back({static_cast<std::uint64_t>(all.integer(0)), all.text(1), all.text(2), all.text(3)});
    }
    if (r != SQLITE_DONE) return error = path_ + ": " + sqlite3_errmsg(db_), std::nullopt;
    return entries;
}

bool SqliteSerialLedger::add(const std::vector<LedgerEntry>& entries, std::uint64_t next, std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = path_ + ": " + sqlite3_errmsg(db_), false;
    Statement insert(db_,
                     "INSERT INTO serial_numbers (series, number, state, board, time) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (const LedgerEntry& e : entries) {
        insert.bind(1, std::string(kLedgerSeries))
            .bind(2, static_cast<std::int64_t>(e.number))
            .bind(3, e.state)
            .bind(4, e.board)
            .bind(5, e.time);
        if (insert.step() != SQLITE_DONE) return error = path_ + ": " + sqlite3_errmsg(db_), false;
        insert.reset();
    }
    Statement advance(db_, "UPDATE corvexlink_ledger SET value = ?1 WHERE key = 'next'");
    advance.bind(1, std::to_string(next));
    if (advance.step() != SQLITE_DONE || !t.commit()) return error = path_ + ": " + sqlite3_errmsg(db_), false;
    return true;
}

std::optional<TextLedger> readTextLedger(const std::string& path, std::string& error) {
    std::ifstream in(nativePath(path));
    if (!in) return error = path + ": cannot be read", std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line.rfind(kTextHeading, 0) != 0) {
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
