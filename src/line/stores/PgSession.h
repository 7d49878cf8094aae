#pragma once
// One connection to the PostgreSQL database a line of stations shares, named
// by a connection URI (postgresql://... or postgres://...). Passwords come
// from libpq's own places (the password file, PGPASSWORD), never from the
// URI, and no message ever shows more of the URI than user, host and
// database. On connecting, the tables are made when missing and whatever an
// earlier run could not store (the spool, a local file of JSON lines) is
// stored first.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"

struct pg_conn;

namespace cvl {

class PgSpool;

class PgSession {
public:
    using Value = std::optional<std::string>;  // nothing is NULL
    using Row = std::vector<Value>;

    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // Connects, makes the tables and stores the spool; nothing, with error
    // set, when the server cannot be reached or refuses, the URI holds a
    // password, or the database holds tables of the same names not ours.
    // create: make the tables when missing; else a database without them is refused.
    static std::unique_ptr<PgSession> connect(const std::string& uri, bool create, std::string& error);

    // The database as messages name it: postgresql://user@host:port/name.
    const std::string& name() const { return name_; }

    // Runs body in one transaction. A connection lost on the way is made
    // again once and body run again, so body must be safe to repeat.
    bool transaction(const std::function<bool(std::string&)>& body, std::string& error);
    // One statement with text parameters; its rows, or nothing with error set.
    std::optional<std::vector<Row>> run(const char* sql, const std::vector<Value>& params, std::string& error);

    // Keeps lines the database could not take for the next run; error names
    // the spool either way.
    bool spool(const std::vector<std::string>& lines, std::string& error);

private:
    explicit PgSession(pg_conn* conn);
    bool lost() const;
    // Closes a connection that did not answer within its limit; the rest of
    // the run goes to the spool.
    void giveUp();

    // How long one statement, and one record in all, may wait for the server.
    static constexpr std::uint32_t kStatementLimitMs = 15000;
    static constexpr std::uint32_t kRecordLimitMs = 20000;

    pg_conn* conn_;
    SteadyClock clock_;
    std::optional<std::uint32_t> recordStartedMs_;  // while a transaction runs
    bool unreachable_ = false;
    std::string name_;
    std::unique_ptr<PgSpool> spool_;
};

}  // namespace cvl
