#pragma once
// corvexlink-cli ledger import OLD NEW | list LEDGER

#include "cli/ParsedArgs.h"

namespace cvl::cli {

int runLedger(const ParsedArgs& args);

}  // namespace cvl::cli
