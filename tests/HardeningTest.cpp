// What a careless or hostile input does to the tools: names that are not
// UTF-8 or hold terminal controls, trace paths that are links or FIFOs,
// secrets in files, and an emulator that must behave like a pod when the host
// misbehaves or its files are not what they should be.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "CoffWriter.h"
#include "ImageBuilder.h"
#include "PodFixture.h"
#include "PodsimProcess.h"
#include "Samples.h"
#include "podsim/EmulatorArgs.h"
#include "sim/PodStoreModel.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

std::string sampleDir() { return CORVEXLINK_TESTDATA_DIR; }

fs::perms others(const fs::path& p) {
    return fs::status(p).permissions() & (fs::perms::group_all | fs::perms::others_all);
}

TEST(CliText, JsonIsAlwaysValidAndTheTerminalNeverTakesOrders) {
    CVL_NEED_SAMPLES(sampleDir());
    const fs::path dir = scratch("names");
    fs::create_directories(dir);
    const fs::path hangul = dir / "\xEB\xAA\xA8\xED\x84\xB0\xEC\xA0\x9C\xEC\x96\xB4.out";  // 모터제어.out
    const fs::path latin1 = dir / "caf\xE9.out";
    fs::copy_file(sampleDir() + "/adc_oku.out", hangul, fs::copy_options::overwrite_existing);
    fs::copy_file(sampleDir() + "/adc_oku.out", latin1, fs::copy_options::overwrite_existing);

    const CliRun k = cli("info --json '" + hangul.string() + "'");
    ASSERT_EQ(k.status, 0) << k.out;
    const auto kj = nlohmann::json::parse(k.out);
    EXPECT_EQ(kj["fileName"], "\xEB\xAA\xA8\xED\x84\xB0") << "cut before the third character, not inside it";
    const CliRun l = cli("info --json '" + latin1.string() + "'");
    ASSERT_EQ(l.status, 0) << l.out;
    const auto lj = nlohmann::json::parse(l.out);
    EXPECT_EQ(lj["fileNameHex"], "636166E9") << "the raw bytes kept beside the replaced text";

    // A section name that would retitle and clear the terminal is shown escaped.
    test::CoffLayout layout;
    layout.sections = {test::words(0x338000, 4, 1, "\x1B[2J\x07")};
    const std::string evil = test::writeTempFile("evil.out", test::buildCoff(layout));
    const CliRun shown = cli("info " + evil);
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_EQ(shown.out.find('\x1B'), std::string::npos);
    EXPECT_NE(shown.out.find("\\x1B[2J\\x07"), std::string::npos) << shown.out;
    EXPECT_TRUE(nlohmann::json::accept(cli("info --json " + evil).out));

    // With a pod: a Latin-1 job name stored and read back, a Hangul program written.
    Podsim pod({});
    ASSERT_TRUE(pod.ready());
    const CliRun stored = cli("pod-write --json --name 'caf\xE9' '" + latin1.string() + "'");
    ASSERT_EQ(stored.status, 0) << stored.out;
    EXPECT_TRUE(nlohmann::json::accept(stored.out));
    const CliRun info = cli("pod-info --json");
    ASSERT_EQ(info.status, 0);
    const auto ij = nlohmann::json::parse(info.out);
    EXPECT_NE(ij["messageHex"].get<std::string>().find("636166E9"), std::string::npos);
    const CliRun written = cli("write --json '" + hangul.string() + "'");
    EXPECT_EQ(written.status, 0);
    EXPECT_TRUE(nlohmann::json::accept(written.out)) << written.out;

    // Plain words for what went wrong: a link loop is not a missing file; a long name is refused.
    fs::create_symlink(dir / "loop.out", dir / "loop.out");
    EXPECT_NE(cli("info '" + (dir / "loop.out").string() + "'").out.find("Fail to open specified file"),
              std::string::npos);
    EXPECT_EQ(cli("pod-write --name NINECHARS '" + latin1.string() + "'").status, 2);
}

TEST(CliTrace, OnlyAPrivateRegularFileAndNeverThroughALink) {
    const fs::path dir = scratch("traces");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path victim = dir / "victim.txt";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, dir / "link.txt");
    // Refused before anything is opened: a failure of the run, not of the command line.
    EXPECT_EQ(cli("reset --trace '" + (dir / "link.txt").string() + "'").status, 1);
    EXPECT_EQ(test::fileBytes(victim), "precious");

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cli("reset --trace '" + (dir / "fifo").string() + "'").status, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "no wait for a reader";

    const fs::path readOnly = dir / "readonly.txt";
    std::ofstream(readOnly) << "kept";
    fs::permissions(readOnly, fs::perms::owner_read);
    const CliRun ro = cli("reset --json --trace '" + readOnly.string() + "'");
    EXPECT_EQ(ro.status, 1);
    EXPECT_NE(ro.out.find("read-only"), std::string::npos) << ro.out;
    EXPECT_EQ(test::fileBytes(readOnly), "kept");

    Podsim pod({});
    ASSERT_TRUE(pod.ready());
    const fs::path trace = dir / "trace.txt";
    std::ofstream(trace) << "old";
    fs::permissions(trace, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_EQ(cli("reset --trace '" + trace.string() + "'").status, 0);
    EXPECT_EQ(others(trace), fs::perms::none) << "the trace carries keys: the user's alone";
    EXPECT_NE(test::fileBytes(trace).find("host>pod"), std::string::npos);
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find("trace.txt."), std::string::npos) << "left behind";
}

