#include "podsim/VirtualPod.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/Clock.h"
#include "platform/Files.h"
#include "sim/AtomicFile.h"
#include "pod/PodDirectory.h"
#include "pod/TextTrace.h"

namespace cvl::sim {

namespace {

struct Pty {
    int master = -1;
    int slave = -1;  // held open so the terminal stays raw and alive between hosts
    std::string path;
    ~Pty() { close(); }
    void close() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
        master = slave = -1;
    }
};

bool openPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(pty.master);
    if (name == nullptr) {
        error = "pseudo-terminal has no name";
        return false;
    }
    pty.path = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (pty.slave < 0 || tcgetattr(pty.slave, &t) != 0) {
        error = pty.path + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&t);
    tcsetattr(pty.slave, TCSANOW, &t);
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return true;
}

void report(bool ok, const std::string& error) {
    if (!ok) std::fprintf(stderr, "corvexlink-podsim: %s\n", error.c_str());
}

}  // namespace

namespace {

// What the emulator saves, and when: after the reply that caused it has gone
// out (a slow disk never delays an answer), and at exit. A failed save is
// reported and makes the emulator's exit status non-zero.
class Saver {
public:
    Saver(PodEmulator& pod, const PodsimArgs& args) : pod_(pod), args_(args) {}
    void flashChanged() { flashDirty_ = !args_.flashFile.empty(); }
    void storeChanged() { storeDirty_ = !args_.storeFile.empty(); }
    void saveNow() {
        std::string e;
        if (flashDirty_ && !pod_.target().saveFlashFile(args_.flashFile, e)) fail(e);
        if (storeDirty_ && !pod_.store().save(args_.storeFile, e)) fail(e);
        flashDirty_ = storeDirty_ = false;
    }
    bool failed() const { return failed_; }

private:
    void fail(const std::string& e) {
        report(false, e);
        failed_ = true;
    }
    PodEmulator& pod_;
    const PodsimArgs& args_;
    bool flashDirty_ = false;
    bool storeDirty_ = false;
    bool failed_ = false;
};

// Replies not yet taken by the host; dropped when it has not read for this long.
constexpr std::uint64_t kUnreadReplyLimitUs = 2'000'000;

// The host's end of the pseudo-terminal: its bytes into the pod, the pod's
// replies out as the host takes them.
class HostLine {
public:
    HostLine(PodEmulator& pod, Pty& pty, Clock& clock) : pod_(pod), pty_(pty), clock_(clock) {}
    // Everything waiting, so a signal never loses frames the host already sent.
    void read() {
        for (;;) {
            const ssize_t n = ::read(pty_.master, buffer_.data(), buffer_.size());
            if (n <= 0) return;
            pod_.receive(buffer_.data(), static_cast<std::size_t>(n), clock_.nowMicros());
        }
    }
    void write() {
        const std::uint64_t now = clock_.nowMicros();
        for (std::size_t got; (got = pod_.take(buffer_.data(), buffer_.size(), now)) > 0;)
            outbox_.insert(outbox_.end(), buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(got));
        while (!outbox_.empty()) {
            const ssize_t w = ::write(pty_.master, outbox_.data(), outbox_.size());
            if (w <= 0) break;  // the host is not reading: wait for POLLOUT, not in a loop
            outbox_.erase(outbox_.begin(), outbox_.begin() + w);
            stuckSinceUs_ = 0;
        }
        if (outbox_.empty()) {
            stuckSinceUs_ = 0;
        } else if (stuckSinceUs_ == 0) {
            stuckSinceUs_ = now;
        } else if (now - stuckSinceUs_ > kUnreadReplyLimitUs) {
            outbox_.clear();  // a host that never reads: its replies are lost, as on a real line
            stuckSinceUs_ = 0;
        }
    }
    bool holdsReplies() const { return !outbox_.empty(); }
    void drop() { outbox_.clear(); }

private:
    PodEmulator& pod_;
    Pty& pty_;
    Clock& clock_;
    std::array<std::uint8_t, 4096> buffer_{};
    std::vector<std::uint8_t> outbox_;  // replies taken from the pod, not yet written to the host
    std::uint64_t stuckSinceUs_ = 0;
};

// The flash and store files, claimed for this emulator and read.
bool loadFiles(PodEmulator& pod, const PodsimArgs& args, FileClaim& flash, FileClaim& store, std::string& error) {
    if (!args.flashFile.empty() && !flash.claim(args.flashFile, error)) return false;
    if (!args.storeFile.empty() && !store.claim(args.storeFile, error)) return false;
    if (!args.flashFile.empty() && !pod.target().loadFlashFile(args.flashFile, error)) return false;
    return args.storeFile.empty() || pod.store().load(args.storeFile, error);
}

// SIGINT and SIGTERM as a descriptor the loop polls; -1 when that fails.
int signalDescriptor() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

// Serves the host until a signal: the pod's replies when they are due, an
// unplug when the pod's faults say so, the files saved whenever it is idle.
void serve(PodEmulator& pod, Pty& pty, int sigfd, Clock& clock, Saver& saver, const std::string& announcement) {
    HostLine line(pod, pty, clock);
    for (;;) {
        int timeoutMs = line.holdsReplies() ? 100 : -1;
        if (const std::uint64_t next = pod.nextReadyUs(); next != 0) {
            const std::uint64_t now = clock.nowMicros();
            const int untilReady = next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
            timeoutMs = timeoutMs < 0 ? untilReady : std::min(timeoutMs, untilReady);
        }
        const short events = static_cast<short>(POLLIN | (line.holdsReplies() ? POLLOUT : 0));
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {pty.master, events, 0}};
        if (::poll(fds, pty.master >= 0 ? 2 : 1, timeoutMs) < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) {
            if (pty.master >= 0) {
                line.read();
                line.write();
            }
            return;
        }
        if (pty.master >= 0 && (fds[1].revents & POLLIN)) line.read();
        if (pty.master >= 0 && pod.unplugged()) {  // the pod disappears from the host
            pty.close();
            line.drop();
            std::filesystem::remove(announcement);
            std::printf("corvexlink-podsim: unplugged\n");
            std::fflush(stdout);
        }
        if (pty.master >= 0) line.write();
        if (!line.holdsReplies() && pod.nextReadyUs() == 0) saver.saveNow();
    }
}

}  // namespace

