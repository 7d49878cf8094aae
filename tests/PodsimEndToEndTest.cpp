// Runs corvexlink-podsim as a process and programs it with corvexlink-cli,
// through the kernel serial backend and the virtual-pod announcement.

#include <gtest/gtest.h>

#include "Samples.h"
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command/LoadCommand.h"
#include "CoffWriter.h"
#include "PodsimProcess.h"
#include "RunCommand.h"
#include <nlohmann/json.hpp>
#include "TestStatus.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PodsimEndToEnd, CliProgramsEveryFlashSampleIntoTheEmulator) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    for (const char* name : {"adc_oku.out", "Example_Flash28333_API.out"}) {
        SCOPED_TRACE(name);
        const std::string file = dir + "/" + name;
        CoffImage image;
        test::RecordingStatus status;
        ASSERT_EQ(loadCoffFile(image, status, file, kDefaultMcu), OutcomeCode::Ok);

        // Old contents everywhere but sector 0 (which holds the password).
        const fs::path flash = scratch(std::string(name) + ".flash");
        const std::uint32_t words = 0x340000 - 0x300000;
        std::vector<std::uint8_t> old(words * 2, 0x5A);
        for (std::uint32_t a = 0x338000; a < 0x340000; ++a)
            old[2 * (a - 0x300000)] = old[2 * (a - 0x300000) + 1] = 0xFF;
        std::ofstream(flash, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), old.size());

        Podsim pod({"--flash", flash.string()});
        ASSERT_TRUE(pod.ready());
        const CliRun run = cli("write '" + file + "'");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("Flash Write Completed - "), std::string::npos) << run.out;
        ASSERT_EQ(pod.stop(), 0);

        const auto bytes = readFile(flash);
        ASSERT_EQ(bytes.size(), old.size());
        std::vector<std::uint8_t> expected = old;
        const std::uint8_t erased = image.eraseSectorMask(false);
        for (std::uint32_t a = 0x300000; a < 0x340000; ++a) {
            if (erased & sectorOf(McuType::F28335, a)->bit)
                expected[2 * (a - 0x300000)] = expected[2 * (a - 0x300000) + 1] = 0xFF;
        }
        for (const SectionRecord& s : image.sections) {
            for (std::uint32_t i = 0; i < s.lengthWords; ++i) {
                const std::size_t at = 2 * (s.startAddress + i - 0x300000);
                expected[at] = s.data[2 * i];
                expected[at + 1] = s.data[2 * i + 1];
            }
        }
        EXPECT_TRUE(bytes == expected) << "the emulated flash differs from the program";
    }
}

