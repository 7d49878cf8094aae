#include "cli/InterruptibleTrace.h"

#include "platform/Files.h"

namespace cvl::cli {

InterruptibleTrace::InterruptibleTrace(std::FILE* file, Clock& clock) : file_(file), clock_(clock), text_(file) {
    watch_ = std::make_unique<InterruptWatch>([this] {
        const std::lock_guard<std::mutex> lock(mutex_);
        text_.flush();
        syncOutput(file_);
    });
}

InterruptibleTrace::~InterruptibleTrace() {
    watch_.reset();
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.flush();
}

void InterruptibleTrace::sent(const std::uint8_t* bytes, std::size_t size) {
    text_.record(clock_.nowMicros(), true, bytes, size);
    mutex_.unlock();  // taken by sending()
}

void InterruptibleTrace::received(const std::uint8_t* bytes, std::size_t size) {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.record(clock_.nowMicros(), false, bytes, size);
}

}  // namespace cvl::cli
