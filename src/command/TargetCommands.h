#pragma once
// Target Write and Target Reset: input checks, connection, the busy bracket
// and the outcome message.

#include "command/CommandContext.h"
#include "command/Requests.h"

namespace cvl {

CommandOutcome targetWrite(CommandContext& ctx, const TargetWriteRequest& request);
CommandOutcome targetReset(CommandContext& ctx, const ResetRequest& request);

// The step every programming command starts with: the loaded image, or the
// program loaded from the request's path (noFile when it is empty).
OutcomeCode prepareProgram(CommandContext& ctx, const ProgramSource& program, OutcomeCode noFile);

}  // namespace cvl
