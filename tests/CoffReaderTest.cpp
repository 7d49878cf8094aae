#include <gtest/gtest.h>

#include <sstream>

#include "image/CoffReader.h"
#include "CoffWriter.h"

namespace cvl {
namespace {

using test::buildCoff;
using test::Bytes;
using test::CoffLayout;
using test::TestSection;

class CoffReaderTest : public ::testing::Test {
protected:
    CoffReadResult read(const Bytes& bytes) {
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        return readCoff(in, image);
    }
    static TestSection section(std::string name, std::uint32_t address, std::size_t words,
                               std::uint16_t first = 0x1000) {
        TestSection s;
        s.name = std::move(name);
        s.address = address;
        for (std::size_t i = 0; i < words; ++i) s.words.push_back(static_cast<std::uint16_t>(first + i));
        return s;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& s : image.sections) out.push_back(s.name);
        return out;
    }
    CoffImage image;
};

TEST_F(CoffReaderTest, ShortFilesAndUnknownVersionsAreNotCoff) {
    CoffLayout layout;
    Bytes good = buildCoff(layout);
    EXPECT_EQ(read(Bytes(good.begin(), good.begin() + 21)), CoffReadResult::NotCoff);

    Bytes v = good;
    test::put16(v, 0, 0x00C0);
    EXPECT_EQ(read(v), CoffReadResult::NotCoff);
    test::put16(v, 0, 0x00C3);
    EXPECT_EQ(read(v), CoffReadResult::NotCoff);
    test::put16(v, 0, 0x00C1);  // a version-1 id on a version-2 body still passes the header test
    EXPECT_NE(read(v), CoffReadResult::NotCoff);
}

TEST_F(CoffReaderTest, WrongTargetIdRefusesVersions1And2ForEveryDevice) {
    for (int version : {1, 2}) {
        CoffLayout layout;
        layout.version = version;
        layout.targetId = 0x0092;
        layout.sections = {section(".text", 0x300000, 4)};
        for (McuType device : kMcuTypes) {
            image.mcuType = device;
            EXPECT_EQ(read(buildCoff(layout)), CoffReadResult::WrongTarget) << version;
        }
    }
}

TEST_F(CoffReaderTest, EveryVersionLoadsItsSections) {
    for (int version : {0, 1, 2}) {
        CoffLayout layout;
        layout.version = version;
        layout.sections = {section(".text", 0x338000, 3, 0x1234), section("ramfuncs_long_name", 0x008000, 2)};
        ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok) << version;
        ASSERT_EQ(image.sectionCount(), 2);
        EXPECT_EQ(names(), (std::vector<std::string>{".text", "ramfuncs_long_name"}));
        EXPECT_EQ(image.sections[0].word(0), 0x1234);
        EXPECT_EQ(image.sections[0].word(2), 0x1236);
        EXPECT_EQ(image.sections[0].inFlash, 1);
        EXPECT_EQ(image.sections[1].streamOffset, 6u);
        EXPECT_EQ(image.totalBytes, 10u);
    }
}

TEST_F(CoffReaderTest, OptionalHeaderAlwaysTakes28Bytes) {
    CoffLayout layout;
    layout.sections = {section(".text", 0x300000, 2)};
    Bytes bytes = buildCoff(layout);
    test::put16(bytes, 16, 0x20);  // claims 32 bytes; the section table still starts 28 bytes on
    ASSERT_EQ(read(bytes), CoffReadResult::Ok);
    EXPECT_EQ(names(), std::vector<std::string>{".text"});

    layout.optionalHeaderSize = 0;
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(names(), std::vector<std::string>{".text"});

    CoffLayout cut;
    cut.symbolTable = false;
    Bytes headerOnly = buildCoff(cut);  // 22-byte header, then 28 bytes of optional header
    headerOnly.resize(22 + 27);
    EXPECT_EQ(read(headerOnly), CoffReadResult::NotCoff);
}