int runVirtualPod(const PodsimArgs& args) {
    PodEmulator pod(args.emulator);
    std::string error;
    FileClaim flashClaim, storeClaim;
    if (!loadFiles(pod, args, flashClaim, storeClaim, error)) return report(false, error), 1;
    std::FILE* traceFile = nullptr;
    std::unique_ptr<cvl::TextTrace> trace;
    if (!args.traceFile.empty()) {
        traceFile = openPrivateOutput(args.traceFile, error);
        if (traceFile == nullptr) return report(false, error), 1;
        trace = std::make_unique<cvl::TextTrace>(traceFile);
        pod.setTrace(trace.get());
    }
    Saver saver(pod, args);
    pod.onTargetReset([&] { saver.flashChanged(); });
    pod.onStoreChanged([&] { saver.storeChanged(); });

    const int sigfd = signalDescriptor();
    Pty pty;
    if (sigfd < 0 || !openPty(pty, error)) return report(false, error.empty() ? "signalfd failed" : error), 1;
    const std::string name = args.name.empty() ? "podsim-" + std::to_string(::getpid()) : args.name;
    const std::string serial = args.serialNumber.empty() ? "SIM" + std::to_string(::getpid()) : args.serialNumber;
    removeStaleAnnouncements();  // each killed emulator left one
    const std::string announcement =
        announcePod({args.emulator.description, pty.path, serial, ::getpid()}, name, error);
    if (announcement.empty()) return report(false, error), 1;
    std::printf("corvexlink-podsim: \"%s\" %s (%s) ready on %s\n", args.emulator.description.c_str(), serial.c_str(),
                mcuInfo(pod.target().device())->shortName, pty.path.c_str());
    std::fflush(stdout);

    SteadyClock clock;
    serve(pod, pty, sigfd, clock, saver, announcement);
    std::error_code ec;
    std::filesystem::remove(announcement, ec);
    if (trace) trace->flush();
    trace.reset();
    saver.flashChanged();
    saver.storeChanged();
    saver.saveNow();
    ::close(sigfd);
    if (!closePrivateOutput(traceFile, args.traceFile, error)) return report(false, error), 1;
    return saver.failed() ? 1 : 0;
}

}  // namespace cvl::sim
