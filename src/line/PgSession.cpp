#include "line/PgSession.h"

#include <libpq-fe.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "common/Crc32.h"
#include "common/JsonText.h"
#include "common/Text.h"
#include "line/SerialLedger.h"
#include "platform/Files.h"
#include "platform/Host.h"

namespace cvl {

namespace {

constexpr const char* kSchemaVersion = "1";
// Taken while the tables are made, so stations starting at once make them once.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7461390215)";

const char* const kSchema =
    "CREATE TABLE corvexlink_schema (version integer NOT NULL);"
    "INSERT INTO corvexlink_schema VALUES (1);"
    "CREATE TABLE serial_series (series text PRIMARY KEY, next_number bigint NOT NULL);"
    "CREATE TABLE serial_numbers (series text NOT NULL, number bigint NOT NULL,"
    " state text NOT NULL CHECK (state IN ('issued', 'used', 'failed')), board text NOT NULL,"
    " time timestamptz NOT NULL, PRIMARY KEY (series, number));"
    "CREATE TABLE board_log (record_id text PRIMARY KEY, time timestamptz NOT NULL, host text NOT NULL,"
    " pod text NOT NULL, backend text NOT NULL, device text NOT NULL, command text NOT NULL,"
    " program text NOT NULL, sha256 text NOT NULL, flash_crc32 bigint NOT NULL, erase_mask integer NOT NULL,"
    " serial_number bigint, result text NOT NULL, message text NOT NULL, boot_ms double precision,"
    " algorithm_ms double precision, flash_init_ms double precision, erase_ms double precision,"
    " program_ms double precision, reset_ms double precision, total_ms double precision NOT NULL);"
    "CREATE INDEX board_log_time ON board_log (time);";

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

// The spool's folder in the user's state folder (made only once a record is kept there).
std::string spoolFolder() {
    const std::string base = userStateFolder();
    return base.empty() ? "" : base + "/corvexlink";
}

// One spool per database: its name from the server, port, database and user.
std::string spoolName(const std::string& identity) {
    std::string name;
    for (char c : identity) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    if (name.size() > 80) name.resize(80);
    const auto crc = crc32(reinterpret_cast<const std::uint8_t*>(identity.data()), identity.size());
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%08x", crc);
    return "spool-" + name + tail + ".jsonl";
}

std::string text(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

PgSession::Value number(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return std::nullopt;
    return it->dump();
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
        error = "the database URI holds a password: keep it in ~/.pgpass or PGPASSWORD, never on the command line";
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
        return nullptr;
    }
    if (PQsetClientEncoding(conn, "UTF8") != 0) {
        error = session->name_ + ": " + firstLine(PQerrorMessage(conn));
        return nullptr;
    }
    session->spoolFolder_ = spoolFolder();
    if (!session->spoolFolder_.empty()) session->spoolPath_ = session->spoolFolder_ + "/" + spoolName(session->name_);
    if (!session->makeSchema(create, error) || !session->storeSpool(error)) return nullptr;
    return session;
}

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

bool PgSession::makeSchema(bool create, std::string& error) {
    return transaction(
        [&](std::string& e) {
            const auto found = run(kSchemaLock, {}, e) ? run("SELECT to_regclass('corvexlink_schema') IS NOT NULL,"
                                                             " to_regclass('serial_numbers') IS NOT NULL OR"
                                                             " to_regclass('serial_series') IS NOT NULL OR"
                                                             " to_regclass('board_log') IS NOT NULL",
                                                             {}, e)
                                                       : std::nullopt;
            if (!found) return false;
            if (found->front()[0] == "t") {
                const auto version = run("SELECT max(version)::text FROM corvexlink_schema", {}, e);
                if (!version) return false;
                if (version->front()[0] != kSchemaVersion) {
                    e = name_ + ": tables of schema version " + version->front()[0].value_or("none") + ", not " +
                        kSchemaVersion;
                    return false;
                }
                return true;
            }
            if (found->front()[1] == "t") {
                e = name_ + ": holds tables serial_numbers, serial_series or board_log that are not Corvexlink's";
                return false;
            }
            if (!create) {
                e = name_ + ": holds no ledger ('corvexlink-cli ledger init' makes one)";
                return false;
            }
            return run(kSchema, {}, e).has_value();
        },
        error);
}

bool PgSession::spool(const std::vector<std::string>& lines, std::string& error) {
    const std::string reason = error;
    std::string opened;
    if (spoolPath_.empty()) return error = reason + "; the records could not be kept either (no state folder)", false;
    if (!spool_.isOpen() && !makePrivateFolders(spoolFolder_)) {
        error = reason + "; the records could not be kept either (the folder " + spoolFolder_ + " cannot be made)";
        return false;
    }
    if (!spool_.isOpen() && !spool_.open(spoolPath_, opened)) {
        error = reason + "; the records could not be kept either (" + opened + ")";
        return false;
    }
    std::string text;  // the lines at once: whole, and synced once
    for (const std::string& line : lines) text += line + "\n";
    if (!spool_.append(text, opened)) {
        error = reason + "; the records could not be kept either (" + spoolPath_ + ": " + opened + ")";
        return false;
    }
    error = reason + "; the records are kept in " + spoolPath_ + " and the next run stores them";
    return true;
}

bool PgSession::storeSpool(std::string& error) {
    if (spoolPath_.empty() || !fileExists(spoolPath_)) return true;  // nothing kept
    if (!spool_.open(spoolPath_, error)) return false;
    std::string why;
    const bool stored = spool_.drain(
        [&](const std::vector<std::string>& lines, std::string& e) {
            return transaction(
                [&](std::string& te) {
                    for (const std::string& line : lines) {
                        if (!storeSpoolLine(*this, line, te)) return false;
                    }
                    return true;
                },
                e);
        },
        why);
    if (!stored) error = "the records an earlier run kept in " + spoolPath_ + " could not be stored: " + why;
    return stored;
}

std::string spoolBoardLine(const std::string& recordId, const std::string& boardLogLine) {
    nlohmann::ordered_json j = {{"kind", "board"}, {"recordId", recordId}};
    j["record"] = nlohmann::ordered_json::parse(boardLogLine, nullptr, false);
    return jsonText(j);
}

std::string spoolSerialLine(std::uint64_t number, const std::string& state, const std::string& board,
                            const std::string& time) {
    nlohmann::ordered_json j = {{"kind", "serial"}, {"series", kLedgerSeries}, {"number", number}, {"state", state}};
    putText(j, "board", board);
    j["time"] = time;
    return jsonText(j);
}

bool storeSpoolLine(PgSession& session, const std::string& line, std::string& error) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_object() && text(j, "kind") == "serial" && number(j, "number")) {
        return session
            .run(
                "UPDATE serial_numbers SET state = $1, board = $2, time = COALESCE(NULLIF($3, '')::timestamptz, now())"
                " WHERE series = $4 AND number = $5",
                {text(j, "state"), text(j, "board"), text(j, "time"), text(j, "series"), number(j, "number")}, error)
            .has_value();
    }
    if (j.is_object() && text(j, "kind") == "board" && j.contains("record") && j["record"].is_object()) {
        const nlohmann::json& r = j["record"];
        const nlohmann::json phases = r.contains("phasesMs") ? r["phasesMs"] : nlohmann::json::object();
        return session
            .run(
                "INSERT INTO board_log (record_id, time, host, pod, backend, device, command, program, sha256,"
                " flash_crc32, erase_mask, serial_number, result, message, boot_ms, algorithm_ms, flash_init_ms,"
                " erase_ms, program_ms, reset_ms, total_ms) VALUES ($1, COALESCE(NULLIF($2, '')::timestamptz, now()), "
                "$3, $4, $5, $6, $7, $8, $9, $10,"
                " $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, $21) ON CONFLICT (record_id) DO NOTHING",
                {text(j, "recordId"),
                 text(r, "time"),
                 text(r, "host"),
                 text(r, "podSerialNumber"),
                 text(r, "backend"),
                 text(r, "device"),
                 text(r, "command"),
                 text(r, "program"),
                 text(r, "programSha256"),
                 number(r, "flashCrc32").value_or("0"),
                 number(r, "eraseMask").value_or("0"),
                 number(r, "serialNumber"),
                 text(r, "result"),
                 text(r, "message"),
                 number(phases, "boot"),
                 number(phases, "algorithm"),
                 number(phases, "flashInit"),
                 number(phases, "erase"),
                 number(phases, "program"),
                 number(phases, "reset"),
                 number(r, "totalMs").value_or("0")},
                error)
            .has_value();
    }
    error = "a damaged spool line: " + line.substr(0, 80);
    return false;
}

}  // namespace cvl
