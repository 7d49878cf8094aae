#pragma once
// The programming log as a file of JSON lines, one per board, appended whole
// under a lock and synced, so several pods and several processes can share
// it and every reader reads whole lines.

#include <string>

#include "line/BoardLog.h"
#include "platform/AppendFile.h"

namespace cvl {

class JsonLinesLog : public BoardLog {
public:
    // Opens path for appending: a regular file only, never through a
    // symbolic link, opened without waiting (a FIFO would block for ever).
    bool open(const std::string& path, std::string& error);
    bool append(const BoardRecord& board, std::string& error) override;

private:
    AppendFile file_;
};

// The log line of a board, as JSON.
std::string boardLogLine(const BoardRecord& board);

}  // namespace cvl
