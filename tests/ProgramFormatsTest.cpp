// Every program file a C2000 build produces, read into the same image:
// checked against the sample files' own bytes, and round trips through the
// writers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <nlohmann/json.hpp>

#include "RunCommand.h"
#include "CoffWriter.h"
#include "Samples.h"
#include "TestStatus.h"
#include "image/ImageChecks.h"
#include "image/IntelHexReader.h"
#include "image/LoadCommand.h"
#include "image/ProgramWriter.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using WordMap = std::map<std::uint32_t, std::uint16_t>;

std::string sample(const std::string& rel) { return fs::path(CORVEXLINK_TESTDATA_DIR).parent_path() / rel; }

class ProgramFormats : public ::testing::Test {
protected:
    void SetUp() override { CVL_NEED_SAMPLES(sample("hex")); }
    OutcomeCode load(const std::string& path, McuType device = kDefaultMcu, ReadOptions options = {}) {
        return loadCoffFile(image, status, path, device, {}, options);
    }
    WordMap words() const {
        WordMap map;
        for (const SectionRecord& s : image.sections) {
            for (std::uint32_t i = 0; i < s.lengthWords; ++i) map[s.startAddress + i] = s.word(i);
        }
        return map;
    }
    CoffImage image;
    test::RecordingStatus status;
};

TEST_F(ProgramFormats, Hex2000OutputHoldsTheSameWordsAsItsCoff) {
    ASSERT_EQ(load(sample("coff/adc_oku.out")), OutcomeCode::Ok);
    const WordMap coff = words();
    ASSERT_EQ(load(sample("hex/adc_oku.hex")), OutcomeCode::Ok) << status.last().text;
    EXPECT_EQ(image.format, "IntelHex");
    EXPECT_EQ(coff.size(), 2793u);
    EXPECT_EQ(words(), coff);
    EXPECT_EQ(image.summary.flashSectionCount, 2);  // 0x300000-0x300AE6 and 0x33FFF6-0x33FFF7
    EXPECT_EQ(image.sections[0].startAddress, 0x300000u);
    EXPECT_EQ(image.sections[0].word(0), 0x7622);  // ":20000000 7622 761F ..." high byte first

    // Written back as hex2000 would, it reads to the same words again.
    const std::string hex = intelHexText(image);
    EXPECT_EQ(hex.substr(0, 16), ":020000040030CA\n");
    EXPECT_EQ(hex.substr(hex.size() - 12), ":00000001FF\n");
    CoffImage again;
    std::string detail;
    ASSERT_EQ(readIntelHex(hex, again, detail), OutcomeCode::Ok) << detail;
    image.sections.swap(again.sections);
    EXPECT_EQ(words(), coff);
    image.sections.swap(again.sections);
}

TEST_F(ProgramFormats, ElfIsPlacedByLoadAddressAndNamedBySection) {
    ASSERT_EQ(load(sample("elf/F280049_Project_v0.out"), kAnyDevice), OutcomeCode::Ok) << status.last().text;
    EXPECT_EQ(image.format, "ELF");
    const WordMap map = words();
    EXPECT_EQ(map.at(0x80000), 0x0048);  // file bytes 48 00 at 0x34
    EXPECT_EQ(map.at(0x80001), 0x2860);
    EXPECT_EQ(map.at(0x81000), 0xFE04) << ".TI.ramfunc is stored in flash at 0x81000, though it runs at 0x8000";
    EXPECT_EQ(map.count(0x8000), 0u);
    EXPECT_EQ(map.size(), (4u + 620 + 40 + 4332 + 1614) / 2);
    bool named = false;
    for (const SectionRecord& s : image.sections) named |= s.name.find(".TI.ramfunc") != std::string::npos;
    EXPECT_TRUE(named);
    // Through Intel HEX and back: the same word map.
    CoffImage back;
    std::string detail;
    ASSERT_EQ(readIntelHex(intelHexText(image), back, detail), OutcomeCode::Ok) << detail;
    WordMap round;
    for (const SectionRecord& s : back.sections) {
        for (std::uint32_t i = 0; i < s.lengthWords; ++i) round[s.startAddress + i] = s.word(i);
    }
    EXPECT_EQ(round, map);
    // For an F2833x it is another device's program: refused, not half written.
    EXPECT_EQ(load(sample("elf/F280049_Project_v0.out")), OutcomeCode::SectionOutsideMemory);
}

