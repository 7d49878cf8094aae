#include "line/stores/PgSession.h"

#include <libpq-fe.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Text.h"
#include "line/stores/PgSchema.h"
#include "line/stores/PgSpool.h"
#include "platform/Host.h"

namespace cvl {

namespace {

// libpq's first line of a message.
std::string firstLine(const char* message) {
    const std::string text = message != nullptr ? message : "";
    return text.substr(0, text.find('\n'));
}

// The first line of a URI's parse error, with anything it quotes left out:
// a quoted part of the URI may hold a password.
std::string parseErrorLine(const char* message) {
    std::string text = firstLine(message);
    for (std::size_t open = 0; (open = text.find('"', open)) != std::string::npos;) {
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos) break;
        text.replace(open, close - open + 1, "\"…\"");
        open += 5;
    }
    return text;
}

// The sslmode a connection was refused for when this build's libpq has no
// TLS and the URI (or PGSSLMODE) demands it: libpq refuses such a connection
// itself, never falling back to plain text; the user is told why in plain words.
std::optional<std::string> tlsRequiredWithoutTls(pg_conn* conn) {
    if (conn == nullptr || PQsslAttribute(nullptr, "library") != nullptr) return std::nullopt;
    std::optional<std::string> mode;
    PQconninfoOption* used = PQconninfo(conn);
    for (const PQconninfoOption* o = used; o != nullptr && o->keyword != nullptr; ++o) {
        if (std::strcmp(o->keyword, "sslmode") != 0 || o->val == nullptr) continue;
        const std::string value = o->val;
        if (value == "require" || value == "verify-ca" || value == "verify-full") mode = value;
    }
    PQconninfoFree(used);
    return mode;
}

}  // namespace

PgSession::PgSession(pg_conn* conn) : conn_(conn) {}

PgSession::~PgSession() {
    if (conn_ != nullptr) PQfinish(conn_);
}

void PgSession::giveUp() {
    PQfinish(conn_);
    conn_ = nullptr;
    unreachable_ = true;
}

std::unique_ptr<PgSession> PgSession::connect(const std::string& uri, bool create, std::string& error) {
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &parseError);
    if (options == nullptr) {
        error = "the database URI is not valid: " + parseErrorLine(parseError);
        PQfreemem(parseError);
        return nullptr;
    }
    bool password = false;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr && o->val[0] != '\0') password = true;
    }
    PQconninfoFree(options);
    if (password) {
        error =
            "the database URI holds a password: keep it in PGPASSWORD or ~/.pgpass (on Windows "
            "%APPDATA%\\postgresql\\pgpass.conf), never on the command line";
        return nullptr;
    }
    // A server that does not answer is given up after 10 s; a connection that
    // goes quiet is probed (TCP keepalives) and dropped once unacknowledged
    // data waits 15 s; the server ends a statement after 10 s, a wait for a
    // lock after 10 s, and a transaction left idle (its station gone) after
    // 20 s, so the series' row lock is never held longer. Values in the URI
    // come last and win.
    const char* keys[] = {"connect_timeout",  "keepalives",
                          "keepalives_idle",  "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout",
                          "options",          "application_name",
                          "dbname",           nullptr};
    const char* values[] = {"10",
                            "1",
                            "5",
                            "2",
                            "3",
                            "15000",
                            "-c statement_timeout=10000 -c lock_timeout=10000 "
                            "-c idle_in_transaction_session_timeout=20000",
                            "corvexlink",
                            uri.c_str(),
                            nullptr};
    std::unique_ptr<PgSession> session(new PgSession(PQconnectdbParams(keys, values, 1)));
    pg_conn* conn = session->conn_;
    const auto part = [](const char* v) { return std::string(v != nullptr ? v : ""); };
    session->name_ = "postgresql://" + part(PQuser(conn)) + "@" + part(PQhost(conn)) + ":" + part(PQport(conn)) + "/" +
                     part(PQdb(conn));
    if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
        error = session->name_ + ": cannot connect: " + firstLine(PQerrorMessage(conn));
        if (const auto mode = tlsRequiredWithoutTls(conn)) {
            error = session->name_ + ": asks for TLS (sslmode=" + *mode +
                    "), but this build's PostgreSQL client is built without TLS and makes unencrypted "
                    "connections only: no connection was made";
        }
        return nullptr;
    }
    if (PQsetClientEncoding(conn, "UTF8") != 0) {
        error = session->name_ + ": " + firstLine(PQerrorMessage(conn));
        return nullptr;
    }
    session->spool_ = std::make_unique<PgSpool>(session->name_);
    if (!makeSchema(*session, create, error) || !session->spool_->storeInto(*session, error)) return nullptr;
    return session;
}

