#include "line/stores/PgSchema.h"

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

}  // namespace

bool makeSchema(PgSession& session, bool create, std::string& error) {
    return session.transaction(
        [&](std::string& e) {
            const auto found = session.run(kSchemaLock, {}, e)
                                   ? session.run(
                                         "SELECT to_regclass('corvexlink_schema') IS NOT NULL,"
                                         " to_regclass('serial_numbers') IS NOT NULL OR"
                                         " to_regclass('serial_series') IS NOT NULL OR"
                                         " to_regclass('board_log') IS NOT NULL",
                                         {}, e)
                                   : std::nullopt;
            if (!found) return false;
            if (found->front()[0] == "t") {
                const auto version = session.run("SELECT max(version)::text FROM corvexlink_schema", {}, e);
                if (!version) return false;
                if (version->front()[0] != kSchemaVersion) {
                    e = session.name() + ": tables of schema version " + version->front()[0].value_or("none") +
                        ", not " + kSchemaVersion;
                    return false;
                }
                return true;
            }
            if (found->front()[1] == "t") {
                e = session.name() +
                    ": holds tables serial_numbers, serial_series or board_log that are not Corvexlink's";
                return false;
            }
            if (!create) {
                e = session.name() + ": holds no ledger ('corvexlink-cli ledger init' makes one)";
                return false;
            }
            return session.run(kSchema, {}, e).has_value();
        },
        error);
}

}  // namespace cvl