TEST_F(ProgramFormats, WhatIsNotAProgramIsRefusedWithAReason) {
    EXPECT_EQ(load(sample("elf/TMDSCNCD28388D_T_CM.out"), kAnyDevice), OutcomeCode::ElfNotC28x);
    EXPECT_NE(status.last().text.find("machine 40"), std::string::npos) << status.last().text;
    EXPECT_EQ(load(sample("elf/controller_base.dwo"), kAnyDevice), OutcomeCode::ElfNotProgram);
    EXPECT_EQ(load(sample("hex/28335_FATFS.i01"), kAnyDevice), OutcomeCode::HexByteLane);
    EXPECT_NE(status.last().text.find("-romwidth 16"), std::string::npos);
    EXPECT_EQ(load(sample("bin/P200W_ACDC_DSP_2800137_V1.000.bin"), kAnyDevice), OutcomeCode::BinaryNeedsBase);
    EXPECT_EQ(load(sample("hex/controller_base.hex")), OutcomeCode::SectionOutsideMemory) << "an F2806x program";
    ASSERT_EQ(load(sample("hex/controller_base.hex"), kAnyDevice), OutcomeCode::Ok);
    EXPECT_EQ(words().size(), 0xB3Eu + 2);
    ASSERT_EQ(load(sample("hex/adc_oku.i10")), OutcomeCode::Ok) << "PAGE 1 data in L RAM";
    EXPECT_EQ(image.sections[0].startAddress, 0xD000u);

    const auto bad = [&](const std::string& text, OutcomeCode code, const std::string& where) {
        CoffImage scratch;
        std::string detail;
        EXPECT_EQ(readIntelHex(text, scratch, detail), code) << text;
        EXPECT_NE(detail.find(where), std::string::npos) << detail;
    };
    bad(":0400000000482900D9\n:00000001FF\n", OutcomeCode::HexDamaged, "line 1: checksum");
    bad(":04000000004829B2D9\r\n:00000001FF\r\n:0200000000B24C\r\n", OutcomeCode::HexDamaged, "line 3: data after");
    bad(":030000000048298C\n:00000001FF\n", OutcomeCode::HexDamaged, "odd number");
    bad(":04000000004829B2D9\n:04000100004829B2D8\n:00000001FF\n", OutcomeCode::HexDamaged, "overlap");
    bad(":04000000004829B2D9\n", OutcomeCode::HexDamaged, "no end record");
}

// What a read gives, to compare reads of one text.
struct HexReading {
    OutcomeCode code = OutcomeCode::Ok;
    std::string detail;
    std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>> sections;
    std::string data;
    bool operator==(const HexReading&) const = default;
};

HexReading readHex(const std::string& text, HexReadOptions options) {
    CoffImage image;
    image.mcuType = kAnyDevice;
    HexReading r;
    r.code = readIntelHex(text, image, r.detail, options);
    for (const SectionRecord& s : image.sections) r.sections.emplace_back(s.name, s.startAddress, s.lengthWords);
    r.data.assign(reinterpret_cast<const char*>(image.buffer()), image.totalBytes);
    return r;
}

std::string fileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A large file is read in parts, by several threads, full records by the
// vector decoder; none of that may change a result, a refusal or its line.
TEST_F(ProgramFormats, HexReadsTheSameHoweverItIsSplit) {
    // Over a megabyte of HEX: 0x50000 words over five 64 Ki-word segments.
    test::CoffLayout layout;
    test::TestSection big;
    big.name = ".text";
    big.address = 0x300000;
    for (std::uint32_t i = 0; i < 0x50000; ++i) big.words.push_back(static_cast<std::uint16_t>(i * 0x9E37 + (i >> 7)));
    layout.sections = {big};
    const test::Bytes coff = test::buildCoff(layout);
    const std::string coffPath = test::writeTempFile("split.out", coff);
    ASSERT_EQ(load(coffPath, kAnyDevice), OutcomeCode::Ok);
    const std::string generated = intelHexText(image);
    ASSERT_GT(generated.size(), 1u << 20);

    std::vector<std::pair<std::string, std::string>> texts;
    for (const char* name : {"adc_oku.hex", "adc_oku.i10", "28335_FATFS.i01", "controller_base.hex"}) {
        texts.emplace_back(name, fileText(sample(std::string("hex/") + name)));
    }
    texts.emplace_back("generated", generated);
    std::string crlf;
    for (char c : generated)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, static_cast<char>(std::tolower(c)));
    texts.emplace_back("CR LF, lower case", crlf);
    const std::size_t deep = generated.find('\n', generated.size() * 4 / 5) + 20;
    std::string damaged = generated;
    damaged[deep] = damaged[deep] == '0' ? '1' : '0';
    texts.emplace_back("a checksum error deep in the file", damaged);
    std::string cut = generated;
    cut.erase(generated.find('\n', generated.size() * 3 / 5) + 30, 10);
    texts.emplace_back("a line cut short", cut);
    std::string early = generated;
    early.insert(generated.find('\n', generated.size() / 2) + 1, ":00000001FF\n");
    texts.emplace_back("an end record halfway", early);
    texts.emplace_back("no end record", generated.substr(0, generated.size() - 12));

    HexReadOptions plain;  // one part, one thread, every line by the general parser
    plain.parts = plain.threads = 1;
    plain.vectorDecoder = false;
    for (const auto& [what, text] : texts) {
        const HexReading expected = readHex(text, plain);
        for (unsigned parts : {1u, 2u, 3u, 7u, 40u}) {
            for (unsigned threads : {1u, 2u}) {
                HexReadOptions split;
                split.parts = parts;
                split.threads = threads;
                EXPECT_EQ(readHex(text, split), expected)
                    << what << " in " << parts << " parts by " << threads << " threads: " << expected.detail;
            }
        }
    }
    EXPECT_EQ(readHex(generated, plain).data.size(), 0x50000u * 2);
    EXPECT_NE(readHex(damaged, plain).detail.find("checksum error"), std::string::npos);
    EXPECT_NE(readHex(early, plain).detail.find("data after the end record"), std::string::npos);

    // From a file, split as the reader chooses: the program as written.
    const std::string hexPath = test::writeTempFile("split.hex", test::Bytes(crlf.begin(), crlf.end()));
    const WordMap fromCoff = words();
    ASSERT_EQ(load(hexPath, kAnyDevice), OutcomeCode::Ok) << status.last().text;
    EXPECT_EQ(words(), fromCoff);
}