TEST(PodsimEndToEnd, RamProgramResetAndFailures) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    const fs::path trace = scratch("trace.txt");
    {
        Podsim pod({"--trace", trace.string()});
        ASSERT_TRUE(pod.ready());
        const CliRun ram = cli("write " + dir + "/adc_oku1.out");
        EXPECT_EQ(ram.status, 0) << ram.out;
        EXPECT_NE(ram.out.find("Downloading User Program..."), std::string::npos);
        EXPECT_NE(ram.out.find("Flash Write Completed - "), std::string::npos);
        const CliRun reset = cli("reset");
        EXPECT_EQ(reset.status, 0);
        EXPECT_NE(reset.out.find("Target board's reset is successful"), std::string::npos);
    }
    std::ifstream t(trace);
    const std::string text((std::istreambuf_iterator<char>(t)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("|.X0000.|"), std::string::npos) << "the boot stream ended";
    EXPECT_NE(text.find("host>pod"), std::string::npos);

    {
        Podsim pod({"--fault", "wrongack:K:1", "--fault", "wrongack:K:2", "--serial", "E2E-7"});
        ASSERT_TRUE(pod.ready());
        const CliRun run = cli("write " + dir + "/adc_oku.out");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("Fail to download flash algorithm code"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Completed"), std::string::npos);
        // A script reads the failing step by its code, and which pod it was.
        const CliRun json = cli("write --json " + dir + "/adc_oku.out");
        EXPECT_EQ(json.status, 1);
        const auto j = nlohmann::json::parse(json.out);
        EXPECT_EQ(j["result"], "AlgorithmFailed");
        EXPECT_EQ(j["message"], "Fail to download flash algorithm code");
        EXPECT_EQ(j["pod"]["serialNumber"], "E2E-7");
        EXPECT_EQ(j["pod"]["backend"], "virtual");
        EXPECT_EQ(j["pod"]["devicePath"].get<std::string>().rfind("/dev/pts/", 0), 0u);
    }
    const CliRun none = cli("reset");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("No Connection to Corvexlink POD"), std::string::npos) << none.out;
    EXPECT_EQ(cli("write").status, 2);
    EXPECT_EQ(cli("write --csm 1,2,3 x.out").status, 2);
    const CliRun zeros = cli("write --csm 0,0,0,0,0,0,0,0 " + dir + "/adc_oku.out");
    EXPECT_EQ(zeros.status, 1);
    EXPECT_NE(zeros.out.find("CSM Password input is wrong"), std::string::npos);
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

TEST(PodsimEndToEnd, StoredJobSurvivesARestartAndCatchesAnotherProgram) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    const fs::path store = scratch("pod-store.bin");
    fs::remove(store);
    {
        Podsim pod({"--store", store.string()});
        ASSERT_TRUE(pod.ready());
        const CliRun info = cli("pod-info");
        EXPECT_EQ(info.status, 0) << info.out;
        EXPECT_NE(info.out.find("POD Ver: 1.2, No POD File Data"), std::string::npos) << info.out;
        const CliRun write = cli("pod-write --name MOTOR1 " + dir + "/adc_oku.out");
        EXPECT_EQ(write.status, 0) << write.out;
        EXPECT_NE(write.out.find("Writing user program in serial flash..."), std::string::npos);
        EXPECT_NE(write.out.find("EEPROM Write Completed - "), std::string::npos) << write.out;
    }
    Podsim pod({"--store", store.string()});  // a restart: the serial flash keeps the job
    ASSERT_TRUE(pod.ready());
    const CliRun verify = cli("pod-verify " + dir + "/adc_oku.out");
    EXPECT_EQ(verify.status, 0) << verify.out;
    EXPECT_NE(verify.out.find("EEPROM Verify Completed - "), std::string::npos) << verify.out;
    const CliRun info = cli("pod-info");
    EXPECT_NE(info.out.find("POD Ver: 1.2, POD File Name: MOTOR1 [when "), std::string::npos) << info.out;
    const CliRun other = cli("pod-verify " + dir + "/Example_Flash28333_API.out");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find("The selected COFF file is not same in serial flash"), std::string::npos) << other.out;
    const CliRun otherDevice = cli("pod-verify --device F28334 " + dir + "/adc_oku.out");
    EXPECT_EQ(otherDevice.status, 1);
    EXPECT_NE(otherDevice.out.find("lies outside the F28334's flash and RAM"), std::string::npos) << otherDevice.out;
    // A program for another device is refused before the pod is touched, not half written.
    const CliRun wrongDevice = cli("write --json --device F28332 " + dir + "/adc_oku.out");
    EXPECT_EQ(wrongDevice.status, 1);
    const auto w = nlohmann::json::parse(wrongDevice.out);
    EXPECT_EQ(w["result"], "SectionOutsideMemory");
    EXPECT_EQ(w["message"], "Section .text (0x30001F, 2453 words) lies outside the F28332's flash and RAM");
    EXPECT_EQ(w["messages"].size(), 1u) << "only the refusal: no SCI boot";
    EXPECT_EQ(cli("pod-verify --erase-all x.out").status, 2);
    EXPECT_EQ(cli("pod-info extra").status, 2);
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

TEST(CliForScripts, JsonTraceHelpAndVersion) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    Podsim pod({});
    ASSERT_TRUE(pod.ready());
    const fs::path trace = scratch("cli-trace.txt");
    const CliRun run = cli("write --json --trace '" + trace.string() + "' " + dir + "/adc_oku.out");
    ASSERT_EQ(run.status, 0) << run.out;
    const auto j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["command"], "write");
    EXPECT_EQ(j["result"], "Ok");
    EXPECT_EQ(j["exitStatus"], 0);
    EXPECT_EQ(j["message"].get<std::string>().rfind("Flash Write Completed - ", 0), 0u);
    EXPECT_GT(j["elapsedSeconds"].get<double>(), 0.0);
    EXPECT_EQ(j["figures"]["flashBytes"], 5586);
    EXPECT_EQ(j["figures"]["eraseMask"], 0x81);
    EXPECT_EQ(j["messages"].size(), 7u);
    std::ifstream t(trace);
    const std::string text((std::istreambuf_iterator<char>(t)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("host>pod  02 49 03"), std::string::npos) << "the handshake, as the host sent it";
    EXPECT_NE(text.find("pod>host  21"), std::string::npos);

    const CliRun failed = cli("pod-verify --json " + dir + "/adc_oku.out");
    EXPECT_EQ(failed.status, 1);
    const auto f = nlohmann::json::parse(failed.out);
    EXPECT_EQ(f["result"], "NoStoredJob");
    EXPECT_EQ(f["message"], "There is no COFF file data in serial flash");
    EXPECT_EQ(f["isError"], true);

    const CliRun version = cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("corvexlink-cli ") + CORVEXLINK_VERSION + "\n");
    for (const char* command : {"info", "write", "reset", "pod-write", "pod-verify", "pod-info", "probe", "convert"}) {
        const CliRun help = cli(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find(std::string("corvexlink-cli ") + command), std::string::npos) << command;
        // Only the commands that talk to a pod take a trace.
        const bool pod = std::string(command) != "info" && std::string(command) != "convert";
        EXPECT_EQ(help.out.find("--trace FILE") != std::string::npos, pod) << command;
    }
    EXPECT_EQ(cli("write --trace").status, 2);
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