// A trace named as the program (by its name, a link or a hard link) or as a
// ledger's file is refused before anything is written, on every path; a
// command that fails before it ends leaves an existing file as it was.
TEST(CliTrace, NeverTakesTheProgramOrAnotherFile) {
    CVL_NEED_SAMPLES(sampleDir());
    const fs::path dir = scratch("trace-names");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path program = dir / "prog.out";
    fs::copy_file(sampleDir() + "/adc_oku.out", program);
    const std::string original = test::fileBytes(program);
    fs::create_symlink(program, dir / "soft.out");
    fs::create_hard_link(program, dir / "hard.out");
    Podsim pod({"--serial", "NAMES"});
    ASSERT_TRUE(pod.ready());
    for (const std::string command : {"write", "pod-write", "pod-verify"}) {
        for (const char* name : {"prog.out", "soft.out", "hard.out"}) {
            const CliRun r =
                cli(command + " --json --trace '" + (dir / name).string() + "' '" + program.string() + "'");
            EXPECT_EQ(r.status, 2) << command << " " << name << ": " << r.out;
            EXPECT_NE(r.out.find("one file"), std::string::npos) << r.out;
        }
    }
    EXPECT_EQ(test::fileBytes(program), original);

    const fs::path ledger = dir / "serials.db";
    ASSERT_EQ(cli("ledger init '" + ledger.string() + "'").status, 0);
    const std::string ledgerBytes = test::fileBytes(ledger);
    const CliRun r = cli("write --trace '" + ledger.string() + "' --serial-at 0x300AB4 --serial-ledger '" +
                         ledger.string() + "' '" + program.string() + "'");
    EXPECT_EQ(r.status, 2) << r.out;
    const CliRun wal = cli("write --log '" + ledger.string() + "-wal' --serial-at 0x300AB4 --serial-ledger '" +
                           ledger.string() + "' '" + program.string() + "'");
    EXPECT_EQ(wal.status, 2) << wal.out;
    EXPECT_EQ(test::fileBytes(ledger), ledgerBytes);

    // A run that fails before it reaches a pod leaves an old file untouched.
    const fs::path trace = dir / "old.trace";
    std::ofstream(trace) << "earlier run";
    EXPECT_EQ(cli("write --trace '" + trace.string() + "' '" + (dir / "missing.out").string() + "'").status, 1);
    EXPECT_EQ(test::fileBytes(trace), "earlier run");
    EXPECT_EQ(pod.stop(), 0);
}

// Every byte a trace's text shows going one way.
std::string tracedBytes(const fs::path& trace, const std::string& direction) {
    std::ifstream in(trace);
    std::string line, bytes;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string time, dir, hex;
        if (!(fields >> time >> dir) || dir != direction) continue;
        while (fields >> hex && hex.size() == 2) bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
    }
    return bytes;
}

// A write interrupted by SIGTERM leaves a trace of everything it sent: the
// pod's own record of what arrived is the measure.
TEST(CliTrace, AnInterruptedRunKeepsItsWholeTrace) {
    const std::string program = sampleDir() + "/adc_oku.out";
    CVL_NEED_SAMPLES(program);
    const fs::path dir = scratch("interrupted");
    fs::create_directories(dir);
    const fs::path podTrace = dir / "pod.txt";
    const fs::path cliTrace = dir / "cli.txt";
    Podsim pod({"--wire-model", "--pod-time", "O02=30", "--trace", podTrace.string()});
    ASSERT_TRUE(pod.ready());
    const CliRun run = test::runCommand("XDG_RUNTIME_DIR='" + scratch("runtime").string() + "' " + CORVEXLINK_CLI_PATH +
                                        " write --trace '" + cliTrace.string() + "' " + program +
                                        " >/dev/null 2>&1 & sleep 1.2; kill -TERM $!; wait $!; echo status=$?");
    EXPECT_NE(run.out.find("status=143"), std::string::npos) << run.out;
    ASSERT_EQ(pod.stop(), 0);
    const std::string sent = tracedBytes(cliTrace, "host>pod");
    EXPECT_GT(sent.size(), 1000u) << "interrupted in the middle of the data";
    EXPECT_EQ(sent, tracedBytes(podTrace, "host>pod")) << "nothing the tool sent is missing from its trace";
}

