#pragma once
// POD Write, POD Verify and POD Info as the buttons run them, and the two
// drivers that store a job in the pod and check it against the image.

#include <string>

#include "Clock.h"
#include "StoreCommands.h"
#include "TargetCommands.h"

namespace cvl {

// The tag for a job stored now under name (at most 8 bytes are used).
TagRecord makeTag(const std::string& name, const LocalTime& time);

// Both show their failure message themselves; POD Write also sends the abort frame.
bool storeProgram(PodStoreClient& store, StatusSink& status, const CoffImage& image, Clock& clock, bool eraseAll,
                  bool useKeys, const std::string& tagName);
bool verifyStore(PodStoreClient& store, StatusSink& status, const CoffImage& image);

// The POD file name a write uses: the box's text trimmed, else the image's
// file name; at most 8 characters.
std::string preparePodFileName(const std::string& boxText, const std::string& imageFileName);

// The POD Info line for a pod version and J reply.
std::string podInfoText(std::uint16_t podVersion, const std::array<std::uint8_t, 15>& tagReply);

// Each returns true when the command succeeded.
bool onPodWrite(CommandContext& ctx);
bool onPodVerify(CommandContext& ctx);
bool onPodInfo(CommandContext& ctx);

}  // namespace cvl
