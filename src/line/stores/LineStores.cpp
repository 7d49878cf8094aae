#include "line/stores/LineStores.h"

#include "line/stores/JsonLinesLog.h"
#include "platform/Files.h"
#if defined(CORVEXLINK_LINE_DATABASES)
#include "line/stores/PgBoardLog.h"
#include "line/stores/PgSerialLedger.h"
#include "line/stores/SqliteSerialLedger.h"
#include "line/stores/TextLedger.h"
#endif

namespace cvl {

bool isDatabaseUri(const std::string& text) {
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

#if defined(CORVEXLINK_LINE_DATABASES)
std::unique_ptr<SerialLedger> openSerialLedger(const std::string& where, LedgerUse use, std::string& error) {
    if (isDatabaseUri(where)) return PgSerialLedger::open(where, use != LedgerUse::Read, error);
    return SqliteSerialLedger::open(where, use, error);
}

std::optional<std::size_t> importTextLedger(const std::string& from, const std::string& to, std::string& error) {
    const auto old = readTextLedger(from, error);
    if (!old) return std::nullopt;
    if (fileExists(to)) return error = to + ": exists already: give a new file", std::nullopt;
    const auto ledger = SqliteSerialLedger::open(to, LedgerUse::Init, error);
    if (!ledger || !ledger->add(old->entries, old->next, error)) {
        removeFile(to);
        return std::nullopt;
    }
    return old->entries.size();
}
#else
const char* const kNoLedgers = "this build keeps no serial-number ledger (built without SQLite and PostgreSQL)";

std::unique_ptr<SerialLedger> openSerialLedger(const std::string&, LedgerUse, std::string& error) {
    error = kNoLedgers;
    return nullptr;
}

std::optional<std::size_t> importTextLedger(const std::string&, const std::string&, std::string& error) {
    error = kNoLedgers;
    return std::nullopt;
}
#endif

std::unique_ptr<BoardLog> openBoardLog(const std::string& where, std::string& error,
                                       [[maybe_unused]] const SerialLedger* ledger) {
#if defined(CORVEXLINK_LINE_DATABASES)
    if (const auto* pg = dynamic_cast<const PgSerialLedger*>(ledger); pg != nullptr && pg->uri() == where)
        return PgBoardLog::on(pg->session());
    if (isDatabaseUri(where)) return PgBoardLog::open(where, error);
#else
    if (isDatabaseUri(where)) {
        error = "this build keeps no board log in a database (built without PostgreSQL)";
        return nullptr;
    }
#endif
    auto log = std::make_unique<JsonLinesLog>();
    if (!log->open(where, error)) return nullptr;
    return log;
}

}  // namespace cvl
