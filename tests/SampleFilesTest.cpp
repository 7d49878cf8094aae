// Loads the real linker outputs under shared/testdata. Expected values were
// read off hex dumps of the files (section headers and raw data), not taken
// from this reader.

#include <gtest/gtest.h>

#include "Samples.h"

#include <filesystem>

#include "common/Crc32.h"
#include "command/LoadCommand.h"
#include "TestStatus.h"

namespace cvl {
namespace {

std::string sample(const char* name) { return std::string(CORVEXLINK_TESTDATA_DIR) + "/" + name; }

class SampleFiles : public ::testing::Test {
protected:
    void SetUp() override { CVL_NEED_SAMPLES(sample("adc_oku.out")); }
    OutcomeCode load(const char* name, int mcu = 2) {
        inputs.mcu = mcu;
        return loadCoffFile(image, status, sample(name), inputs.device(), inputs.remember());
    }
    std::uint32_t crcOf(const SectionRecord& r) const { return crc32(r.data, std::size_t{r.lengthWords} * 2); }
    CoffImage image;
    test::RecordingStatus status;
    test::CommandInputs inputs;
};

TEST_F(SampleFiles, FlashProgramForF28335) {
    ASSERT_EQ(load("adc_oku.out"), OutcomeCode::Ok);
    EXPECT_EQ(image.fileName, "adc_oku");
    ASSERT_EQ(image.sectionCount(), 5);
    const SectionRecord& text = image.sections[0];
    EXPECT_EQ(text.name, ".text");
    EXPECT_EQ(text.startAddress, 0x30001Fu);
    EXPECT_EQ(text.lengthWords, 2453u);
    EXPECT_EQ(text.word(0), 0x761B);  // bytes 1b 76 at file offset 0x1079
    EXPECT_EQ(text.word(1), 0xFFF0);
    EXPECT_EQ(crcOf(text), 2348511368u);
    EXPECT_EQ(image.sections[3].name, "codestart");
    EXPECT_EQ(image.sections[3].startAddress, 0x33FFF6u);
    EXPECT_EQ(image.sections[3].sectorMask, 0x01);
    EXPECT_EQ(image.sections[4].name, "ramfuncs");
    EXPECT_EQ(image.sections[4].streamOffset, 2u * (2453 + 49 + 258 + 2));
    EXPECT_EQ(image.totalBytes, 5586u);
    EXPECT_EQ(image.summary.sectorUnion, 0x81);
    EXPECT_EQ(image.summary.flashSectionCount, 5);
    EXPECT_EQ(image.summary.flashListEnd, 5);
    EXPECT_EQ(image.summary.ramSectionCount, 0);
    EXPECT_EQ(image.eraseSectorMask(false), 0x81);
    EXPECT_EQ(status.last(), (test::ShownMessage{"Reading COFF file is successful", false}));
    EXPECT_EQ(inputs.recent, std::vector<std::string>{sample("adc_oku.out")});
}

TEST_F(SampleFiles, ClassificationFollowsTheDeviceSelectedAtLoad) {
    // Flash28_API (0x320000, 1376 words) lies below an F28332's flash and in no RAM
    // either: half of this program would be written, so none of it is.
    ASSERT_EQ(load("Example_Flash28333_API.out", 0), OutcomeCode::SectionOutsideMemory);
    EXPECT_EQ(status.last(),
              (test::ShownMessage{"Section Flash28_API (0x320000, 1376 words) lies outside the F28332's flash and RAM",
                                  true}));
    EXPECT_EQ(image.imageLoaded, 0);
    EXPECT_EQ(image.sectionCount(), 0);

    ASSERT_EQ(load("Example_Flash28333_API.out", 1), OutcomeCode::Ok);
    EXPECT_EQ(image.summary.flashSectionCount, 7);
    EXPECT_EQ(image.summary.sectorUnion, 0x83);

    ASSERT_EQ(load("Example_Flash28333_API.out", 2), OutcomeCode::Ok);
    EXPECT_EQ(image.summary.sectorUnion, 0x09);
    EXPECT_EQ(image.totalBytes, 4866u);
    // The password section keeps its data (erased keys); CsmPwlFile (no data) is not there.
    const SectionRecord& pw = image.sections[5];
    EXPECT_EQ(pw.name, "csmpasswds");
    EXPECT_EQ(pw.startAddress, 0x33FFF8u);
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(pw.word(i), 0xFFFF);
}

TEST_F(SampleFiles, RamOnlyProgram) {
    ASSERT_EQ(load("adc_oku1.out"), OutcomeCode::Ok);
    EXPECT_EQ(image.sectionCount(), 5);
    EXPECT_EQ(image.summary.hasFlashSection, 0);
    EXPECT_EQ(image.summary.ramSectionCount, 5);
    EXPECT_EQ(image.summary.ramBytes, 2u * (3049 + 39 + 258 + 2 + 31));
    EXPECT_EQ(image.sections[0].startAddress, 0x00C000u);
    EXPECT_EQ(crcOf(image.sections[0]), 3979259590u);
}

TEST_F(SampleFiles, BootRomImageLiesOutsideFlashAndRamAndIsRefused) {
    // The 8 Ki-word boot ROM of another device, at 0x3FE000: neither flash nor RAM of an F2833x.
    for (int mcu : {0, 1, 2}) {
        ASSERT_EQ(load("TMS320x2802x_boot_rom_Gold_v200.out", mcu), OutcomeCode::SectionOutsideMemory);
        EXPECT_EQ(status.last().text.rfind("Section IQmathTables (0x3FE000, ", 0), 0u) << status.last().text;
        EXPECT_EQ(image.fileName, "TMS320x2");
        EXPECT_EQ(image.sectionCount(), 0);
    }
}

TEST_F(SampleFiles, C24xFileIsRefusedAndClearsTheImage) {
    ASSERT_EQ(load("adc_oku.out"), OutcomeCode::Ok);
    ASSERT_EQ(load("sine.out"), OutcomeCode::WrongTarget);
    EXPECT_EQ(status.last(), (test::ShownMessage{"The specified file is not match with MCU", true}));
    EXPECT_EQ(image.sectionCount(), 0);
    EXPECT_EQ(image.imageLoaded, 0);
    EXPECT_EQ(image.fileName, "sine");
    EXPECT_EQ(inputs.recent.size(), 1u) << "a refused file is not remembered";
}

}  // namespace
}  // namespace cvl
