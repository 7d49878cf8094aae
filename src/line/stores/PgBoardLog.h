#pragma once
// Board records in a PostgreSQL database's board_log table, one row a board.
// A record the database cannot take is kept in the session's spool, and the
// next run stores it; a record is stored once, however often it is sent.

#include <memory>

#include "line/BoardLog.h"
#include "line/stores/PgSession.h"

namespace cvl {

class PgBoardLog : public BoardLog {
public:
    // Nothing, with error set, when the database cannot be reached or is not ours.
    static std::unique_ptr<PgBoardLog> open(const std::string& uri, std::string& error);
    // On a connection the ledger already holds: one database, one connection,
    // so a server that stops answering is waited for once.
    static std::unique_ptr<PgBoardLog> on(std::shared_ptr<PgSession> session);
    bool append(const BoardRecord& board, std::string& error) override;

private:
    explicit PgBoardLog(std::shared_ptr<PgSession> session) : session_(std::move(session)) {}
    std::shared_ptr<PgSession> session_;
};

}  // namespace cvl
