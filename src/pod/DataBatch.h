#pragma once
// Data-word frames ('S', and 'Y' at the end of a boot block) get no reply of
// their own: they are collected and written in batches of at most
// kBatchBytes, each followed by a check that the pod has sent nothing back.

#include <cstdint>
#include <string>

#include "pod/PodLink.h"

namespace cvl {

inline constexpr std::uint32_t kBatchWriteLimitMs = 2000;
inline constexpr std::size_t kBatchBytes = 350;  // 50 data-word frames

class DataBatch {
public:
    // Appends the frame of one data word.
    void put(char letter, std::uint16_t value);
    bool full() const { return bytes_.size() >= kBatchBytes; }
    bool empty() const { return bytes_.empty(); }

    // put(), then flush() when the batch is full.
    bool add(PodLink& link, char letter, std::uint16_t value);
    // Writes the batch and checks that the pod sent nothing meanwhile. The
    // batch is empty afterwards, whatever the outcome.
    bool flush(PodLink& link);
    // Writes the batch, whose last frame asks for an answer, and reads the
    // pod's acknowledgement within limitMs.
    bool flushAwaitingAck(PodLink& link, std::uint32_t limitMs);

private:
    // Writes and empties the batch; refuses one longer than the link takes.
    bool write(PodLink& link);

    std::string bytes_;
};

}  // namespace cvl
