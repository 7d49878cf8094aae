#include "sim/VirtualPod.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/Clock.h"
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

int runVirtualPod(const PodsimArgs& args) {
    PodEmulator pod(args.emulator);
    std::string error;
    if (!args.flashFile.empty() && !pod.target().loadFlashFile(args.flashFile, error)) return report(false, error), 1;
    if (!args.storeFile.empty() && !pod.store().load(args.storeFile, error)) return report(false, error), 1;

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> traceFile(nullptr, &std::fclose);
    std::unique_ptr<cvl::TextTrace> trace;
    if (!args.traceFile.empty()) {
        traceFile.reset(std::fopen(args.traceFile.c_str(), "w"));
        if (!traceFile) return report(false, args.traceFile + ": " + std::strerror(errno)), 1;
        trace = std::make_unique<cvl::TextTrace>(traceFile.get());
        pod.setTrace(trace.get());
    }
    const auto saveFlash = [&] {
        std::string e;
        if (!args.flashFile.empty()) report(pod.target().saveFlashFile(args.flashFile, e), e);
    };
    const auto saveStore = [&] {
        std::string e;
        if (!args.storeFile.empty()) report(pod.store().save(args.storeFile, e), e);
    };
    pod.onTargetReset(saveFlash);
    pod.onStoreChanged(saveStore);

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
    const std::string announcement =
        announcePod({args.emulator.description, pty.path, serial, ::getpid()}, name, error);
    if (announcement.empty()) return report(false, error), 1;
    std::printf("corvexlink-podsim: \"%s\" %s (%s) ready on %s\n", args.emulator.description.c_str(), serial.c_str(),
                mcuInfo(pod.target().device())->shortName, pty.path.c_str());
    std::fflush(stdout);

    SteadyClock clock;
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        int timeoutMs = -1;
        if (const std::uint64_t next = pod.nextReadyUs(); next != 0) {
            const std::uint64_t now = clock.nowMicros();
            timeoutMs = next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
        }
        pollfd fds[2] = {{sigfd, POLLIN, 0}, {pty.master, POLLIN, 0}};
        if (::poll(fds, pty.master >= 0 ? 2 : 1, timeoutMs) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) break;
        if (pty.master >= 0 && (fds[1].revents & POLLIN)) {
            const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
            if (n > 0) pod.receive(buffer.data(), static_cast<std::size_t>(n), clock.nowMicros());
        }
        if (pty.master >= 0 && pod.unplugged()) {  // the pod disappears from the host
            pty.close();
            std::filesystem::remove(announcement);
            std::printf("corvexlink-podsim: unplugged\n");
            std::fflush(stdout);
        }
        if (pty.master >= 0) {
            const std::size_t ready = pod.take(buffer.data(), buffer.size(), clock.nowMicros());
            for (std::size_t off = 0; off < ready;) {
                const ssize_t w = ::write(pty.master, buffer.data() + off, ready - off);
                if (w > 0)
                    off += static_cast<std::size_t>(w);
                else if (w < 0 && errno != EAGAIN && errno != EINTR)
                    break;
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove(announcement, ec);
    if (trace) trace->flush();
    saveFlash();
    saveStore();
    ::close(sigfd);
    return 0;
}

}  // namespace cvl::sim
