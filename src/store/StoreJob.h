#pragma once
// Storing a programming job in the pod and checking it against the image:
// the frame sequences of POD Write and POD Verify, and the POD Info text.

#include <array>
#include <string>

#include "common/Clock.h"
#include "common/Outcome.h"
#include "store/PodStoreClient.h"

namespace cvl {

inline constexpr std::size_t kPodNameBytes = 8;

// The tag for a job stored now under name (at most 8 bytes are used).
TagRecord makeTag(const std::string& name, const LocalTime& time);

// Both show their failure message themselves; a failed store also sends the
// abort frame. Ok or the failing step's code.
OutcomeCode storeProgram(PodStoreClient& store, StatusSink& status, const CoffImage& image, Clock& clock, bool eraseAll,
                         bool useKeys, const std::string& tagName);
OutcomeCode verifyStore(PodStoreClient& store, StatusSink& status, const CoffImage& image);

// The POD Info line for a pod version and J reply.
std::string podInfoText(std::uint16_t podVersion, const std::array<std::uint8_t, 15>& tagReply);

}  // namespace cvl
