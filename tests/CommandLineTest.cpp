// The command line says what it means: keys and addresses as typed or a
// usage error naming what is wrong, options that only make sense together,
// and with --json exactly one JSON document whatever happens.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "PodsimProcess.h"
#include "Samples.h"
#include "common/Outcome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

// Exactly one JSON document on standard output (errors may go to standard error).
nlohmann::json oneDocument(const std::string& args) {
    const CliRun r = test::runCommand("XDG_RUNTIME_DIR='" + scratch("runtime").string() + "' " + CORVEXLINK_CLI_PATH +
                                      " " + args + " 2>/dev/null");
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(r.out);  // throws on trailing text: a second document
    } catch (const std::exception& e) {
        ADD_FAILURE() << args << ": not one JSON document: " << e.what() << "\n" << r.out;
        return {};
    }
    if (j.is_object()) {
        EXPECT_EQ(j["exitStatus"], r.status) << args;
    }
    return j;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        CVL_NEED_SAMPLES(program);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    const std::string program = std::string(CORVEXLINK_TESTDATA_DIR) + "/adc_oku.out";
    const std::string binary =
        fs::path(CORVEXLINK_TESTDATA_DIR).parent_path() / "bin/P200W_ACDC_DSP_2800137_V1.000.bin";
    const fs::path dir = scratch("cmdline");
};

TEST_F(CommandLine, KeysAndAddressesAreTakenAsTypedOrRefused) {
    Podsim pod({"--serial", "TYPED", "--trace", (dir / "typed.trace").string()});
    ASSERT_TRUE(pod.ready());
    struct Case {
        std::string args;
        std::string result;  // the JSON result
        std::string says;    // a part of the message
    };
    const std::string ledger = " --serial-ledger " + (dir / "ledger.db").string();
    ASSERT_EQ(cli("ledger init " + (dir / "ledger.db").string()).status, 0);
    const fs::path renamed = dir / "renamed.out";  // a raw binary under a program's name
    fs::copy_file(binary, renamed);
    const std::vector<Case> cases = {
        {"write --csm XYZ,888G,12345,-1,FFFF,FFFF,FFFF,FFFF " + program, "UsageError", "word 0 ('XYZ')"},
        {"write --csm 1234,888G,1,1,1,1,1,1 " + program, "UsageError", "word 1 ('888G')"},
        {"write --csm 1,2,3,4,5,6,7,-1 " + program, "UsageError", "word 7 ('-1')"},
        {"write --csm 1,2,3,4,5,6,7,12345 " + program, "UsageError", "word 7 ('12345')"},
        {"write --csm 1,,3,4,5,6,7,8 " + program, "UsageError", "word 1 ('')"},
        {"write --csm 1,2,3,4,5,6,7 " + program, "UsageError", "exactly eight"},
        {"info --device none --base 80000x " + binary, "UsageError", "hexadecimal"},
        {"info --device none --base 400000 " + binary, "UsageError", "3FFFFF"},
        {"info --base 0x338000 " + program, "BaseNotForProgram", "--base is only for raw binaries"},
        {"write " + renamed.string(), "BinaryNeedsBase", "give --base"},
        {"write --serial-at main" + ledger + " " + program, "SerialRefused", "code"},
        {"write --serial-at 30001F" + ledger + " " + program, "SerialRefused", "code section .text"},
        {"write --serial-at 300AB4 --serial-start 100000" + ledger + " " + program, "UsageError", "65535"},
        {"write --serial-ledger x.txt " + program, "UsageError", "needs --serial-at"},
        {"write --all-pods --pod TYPED " + program, "UsageError", "exclude each other"},
        {"write --all-pods --trace t.txt " + program, "UsageError", "--trace takes one pod"},
        {"info --trace t.txt " + program, "UsageError", "does not take --trace"},
        {"write --no-such-option " + program, "UsageError", "unknown option"},
        {"write --device F28335 --device F28334 " + program, "UsageError", "--device is given twice"},
        {"write --serial-at 300AB4" + ledger + ledger + " " + program, "UsageError", "--serial-ledger is given twice"},
        {"write --log a.log --log b.log " + program, "UsageError", "--log is given twice"},
        {"write --csm 1,2,3,4,5,6,7,8 --csm 1,2,3,4,5,6,7,9 " + program, "UsageError", "--csm is given twice"},
        {"write", "UsageError", "needs a FILE"},
        {"frobnicate", "UsageError", "unknown command"},
    };
    for (const Case& c : cases) {
        const nlohmann::json j = oneDocument(c.args + " --json");
        EXPECT_EQ(j["result"], c.result) << c.args;
        EXPECT_NE(j["message"].get<std::string>().find(c.says), std::string::npos) << c.args << ": " << j["message"];
    }
    EXPECT_EQ(pod.stop(), 0);
    std::ifstream trace(dir / "typed.trace");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(trace), {}).find("host>pod"), std::string::npos)
        << "nothing was sent for any of them";

    // Hexadecimal with or without 0x; decimal serial numbers past 0x3FFFFF with 32 bits.
    for (const char* base : {"80000", "0x80000"}) {
        const nlohmann::json j = oneDocument(std::string("info --json --device none --base ") + base + " " + binary);
        EXPECT_EQ(j["sections"][0]["startAddress"], 0x80000) << base;
    }
    Podsim wide({"--serial", "WIDE"});
    ASSERT_TRUE(wide.ready());
    const nlohmann::json j = oneDocument("write --json --serial-at adc_oku_M --serial-width 32 --serial-start 5000000" +
                                         ledger + " " + program);
    EXPECT_EQ(j["result"], "Ok") << j;
    EXPECT_EQ(j["serialNumber"], 5000000);
}