TEST_F(CoffReaderTest, StringTableOutsideTheFileIsNotCoff) {
    CoffLayout layout;
    layout.sections = {section("a_long_section_name", 0x300000, 2)};
    Bytes bytes = buildCoff(layout);
    Bytes cutSize(bytes.begin(), bytes.end() - static_cast<long>(std::string("a_long_section_name").size() + 1 + 2));
    EXPECT_EQ(read(cutSize), CoffReadResult::NotCoff) << "string table size field cut short";
    Bytes cutBody(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(read(cutBody), CoffReadResult::NotCoff) << "string table shorter than its size";
}

TEST_F(CoffReaderTest, StringTablePositionPastSignedRangeIsFileError) {
    CoffLayout layout;
    Bytes bytes = buildCoff(layout);
    test::put32(bytes, 8, 0x7FFFFFF0);
    test::put32(bytes, 12, 1);  // 0x7FFFFFF0 + 18 = 0x80000002
    EXPECT_EQ(read(bytes), CoffReadResult::FileError);
}

TEST_F(CoffReaderTest, FileWithoutSymbolTableLoadsAndLongNamesComeOutEmpty) {
    CoffLayout layout;
    layout.symbolTable = false;
    layout.optionalHeaderSize = 0;
    layout.sections = {section("short", 0x300000, 2), section("a_long_section_name", 0x300002, 2)};
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(names(), (std::vector<std::string>{"short", ""}));

    CoffLayout empty;
    empty.symbolTable = false;
    empty.optionalHeaderSize = 0;
    Bytes bare = buildCoff(empty);
    ASSERT_EQ(bare.size(), 22u);
    EXPECT_EQ(read(bare), CoffReadResult::Ok);
    EXPECT_EQ(image.sectionCount(), 0);
}

TEST_F(CoffReaderTest, ZeroSectionsGiveAnEmptyImage) {
    CoffLayout layout;
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(image.sectionCount(), 0);
    EXPECT_EQ(image.totalBytes, 0u);
}

TEST_F(CoffReaderTest, NameRules) {
    CoffLayout layout;
    layout.sections = {section("_.stack", 0x8000, 2),      section("csmpwlfile", 0x33FFF8, 2),
                       section("CsmPwlFile", 0x33FFF8, 8), section("__twice", 0x8000, 1),
                       section("_single", 0x8000, 1),      section(".debug_info", 0, 3),
                       section("_.debug_line", 0, 3),      section(".debug_frame", 0, 1),
                       section(".debug_abbrev", 0, 1),     section(".debug_aranges", 0, 1)};
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(names(), (std::vector<std::string>{"csmpwlfile", "_twice", "single", ".debug_aranges"}));
}

TEST_F(CoffReaderTest, SkippedSections) {
    CoffLayout layout;
    TestSection bss = section(".ebss", 0xC000, 4);
    bss.withData = false;
    TestSection noload = section("noload", 0x300000, 4);
    noload.flags = 0x0002;
    TestSection dummy = section("dummy", 0x300000, 4);
    dummy.flags = 0x0001;
    TestSection copy = section("copy", 0x300000, 4);
    copy.flags = 0x0010;
    TestSection highFlag = section("high", 0x300000, 4);
    highFlag.flags = 0x0200;  // only the low 8 bits count
    TestSection empty = section("empty", 0x300000, 0);
    layout.sections = {bss, noload, dummy, copy, highFlag, empty, section(".text", 0x300000, 2)};
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(names(), (std::vector<std::string>{"high", ".text"}));
}

TEST_F(CoffReaderTest, Version01FlagsAreSixteenBitsAtOffset36) {
    CoffLayout layout;
    layout.version = 1;
    TestSection noload = section("noload", 0x300000, 4);
    noload.flags = 0x0102;
    layout.sections = {noload, section(".text", 0x300000, 1)};
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(names(), std::vector<std::string>{".text"});
}

TEST_F(CoffReaderTest, DeviceOutsideTheTableSkipsEverySection) {
    CoffLayout layout;
    layout.sections = {section(".text", 0x300000, 4)};
    image.mcuType = static_cast<McuType>(3);
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    EXPECT_EQ(image.sectionCount(), 0);
}

TEST_F(CoffReaderTest, OverlappingSectionsAreBothPackedInFileOrder) {
    CoffLayout layout;
    layout.sections = {section("b", 0x300010, 4, 0xB000), section("a", 0x300000, 0x20, 0xA000)};
    ASSERT_EQ(read(buildCoff(layout)), CoffReadResult::Ok);
    ASSERT_EQ(image.sectionCount(), 2);
    EXPECT_EQ(image.sections[1].streamOffset, 8u);
    EXPECT_EQ(image.sections[1].word(0), 0xA000);
    EXPECT_EQ(image.totalBytes, 0x48u);
}

TEST_F(CoffReaderTest, DataCutShortLeavesTheRestErased) {
    CoffLayout layout;
    layout.symbolTable = false;
    layout.sections = {section(".text", 0x300000, 4, 0x0102)};
    Bytes bytes = buildCoff(layout);
    bytes.resize(bytes.size() - 3);  // last word and a half missing
    ASSERT_EQ(read(bytes), CoffReadResult::Ok);
    ASSERT_EQ(image.sectionCount(), 1);
    EXPECT_EQ(image.sections[0].word(1), 0x0103);
    EXPECT_EQ(image.sections[0].word(2), 0xFF04) << "the low byte came, the high byte did not";
    EXPECT_EQ(image.sections[0].word(3), 0xFFFF);
    EXPECT_EQ(image.totalBytes, 8u);
}

TEST_F(CoffReaderTest, SectionHeaderCutShortIsNotCoff) {
    CoffLayout layout;
    layout.symbolTable = false;
    layout.sections = {section(".text", 0x300000, 1)};
    Bytes bytes = buildCoff(layout);
    bytes.resize(22 + 28 + 47);
    EXPECT_EQ(read(bytes), CoffReadResult::NotCoff);
}

TEST_F(CoffReaderTest, LongNameRunningToTheEndOfTheFile) {
    CoffLayout layout;
    layout.sections = {section("name_without_end", 0x300000, 1)};
    Bytes bytes = buildCoff(layout);
    bytes.pop_back();  // drop the NUL, and shrink the table size to match
    test::put32(bytes, bytes.size() - 16 - 4, 4 + 16);
    ASSERT_EQ(read(bytes), CoffReadResult::Ok);
    EXPECT_EQ(names(), std::vector<std::string>{"name_without_end"});
}

TEST_F(CoffReaderTest, NameOffsetPastTheFileGivesAnEmptyName) {
    CoffLayout layout;
    layout.sections = {section("long_enough_name", 0x300000, 1)};
    Bytes bytes = buildCoff(layout);
    test::put32(bytes, 22 + 28 + 4, 0xFFFFFFF0);
    ASSERT_EQ(read(bytes), CoffReadResult::Ok);
    EXPECT_EQ(names(), std::vector<std::string>{""});
}

TEST_F(CoffReaderTest, SectionsLargerThanTheBufferAreRefused) {
    CoffLayout layout;
    layout.symbolTable = false;
    TestSection huge = section("huge", 0x300000, 1);
    huge.sizeOverride = 0x400001;  // one word more than 8 MiB
    layout.sections = {huge};
    EXPECT_EQ(read(buildCoff(layout)), CoffReadResult::TooLarge);

    TestSection half = section("half", 0x300000, 1);
    half.sizeOverride = 0x200000;
    TestSection rest = half;
    rest.name = "rest";
    layout.sections = {half, rest};
    EXPECT_EQ(read(buildCoff(layout)), CoffReadResult::Ok) << "exactly 8 MiB fits";
    EXPECT_EQ(image.totalBytes, 0x800000u);
    layout.sections.push_back(section("more", 0x300000, 1));
    EXPECT_EQ(read(buildCoff(layout)), CoffReadResult::TooLarge);
}

TEST_F(CoffReaderTest, ReloadClearsTheEarlierProgram) {
    CoffLayout big;
    big.sections = {section("big", 0x300000, 100, 0x0000)};
    ASSERT_EQ(read(buildCoff(big)), CoffReadResult::Ok);
    CoffLayout small;
    small.sections = {section("small", 0x300000, 1, 0x5555)};
    ASSERT_EQ(read(buildCoff(small)), CoffReadResult::Ok);
    EXPECT_EQ(image.sectionCount(), 1);
    EXPECT_EQ(image.buffer()[2], 0xFF) << "bytes of the earlier program are erased";
    EXPECT_EQ(image.buffer()[199], 0xFF);
}

TEST(CoffReaderFiles, DirectoriesAndMissingFilesDoNotOpen) {
    CoffImage image;
    EXPECT_EQ(readCoff(std::string("/"), image), CoffReadResult::OpenFailed);
    EXPECT_EQ(readCoff(std::string("/nonexistent/prog.out"), image), CoffReadResult::OpenFailed);
    EXPECT_EQ(readCoff(std::string("/dev/null"), image), CoffReadResult::OpenFailed);
}

}  // namespace
}  // namespace cvl
