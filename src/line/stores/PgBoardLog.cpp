#include "line/stores/PgBoardLog.h"

#include "line/stores/PgSpool.h"

#include <random>

#include "common/Text.h"
#include "line/stores/JsonLinesLog.h"

namespace cvl {

std::unique_ptr<PgBoardLog> PgBoardLog::open(const std::string& uri, std::string& error) {
    auto session = PgSession::connect(uri, true, error);
    if (!session) return nullptr;
    return std::unique_ptr<PgBoardLog>(new PgBoardLog(std::move(session)));
}

std::unique_ptr<PgBoardLog> PgBoardLog::on(std::shared_ptr<PgSession> session) {
    return std::unique_ptr<PgBoardLog>(new PgBoardLog(std::move(session)));
}

bool PgBoardLog::append(const BoardRecord& board, std::string& error) {
    // The record's own name, so a record sent again (from the spool, or after
    // a lost connection) is stored once.
    std::random_device random;
    std::string id;
    for (int i = 0; i < 4; ++i) {
        const auto word = random();
        id += std::string{static_cast<char>(word), static_cast<char>(word >> 8), static_cast<char>(word >> 16),
                          static_cast<char>(word >> 24)};
    }
    const std::string line = spoolBoardLine(hexBytes(id), boardLogLine(board));
    if (session_->transaction([&](std::string& e) { return storeSpoolLine(*session_, line, e); }, error)) return true;
    session_->spool({line}, error);
    return false;
}

}  // namespace cvl
