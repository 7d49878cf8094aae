#pragma once
// The ledger and the log a user names: a file, or a PostgreSQL database
// (postgresql://... or postgres://...) that a line of stations shares.

#include <memory>
#include <string>

#include "line/BoardLog.h"
#include "line/SerialLedger.h"

namespace cvl {

// A ledger, made when missing (create) or only one that exists; nothing,
// with error set, when it cannot be had.
std::unique_ptr<SerialLedger> openSerialLedger(const std::string& where, bool create, std::string& error);
// A board log: a file of JSON lines, or a database's board_log table.
std::unique_ptr<BoardLog> openBoardLog(const std::string& where, std::string& error);

}  // namespace cvl
