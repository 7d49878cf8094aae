#pragma once
// The tables of a line's database: made when missing (under an advisory
// lock, so stations starting at once make them once), their schema version
// checked, and tables of the same names that are not ours refused.

#include <string>

#include "line/stores/PgSession.h"

namespace cvl {

// create: make the tables when missing; else a database without them is refused.
bool makeSchema(PgSession& session, bool create, std::string& error);

}  // namespace cvl
