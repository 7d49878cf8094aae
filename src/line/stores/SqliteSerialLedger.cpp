#include "line/stores/SqliteSerialLedger.h"

#include <sqlite3.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "common/Clock.h"
#include "line/stores/TextLedger.h"
#include "platform/Files.h"

namespace cvl {

namespace {

constexpr const char* kSchemaVersion = "1";
constexpr int kBusyTimeoutMs = 10000;
// A file no bigger than this that holds only zeros was left by a creation cut short.
constexpr std::uint64_t kMaxHalfMadeBytes = 65536;

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

unsigned randomTag() {
    std::random_device random;
    return random();
}

// What a SQLite result code means to the user who named the ledger.
const char* cause(int code) {
    switch (code & 0xFF) {
        case SQLITE_FULL:
            return "the disk is full";
        case SQLITE_READONLY:
            return "read-only: the file or its folder cannot be written";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "busy: another program holds it locked";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "damaged";
        case SQLITE_CANTOPEN:
            return "cannot be opened (a missing or unwritable folder?)";
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "access denied";
        case SQLITE_IOERR:
            return "an input/output error";
        case SQLITE_NOMEM:
            return "out of memory";
        default:
            return nullptr;
    }
}

}  // namespace

std::optional<std::string> unsafeLedgerFiles(const std::string& given, const std::string& path) {
    // Whoever may write the folder may plant a -wal file that SQLite would
    // take as the ledger's own: a ledger lives where only its owner writes.
    const std::string folder = folderOf(path);
    if (fileFacts(folder).othersWrite) {
        return given + ": its folder " + folder +
               " may be written by other users, who could rewrite the ledger: keep it in a folder of your own";
    }
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        if (fileFacts(path + suffix).othersOwn) {
            return given + ": " + path + suffix + " belongs to another user: the ledger is not used";
        }
    }
    return std::nullopt;
}

SqliteSerialLedger::~SqliteSerialLedger() { sqlite3_close(db_); }

std::string SqliteSerialLedger::failure(int code) const {
    const char* why = cause(code);
    const std::string detail = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    if (why == nullptr) return given_ + ": " + detail;
    return given_ + ": " + why + " (" + detail + ")";
}

bool SqliteSerialLedger::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    const int r = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (r == SQLITE_OK) return true;
    error = failure(sqlite3_extended_errcode(db_));
    return false;
}

std::unique_ptr<SqliteSerialLedger> SqliteSerialLedger::open(const std::string& given, LedgerUse use,
                                                             std::string& error) {
    // The real file: its journal is named after the name it is opened by.
    const std::string path = realPath(given);
    if (const auto unsafe = unsafeLedgerFiles(given, path)) return error = *unsafe, nullptr;
    const FileFacts facts = fileFacts(path);
    if (!facts.exists) {
        if (use != LedgerUse::Init) {
            return error = given + ": no such ledger: make one with 'corvexlink-cli ledger init " + given + "'",
                   nullptr;
        }
        return makeLedger(given, path, false, error) ? openMade(given, path, use, error) : nullptr;
    }
    if (!facts.regular) return error = given + ": not a regular file", nullptr;
    if (facts.names > 1) {
        return error = given + ": the ledger has more than one name (a hard link): use one file of one name", nullptr;
    }
    if (use != LedgerUse::Read && !facts.readWrite) return error = given + ": cannot be read and written", nullptr;
    const std::string head = firstBytes(path, 32);
    if (head.rfind(kTextLedgerHeading, 0) == 0) {
        return error = given + ": a text ledger of an older version: convert it with 'corvexlink-cli ledger import " +
                       given + " NEW.db' and give NEW.db",
               nullptr;
    }
    const Completeness made = completeness(given, path, head, error);
    if (made == Completeness::Unknown) return nullptr;
    if (made == Completeness::Foreign) return error = given + ": not a serial-number ledger", nullptr;
    if (made == Completeness::Half) {
        if (use != LedgerUse::Init) {
            return error = given +
                           ": a ledger whose making was cut short (it holds no numbers): 'corvexlink-cli ledger "
                           "init " +
                           given + "' finishes it",
                   nullptr;
        }
        if (!makeLedger(given, path, true, error)) return nullptr;
    }
    return openMade(given, path, use, error);
}

