// A production line: several pods programmed in one command, each in its own
// thread, with a log line per board and a unique serial number per board.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "PodsimProcess.h"
#include "Samples.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::Podsim;
using test::scratch;

// The word at a flash address in an emulator's flash file (F28335: from 0x300000).
std::uint16_t flashWord(const std::string& bytes, std::uint32_t address) {
    const std::size_t at = 2 * std::size_t{address - 0x300000};
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

TEST(ProductionLine, FourPodsOneCommandTheirOwnFatesLogAndSerialNumbers) {
    const std::string program = std::string(CORVEXLINK_TESTDATA_DIR) + "/adc_oku.out";
    CVL_NEED_SAMPLES(program);
    const fs::path dir = scratch("line");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::vector<std::vector<std::string>> setups = {{"--serial", "GOOD1"},
                                                          {"--serial", "NOALGO", "--fault", "wrongack:K:1"},
                                                          {"--serial", "UNPLUG", "--fault", "unplug:6000"},
                                                          {"--serial", "GOOD2"}};
    std::vector<std::unique_ptr<Podsim>> pods;
    for (const auto& setup : setups) {
        auto args = setup;
        args.insert(args.end(), {"--flash", (dir / (setup[1] + ".bin")).string()});
        pods.push_back(std::make_unique<Podsim>(args));
        ASSERT_TRUE(pods.back()->ready());
    }
    const fs::path log = dir / "line.log";
    const fs::path ledger = dir / "ledger.db";

    // A missing ledger is never made by a run: a mistyped name would start a
    // new series. An unwritable log refuses the command before any number is taken.
    const CliRun missing =
        cli("write --all-pods --serial-at 0x300AB4 --serial-ledger " + ledger.string() + " " + program);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("corvexlink-cli ledger init " + ledger.string()), std::string::npos) << missing.out;
    EXPECT_FALSE(fs::exists(ledger));
    ASSERT_EQ(cli("ledger init " + ledger.string()).status, 0);
    const CliRun refused = cli("write --all-pods --log " + dir.string() + " --serial-at 0x300AB4 --serial-ledger " +
                               ledger.string() + " " + program);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(cli("ledger list --json " + ledger.string()).out.find("\"number\""), std::string::npos)
        << "no number taken";

    const CliRun run = cli("write --all-pods --log " + log.string() + " --serial-at 0x300AB4 --serial-ledger " +
                           ledger.string() + " --serial-start 1000 " + program);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("GOOD1 at /dev/pts/"), std::string::npos);
    EXPECT_NE(run.out.find("Fail to download flash algorithm code (AlgorithmFailed)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Fail to write flash memory (WriteFailed)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 of 4 pods succeeded"), std::string::npos);

    // One log line per board, each a JSON object a script can judge.
    std::istringstream lines(test::fileBytes(log));
    std::map<std::string, nlohmann::json> byPod;
    for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line);
        byPod[j["podSerialNumber"]] = j;
    }
    ASSERT_EQ(byPod.size(), 4u);
    const CliRun sha = test::runCommand("sha256sum '" + program + "'");
    std::set<std::uint64_t> numbers;
    for (const auto& [pod, j] : byPod) {
        EXPECT_EQ(j["programSha256"], sha.out.substr(0, 64));
        EXPECT_EQ(j["device"], "F28335");
        EXPECT_EQ(j["command"], "write");
        EXPECT_EQ(j["eraseMask"], 0x81);
        EXPECT_EQ(j["time"].get<std::string>().back(), 'Z');
        numbers.insert(j["serialNumber"].get<std::uint64_t>());
    }
    EXPECT_EQ(numbers, (std::set<std::uint64_t>{1000, 1001, 1002, 1003}));
    EXPECT_EQ(byPod["GOOD1"]["result"], "Ok");
    EXPECT_EQ(byPod["GOOD2"]["result"], "Ok");
    EXPECT_EQ(byPod["NOALGO"]["result"], "AlgorithmFailed");
    EXPECT_EQ(byPod["UNPLUG"]["result"], "WriteFailed");
    EXPECT_GT(byPod["GOOD1"]["phasesMs"]["program"].get<double>(), 0.0);

    // The healthy boards hold the program with their own number; the ledger
    // holds every number with its fate.
    for (auto& p : pods) p->stop();
    for (const char* good : {"GOOD1", "GOOD2"}) {
        const std::string flash = test::fileBytes(dir / (std::string(good) + ".bin"));
        ASSERT_EQ(flash.size(), 0x40000u * 2);
        EXPECT_EQ(flashWord(flash, 0x300AB4), byPod[good]["serialNumber"].get<std::uint64_t>()) << good;
        EXPECT_EQ(flashWord(flash, 0x30001F), 0x761B) << good << ": the program's own first word (file bytes 1b 76)";
    }
    const CliRun listed = cli("ledger list --json " + ledger.string());
    ASSERT_EQ(listed.status, 0) << listed.out;
    std::map<std::uint64_t, nlohmann::json> book;
    const auto listedNumbers = nlohmann::json::parse(listed.out)["numbers"];
    for (const auto& n : listedNumbers) book[n["number"].get<std::uint64_t>()] = n;
    ASSERT_EQ(book.size(), 4u) << listed.out;
    for (const auto& [pod, j] : byPod) {
        const auto& entry = book[j["serialNumber"].get<std::uint64_t>()];
        EXPECT_EQ(entry["board"], pod);
        EXPECT_EQ(entry["state"], j["result"] == "Ok" ? "used" : "failed") << pod;
    }

    // A number is never issued twice: the next run goes on from the ledger.
    Podsim again({"--serial", "AGAIN"});
    ASSERT_TRUE(again.ready());
    // A start that would repeat or skip numbers is refused, naming the next one.
    for (const char* start : {"1", "1100"}) {
        const CliRun skip = cli("write --pod AGAIN --serial-at 0x300AB4 --serial-ledger " + ledger.string() +
                                " --serial-start " + start + " " + program);
        EXPECT_EQ(skip.status, 1) << skip.out;
        EXPECT_NE(skip.out.find("its next number is 1004"), std::string::npos) << skip.out;
    }
    const CliRun more = cli("write --json --pod AGAIN --serial-at 0x300AB4 --serial-ledger " + ledger.string() +
                            " --serial-start 1004 " + program);
    EXPECT_EQ(more.status, 0) << more.out;
    std::istringstream objects(more.out);
    std::string first;
    std::getline(objects, first);
    EXPECT_EQ(nlohmann::json::parse(first)["serialNumber"], 1004);
    EXPECT_EQ(cli("pod-write --serial-at 0x300AB4 --serial-ledger x " + program).status, 2)
        << "a stored job programs identical boards";
}

}  // namespace
}  // namespace cvl