TEST_F(ProgramFormats, RawBinaryAndItsHexTwinAgree) {
    ASSERT_EQ(load(sample("hex/P200W_ACDC_DSP_2800137_V1.000.hex"), kAnyDevice), OutcomeCode::Ok);
    const WordMap hex = words();
    EXPECT_EQ(hex.size(), 2815u);
    ReadOptions at;
    at.binaryBase = 0x80000;
    ASSERT_EQ(load(sample("bin/P200W_ACDC_DSP_2800137_V1.000.bin"), kAnyDevice, at), OutcomeCode::Ok);
    EXPECT_EQ(image.format, "Binary");
    const WordMap bin = words();
    EXPECT_EQ(bin.size(), 2815u + 30209u);
    std::size_t fill = 0;
    for (const auto& [address, value] : bin) {
        const auto it = hex.find(address);
        if (it != hex.end()) {
            EXPECT_EQ(value, it->second) << std::hex << address;
        } else {
            EXPECT_EQ(value, 0) << std::hex << address;
            ++fill;
        }
    }
    EXPECT_EQ(fill, 30209u);
    // Written as a binary again: byte for byte the file.
    std::ifstream f(sample("bin/P200W_ACDC_DSP_2800137_V1.000.bin"), std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(rawBinaryBytes(image), original);
}

TEST_F(ProgramFormats, CliReportsTheFormatAndConvertsAtomically) {
    const auto cli = [](const std::string& args) {
        return test::runCommand(std::string(CORVEXLINK_CLI_PATH) + " " + args + " 2>&1");
    };
    const auto info = cli("info --json " + sample("hex/adc_oku.hex"));
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(nlohmann::json::parse(info.out)["format"], "IntelHex");
    const auto none = cli("info --json --device none " + sample("elf/F280049_Project_v0.out"));
    EXPECT_EQ(nlohmann::json::parse(none.out)["device"], "none");

    const fs::path out = fs::temp_directory_path() / ("corvexlink-convert-" + std::to_string(::getpid()) + ".hex");
    const auto converted = cli("convert --to hex -o " + out.string() + " " + sample("coff/adc_oku.out"));
    ASSERT_EQ(converted.status, 0) << converted.out;
    ASSERT_EQ(load(out.string()), OutcomeCode::Ok);
    const WordMap fromConvert = words();
    ASSERT_EQ(load(sample("hex/adc_oku.hex")), OutcomeCode::Ok);
    EXPECT_EQ(fromConvert, words()) << "the same word map as hex2000's file";
    // A convert that fails leaves the old file as it was.
    std::ifstream before(out);
    const std::string kept((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    EXPECT_EQ(cli("convert --to hex -o " + out.string() + " " + sample("hex/28335_FATFS.i01")).status, 1);
    std::ifstream after(out);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), kept);
    EXPECT_EQ(cli("convert --to pdf -o x " + sample("hex/adc_oku.hex")).status, 2);
    fs::remove(out);
}

}  // namespace
}  // namespace cvl
