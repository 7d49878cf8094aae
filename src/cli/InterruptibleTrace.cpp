#include "cli/InterruptibleTrace.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>

namespace cvl::cli {

InterruptibleTrace::InterruptibleTrace(std::FILE* file, Clock& clock) : file_(file), clock_(clock), text_(file) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGUSR1);  // from the destructor: stop watching
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    watcher_ = std::thread([this] { watch(); });
}

InterruptibleTrace::~InterruptibleTrace() {
    pthread_kill(watcher_.native_handle(), SIGUSR1);
    watcher_.join();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        text_.flush();
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptibleTrace::sent(const std::uint8_t* bytes, std::size_t size) {
    text_.record(clock_.nowMicros(), true, bytes, size);
    mutex_.unlock();  // taken by sending()
}

void InterruptibleTrace::received(const std::uint8_t* bytes, std::size_t size) {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.record(clock_.nowMicros(), false, bytes, size);
}

void InterruptibleTrace::watch() {
    int sig = 0;
    while (sigwait(&signals_, &sig) == 0) {
        if (sig == SIGUSR1) return;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            text_.flush();
            std::fflush(file_);
            ::fsync(::fileno(file_));
        }
        std::_Exit(128 + sig);
    }
}

}  // namespace cvl::cli