// With --json every command prints one document with result and message
// (pods: one array), whatever refuses it; one pod prints as one pod, log or
// not; several pods print one document with their boards.
TEST_F(CommandLine, JsonIsOneDocumentAndOnePodPrintsAsOnePod) {
    const fs::path log = dir / "line.log";
    EXPECT_EQ(oneDocument("write --json --log " + log.string() + " " + program)["result"], "PodNotFound");
    Podsim a({"--serial", "JSON-A"});
    ASSERT_TRUE(a.ready());
    for (const std::string& args : std::vector<std::string>{
             "info --json /nonexistent.out", "convert --json --to hex -o " + (dir / "x.hex").string() + " " + program,
             "convert --json --to bin -o " + (dir / "x.bin").string() + " /nonexistent.out",
             "write --json --log " + dir.string() + " " + program, "write --json --pod NOPE " + program,
             "write --json --serial-at nosuchsymbol --serial-ledger " + (dir / "l.txt").string() + " " + program,
             "probe --json", "pod-info --json", "reset --json --log " + log.string()}) {
        const nlohmann::json j = oneDocument(args);
        EXPECT_TRUE(j.contains("result") && j.contains("message")) << args << ": " << j;
    }
    EXPECT_TRUE(oneDocument("pods --json").is_array());

    // One pod with a log: the lines of one pod, one object, its board record.
    const CliRun plain = cli("reset --log " + log.string());
    EXPECT_EQ(plain.status, 0) << plain.out;
    EXPECT_EQ(plain.out.find("JSON-A:"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("pods succeeded"), std::string::npos) << plain.out;
    const nlohmann::json one = oneDocument("write --json --log " + log.string() + " " + program);
    EXPECT_EQ(one["result"], "Ok");
    for (const char* field : {"figures", "warnings", "pod", "serialNumber", "phasesMs", "messages", "elapsedSeconds"})
        EXPECT_TRUE(one.contains(field)) << field;
    std::ifstream lines(log);
    std::string first;
    std::getline(lines, first);
    EXPECT_GT(nlohmann::json::parse(first)["phasesMs"]["reset"].get<double>(), 0.0) << "reset timed";

    Podsim b({"--serial", "JSON-B"});
    ASSERT_TRUE(b.ready());
    const nlohmann::json both = oneDocument("write --json --all-pods " + program);
    ASSERT_EQ(both["boards"].size(), 2u) << both;
    EXPECT_EQ(both["summary"]["succeeded"], 2);
    EXPECT_EQ(both["boards"][0].size(), one.size() - 1) << "the same record, without the run's exit status";
}

// Every result a script may meet is in the README's table, with its message.
TEST(Readme, ListsEveryOutcomeCode) {
    std::ifstream in(CORVEXLINK_README);
    const std::string readme(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(readme.empty());
    for (int i = 1; i < kOutcomeCodeCount; ++i) {
        const auto code = static_cast<OutcomeCode>(i);
        const std::string row = "| `" + std::string(outcomeName(code)) + "` | ";
        const auto at = readme.find(row);
        ASSERT_NE(at, std::string::npos) << outcomeName(code) << " is missing from the README";
        EXPECT_EQ(readme.compare(at + row.size(), outcomeMessage(code).size(), outcomeMessage(code)), 0)
            << outcomeName(code) << ": the README's message differs";
    }
}

}  // namespace
}  // namespace cvl