bool PgSession::spool(const std::vector<std::string>& lines, std::string& error) { return spool_->keep(lines, error); }

bool PgSession::lost() const { return conn_ == nullptr || PQstatus(conn_) == CONNECTION_BAD; }

std::optional<std::vector<PgSession::Row>> PgSession::run(const char* sql, const std::vector<Value>& params,
                                                          std::string& error) {
    if (conn_ == nullptr) return error = name_ + ": the connection was given up earlier in this run", std::nullopt;
    std::vector<const char*> values;
    for (const Value& v : params) values.push_back(v ? v->c_str() : nullptr);
    // Sent without waiting, then waited for within the limits: a server that
    // stopped answering (a stopped process, a network cut without a reset)
    // keeps its TCP connection open, and a blocking call would wait for ever.
    const int sent = values.empty() ? PQsendQuery(conn_, sql)
                                    : PQsendQueryParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                                        values.data(), nullptr, nullptr, 0);
    if (sent == 0) return error = name_ + ": " + firstLine(PQerrorMessage(conn_)), std::nullopt;
    const std::uint32_t started = clock_.nowMs();
    std::uint32_t limit = kStatementLimitMs;
    if (recordStartedMs_)
        limit = std::min(limit, kRecordLimitMs - std::min(kRecordLimitMs, started - *recordStartedMs_));
    for (;;) {
        if (PQconsumeInput(conn_) == 0) return error = name_ + ": " + firstLine(PQerrorMessage(conn_)), std::nullopt;
        if (PQisBusy(conn_) == 0) break;
        const std::uint32_t waited = clock_.nowMs() - started;
        if (waited >= limit) {
            error = name_ + ": the server did not answer within " + std::to_string((limit + 999) / 1000) +
                    " s: the connection is given up";
            giveUp();
            return std::nullopt;
        }
        waitReadable(PQsocket(conn_), limit - waited);
    }
    // The last result is the statement's (several statements sent at once give one each).
    PGresult* result = nullptr;
    for (PGresult* next; (next = PQgetResult(conn_)) != nullptr;) {
        PQclear(result);
        result = next;
    }
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        error = name_ + ": " + firstLine(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(conn_));
        PQclear(result);
        return std::nullopt;
    }
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(result)));
    for (int r = 0; r < PQntuples(result); ++r) {
        for (int c = 0; c < PQnfields(result); ++c) {
            rows[std::size_t(r)].push_back(PQgetisnull(result, r, c) ? Value{} : Value{PQgetvalue(result, r, c)});
        }
    }
    PQclear(result);
    return rows;
}

bool PgSession::transaction(const std::function<bool(std::string&)>& body, std::string& error) {
    // Once the server could not be reached again, the rest of the run goes
    // straight to the spool instead of waiting out a connection per record.
    if (unreachable_) return error = name_ + ": the connection was lost earlier in this run", false;
    // One record, however many statements, has one limit in all.
    recordStartedMs_ = clock_.nowMs();
    struct EndRecord {
        std::optional<std::uint32_t>& started;
        ~EndRecord() { started.reset(); }
    } endRecord{recordStartedMs_};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (run("BEGIN", {}, error) && body(error) && run("COMMIT", {}, error)) return true;
        if (conn_ == nullptr) return false;  // given up: no answer within the limit
        if (!lost()) {
            std::string ignored;
            run("ROLLBACK", {}, ignored);
            return false;
        }
        PQreset(conn_);
        if (PQstatus(conn_) != CONNECTION_OK) {
            unreachable_ = true;
            return false;
        }
    }
    return false;
}

}  // namespace cvl
