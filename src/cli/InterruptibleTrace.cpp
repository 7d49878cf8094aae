#include "cli/InterruptibleTrace.h"

namespace cvl::cli {

InterruptibleTrace::InterruptibleTrace(Clock& clock) : output_(std::make_unique<StagedOutput>()), clock_(clock) {}

std::unique_ptr<InterruptibleTrace> InterruptibleTrace::open(const std::string& path, Clock& clock,
                                                             std::string& error) {
    std::unique_ptr<InterruptibleTrace> trace(new InterruptibleTrace(clock));
    if (!trace->output_->open(path, error)) return nullptr;
    trace->text_ = std::make_unique<TextTrace>(trace->output_->file());
    InterruptibleTrace* self = trace.get();
    trace->watch_ = std::make_unique<InterruptWatch>([self] {
        const std::lock_guard<std::mutex> lock(self->mutex_);
        self->text_->flush();
        std::string ignored;
        if (self->traced_) self->output_->commit(ignored);  // else an earlier file keeps its content
    });
    return trace;
}

InterruptibleTrace::~InterruptibleTrace() { watch_.reset(); }

bool InterruptibleTrace::finish(std::string& error) {
    watch_.reset();
    const std::lock_guard<std::mutex> lock(mutex_);
    text_->flush();
    if (!traced_) {
        output_.reset();  // no pod was reached: an earlier file keeps its content
        return true;
    }
    return output_->commit(error);
}

void InterruptibleTrace::sent(const std::uint8_t* bytes, std::size_t size) {
    traced_ = true;
    text_->record(clock_.nowMicros(), true, bytes, size);
    mutex_.unlock();  // taken by sending()
}

void InterruptibleTrace::received(const std::uint8_t* bytes, std::size_t size) {
    const std::lock_guard<std::mutex> lock(mutex_);
    traced_ = true;
    text_->record(clock_.nowMicros(), false, bytes, size);
}

}  // namespace cvl::cli