// The emulator's trace as one line per run of bytes in one direction, with
// the times and the line splits (which depend on timing) taken out, and the
// date of a stored tag masked where it travels (the T frame and the J
// reply): what must stay byte-identical across changes of the host's code.
// The same script checks the Windows build's session under wine.
std::string normalisedTrace(const fs::path& path) {
    return test::runCommand("python3 '" + std::string(CORVEXLINK_SOURCE_DIR) + "/tools/trace-normalise.py' '" +
                            path.string() + "'")
        .out;
}

TEST(GoldenTrace, EveryCommandSendsTheSameBytes) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    const fs::path trace = scratch("golden-session.txt");
    const fs::path store = scratch("golden-store.bin");
    fs::remove(store);
    {
        Podsim pod({"--trace", trace.string(), "--store", store.string()});
        ASSERT_TRUE(pod.ready());
        const std::vector<std::string> session = {
            "pod-info",
            "write " + dir + "/adc_oku.out",
            "write --erase-all --csm 1234,FFFF,ABCD,0,FFFF,5,6,7 " + dir + "/Example_Flash28333_API.out",
            "write " + dir + "/adc_oku1.out",
            "reset",
            "pod-write --name GOLDEN --csm 1,2,3,4,5,6,7,8 " + dir + "/adc_oku.out",
            "pod-verify " + dir + "/adc_oku.out",
            "pod-verify " + dir + "/Example_Flash28333_API.out",
            "pod-write --erase-all " + dir + "/Example_Flash28333_API.out",
        };
        for (const std::string& command : session) {
            const CliRun run = cli(command);
            EXPECT_NE(run.status, 2) << command << "\n" << run.out;
        }
        ASSERT_EQ(pod.stop(), 0);
    }
    const std::string actual = normalisedTrace(trace);
    const fs::path golden = fs::path(CORVEXLINK_GOLDEN_DIR) / "cli-session.trace";
    if (std::getenv("CORVEXLINK_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(golden, std::ios::binary) << actual;
        GTEST_SKIP() << "golden trace rewritten: " << golden;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << golden;
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty());
    if (actual != expected) {
        std::size_t at = 0;
        while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
        const std::size_t lineStart = expected.rfind('\n', at) == std::string::npos ? 0 : expected.rfind('\n', at) + 1;
        FAIL() << "the bytes on the wire changed at offset " << at << "; expected line:\n"
               << expected.substr(lineStart, 200) << "\nactual:\n"
               << actual.substr(lineStart, 200);
    }
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

// A program that sets a CSM password is written from the command line only
// with --lock (an all-zero one only with --allow-permanent-lock); a blank file
// name gets the command's own prompt.
TEST(CliForScripts, LockConsentIsHonouredAndBlankNamesPrompt) {
    test::CoffLayout layout;
    test::TestSection text;
    text.name = ".text";
    text.address = 0x338000;
    text.words = {1, 2, 3, 4};
    test::TestSection password;
    password.name = "csmpasswds";
    password.address = 0x33FFF8;
    password.words = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
    layout.sections = {text, password};
    const std::string locks = test::writeTempFile("locks-cli.out", test::buildCoff(layout));
    for (auto& w : layout.sections[1].words) w = 0;
    const std::string bricks = test::writeTempFile("bricks-cli.out", test::buildCoff(layout));

    Podsim pod({});
    ASSERT_TRUE(pod.ready());
    const CliRun refused = cli("write --json " + locks);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(nlohmann::json::parse(refused.out)["result"], "LockNotConfirmed");
    const CliRun permanent = cli("write --json --lock " + bricks);
    EXPECT_EQ(nlohmann::json::parse(permanent.out)["result"], "PermanentLockRefused");
    const CliRun consented = cli("write --json --lock " + locks);
    EXPECT_EQ(consented.status, 0) << consented.out;
    EXPECT_EQ(nlohmann::json::parse(consented.out)["result"], "Ok");

    const CliRun blank = cli("pod-verify ' '");
    EXPECT_EQ(blank.status, 1);
    EXPECT_NE(blank.out.find("Please, specify COFF file to verify serial flash in Corvexlink POD"), std::string::npos)
        << blank.out;
}

}  // namespace
}  // namespace cvl
