#pragma once
// The serial-number ledger of a line of stations, in a PostgreSQL database.
// A number is taken in one transaction holding the series' row lock, so
// stations at once never get the same number. When the database cannot take
// a number's outcome, it is kept in the session's spool for the next run.

#include <memory>

#include "line/stores/PgSession.h"
#include "line/SerialLedger.h"

namespace cvl {

class PgSerialLedger : public SerialLedger {
public:
    // Nothing, with error set, when the database cannot be reached or is not ours.
    // create: make the tables when missing (else a database without them is refused).
    static std::unique_ptr<PgSerialLedger> open(const std::string& uri, bool create, std::string& error);

    std::optional<std::vector<std::uint64_t>> take(const std::vector<std::string>& pods, std::string& error) override;
    bool record(const std::vector<SerialIssue>& outcomes, std::string& error) override;
    std::optional<std::vector<LedgerEntry>> list(std::string& error) override;
    // The URI it was opened with and its connection, for a board log on the same database.
    const std::string& uri() const { return uri_; }
    std::shared_ptr<PgSession> session() const { return session_; }
    bool startAt(std::uint64_t first, std::string& error) override;

private:
    PgSerialLedger(std::shared_ptr<PgSession> session, std::string uri)
        : session_(std::move(session)), uri_(std::move(uri)) {}
    std::shared_ptr<PgSession> session_;
    std::string uri_;
};

}  // namespace cvl
