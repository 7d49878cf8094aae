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
#include "HexReference.h"
#include "Samples.h"
#include "TestStatus.h"
#include "image/ImageChecks.h"
#include "image/IntelHexReader.h"
#include "command/LoadCommand.h"
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
    EXPECT_EQ(image.format, ProgramFormat::IntelHex);
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
    EXPECT_EQ(image.format, ProgramFormat::Elf);
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

WordMap hexWords(const std::string& text, OutcomeCode& code, std::string& detail) {
    CoffImage image;
    image.mcuType = kAnyDevice;
    code = readIntelHex(text, image, detail);
    WordMap map;
    for (const SectionRecord& s : image.sections) {
        for (std::uint32_t i = 0; i < s.lengthWords; ++i) map[s.startAddress + i] = s.word(i);
    }
    return map;
}

std::string fileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The reader gives the words the format's definition gives, for the samples
// and for the edges old tools leave: a byte-order mark, blank lines, Ctrl-Z
// after the end, CR LF and lower case, segment bases that wrap at 64 K.
TEST_F(ProgramFormats, HexReadsAsTheFormatDefinesIt) {
    std::vector<std::pair<std::string, std::string>> texts;
    for (const char* name : {"adc_oku.hex", "adc_oku.i10", "controller_base.hex", "P200W_ACDC_DSP_2800137_V1.000.hex"})
        texts.emplace_back(name, fileText(sample(std::string("hex/") + name)));
    const std::string adc = texts.front().second;
    std::string crlf;
    for (char c : adc) crlf += c == '\n' ? std::string("\r\n") : std::string(1, static_cast<char>(std::tolower(c)));
    texts.emplace_back("CR LF, lower case", crlf);
    texts.emplace_back("byte-order mark and blank lines", "\xEF\xBB\xBF\n\r\n" + adc);
    texts.emplace_back("Ctrl-Z after the end", adc + "\x1A");
    texts.emplace_back("Ctrl-Z line after the end", adc + "\x1A\x1A\r\n");
    // 4 words at segment 0x1000 offset 0xFFFE: the last two wrap to 0x10000.
    texts.emplace_back("segment wrap", ":020000021000EC\n:08FFFE001111222233334444A7\n:00000001FF\n");
    for (const auto& [what, text] : texts) {
        OutcomeCode code = OutcomeCode::Ok;
        std::string detail;
        const WordMap read = hexWords(text, code, detail);
        const auto reference = test::referenceHexWords(text);
        ASSERT_TRUE(reference.has_value()) << what;
        EXPECT_EQ(code, OutcomeCode::Ok) << what << ": " << detail;
        EXPECT_EQ(read, *reference) << what;
    }
    OutcomeCode code = OutcomeCode::Ok;
    std::string detail;
    const WordMap wrapped = hexWords(texts.back().second, code, detail);
    EXPECT_EQ(wrapped.count(0x10000), 1u);
    EXPECT_EQ(wrapped.count(0x20000), 0u);
    hexWords(adc + "\x1A:00000001FF\n", code, detail);
    EXPECT_EQ(code, OutcomeCode::HexDamaged) << "text after the Ctrl-Z";
}

// A program of two blocks with a gap of any size converts to HEX and reads
// back as itself: no gap makes a 16-bit file look like a byte-lane one.
TEST_F(ProgramFormats, ConvertedProgramsWithGapsReadBack) {
    for (std::uint32_t length : {1u, 8u, 16u, 40u}) {
        for (std::uint32_t gap = 1; gap <= 64; ++gap) {
            test::CoffLayout layout;
            test::TestSection a, b;
            a.name = "a";
            b.name = "b";
            a.address = 0x8000;
            b.address = 0x8000 + length + gap;
            for (std::uint32_t i = 0; i < length; ++i) {
                a.words.push_back(static_cast<std::uint16_t>(0xA000 + i));
                b.words.push_back(static_cast<std::uint16_t>(0xB000 + i));
            }
            layout.sections = {a, b};
            const std::string path = test::writeTempFile("gap.out", test::buildCoff(layout));
            ASSERT_EQ(load(path, kAnyDevice), OutcomeCode::Ok);
            const WordMap program = words();
            OutcomeCode code = OutcomeCode::Ok;
            std::string detail;
            EXPECT_EQ(hexWords(intelHexText(image), code, detail), program) << length << " words, gap " << gap;
            EXPECT_EQ(code, OutcomeCode::Ok) << length << " words, gap " << gap << ": " << detail;
        }
    }
}

// One ELF segment of `words` words at paddr, with memsz bytes of memory.
test::Bytes oneSegmentElf(std::uint32_t paddr, std::uint32_t words, std::uint32_t memsz) {
    test::Bytes file(52 + 32 + 2 * words, 0x11);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0};
    std::copy(std::begin(ident), std::end(ident), file.begin());
    for (std::size_t i = 8; i < 84; ++i) file[i] = 0;
    test::put16(file, 16, 2);
    test::put16(file, 18, 141);
    test::put32(file, 28, 52);
    test::put16(file, 42, 32);
    test::put16(file, 44, 1);
    test::put32(file, 52, 1);
    test::put32(file, 56, 52 + 32);
    test::put32(file, 60, paddr);
    test::put32(file, 64, paddr);
    test::put32(file, 68, 2 * words);
    test::put32(file, 72, memsz);
    return file;
}

