#include "line/LineStores.h"

#include "line/JsonLinesLog.h"
#include "line/PgBoardLog.h"
#include "line/PgSerialLedger.h"
#include "line/SqliteSerialLedger.h"

namespace cvl {

std::unique_ptr<SerialLedger> openSerialLedger(const std::string& where, bool create, std::string& error) {
    // A database's tables are made on connecting, as the stations share them.
    if (isDatabaseUri(where)) return PgSerialLedger::open(where, error);
    return create ? SqliteSerialLedger::open(where, error) : SqliteSerialLedger::openExisting(where, error);
}

std::unique_ptr<BoardLog> openBoardLog(const std::string& where, std::string& error) {
    if (isDatabaseUri(where)) return PgBoardLog::open(where, error);
    auto log = std::make_unique<JsonLinesLog>();
    if (!log->open(where, error)) return nullptr;
    return log;
}

}  // namespace cvl
