// What the command-line tool does with the files it is given to write: it
// replaces only regular files the user may write, keeps their mode, never
// blocks on a FIFO, never writes through a link, never takes two options for
// one file, leaves no torn log line and no temporary file behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "CoffWriter.h"
#include "PodsimProcess.h"
#include "Samples.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

class FileSafety : public ::testing::Test {
protected:
    void SetUp() override {
        CVL_NEED_SAMPLES(program);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    const std::string program = std::string(CORVEXLINK_TESTDATA_DIR) + "/adc_oku.out";
    const fs::path dir = scratch("files");
};

// convert -o: what may be replaced, and what may not.
TEST_F(FileSafety, ConvertReplacesOnlyWritableRegularFiles) {
    const fs::path kept = dir / "kept.hex";
    std::ofstream(kept) << "old\n";
    const fs::path target = dir / "target.hex";
    std::ofstream(target) << "target\n";
    const fs::path link = dir / "link.hex";
    fs::create_symlink(target, link);
    const fs::path fifo = dir / "fifo.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path readOnly = dir / "readonly.hex";
    std::ofstream(readOnly) << "read-only\n";
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    struct Case {
        std::string out;
        const char* why;
    };
    for (const Case& c : {Case{"/dev/null", "not a regular file"}, Case{fifo.string(), "not a regular file"},
                          Case{link.string(), "symbolic link"}, Case{readOnly.string(), "read-only"},
                          Case{program, "the program file itself"}}) {
        const CliRun r = cli("convert --json --to hex -o " + c.out + " " + program);
        EXPECT_NE(r.status, 0) << c.out;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_NE(j["message"].get<std::string>().find(c.why), std::string::npos) << c.out << ": " << r.out;
    }
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::fileBytes(target), "target\n");
    EXPECT_EQ(test::fileBytes(readOnly), "read-only\n");

    // A file that may be replaced keeps its mode; - is standard output.
    fs::permissions(kept,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(cli("convert --to hex -o " + kept.string() + " " + program).status, 0);
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    const CliRun toStdout = test::runCommand(std::string(CORVEXLINK_CLI_PATH) + " convert --to hex -o - " + program);
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, test::fileBytes(kept));
}

// --log: a FIFO, a link or a dangling link is refused at once, before any
// board is touched; so are two options naming one file.
TEST_F(FileSafety, LogIsARegularFileOfItsOwn) {
    Podsim pod({"--serial", "FILES"});
    ASSERT_TRUE(pod.ready());
    const fs::path fifo = dir / "fifo.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path dangling = dir / "dangling.log";
    fs::create_symlink(dir / "nowhere.log", dangling);
    const fs::path log = dir / "line.log";
    const fs::path hard = dir / "hard.log";
    std::ofstream(log).close();
    fs::create_hard_link(log, hard);
    const std::string serial = " --serial-at 0x300AB4 --serial-ledger ";
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& args :
         {"--log " + fifo.string(), "--log " + dangling.string(), "--log " + log.string() + serial + hard.string(),
          "--log " + log.string() + " --trace " + hard.string()}) {
        const CliRun r = cli("write --json " + args + " " + program);
        EXPECT_NE(r.status, 0) << args;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_NE(j["result"], "Ok") << args;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "nothing waited on the FIFO";
    EXPECT_FALSE(fs::exists(dir / "nowhere.log"));
    EXPECT_EQ(test::fileBytes(log), "");
    EXPECT_EQ(pod.stop(), 0);
}

// A log write that falls short (the file size limit stands in for a full
// disk) is cut back to the last full line, and the command fails.
TEST_F(FileSafety, ALogLineIsWholeOrAbsent) {
    Podsim pod({"--serial", "FULL"});
    ASSERT_TRUE(pod.ready());
    const fs::path log = dir / "full.log";
    ASSERT_EQ(cli("reset --log " + log.string()).status, 0);
    const std::string first = test::fileBytes(log);
    ASSERT_FALSE(first.empty());
    // Room for about half of a second line: ulimit -f counts 512-byte blocks in sh.
    const std::uintmax_t limit = (first.size() * 3 / 2 + 511) / 512 * 512;
    std::string filler(limit - first.size() - first.size() / 2, 'x');
    filler.back() = '\n';
    std::ofstream(log, std::ios::app) << filler;
    const CliRun r = test::runCommand("sh -c \"trap '' XFSZ; ulimit -f " + std::to_string(limit / 512) +
                                      "; XDG_RUNTIME_DIR='" + scratch("runtime").string() + "' exec " +
                                      CORVEXLINK_CLI_PATH + " reset --log " + log.string() + "\" 2>&1");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("last full line"), std::string::npos) << r.out;
    EXPECT_EQ(test::fileBytes(log), first + filler);
    // A script reading --json is not told the run went well; the signal a
    // shell leaves at its default ends nothing without a word.
    const CliRun json = test::runCommand("sh -c \"ulimit -f " + std::to_string(limit / 512) + "; XDG_RUNTIME_DIR='" +
                                         scratch("runtime").string() + "' exec " + CORVEXLINK_CLI_PATH +
                                         " reset --json --log " + log.string() + "\" 2>/dev/null");
    EXPECT_EQ(json.status, 1);
    const auto doc = nlohmann::json::parse(json.out, nullptr, false);
    EXPECT_EQ(doc.value("result", ""), "LogFailed") << json.out;
    EXPECT_EQ(doc.value("isError", false), true) << json.out;
    EXPECT_EQ(test::fileBytes(log), first + filler);
    EXPECT_EQ(pod.stop(), 0);
}

// An interrupt during convert's write ends the tool with the output whole
// (or untouched) and no temporary file left.
TEST_F(FileSafety, AnInterruptLeavesNoTemporaryFile) {
    test::CoffLayout layout;
    test::TestSection big;
    big.name = ".text";
    big.address = 0x100000;
    for (std::uint32_t i = 0; i < 0x300000; ++i) big.words.push_back(static_cast<std::uint16_t>(i * 31));
    layout.sections = {big};
    const std::string source = test::writeTempFile("interrupt.out", test::buildCoff(layout));
    const fs::path out = dir / "big.hex";
    const pid_t child = fork();
    if (child == 0) {
        execl(CORVEXLINK_CLI_PATH, CORVEXLINK_CLI_PATH, "convert", "--to", "hex", "-o", out.c_str(), source.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupted as soon as its temporary file appears.
    bool seen = false;
    for (int i = 0; i < 4000 && !seen; ++i) {
        for (const auto& e : fs::directory_iterator(dir))
            seen = seen || e.path().filename().string().find("big.hex.") == 0;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(seen);
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_EQ(e.path().filename(), "big.hex") << "left behind";
    if (fs::exists(out)) {
        const CliRun whole = test::runCommand(std::string(CORVEXLINK_CLI_PATH) + " convert --to hex -o - " + source);
        EXPECT_TRUE(test::fileBytes(out) == whole.out) << "whole, never half";
    }
}

}  // namespace
}  // namespace cvl