// A file with a format's signature is that format, damaged or not: it gets
// that format's refusal with its reason, never the raw-binary path, even with
// --base; a file with none is a raw binary when given a base.
TEST_F(ProgramFormats, DamagedFilesAreTheirFormatNeverARawBinary) {
    std::ifstream f(sample("coff/adc_oku.out"), std::ios::binary);
    const std::string coff((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(coff.size(), 1000u);
    const auto cut = [&](std::size_t n) { return test::Bytes(coff.begin(), coff.begin() + static_cast<long>(n)); };
    test::Bytes unknownVersion = cut(coff.size());
    unknownVersion[0] = 0xC3;
    struct Case {
        const char* name;
        test::Bytes bytes;
        const char* reason;
    };
    const std::vector<Case> damaged = {
        {"empty.out", {}, "the file is empty"},
        {"header.out", cut(21), "file header is cut short (21 of 22 bytes)"},
        {"optional.out", cut(30), "optional header is cut short"},
        {"sections.out", cut(60), "symbol table runs past the end"},
        {"strings.out", cut(coff.size() - 10), "string table"},
        {"version.out", unknownVersion, "version ID 0x00C3"},
    };
    ReadOptions at;
    at.binaryBase = 0x8000;
    for (const Case& c : damaged) {
        const std::string path = test::writeTempFile(c.name, c.bytes);
        for (const ReadOptions& options : {ReadOptions{}, at, ReadOptions{std::nullopt, true}}) {
            EXPECT_EQ(load(path, kAnyDevice, options), OutcomeCode::NotCoff) << c.name;
            EXPECT_NE(status.last().text.find(c.reason), std::string::npos) << c.name << ": " << status.last().text;
        }
    }
    test::Bytes elf = {0x7F, 'E', 'L', 'F'};
    elf.resize(64, 0x5A);
    EXPECT_NE(load(test::writeTempFile("damaged.elf", elf), kAnyDevice, at), OutcomeCode::Ok);
    EXPECT_NE(image.format, ProgramFormat::Binary);

    // No signature: a raw binary with a base, asked for its base without one.
    for (const std::string& head : {std::string(":1"), std::string("\x48\x00")}) {
        test::Bytes bytes(head.begin(), head.end());
        bytes.resize(64, 0x5A);
        const std::string path = test::writeTempFile("plain.dat", bytes);
        EXPECT_EQ(load(path, kAnyDevice, at), OutcomeCode::Ok) << head;
        EXPECT_EQ(image.format, ProgramFormat::Binary);
        EXPECT_EQ(words().size(), 32u);
        EXPECT_EQ(load(path, kAnyDevice, ReadOptions{std::nullopt, true}), OutcomeCode::BinaryNeedsBase);
    }
    EXPECT_EQ(load(sample("coff/adc_oku.out"), kAnyDevice, at), OutcomeCode::BaseNotForProgram);
}

// The data space is 32 bits wide: a block far above the program bus (a CLA
// table at 0x01001070) is taken without a device and written to Intel HEX
// with extended addresses; only a block past the last 32-bit address is refused.
TEST_F(ProgramFormats, AddressesHave32Bits) {
    const std::string high = test::writeTempFile("cla.elf", oneSegmentElf(0x01001070, 32, 64));
    ASSERT_EQ(load(high, kAnyDevice), OutcomeCode::Ok) << status.last().text;
    EXPECT_EQ(words().begin()->first, 0x01001070u);
    EXPECT_NE(load(high, McuType::F28335), OutcomeCode::Ok) << "a device's memory map decides";
    ReadOptions at;
    at.binaryBase = 0xFFFFFFF0;
    EXPECT_EQ(load(test::writeTempFile("past.bin", test::Bytes(64, 1)), kAnyDevice, at),
              OutcomeCode::OutsideAddressSpace);
    EXPECT_NE(status.last().text.find("runs past the end"), std::string::npos) << status.last().text;
    at.binaryBase = 0xFFFFFFE0;
    ASSERT_EQ(load(test::writeTempFile("top.bin", test::Bytes(64, 1)), kAnyDevice, at), OutcomeCode::Ok);

    const fs::path out = fs::temp_directory_path() / ("corvexlink-cla-" + std::to_string(::getpid()) + ".hex");
    const auto converted = test::runCommand(std::string(CORVEXLINK_CLI_PATH) + " convert --device none --to hex -o " +
                                            out.string() + " " + high + " 2>&1");
    ASSERT_EQ(converted.status, 0) << converted.out;
    std::ifstream hex(out);
    const std::string text((std::istreambuf_iterator<char>(hex)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind(":020000040100F9\n", 0), 0u) << text.substr(0, 40);
    ASSERT_EQ(load(out.string(), kAnyDevice), OutcomeCode::Ok);
    EXPECT_EQ(words().begin()->first, 0x01001070u);
    EXPECT_EQ(words().size(), 32u);
    fs::remove(out);
}

TEST_F(ProgramFormats, RawBinaryAndItsHexTwinAgree) {
    ASSERT_EQ(load(sample("hex/P200W_ACDC_DSP_2800137_V1.000.hex"), kAnyDevice), OutcomeCode::Ok);
    const WordMap hex = words();
    EXPECT_EQ(hex.size(), 2815u);
    ReadOptions at;
    at.binaryBase = 0x80000;
    ASSERT_EQ(load(sample("bin/P200W_ACDC_DSP_2800137_V1.000.bin"), kAnyDevice, at), OutcomeCode::Ok);
    EXPECT_EQ(image.format, ProgramFormat::Binary);
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
