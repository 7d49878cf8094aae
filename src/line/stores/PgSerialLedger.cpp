#include "line/stores/PgSerialLedger.h"

#include "line/stores/PgSpool.h"

#include <charconv>

#include "common/Clock.h"
#include "common/Text.h"

namespace cvl {

namespace {

std::uint64_t toNumber(const PgSession::Value& v) {
    std::uint64_t n = 0;
    if (v) std::from_chars(v->data(), v->data() + v->size(), n);
    return n;
}

}  // namespace

std::unique_ptr<PgSerialLedger> PgSerialLedger::open(const std::string& uri, bool create, std::string& error) {
    auto session = PgSession::connect(uri, create, error);
    if (!session) return nullptr;
    return std::unique_ptr<PgSerialLedger>(new PgSerialLedger(std::move(session), uri));
}

std::optional<std::vector<std::uint64_t>> PgSerialLedger::take(const std::vector<std::string>& pods,
                                                               std::string& error) {
    const std::string series = kLedgerSeries;
    std::vector<std::uint64_t> numbers;
    const auto body = [&](std::string& e) {
        numbers.clear();
        PgSession& db = *session_;
        // The series' row, locked until the commit: the next station waits here.
        if (!db.run("INSERT INTO serial_series (series, next_number) VALUES ($1, 0) ON CONFLICT DO NOTHING", {series},
                    e))
            return false;
        const auto locked =
            db.run("SELECT next_number::text FROM serial_series WHERE series = $1 FOR UPDATE", {series}, e);
        const auto highest = locked
                                 ? db.run("SELECT max(number)::text FROM serial_numbers WHERE series = $1", {series}, e)
                                 : std::nullopt;
        if (!highest || locked->empty()) return false;
        const PgSession::Value& top = highest->front()[0];
        const auto first =
            firstNumber(top ? std::optional(toNumber(top)) : std::nullopt, toNumber(locked->front()[0]), e);
        if (!first) return false;
        std::uint64_t next = *first;
        if (!fits(next, pods.size())) {
            e = "the serial numbers would pass " + std::to_string(max_);
            return false;
        }
        const std::string now = utcTimestamp();
        for (const std::string& pod : pods) {
            // The database takes only UTF-8: a pod's name of other bytes is stored escaped.
            if (!db.run("INSERT INTO serial_numbers (series, number, state, board, time)"
                        " VALUES ($1, $2, 'issued', $3, $4)",
                        {series, std::to_string(next), escapeBytes(pod), now}, e))
                return false;
            numbers.push_back(next++);
        }
        return db.run("UPDATE serial_series SET next_number = $2 WHERE series = $1", {series, std::to_string(next)}, e)
            .has_value();
    };
    if (!session_->transaction(body, error)) return std::nullopt;
    start_.reset();
    return numbers;
}

bool PgSerialLedger::record(const std::vector<SerialIssue>& outcomes, std::string& error) {
    const std::string now = utcTimestamp();
    std::vector<std::string> lines;
    for (const SerialIssue& o : outcomes)
        lines.push_back(spoolSerialLine(o.number, ledgerState(o.outcome), escapeBytes(o.pod), now));
    const auto body = [&](std::string& e) {
        for (const std::string& line : lines) {
            if (!storeSpoolLine(*session_, line, e)) return false;
        }
        return true;
    };
    if (session_->transaction(body, error)) return true;
    session_->spool(lines, error);
    return false;
}

bool PgSerialLedger::startAt(std::uint64_t first, std::string& error) {
    const std::string series = kLedgerSeries;
    return session_->transaction(
        [&](std::string& e) {
            PgSession& db = *session_;
            if (!db.run("INSERT INTO serial_series (series, next_number) VALUES ($1, 0) ON CONFLICT DO NOTHING",
                        {series}, e))
                return false;
            const auto locked =
                db.run("SELECT next_number::text FROM serial_series WHERE series = $1 FOR UPDATE", {series}, e);
            const auto highest =
                locked ? db.run("SELECT max(number)::text FROM serial_numbers WHERE series = $1", {series}, e)
                       : std::nullopt;
            if (!highest || locked->empty()) return false;
            const PgSession::Value& top = highest->front()[0];
            start_ = first;
            const auto next =
                firstNumber(top ? std::optional(toNumber(top)) : std::nullopt, toNumber(locked->front()[0]), e);
            start_.reset();
            return next && db.run("UPDATE serial_series SET next_number = $2 WHERE series = $1",
                                  {series, std::to_string(first)}, e)
                               .has_value();
        },
        error);
}

std::optional<std::vector<LedgerEntry>> PgSerialLedger::list(std::string& error) {
    const auto rows = session_->run(
        "SELECT number::text, state, board, to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')"
        " FROM serial_numbers WHERE series = $1 ORDER BY number",
        {std::string(kLedgerSeries)}, error);
    if (!rows) return std::nullopt;
    std::vector<LedgerEntry> entries;
    for (const PgSession::Row& r : *rows) {
        entries.push_back({toNumber(r[0]), r[1].value_or(""), r[2].value_or(""), r[3].value_or("")});
    }
    return entries;
}

}  // namespace cvl
