// Which pod a command uses, and that nobody else uses it meanwhile: one
// program at a time on a line, no fallback to another device, announcements
// that must check out, and the CLI never choosing between pods by itself.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "PodFixture.h"
#include "PodsimProcess.h"
#include "Samples.h"
#include "pod/BackendList.h"
#include "pod/PodDirectory.h"
#include "pod/SerialTtyBackend.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

TEST(PodChoice, TwoProcessesNeverShareALineAndTheCliNeverGuesses) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    // A is slow to erase, so a write holds it for seconds; B is idle.
    const fs::path flashB = scratch("choice-b.flash");
    fs::remove(flashB);
    Podsim a({"--serial", "POD-A", "--wire-model", "--pod-time", "O01=1500"});
    Podsim b({"--serial", "POD-B", "--flash", flashB.string()});
    ASSERT_TRUE(a.ready() && b.ready());

    const CliRun listed = cli("pods --json");
    ASSERT_EQ(listed.status, 0) << listed.out;
    const auto pods = nlohmann::json::parse(listed.out);
    ASSERT_EQ(pods.size(), 2u);
    std::set<std::string> serials;
    for (const auto& p : pods) {
        serials.insert(p["serialNumber"].get<std::string>());
        EXPECT_EQ(p["description"], "Corvexlink POD");
        EXPECT_EQ(p["backend"], "virtual");
        EXPECT_EQ(p["devicePath"].get<std::string>().rfind("/dev/pts/", 0), 0u);
    }
    EXPECT_EQ(serials, (std::set<std::string>{"POD-A", "POD-B"}));

    const CliRun guessed = cli("reset");
    EXPECT_EQ(guessed.status, 1);
    EXPECT_NE(guessed.out.find("More than one Corvexlink POD is attached"), std::string::npos) << guessed.out;
    EXPECT_NE(guessed.out.find("POD-A"), std::string::npos);
    EXPECT_NE(guessed.out.find("POD-B"), std::string::npos);

    // A write holds A; a reset of A meanwhile is refused, and the write is not disturbed.
    const fs::path writeOut = scratch("choice-write.txt");
    const std::string runtime = "XDG_RUNTIME_DIR='" + scratch("runtime").string() + "' ";
    const CliRun both =
        test::runCommand(runtime + CORVEXLINK_CLI_PATH + " write --pod POD-A " + dir + "/adc_oku.out > '" +
                         writeOut.string() + "' 2>&1 & sleep 0.8; " + runtime + CORVEXLINK_CLI_PATH +
                         " reset --pod POD-A 2>&1; echo reset=$?; wait $!; echo write=$?");
    EXPECT_NE(both.out.find("Fail to open communication port"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("reset=1"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("write=0"), std::string::npos) << both.out;
    std::ifstream w(writeOut);
    const std::string written((std::istreambuf_iterator<char>(w)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("Corvexlink POD POD-A at /dev/pts/"), std::string::npos) << written;
    EXPECT_NE(written.find("Flash Write Completed - "), std::string::npos) << written;

    // By device path too; and B was never touched.
    const auto& podB = pods[0]["serialNumber"] == "POD-B" ? pods[0] : pods[1];
    const std::string pathB = podB["devicePath"].get<std::string>();
    const CliRun byPath = cli("pod-info --json --pod " + pathB);
    EXPECT_EQ(byPath.status, 0) << byPath.out;
    EXPECT_EQ(nlohmann::json::parse(byPath.out)["pod"]["serialNumber"], "POD-B");
    EXPECT_EQ(cli("reset --pod NOSUCHPOD").status, 1);
    ASSERT_EQ(b.stop(), 0);
    std::ifstream f(flashB, std::ios::binary);
    const std::string flash((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(flash.find_first_not_of('\xFF'), std::string::npos) << "B's flash is still erased";
}

// The window's rule is the first pod found; when that one cannot be opened
// the command fails rather than programming the next device of that name.
TEST(PodChoice, ABusyFirstPodIsNotSwappedForAnother) {
    ManualClock clock;
    sim::PodEmulator first{sim::EmulatorOptions{}};
    sim::EmulatorOptions o;
    o.serialNumber = "SECOND";
    sim::PodEmulator second{o};
    sim::SimPodBackend* busy = nullptr;
    sim::SimPodBackend* other = nullptr;
    PodLink link(
        [&] {
            std::vector<std::unique_ptr<PodBackend>> backends;
            backends.push_back(std::make_unique<sim::SimPodBackend>(first, clock));
            backends.push_back(std::make_unique<sim::SimPodBackend>(second, clock));
            busy = static_cast<sim::SimPodBackend*>(backends[0].get());
            other = static_cast<sim::SimPodBackend*>(backends[1].get());
            busy->failing.insert("open");
            return std::make_unique<BackendList>(std::move(backends));
        },
        clock);
    test::RecordingStatus status;
    ASSERT_TRUE(link.loadDriver());
    EXPECT_EQ(link.connectPod(status), OutcomeCode::PortFailed);
    EXPECT_EQ(status.last(), (test::ShownMessage{"Fail to open communication port", true}));
    EXPECT_EQ(std::count(other->calls.begin(), other->calls.end(), "open(Corvexlink POD)"), 0);
    EXPECT_EQ(first.framesOf('I') + second.framesOf('I'), 0u);
}

// A pseudo-terminal pair held by this process, as an emulator holds one.
struct TestPty {
    TestPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        path = ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~TestPty() {
        ::close(slave);
        ::close(master);
    }
    int master;
    int slave;
    std::string path;
};

class Announcements : public ::testing::Test {
protected:
    void SetUp() override {
        root = scratch("announce-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root);
        saved = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    }
    void TearDown() override {
        if (saved.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
    fs::path podsDir() {
        std::string error;
        return podDirectory(error);
    }
    void plant(const std::string& name, const std::string& text) { std::ofstream(podsDir() / name) << text; }
    static std::string line(const std::string& path, const std::string& serial, pid_t pid) {
        return "Corvexlink POD\n" + path + "\n" + serial + "\n" + std::to_string(pid) + "\n";
    }
    fs::path root;
    std::string saved;
};

TEST_F(Announcements, OnlyAPseudoTerminalHeldByALiveAnnouncerCounts) {
    TestPty pty;
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    plant("a-good", line(pty.path, "GOOD", ::getpid()));
    plant("b-terminal", line("/dev/tty", "TTY", ::getpid()));     // not a pseudo-terminal
    plant("c-dead", line(pty.path, "DEAD", dead));                // left behind by a killed emulator
    plant("d-not-holder", line(pty.path, "OTHER", ::getppid()));  // a live process that does not hold it
    plant("e-old", "Corvexlink POD\n" + pty.path + "\n");         // no process to check
    plant("f-huge", line(pty.path, "HUGE", ::getpid()) + std::string(4096, '\n'));
    fs::create_symlink(podsDir() / "a-good", podsDir() / "g-link");
    const auto pods = announcedPods();
    ASSERT_EQ(pods.size(), 1u);
    EXPECT_EQ(pods[0].serialNumber, "GOOD");
    EXPECT_EQ(pods[0].devicePath, pty.path);
}

TEST_F(Announcements, TheFallbackFolderMustBeTheUsersOwnAndPrivate) {
    unsetenv("XDG_RUNTIME_DIR");
    const std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", root.c_str(), 1);
    const fs::path base = root / ("corvexlink-" + std::to_string(::getuid()));
    std::string error;
    // Planted by someone else first, open to everyone: refused.
    fs::create_directory(base);
    ::chmod(base.c_str(), 0777);
    EXPECT_EQ(podDirectory(error), "");
    EXPECT_NE(error.find("not a private folder"), std::string::npos) << error;
    fs::remove(base);
    // A link to a folder elsewhere: refused.
    fs::create_directory(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", base);
    EXPECT_EQ(podDirectory(error), "");
    fs::remove(base);
    // Created here: private.
    const std::string made = podDirectory(error);
    EXPECT_EQ(made, (base / "pods").string()) << error;
    EXPECT_EQ(fs::status(base).permissions() & fs::perms::all, fs::perms::owner_all);
    if (oldTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldTmp.c_str(), 1);
}

TEST_F(Announcements, WritingNeverFollowsALink) {
    const fs::path victim = root / "victim.txt";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, podsDir() / ("pod." + std::to_string(::getpid()) + ".tmp"));
    std::string error;
    EXPECT_EQ(announcePod({"Corvexlink POD", "/dev/pts/0", "S", ::getpid()}, "pod", error), "");
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "precious");
}

// A port takes the line for itself and gives the terminal back as it found it.
TEST(TtyPort, ExclusiveAndRestoresTheTerminal) {
    TestPty pty;
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty.slave, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &cooked), 0);
    SerialTtyBackend backend;
    const PodInfo pod{"Corvexlink POD", "T", pty.path, SerialTtyBackend::kVirtualBackend};
    auto port = backend.open(pod);
    ASSERT_NE(port, nullptr);
    termios during{};
    tcgetattr(pty.slave, &during);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "raw while open";
    EXPECT_EQ(backend.open(pod), nullptr) << "a second opener is refused";
    port->close();
    termios after{};
    tcgetattr(pty.slave, &after);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t{ICANON | ECHO}) << "settings restored";
    EXPECT_NE(backend.open(pod), nullptr) << "free again";
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

// Names that fit two pods, stale files by the thousand, terminals held by
// others, a shared emulator name and serial numbers that would command the
// terminal: the CLI never guesses, never misses a live pod, never shares.
TEST(PodChoice, EveryPodIsFoundAndNoNameFitsTwo) {
    namespace fs = std::filesystem;
    using test::cli;
    using test::Podsim;
    const fs::path pods = test::scratch("runtime") / "corvexlink" / "pods";
    // A thousand and more announcements of emulators that were killed.
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    fs::create_directories(pods);
    for (int i = 0; i < 1200; ++i) {
        std::ofstream(pods / ("0stale-" + std::to_string(i))) << "Corvexlink POD\n/dev/pts/0\nSTALE\n" << dead << "\n";
    }
    Podsim a({"--serial", "TWIN", "--name", "twin-a"});
    ASSERT_TRUE(a.ready());
    EXPECT_LE(std::distance(fs::directory_iterator(pods), fs::directory_iterator{}), 2) << "stale files removed";
    for (int i = 0; i < 1200; ++i) {
        std::ofstream(pods / ("0stale-" + std::to_string(i))) << "Corvexlink POD\n/dev/pts/0\nSTALE\n" << dead << "\n";
    }
    Podsim b({"--serial", "TWIN", "--name", "twin-b"});
    Podsim c({"--serial", a.path(), "--name", "path-as-serial"});
    Podsim escape({"--serial", "RED\x1b[31m", "--name", "escape"});
    ASSERT_TRUE(b.ready() && c.ready() && escape.ready());
    Podsim again({"--serial", "SAME-NAME", "--name", "twin-a"});
    EXPECT_FALSE(again.ready()) << "a second emulator under a name in use";

    const CliRun listed = cli("pods --json");
    ASSERT_EQ(nlohmann::json::parse(listed.out).size(), 4u) << listed.out;
    const CliRun plain = cli("pods");
    EXPECT_NE(plain.out.find("RED\\x1B[31m"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find('\x1b'), std::string::npos);

    for (const std::string& name : {std::string("TWIN"), a.path()}) {
        const CliRun r = cli("reset --json --pod '" + name + "'");
        EXPECT_EQ(r.status, 1) << name;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["result"], "PodChoiceAmbiguous") << name;
        EXPECT_NE(j["message"].get<std::string>().find(" matches "), std::string::npos) << r.out;
        const CliRun gang = cli("reset --json --pod '" + escape.path() + "' --pod '" + name + "'");
        EXPECT_EQ(nlohmann::json::parse(gang.out)["result"], "PodChoiceAmbiguous") << gang.out;
    }
    EXPECT_EQ(nlohmann::json::parse(cli("probe --json --pod NOPE --pod TWIN").out)["result"], "PodNotListed");

    // A terminal another process holds with TIOCEXCL alone is not taken, by root either.
    ASSERT_EQ(cli("reset --pod '" + b.path() + "'").status, 0);
    const int held = ::open(b.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::ioctl(held, TIOCEXCL), 0);
    const CliRun shared = cli("reset --json --pod '" + b.path() + "'");
    ::ioctl(held, TIOCNXCL);
    ::close(held);
    EXPECT_EQ(nlohmann::json::parse(shared.out)["result"], "PortFailed") << shared.out;

    // A pods folder others may write to: the reason is given, as the emulator gives it.
    fs::permissions(pods, fs::perms::group_write, fs::perm_options::add);
    const CliRun open = cli("pods");
    fs::permissions(pods, fs::perms::group_write, fs::perm_options::remove);
    EXPECT_NE(open.out.find("not a private folder"), std::string::npos) << open.out;
}

}  // namespace
}  // namespace cvl
