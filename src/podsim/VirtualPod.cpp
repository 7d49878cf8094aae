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

}  // namespace

int runVirtualPod(const PodsimArgs& args) {
    PodEmulator pod(args.emulator);
    std::string error;
    FileClaim flashClaim, storeClaim;
    if (!args.flashFile.empty() && !flashClaim.claim(args.flashFile, error)) return report(false, error), 1;
    if (!args.storeFile.empty() && !storeClaim.claim(args.storeFile, error)) return report(false, error), 1;
    if (!args.flashFile.empty() && !pod.target().loadFlashFile(args.flashFile, error)) return report(false, error), 1;
    if (!args.storeFile.empty() && !pod.store().load(args.storeFile, error)) return report(false, error), 1;

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

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int sigfd = signalfd(-1, &signals, SFD_CLOEXEC);

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
    std::array<std::uint8_t, 4096> buffer{};
    std::vector<std::uint8_t> outbox;  // replies taken from the pod, not yet written to the host
    std::uint64_t stuckSinceUs = 0;
    const auto readHost = [&] {
        for (;;) {  // everything waiting, so a signal never loses frames the host already sent
            const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
            if (n <= 0) return;
            pod.receive(buffer.data(), static_cast<std::size_t>(n), clock.nowMicros());
        }
    };
    const auto writeHost = [&] {
        const std::uint64_t now = clock.nowMicros();
        for (std::size_t got; (got = pod.take(buffer.data(), buffer.size(), now)) > 0;) {
            outbox.insert(outbox.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        }
        while (!outbox.empty()) {
            const ssize_t w = ::write(pty.master, outbox.data(), outbox.size());
            if (w <= 0) break;  // the host is not reading: wait for POLLOUT, not in a loop
            outbox.erase(outbox.begin(), outbox.begin() + w);
            stuckSinceUs = 0;
        }
        if (outbox.empty()) {
            stuckSinceUs = 0;
        } else if (stuckSinceUs == 0) {
            stuckSinceUs = now;
        } else if (now - stuckSinceUs > kUnreadReplyLimitUs) {
            outbox.clear();  // a host that never reads: its replies are lost, as on a real line
            stuckSinceUs = 0;
        }
    };
    for (;;) {
        int timeoutMs = outbox.empty() ? -1 : 100;
        if (const std::uint64_t next = pod.nextReadyUs(); next != 0) {
            const std::uint64_t now = clock.nowMicros();
            const int untilReady = next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
            timeoutMs = timeoutMs < 0 ? untilReady : std::min(timeoutMs, untilReady);
        }
        const short events = static_cast<short>(POLLIN | (outbox.empty() ? 0 : POLLOUT));
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {pty.master, events, 0}};
        if (::poll(fds, pty.master >= 0 ? 2 : 1, timeoutMs) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            if (pty.master >= 0) {
                readHost();
                writeHost();
            }
            break;
        }
        if (pty.master >= 0 && (fds[1].revents & POLLIN)) readHost();
        if (pty.master >= 0 && pod.unplugged()) {  // the pod disappears from the host
            pty.close();
            outbox.clear();
            std::filesystem::remove(announcement);
            std::printf("corvexlink-podsim: unplugged\n");
            std::fflush(stdout);
        }
        if (pty.master >= 0) writeHost();
        if (outbox.empty() && pod.nextReadyUs() == 0) saver.saveNow();
    }
    std::error_code ec;
    std::filesystem::remove(announcement, ec);
    if (trace) trace->flush();
    trace.reset();
    saver.flashChanged();
    saver.storeChanged();
    saver.saveNow();
    if (!closePrivateOutput(traceFile, args.traceFile, error)) {
        report(false, error);
        return 1;
    }
    ::close(sigfd);
    return saver.failed() ? 1 : 0;
}

}  // namespace cvl::sim
