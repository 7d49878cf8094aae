#pragma once
// What a line's database could not take, kept on the station: a file of JSON
// lines in the user's state folder, one per database, made only once a
// record is kept, and stored first (in one transaction, then emptied) by the
// next run that reaches the database.

#include <cstdint>
#include <string>
#include <vector>

#include "line/stores/PgSession.h"
#include "platform/AppendFile.h"

namespace cvl {

class PgSpool {
public:
    // The spool of the database named so (postgresql://user@host:port/name).
    explicit PgSpool(const std::string& database);
    // Keeps lines; error (the reason they were not stored) gains where they
    // are kept, or why they could not be kept either.
    bool keep(const std::vector<std::string>& lines, std::string& error);
    // Stores what an earlier run kept; true when nothing was kept.
    bool storeInto(PgSession& session, std::string& error);

private:
    std::string folder_;
    std::string path_;
    AppendFile file_;
};

// Spool lines: a board record, and a number's outcome.
std::string spoolBoardLine(const std::string& recordId, const std::string& boardLogLine);
std::string spoolSerialLine(std::uint64_t number, const std::string& state, const std::string& board,
                            const std::string& time);
// Stores spool lines (a board's row, a number's state) in the open transaction.
bool storeSpoolLine(PgSession& session, const std::string& line, std::string& error);

}  // namespace cvl
