#include "line/stores/PgSpool.h"

#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/Crc32.h"
#include "common/JsonText.h"
#include "line/SerialLedger.h"
#include "platform/Files.h"
#include "platform/Host.h"

namespace cvl {

namespace {

// The spool's folder in the user's state folder (made only once a record is kept there).
std::string spoolFolder() {
    const std::string base = userStateFolder();
    return base.empty() ? "" : inFolder(base, "corvexlink");
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

PgSpool::PgSpool(const std::string& database) : folder_(spoolFolder()) {
    if (!folder_.empty()) path_ = inFolder(folder_, spoolName(database));
}

bool PgSpool::keep(const std::vector<std::string>& lines, std::string& error) {
    const std::string reason = error;
    std::string opened;
    if (path_.empty()) return error = reason + "; the records could not be kept either (no state folder)", false;
    if (!file_.isOpen() && !makePrivateFolders(folder_)) {
        error = reason + "; the records could not be kept either (the folder " + folder_ + " cannot be made)";
        return false;
    }
    if (!file_.isOpen() && !file_.open(path_, opened)) {
        error = reason + "; the records could not be kept either (" + opened + ")";
        return false;
    }
    std::string text;  // the lines at once: whole, and synced once
    for (const std::string& line : lines) text += line + "\n";
    if (!file_.append(text, opened)) {
        error = reason + "; the records could not be kept either (" + path_ + ": " + opened + ")";
        return false;
    }
    error = reason + "; the records are kept in " + path_ + " and the next run stores them";
    return true;
}

bool PgSpool::storeInto(PgSession& session, std::string& error) {
    if (path_.empty() || !fileExists(path_)) return true;  // nothing kept
    if (!file_.open(path_, error)) return false;
    std::string why;
    const bool stored = file_.drain(
        [&](const std::vector<std::string>& lines, std::string& e) {
            return session.transaction(
                [&](std::string& te) {
                    for (const std::string& line : lines) {
                        if (!storeSpoolLine(session, line, te)) return false;
                    }
                    return true;
                },
                e);
        },
        why);
    if (!stored) error = "the records an earlier run kept in " + path_ + " could not be stored: " + why;
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
