#include <gtest/gtest.h>

#include "image/CoffImage.h"
#include "image/ImageChecks.h"
#include "image/McuTable.h"

namespace cvl {
namespace {

SectionRecord classified(McuType device, std::uint32_t start, std::uint32_t words) {
    SectionRecord r;
    r.startAddress = start;
    r.lengthWords = words;
    classifySection(device, r);
    return r;
}

TEST(McuTable, SectorBoundsAreInclusiveFromTheTopDown) {
    EXPECT_EQ(sectorOf(McuType::F28335, 0x33FFFF)->bit, 0x01);
    EXPECT_EQ(sectorOf(McuType::F28335, 0x338000)->bit, 0x01);
    EXPECT_EQ(sectorOf(McuType::F28335, 0x337FFF)->index, 1);
    EXPECT_EQ(sectorOf(McuType::F28335, 0x300000)->bit, 0x80);
    EXPECT_FALSE(sectorOf(McuType::F28335, 0x2FFFFF));
    EXPECT_FALSE(sectorOf(McuType::F28335, 0x340000));
    EXPECT_EQ(sectorOf(McuType::F28334, 0x320000)->bit, 0x80);
    EXPECT_EQ(sectorOf(McuType::F28334, 0x32C000)->bit, 0x10);
    EXPECT_EQ(sectorOf(McuType::F28332, 0x330000)->bit, 0x08);
    EXPECT_FALSE(sectorOf(McuType::F28332, 0x32FFFF));
    EXPECT_FALSE(sectorOf(static_cast<McuType>(3), 0x33FFFF));
}

TEST(ClassifySection, F28332Sectors) {
    auto top = classified(McuType::F28332, 0x33FFFF - 0xFF, 0x100);
    EXPECT_EQ(top.inFlash, 1);
    EXPECT_EQ(top.sectorMask, 0x01);
    auto straddle = classified(McuType::F28332, 0x33C000 - 0x100, 0x200);
    EXPECT_EQ(straddle.sectorMask, 0x03);
    auto below = classified(McuType::F28332, 0x32FFFF, 0x10);
    EXPECT_EQ(below.inFlash, 0);
    EXPECT_EQ(below.sectorMask, 0);
}

TEST(ClassifySection, WholeF28335FlashCoversEverySector) {
    auto all = classified(McuType::F28335, 0x300000, 0x40000);
    EXPECT_EQ(all.inFlash, 1);
    EXPECT_EQ(all.sectorMask, 0xFF);
}

TEST(ClassifySection, SectionRunningPastFlashEndHasNoMask) {
    auto r = classified(McuType::F28334, 0x33FFFF - 0x0F, 0x20);
    EXPECT_EQ(r.inFlash, 1);
    EXPECT_EQ(r.sectorMask, 0);
}

TEST(ClassifySection, SectionStartingInRamIsRamEvenIfItReachesFlash) {
    auto r = classified(McuType::F28335, 0x008000, 0x400000);
    EXPECT_EQ(r.inFlash, 0);
    EXPECT_EQ(r.sectorMask, 0);
}

class ImageTest : public ::testing::Test {
protected:
    void add(std::uint32_t start, std::uint32_t words) {
        SectionRecord r;
        r.startAddress = start;
        r.lengthWords = words;
        r.streamOffset = 2 * bufferPos;
        bufferPos += words;
        classifySection(image.mcuType, r);
        image.sections.push_back(r);
        image.totalBytes = 2 * bufferPos;
    }
    CoffImage image;
    std::uint32_t bufferPos = 0;
};

TEST_F(ImageTest, RamThenFlashSection) {
    add(0x008000, 0x10);
    add(0x300000, 0x20);
    image.summarize();
    EXPECT_EQ(image.summary.flashListEnd, 2);
    EXPECT_EQ(image.summary.flashSectionCount, 1);
    EXPECT_EQ(image.sections[1].streamOffset, 0u);
    EXPECT_EQ(image.sections[0].streamOffset, 0u);
    EXPECT_EQ(image.summary.ramSectionCount, 1);
    EXPECT_EQ(image.summary.ramBytes, 0x20u);
}

TEST_F(ImageTest, FlashThenRamSection) {
    add(0x300000, 0x20);
    add(0x008000, 0x10);
    image.summarize();
    EXPECT_EQ(image.summary.flashListEnd, 1);
    EXPECT_EQ(image.sections[1].streamOffset, 0x40u) << "a RAM section keeps its buffer offset";
}

TEST_F(ImageTest, FlashStreamOffsetsAndTotals) {
    add(0x300000, 0x100);
    add(0x008000, 0x30);
    add(0x338000, 0x80);
    image.summarize();
    EXPECT_EQ(image.sections[0].streamOffset, 0u);
    EXPECT_EQ(image.sections[2].streamOffset, 0x200u);
    EXPECT_EQ(image.summary.flashBytes, 0x300u);
    EXPECT_EQ(image.summary.sectorUnion, 0x81);
    EXPECT_EQ(image.summary.hasFlashSection, 1);
}

TEST_F(ImageTest, EraseMasks) {
    image.mcuType = McuType::F28332;
    add(0x33C000, 0x10);
    image.summarize();
    EXPECT_EQ(image.eraseSectorMask(true), 0x0F);
    EXPECT_EQ(image.eraseSectorMask(false), 0x01);
    image.mcuType = McuType::F28335;
    EXPECT_EQ(image.eraseSectorMask(true), 0xFF);

    CoffImage ramOnly;
    ramOnly.summarize();
    EXPECT_EQ(ramOnly.eraseSectorMask(false), 0);
}

TEST_F(ImageTest, ResetClearsBufferAndSummaryButKeepsIdentity) {
    image.fileName = "prog";
    image.imageLoaded = 1;
    image.mcuType = McuType::F28334;
    add(0x320000, 4);
    image.summarize();
    image.resetImage();
    EXPECT_EQ(image.sectionCount(), 0);
    EXPECT_EQ(image.totalBytes, 0u);
    EXPECT_EQ(image.summary.flashBytes, 0u);
    EXPECT_EQ(image.fileName, "prog");
    EXPECT_EQ(image.imageLoaded, 1);
    EXPECT_EQ(image.mcuType, McuType::F28334);
    EXPECT_EQ(image.buffer()[0], 0xFF);
    EXPECT_EQ(image.buffer()[CoffImage::kBufferBytes - 1], 0xFF);
}

TEST_F(ImageTest, ChecksInOrder) {
    EXPECT_EQ(checkTargetImage(image), OutcomeCode::NoSectionData);
    EXPECT_EQ(checkPodImage(image), OutcomeCode::NoSectionData);

    add(0x008000, 4);
    image.summarize();
    EXPECT_EQ(checkTargetImage(image), OutcomeCode::Ok);
    EXPECT_EQ(checkPodImage(image), OutcomeCode::NoFlashSection);

    for (int i = 0; i < 70; ++i) add(0x300000 + 0x10 * i, 0x10);
    image.summarize();
    EXPECT_EQ(checkPodImage(image), OutcomeCode::Ok) << "70 sections pass";
    add(0x310000, 0x10);
    image.summarize();
    EXPECT_EQ(checkPodImage(image), OutcomeCode::TooManySections);
}

TEST_F(ImageTest, PodDataSizeLimit) {
    add(0x300000, 0x40000);  // exactly 0x80000 bytes
    image.summarize();
    EXPECT_EQ(checkPodImage(image), OutcomeCode::Ok);
    add(0x008000, 1);  // RAM does not count
    image.summarize();
    EXPECT_EQ(checkPodImage(image), OutcomeCode::Ok);
    add(0x33FFFF, 1);
    image.summarize();
    EXPECT_EQ(image.summary.flashBytes, 0x80002u);
    EXPECT_EQ(checkPodImage(image), OutcomeCode::TooMuchData);
}

}  // namespace
}  // namespace cvl
