#include "pod/DataBatch.h"

#include "pod/Frame.h"

namespace cvl {

void DataBatch::put(char letter, std::uint16_t value) {
    const Frame frame = Frame(letter).hex(value, 4);
    bytes_.append(reinterpret_cast<const char*>(frame.data()), frame.size());
}

bool DataBatch::add(PodLink& link, char letter, std::uint16_t value) {
    put(letter, value);
    return !full() || flush(link);
}

bool DataBatch::write(PodLink& link) {
    const bool fits = bytes_.size() <= kLinkBufferBytes;
    const bool written = fits && link.timedWrite(reinterpret_cast<const std::uint8_t*>(bytes_.data()),
                                                 static_cast<std::uint32_t>(bytes_.size()), kBatchWriteLimitMs);
    bytes_.clear();
    return written;
}

bool DataBatch::flush(PodLink& link) {
    if (!write(link)) return false;
    const auto waiting = link.receiveQueueCount();
    return waiting && *waiting == 0;
}

bool DataBatch::flushAwaitingAck(PodLink& link, std::uint32_t limitMs) {
    if (!write(link)) return false;
    std::uint8_t answer = 0;
    return link.timedRead(&answer, 1, limitMs) && answer == ACK;
}

}  // namespace cvl
