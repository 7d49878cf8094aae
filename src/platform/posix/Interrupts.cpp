#include "platform/Interrupts.h"

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <thread>

namespace cvl {

namespace {
sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}
}  // namespace

void reportFileSizeLimitAsError() { ::signal(SIGXFSZ, SIG_IGN); }

struct InterruptsHeld::State {
    sigset_t previous;
};

InterruptsHeld::InterruptsHeld() : state_(std::make_unique<State>()) {
    const sigset_t stop = endingSignals();
    pthread_sigmask(SIG_BLOCK, &stop, &state_->previous);
}

// A signal that came meanwhile is delivered as the mask is restored.
InterruptsHeld::~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr); }

struct InterruptWatch::State {
    sigset_t watched;
    sigset_t previous;
    std::thread watcher;
};

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : state_(std::make_unique<State>()) {
    state_->watched = endingSignals();
    sigaddset(&state_->watched, SIGUSR1);  // from the destructor: stop watching
    pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previous);
    state_->watcher = std::thread([watched = state_->watched, onInterrupt = std::move(onInterrupt)] {
        int sig = 0;
        while (sigwait(&watched, &sig) == 0) {
            if (sig == SIGUSR1) return;
            onInterrupt();
            std::_Exit(128 + sig);
        }
    });
}

InterruptWatch::~InterruptWatch() {
    pthread_kill(state_->watcher.native_handle(), SIGUSR1);
    state_->watcher.join();
    pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

}  // namespace cvl
