#pragma once
// Feeds what a PodLink sends and receives to a ByteTrace, stamped with the
// link's clock: the host's side of the conversation, for a user debugging
// a board.

#include "pod/ByteTrace.h"
#include "common/Clock.h"
#include "pod/PodLink.h"

namespace cvl {

class LinkTrace : public LinkObserver {
public:
    LinkTrace(ByteTrace& trace, Clock& clock) : trace_(trace), clock_(clock) {}
    void sent(const std::uint8_t* bytes, std::size_t size) override {
        trace_.record(clock_.nowMicros(), true, bytes, size);
    }
    void received(const std::uint8_t* bytes, std::size_t size) override {
        trace_.record(clock_.nowMicros(), false, bytes, size);
    }

private:
    ByteTrace& trace_;
    Clock& clock_;
};

}  // namespace cvl