// A store access that a failed POD Verify left open must not take the next
// Target Write's data words as store data.
TEST(EmulatorLikeAPod, AFailedVerifyLeavesNothingOpen) {
    test::PodRig rig;
    rig.link.loadDriver();
    CoffImage image;
    ASSERT_TRUE(test::loadSections(image, {test::words(0x338000, 60)}));
    test::CommandInputs inputs;
    CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
    EXPECT_FALSE(test::runPodVerify(ctx, inputs));
    EXPECT_EQ(rig.status.last().text, "There is no COFF file data in serial flash");
    EXPECT_TRUE(test::runTargetWrite(ctx, inputs)) << rig.status.last().text;
    EXPECT_EQ(rig.pod.target().flashWord(0x338000 + 59), 0x1000 + 59);
}

// Raw frames written to the emulator's terminal by a host of our own.
int openPod(const std::string& serial) {
    const CliRun listed = cli("pods --json");
    for (const auto& p : nlohmann::json::parse(listed.out)) {
        if (p["serialNumber"] == serial) return ::open(p["devicePath"].get<std::string>().c_str(), O_RDWR | O_NOCTTY);
    }
    return -1;
}

// The exit status of a process within the time, or -1 (then it is killed).
int exitWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

TEST(EmulatorLikeAPod, StopsPromptlyKeepingWhatTheHostSent) {
    // Frames waiting on the terminal when SIGTERM comes are executed first: a
    // job whose end frame the host has written is kept.
    for (int run = 0; run < 5; ++run) {
        const fs::path store = scratch("term-store.bin");
        fs::remove(store);
        Podsim pod({"--store", store.string(), "--serial", "TERM"});
        ASSERT_TRUE(pod.ready());
        const int fd = openPod("TERM");
        ASSERT_GE(fd, 0);
        const std::string frames = "\x02G\x03\x02Q31000101\x03\x02H\x03";
        ASSERT_EQ(::write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
        ::kill(pod.pid(), SIGTERM);
        EXPECT_EQ(exitWithin(pod.pid(), std::chrono::seconds(5)), 0);
        pod.forget();
        ::close(fd);
        sim::PodStoreModel saved;
        std::string error;
        ASSERT_TRUE(saved.load(store.string(), error)) << error;
        EXPECT_TRUE(saved.hasProgram) << "run " << run;
        EXPECT_EQ(others(store), fs::perms::none);
    }
    // A host that sends and never reads: the emulator still ends on SIGTERM.
    Podsim pod({"--serial", "DEAF"});
    ASSERT_TRUE(pod.ready());
    const int fd = openPod("DEAF");
    ASSERT_GE(fd, 0);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    std::string frames;
    for (int i = 0; i < 8000; ++i) frames += "\x02I\x03";
    for (std::size_t off = 0; off < frames.size();) {
        const ssize_t n = ::write(fd, frames.data() + off, frames.size() - off);
        if (n > 0) off += static_cast<std::size_t>(n);
        if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pod.pid(), SIGTERM);
    EXPECT_EQ(exitWithin(pod.pid(), std::chrono::seconds(3)), 0) << "ended, not spinning";
    pod.forget();
    ::close(fd);
}

TEST(EmulatorLikeAPod, ItsFilesAreRegularPrivateAndItsOwn) {
    const fs::path dir = scratch("podsim-files");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_symlink(dir / "loop", dir / "loop");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& bad :
         {(dir / "loop").string(), (dir / "fifo").string(), dir.string(), std::string("/dev/zero")}) {
        for (const char* option : {"--flash", "--store"}) {
            SCOPED_TRACE(std::string(option) + " " + bad);
            const auto start = std::chrono::steady_clock::now();
            Podsim pod({option, bad});
            EXPECT_FALSE(pod.ready());
            EXPECT_EQ(pod.stop(), 1);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        }
    }
    // One emulator per file.
    const fs::path store = dir / "store.bin";
    Podsim first({"--store", store.string()});
    ASSERT_TRUE(first.ready());
    Podsim second({"--store", store.string()});
    EXPECT_FALSE(second.ready());
    EXPECT_EQ(second.stop(), 1);

    // A save that fails is reported by the exit status; the write itself was answered.
    const fs::path gone = dir / "gone";
    fs::create_directories(gone);
    Podsim board({"--flash", (gone / "board.bin").string(), "--serial", "GONE"});
    ASSERT_TRUE(board.ready());
    fs::remove_all(gone);
    if (fs::exists(sampleDir())) {
        const CliRun run = cli("write --pod GONE " + sampleDir() + "/adc_oku.out");
        EXPECT_EQ(run.status, 0) << run.out;
    }
    EXPECT_EQ(board.stop(), 1);

    std::string error;
    for (const char* name : {"x.tmp", ".", "..", "a/b"}) {
        EXPECT_FALSE(sim::parsePodsimArgs({"--name", name}, error)) << name;
    }
}

}  // namespace
}  // namespace cvl