std::unique_ptr<SqliteSerialLedger> SqliteSerialLedger::openMade(const std::string& given, const std::string& path,
                                                                 LedgerUse use, std::string& error) {
    sqlite3* db = nullptr;
    const int flags = (use == LedgerUse::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<SqliteSerialLedger> ledger(new SqliteSerialLedger(db, path, given));
    if (opened != SQLITE_OK) return error = ledger->failure(opened), nullptr;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Ours only when it says so; another database is left as it was.
    std::string schema;
    {
        Statement version(db, "SELECT value FROM corvexlink_ledger WHERE key = 'schema_version'");
        const int step = version.ok() ? version.step() : sqlite3_extended_errcode(db);
        if (step == SQLITE_DONE) return error = given + ": not a serial-number ledger (no schema version)", nullptr;
        if (step != SQLITE_ROW) return error = ledger->failure(step), nullptr;
        schema = version.text(0);
    }
    if (schema != kSchemaVersion)
        return error = given + ": a ledger of schema " + schema + ", not " + kSchemaVersion, nullptr;
    if (use == LedgerUse::Read) return ledger;
    // A ledger made by this version is in WAL mode from its making: switching
    // needs every other station's lock, and two stations switching at once
    // would each wait for the other (SQLite then answers "busy" at once).
    std::string mode;
    {
        Statement journal(db, "PRAGMA journal_mode");
        if (journal.step() == SQLITE_ROW) mode = journal.text(0);
    }
    if (mode != "wal" && !ledger->exec("PRAGMA journal_mode=WAL;", error)) return nullptr;
    if (!ledger->exec("PRAGMA synchronous=FULL;", error)) return nullptr;
    return ledger;
}

SqliteSerialLedger::Completeness SqliteSerialLedger::completeness(const std::string& given, const std::string& path,
                                                                  const std::string& head, std::string& error) {
    // What a creation cut short leaves before SQLite wrote its header: nothing, or zeros.
    if (head.find_first_not_of('\0') == std::string::npos && fileFacts(path).size <= kMaxHalfMadeBytes)
        return Completeness::Half;
    if (head.size() < 16 || std::memcmp(head.data(), "SQLite format 3", 16) != 0) return Completeness::Foreign;
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<SqliteSerialLedger> probe(new SqliteSerialLedger(db, path, given));
    if (opened != SQLITE_OK) return error = probe->failure(opened), Completeness::Unknown;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    Statement tables(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
    bool keys = false, numbers = false, others = false;
    int r = 0;
    while ((r = tables.step()) == SQLITE_ROW) {
        const std::string name = tables.text(0);
        keys = keys || name == "corvexlink_ledger";
        numbers = numbers || name == "serial_numbers";
        others = others || (name != "corvexlink_ledger" && name != "serial_numbers");
    }
    if (r != SQLITE_DONE) return error = probe->failure(r), Completeness::Unknown;
    if (others) return Completeness::Foreign;
    if (keys && numbers) return Completeness::Whole;
    if (numbers) {
        Statement count(db, "SELECT count(*) FROM serial_numbers");
        if (count.step() != SQLITE_ROW || count.integer(0) != 0) return Completeness::Foreign;
    }
    return Completeness::Half;
}

bool SqliteSerialLedger::makeLedger(const std::string& given, const std::string& path, bool replace,
                                    std::string& error) {
    // Made whole under a name of its own, then put in place in one step: no
    // station ever sees a ledger without its tables.
    const std::string temp = path + ".new-" + std::to_string(randomTag());
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE, nullptr);
    std::unique_ptr<SqliteSerialLedger> fresh(new SqliteSerialLedger(db, temp, given));
    bool made = opened == SQLITE_OK;
    if (!made) error = fresh->failure(opened);
    made = made && fresh->exec(
                       "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; BEGIN;"
                       "CREATE TABLE corvexlink_ledger (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                       "INSERT INTO corvexlink_ledger VALUES ('schema_version', '1'), ('next', '0');"
                       "CREATE TABLE serial_numbers (series TEXT NOT NULL, number INTEGER NOT NULL,"
                       " state TEXT NOT NULL, board TEXT NOT NULL, time TEXT NOT NULL,"
                       " PRIMARY KEY (series, number));"
                       "COMMIT; PRAGMA journal_mode=WAL;",
                       error);
    fresh.reset();  // closed before it moves: its WAL is written back and removed
    bool exists = false;
    std::string moveError;
    if (made && moveFile(temp, path, replace, exists, moveError)) return true;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) removeFile(temp + suffix);
    if (exists) return true;  // another station made it meanwhile: that one is used
    if (made) error = given + ": cannot be made: " + moveError;
    return false;
}

