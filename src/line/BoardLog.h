#pragma once
// Where a production line keeps its board records, one per board.

#include <string>

#include "command/BoardRecord.h"

namespace cvl {

class BoardLog {
public:
    virtual ~BoardLog() = default;
    // Stores the record whole, or not at all (error says why).
    virtual bool append(const BoardRecord& board, std::string& error) = 0;
};

}  // namespace cvl
