// Programs the real sample programs into the emulated target and reads the
// target back: every section word at its address, erased sectors blank where
// no section lies, other sectors untouched.

#include <gtest/gtest.h>

#include "Samples.h"

#include <filesystem>

#include "PodFixture.h"
#include "command/TargetCommands.h"

namespace cvl {
namespace {

constexpr std::uint16_t kOldContent = 0x5A5A;

// Counts the program in programmed unless it does not fit the device and was refused at load.
void programSample(const std::string& file, McuType mcu, int& programmed) {
    SCOPED_TRACE(file + " on " + mcuInfo(mcu)->shortName);
    sim::EmulatorOptions o;
    o.device = mcu;
    test::PodRig rig(o);
    ASSERT_TRUE(rig.link.loadDriver());
    test::CommandInputs inputs;
    inputs.path = file;
    inputs.mcu = mcuIndex(mcu);
    CoffImage image;
    CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
    const OutcomeCode loaded = loadCoffFile(image, rig.status, file, inputs.device());
    if (loaded == OutcomeCode::SectionOutsideMemory) return;
    ASSERT_EQ(loaded, OutcomeCode::Ok);
    ++programmed;

    // Old contents in every sector the program does not use; the password
    // sector stays erased so the target is not locked.
    sim::TargetModel& target = rig.pod.target();
    const std::uint8_t erased = image.eraseSectorMask(false);
    for (std::uint32_t a = target.flashStart(); a <= kFlashEnd; ++a) {
        const auto sector = sectorOf(mcu, a);
        if (sector && !(erased & sector->bit) && sector->index != 0) target.setFlashWord(a, kOldContent);
    }

    ASSERT_TRUE(test::runTargetWrite(ctx, inputs)) << rig.status.last().text;
    EXPECT_EQ(rig.status.last().text.rfind("Flash Write Completed - ", 0), 0u);

    std::vector<bool> covered(kFlashEnd + 1 - target.flashStart(), false);
    for (const SectionRecord& s : image.sections) {
        for (std::uint32_t i = 0; i < s.lengthWords; ++i) {
            const std::uint32_t a = s.startAddress + i;
            if (s.inFlash) {
                ASSERT_EQ(target.flashWord(a), s.word(i)) << s.name << " word " << i;
                covered[a - target.flashStart()] = true;
            } else if (image.summary.hasFlashSection == 0) {
                // RAM sections travel only when the program has no flash sections.
                ASSERT_EQ(target.ram().at(a), s.word(i)) << s.name << " word " << i;
            }
        }
    }
    for (std::uint32_t a = target.flashStart(); a <= kFlashEnd; ++a) {
        if (covered[a - target.flashStart()]) continue;
        const auto sector = sectorOf(mcu, a);
        const bool wasErased = erased & sector->bit;
        const std::uint16_t expected = wasErased || sector->index == 0 ? 0xFFFF : kOldContent;
        ASSERT_EQ(target.flashWord(a), expected) << std::hex << a;
    }
    if (image.summary.hasFlashSection == 0) {
        EXPECT_EQ(rig.pod.framesOf('K'), 0u);
        EXPECT_EQ(rig.pod.framesOf('X'), 1u);
    }
}

TEST(SampleProgramming, EverySampleOnEveryDevice) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    int programmed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".out" || entry.path().filename() == "sine.out") continue;
        for (McuType mcu : kMcuTypes) programSample(entry.path().string(), mcu, programmed);
    }
    // adc_oku fits the F28335 only, the flash API example the F28334 and F28335, the RAM
    // program all three; the other device's boot ROM none.
    EXPECT_EQ(programmed, 6);
}

}  // namespace
}  // namespace cvl
