#pragma once
// The ledger and the log a user names: a file, or a PostgreSQL database
// (postgresql://... or postgres://...) that a line of stations shares.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "line/BoardLog.h"
#include "line/SerialLedger.h"

namespace cvl {

// Whether text names a PostgreSQL database rather than a file.
bool isDatabaseUri(const std::string& text);

// A ledger for its use: a SQLite file (made only by Init) or a database
// (its tables made when missing, but for Read); nothing, with error set,
// when it cannot be had.
std::unique_ptr<SerialLedger> openSerialLedger(const std::string& where, LedgerUse use, std::string& error);
// A board log: a file of JSON lines, or a database's board_log table (on
// the ledger's connection when the ledger is in the same database).
std::unique_ptr<BoardLog> openBoardLog(const std::string& where, std::string& error,
                                       const SerialLedger* ledger = nullptr);
// Converts a text ledger of an older version (from, left as it was) into a
// new SQLite ledger to; the count of numbers carried over, or nothing with
// error set (to is then not left behind).
std::optional<std::size_t> importTextLedger(const std::string& from, const std::string& to, std::string& error);

}  // namespace cvl
