#pragma once
// POD Write, POD Verify and POD Info: input checks, connection, the busy
// bracket and the outcome message.

#include <string>

#include "command/CommandContext.h"
#include "command/Requests.h"

namespace cvl {

CommandOutcome podWrite(CommandContext& ctx, const PodWriteRequest& request);
CommandOutcome podVerify(CommandContext& ctx, const PodVerifyRequest& request);
CommandOutcome podInfo(CommandContext& ctx, const PodInfoRequest& request);

// The POD file name a write uses: the typed text trimmed, else the image's
// file name; at most 8 bytes.
std::string preparePodFileName(const std::string& typed, const std::string& imageFileName);

}  // namespace cvl
