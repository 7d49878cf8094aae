// Runs the built corvexlink-cli as a user's script would.

#include <gtest/gtest.h>

#include "Samples.h"
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "RunCommand.h"

namespace {

using CliRun = cvl::test::CommandRun;

CliRun runCli(const std::string& args) {
    return cvl::test::runCommand(std::string(CORVEXLINK_CLI_PATH) + " " + args + " 2>/dev/null");
}

std::string sampleDir() { return CORVEXLINK_TESTDATA_DIR; }

TEST(CliInfo, JsonForEverySampleAndDevice) {
    CVL_NEED_SAMPLES(sampleDir());
    for (const auto& entry : std::filesystem::directory_iterator(sampleDir())) {
        if (entry.path().extension() != ".out") continue;
        for (const char* device : {"F28332", "F28334", "F28335"}) {
            const std::string file = entry.path().string();
            const CliRun r = runCli(std::string("info --json --device ") + device + " '" + file + "'");
            SCOPED_TRACE(file + " " + device);
            const auto j = nlohmann::json::parse(r.out);
            EXPECT_EQ(j["file"], file);
            EXPECT_EQ(j["device"], device);
            const bool ok = j["result"] == "Ok";
            EXPECT_EQ(r.status, ok ? 0 : 1);
            EXPECT_EQ(j["sections"].size(), j["summary"]["sectionCount"].get<std::size_t>());
            std::uint64_t total = 0;
            for (const auto& s : j["sections"]) total += 2 * s["lengthWords"].get<std::uint64_t>();
            EXPECT_EQ(j["summary"]["totalBytes"].get<std::uint64_t>(), total);
            const std::string name = entry.path().filename().string();
            // Which program fits which device: every section in its flash or its boot-loadable RAM.
            const bool fits = name == "adc_oku1.out" || (name == "adc_oku.out" && std::string(device) == "F28335") ||
                              (name == "Example_Flash28333_API.out" && std::string(device) != "F28332");
            if (name == "sine.out") {
                EXPECT_EQ(j["result"], "WrongTarget");
                EXPECT_EQ(j["message"], "The specified file is not match with MCU");
                EXPECT_EQ(j["summary"]["totalBytes"], 0);
            } else if (fits) {
                EXPECT_TRUE(ok);
                EXPECT_EQ(j["warnings"], nlohmann::json::array());
            } else {
                EXPECT_EQ(j["result"], "SectionOutsideMemory");
                EXPECT_NE(j["message"].get<std::string>().find(std::string("outside the ") + device),
                          std::string::npos);
            }
        }
    }
}

TEST(CliInfo, AdcOkuMatchesTheDocumentedObject) {
    CVL_NEED_SAMPLES(sampleDir());
    const CliRun r = runCli("info --json " + sampleDir() + "/adc_oku.out");
    ASSERT_EQ(r.status, 0);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["device"], "F28335");
    EXPECT_EQ(j["message"], "Reading COFF file is successful");
    EXPECT_EQ(j["fileName"], "adc_oku");
    const nlohmann::json summary = {
        {"sectionCount", 5},    {"totalBytes", 5586},     {"classified", true}, {"hasFlashSection", true},
        {"sectorUnion", 129},   {"flashSectionCount", 5}, {"flashListEnd", 5},  {"flashBytes", 5586},
        {"ramSectionCount", 0}, {"ramBytes", 0}};
    EXPECT_EQ(j["summary"], summary);
    const auto& text = j["sections"][0];
    EXPECT_EQ(text["name"], ".text");
    EXPECT_EQ(text["startAddress"], 3145759);
    EXPECT_EQ(text["lengthWords"], 2453);
    EXPECT_EQ(text["inFlash"], true);
    EXPECT_EQ(text["sectorMask"], 128);
    EXPECT_EQ(text["streamOffset"], 0);
    EXPECT_EQ(text["crc32"], 2348511368u);
}

TEST(CliInfo, RefusalsAndUsageErrors) {
    CliRun missing = runCli("info --json /nonexistent/x.out");
    EXPECT_EQ(missing.status, 1);
    const auto j = nlohmann::json::parse(missing.out);
    EXPECT_EQ(j["result"], "NotFound");
    EXPECT_EQ(j["message"], "The specified COFF file isn't exist");
    EXPECT_TRUE(j["sections"].empty());

    EXPECT_EQ(runCli("info /").status, 1);
    EXPECT_EQ(runCli("info").status, 2);
    EXPECT_EQ(runCli("info --device F2812 x.out").status, 2);
    EXPECT_EQ(runCli("info --bogus x.out").status, 2);
    EXPECT_EQ(runCli("frobnicate").status, 2);
    EXPECT_EQ(runCli("").status, 2);
}

TEST(CliInfo, PlainOutputListsSections) {
    CVL_NEED_SAMPLES(sampleDir());
    const CliRun r = runCli("info " + sampleDir() + "/adc_oku.out");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ramfuncs"), std::string::npos);
    EXPECT_NE(r.out.find("0x30001F"), std::string::npos);
    EXPECT_NE(r.out.find("Reading COFF file is successful"), std::string::npos);
}

}  // namespace