std::optional<std::uint64_t> SqliteSerialLedger::nextNumber(std::string& error) {
    Statement highest(db_, "SELECT max(number) FROM serial_numbers WHERE series = ?1");
    highest.bind(1, std::string(kLedgerSeries));
    Statement floor(db_, "SELECT value FROM corvexlink_ledger WHERE key = 'next'");
    if (highest.step() != SQLITE_ROW || floor.step() != SQLITE_ROW)
        return error = failure(sqlite3_extended_errcode(db_)), std::nullopt;
    std::uint64_t floorValue = 0;
    const std::string floorText = floor.text(0);
    std::from_chars(floorText.data(), floorText.data() + floorText.size(), floorValue);
    const auto issued =
        highest.isNull(0) ? std::nullopt : std::optional(static_cast<std::uint64_t>(highest.integer(0)));
    return firstNumber(issued, floorValue, error);
}

std::optional<std::vector<std::uint64_t>> SqliteSerialLedger::take(const std::vector<std::string>& pods,
                                                                   std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = failure(sqlite3_extended_errcode(db_)), std::nullopt;
    const auto first = nextNumber(error);
    if (!first) return std::nullopt;
    std::uint64_t next = *first;
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
        if (insert.step() != SQLITE_DONE) return error = failure(sqlite3_extended_errcode(db_)), std::nullopt;
        insert.reset();
        numbers.push_back(next++);
    }
    Statement advance(db_, "UPDATE corvexlink_ledger SET value = ?1 WHERE key = 'next'");
    advance.bind(1, std::to_string(next));
    if (advance.step() != SQLITE_DONE || !t.commit())
        return error = failure(sqlite3_extended_errcode(db_)), std::nullopt;
    start_.reset();
    return numbers;
}

bool SqliteSerialLedger::record(const std::vector<SerialIssue>& outcomes, std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = failure(sqlite3_extended_errcode(db_)), false;
    const std::string now = utcTimestamp();
    Statement update(db_, "UPDATE serial_numbers SET state = ?1, time = ?2 WHERE series = ?3 AND number = ?4");
    for (const SerialIssue& o : outcomes) {
        update.bind(1, ledgerState(o.outcome))
            .bind(2, now)
            .bind(3, std::string(kLedgerSeries))
            .bind(4, static_cast<std::int64_t>(o.number));
        if (update.step() != SQLITE_DONE) return error = failure(sqlite3_extended_errcode(db_)), false;
        update.reset();
    }
    if (!t.commit()) return error = failure(sqlite3_extended_errcode(db_)), false;
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
    if (r != SQLITE_DONE) return error = failure(sqlite3_extended_errcode(db_)), std::nullopt;
    return entries;
}

bool SqliteSerialLedger::startAt(std::uint64_t first, std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = failure(sqlite3_extended_errcode(db_)), false;
    start_ = first;
    const auto next = nextNumber(error);
    start_.reset();
    if (!next) return false;
    Statement advance(db_, "UPDATE corvexlink_ledger SET value = ?1 WHERE key = 'next'");
    advance.bind(1, std::to_string(first));
    if (advance.step() != SQLITE_DONE || !t.commit()) return error = failure(sqlite3_extended_errcode(db_)), false;
    return true;
}

bool SqliteSerialLedger::add(const std::vector<LedgerEntry>& entries, std::uint64_t next, std::string& error) {
    bool begun = false;
    Transaction t(db_, begun);
    if (!begun) return error = failure(sqlite3_extended_errcode(db_)), false;
    Statement insert(db_,
                     "INSERT INTO serial_numbers (series, number, state, board, time) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (const LedgerEntry& e : entries) {
        insert.bind(1, std::string(kLedgerSeries))
            .bind(2, static_cast<std::int64_t>(e.number))
            .bind(3, e.state)
            .bind(4, e.board)
            .bind(5, e.time);
        if (insert.step() != SQLITE_DONE) return error = failure(sqlite3_extended_errcode(db_)), false;
        insert.reset();
    }
    Statement advance(db_, "UPDATE corvexlink_ledger SET value = ?1 WHERE key = 'next'");
    advance.bind(1, std::to_string(next));
    if (advance.step() != SQLITE_DONE || !t.commit()) return error = failure(sqlite3_extended_errcode(db_)), false;
    return true;
}

}  // namespace cvl
