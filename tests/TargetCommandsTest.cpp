#include <gtest/gtest.h>

#include "CoffWriter.h"
#include "ImageBuilder.h"
#include "PodFixture.h"
#include "command/TargetCommands.h"
#include "pod/TargetProgrammer.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::ShownMessage;

using test::CommandInputs;

TEST(KeyText, ParsingRules) {
    EXPECT_EQ(parseKeyText(""), 0xFFFF);
    EXPECT_EQ(parseKeyText("   "), 0xFFFF);
    EXPECT_EQ(parseKeyText("abcd"), 0xABCD);
    EXPECT_EQ(parseKeyText("ABCD"), 0xABCD);
    EXPECT_EQ(parseKeyText("12G4"), 0x0012);
    EXPECT_EQ(parseKeyText("0x1F"), 0x001F);
    EXPECT_EQ(parseKeyText("-1"), 0xFFFF);
    EXPECT_EQ(parseKeyText("+10"), 0x0010);
    EXPECT_EQ(parseKeyText("zz"), 0x0000);
    EXPECT_EQ(parseKeyText("12345"), 0x2345);
    EXPECT_EQ(parseKeyText(" 7 "), 0x0007);
    EXPECT_EQ(parseKeyText("FFFFFFFFFFFFFFFFFFFFFFFF"), 0xFFFF);
}

TEST(ElapsedText, Formats) {
    EXPECT_EQ(elapsedText(1000u, 9500u), "8.50 sec");
    EXPECT_EQ(elapsedText(0u, 1500u), "1.50 sec");
    EXPECT_EQ(elapsedText(std::nullopt, 1500u), "");
    EXPECT_EQ(elapsedText(10u, std::nullopt), "");
    EXPECT_EQ(elapsedText(0xFFFFFF00u, 0x00000100u), "0.51 sec") << "unsigned 32-bit difference";
}

class TargetCommandTest : public ::testing::Test {
protected:
    explicit TargetCommandTest(sim::EmulatorOptions o = {}) : rig(std::move(o)) {}
    void SetUp() override {
        rig.link.loadDriver();
        test::CoffLayout layout;
        layout.sections = {test::words(0x338000, 100), test::words(0x300000, 10)};
        inputs.path = test::writeTempFile("target.out", test::buildCoff(layout));
    }
    bool write() {
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        return test::runTargetWrite(ctx, inputs);
    }
    bool reset() {
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        return test::runTargetReset(ctx, inputs);
    }
    test::PodRig rig;
    CoffImage image;
    CommandInputs inputs;
};

TEST_F(TargetCommandTest, SuccessfulWriteRunsTheBusyBracket) {
    ASSERT_TRUE(write());
    const auto& m = rig.status.messages;
    ASSERT_GE(m.size(), 7u);
    EXPECT_EQ(m[0], (ShownMessage{"Reading COFF file is successful", false}));
    EXPECT_EQ(m[1].text, "Starting SCI Boot...");
    EXPECT_EQ(m.back().text.rfind("Flash Write Completed - ", 0), 0u);
    EXPECT_NE(m.back().text.find(" sec"), std::string::npos);
    EXPECT_FALSE(m.back().isError);
    EXPECT_EQ(rig.status.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(rig.status.waitCursor, 0);
    EXPECT_EQ(rig.status.resets, 1);
    EXPECT_EQ(rig.status.position, 0u);
    EXPECT_FALSE(rig.driver->isOpen());
    EXPECT_EQ(inputs.recent, std::vector<std::string>{inputs.path});
    EXPECT_EQ(rig.pod.target().flashWord(0x338000 + 99), 0x1000 + 99);
}

TEST_F(TargetCommandTest, ElapsedTimeIsEmptyWhenTheClockFails) {
    rig.clock.systemTimeFails = true;
    ASSERT_TRUE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Flash Write Completed - ", false}));
}

// The loaded program serves while the window still shows its path and
// device; once either changes, what the window shows is what gets written.
TEST_F(TargetCommandTest, LoadedImageServesOnlyWhileTheWindowShowsIt) {
    ASSERT_TRUE(write());
    rig.status.messages.clear();
    ASSERT_TRUE(write());
    EXPECT_EQ(rig.status.messages[0].text, "Starting SCI Boot...") << "not read again";
    EXPECT_EQ(rig.pod.framesOf('N'), 2u);

    const std::string loaded = inputs.path;
    inputs.path = "/nonexistent.out";
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"The specified COFF file isn't exist", true}));
    EXPECT_EQ(rig.pod.framesOf('N'), 2u) << "nothing written";

    inputs.path = loaded;
    inputs.mcu = 0;  // the F28332: this program's 0x300000 section lies below its flash
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last().text.rfind("Section .text (0x300000, 10 words) lies outside the F28332", 0), 0u)
        << rig.status.last().text;
    EXPECT_EQ(rig.pod.framesOf('N'), 2u);
}

TEST_F(TargetCommandTest, RefusalsNeverTouchThePod) {
    inputs.path = "   ";
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Please, specify COFF file to write target", true}));

    inputs.path = "/nonexistent.out";
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"The specified COFF file isn't exist", true}));

    inputs.path = test::writeTempFile("empty.out", test::buildCoff(test::CoffLayout{}));
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"The selected COFF file don't have valid section data", true}));

    image.imageLoaded = 0;  // the empty file counts as loaded; load the good one again
    SetUp();
    inputs.csm = true;
    inputs.keyTexts = {"0", "00", "0000", "0", "0", "0", "0", "0"};
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"CSM Password input is wrong", true}));

    EXPECT_TRUE(rig.status.busyCalls.empty());
    EXPECT_EQ(rig.pod.framesOf('I'), 0u) << "the pod was never contacted";
}

TEST_F(TargetCommandTest, CsmKeysAreReadOnlyWhenChecked) {
    // The keys as the algorithm download sent them.
    const auto sentKeys = [&] {
        std::string k;
        for (const std::string& f : rig.recorder.frames()) {
            if (f[0] == 'K') k = f.substr(1);
        }
        return k;
    };
    inputs.keyTexts = {"1", "2", "3", "4", "5", "6", "7", "8"};
    ASSERT_TRUE(write());
    EXPECT_EQ(sentKeys(), "0" + std::string(32, 'F')) << "unchecked: the edits are not read";

    inputs.csm = true;
    inputs.keyTexts = {"0", "", "", "", "", "", "", ""};
    rig.link.closePod();
    // The target's password is erased, so any key unlocks it.
    ASSERT_TRUE(write());
    EXPECT_EQ(sentKeys(), "10000" + std::string(28, 'F'));

    inputs.keyTexts = {};
    ASSERT_TRUE(write());
    EXPECT_EQ(sentKeys(), "1" + std::string(32, 'F')) << "all empty is accepted as erased keys";
}

// A program that sets a CSM password locks the chip: written only with
// consent, and an all-zero password (locked for ever) only when asked for by
// name; nothing reaches the pod otherwise. The same holds for POD Write.
TEST_F(TargetCommandTest, LockingProgramsNeedConsent) {
    test::CoffLayout layout;
    layout.sections = {test::words(0x338000, 10), test::words(0x33FFF8, 8, 0x0101, "csmpasswds")};
    inputs.path = test::writeTempFile("locks.out", test::buildCoff(layout));
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last().text,
              "The program sets a CSM password, which locks the device: not written without confirmation");
    CommandContext nobodyToAsk{image, rig.link, rig.status, rig.clock, {}, {}};
    EXPECT_FALSE(test::runPodWrite(nobodyToAsk, inputs));
    EXPECT_EQ(rig.pod.framesOf('I'), 0u);
    std::vector<std::string> asked;
    CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, [&](const std::string& q) {
                           asked.push_back(q);
                           return true;
                       }};
    EXPECT_TRUE(test::runTargetWrite(ctx, inputs)) << rig.status.last().text;
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(image.warnings.size(), 1u) << "the reserved words are not zeroed";

    layout.sections[1] = test::words(0x33FFF8, 8, 0, "csmpasswds");
    for (auto& w : layout.sections[1].words) w = 0;
    inputs.path = test::writeTempFile("bricks.out", test::buildCoff(layout));
    const auto sent = rig.pod.framesOf('I');
    inputs.lock = LockConsent::Lock;
    EXPECT_FALSE(test::runTargetWrite(ctx, inputs));
    EXPECT_EQ(rig.status.last().text,
              "The program's CSM password is all zero, which locks the device permanently: not written");
    EXPECT_EQ(rig.pod.framesOf('I'), sent);
    inputs.lock = LockConsent::PermanentLock;
    test::runTargetWrite(ctx, inputs);  // the target, locked by the write before, may refuse the algorithm now
    EXPECT_GT(rig.pod.framesOf('I'), sent) << "past the consent check, on to the pod";
}

// Two sections over the same flash words: the later would be programmed over
// the earlier and both reported written. Refused at load instead.
TEST_F(TargetCommandTest, OverlappingFlashSectionsAreRefused) {
    test::CoffLayout layout;
    layout.sections = {test::words(0x338000, 100), test::words(0x338050, 20, 0x2000, ".cinit")};
    inputs.path = test::writeTempFile("overlap.out", test::buildCoff(layout));
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Sections .text and .cinit overlap in flash at 0x338050", true}));
    EXPECT_EQ(rig.pod.framesOf('I'), 0u);
}

TEST_F(TargetCommandTest, NoPodNeverEntersTheBracket) {
    std::uint8_t b = 0;
    sim::EmulatorOptions o;
    o.faults = {{FaultKind::Unplug, '*', 0, 0}};
    test::PodRig gone(o);
    gone.link.loadDriver();
    gone.pod.receive(&b, 1, 0);
    CommandContext ctx{image, gone.link, gone.status, gone.clock, {}, {}};
    EXPECT_FALSE(test::runTargetWrite(ctx, inputs));
    EXPECT_EQ(gone.status.last(), (ShownMessage{"No Connection to Corvexlink POD", true}));
    EXPECT_TRUE(gone.status.busyCalls.empty());
    EXPECT_EQ(gone.status.position, 0u);
    EXPECT_TRUE(gone.status.progressTotals.empty());

    EXPECT_FALSE(test::runTargetReset(ctx, inputs));
    EXPECT_EQ(gone.status.last(), (ShownMessage{"No Connection to Corvexlink POD", true}));
}

TEST_F(TargetCommandTest, ResetCommand) {
    ASSERT_TRUE(reset());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Target board's reset is successful", false}));
    EXPECT_FALSE(rig.driver->isOpen());
    EXPECT_TRUE(rig.status.busyCalls.empty());
    EXPECT_EQ(rig.status.waitCursor, 0);
}

TEST(TargetCommandFaults, EveryResultMessageComesFromTheFailingStep) {
    struct Case {
        sim::Fault fault;
        bool ramOnly;
        const char* message;
        bool firstInitSilent = false;
    };
    const std::vector<Case> cases = {
        {test::fault(FaultKind::Silent, 'N', 1), false, "Fail to start SCI boot"},
        {test::fault(FaultKind::WrongAck, 'Y', 1), true, "Fail to download user program"},
        {test::fault(FaultKind::Silent, 'X', 1), true, "Fail to download user program"},
        {test::fault(FaultKind::Silent, 'R', 1), false, "Fail to reset target board"},
        {test::fault(FaultKind::Delay, 'K', 1, 10500), false, "Fail to download flash algorithm code"},
        {test::fault(FaultKind::WrongAck, 'O', 2), false, "Fail to initialize target board for flash memory write",
         true},
        {test::fault(FaultKind::Silent, 'O', 2), false, "Fail to erase flash memory"},
        {test::fault(FaultKind::Silent, 'O', 3), false, "Fail to write flash memory"},
        // A reply is waited for up to the limit after the first empty 200 ms read.
        {test::fault(FaultKind::Delay, 'O', 4, 5600), false, "Fail to write flash memory"},
        {test::fault(FaultKind::Stray, 'S', 5), false, "Fail to write flash memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::describeFault(c.fault));
        sim::EmulatorOptions o;
        o.faults = {c.fault};
        if (c.firstInitSilent) o.faults.push_back(test::fault(FaultKind::Silent, 'O', 1));
        test::PodRig rig(o);
        rig.link.loadDriver();
        CommandInputs inputs;
        test::CoffLayout layout;
        layout.sections = {test::words(c.ramOnly ? 0x8000 : 0x338000, 60)};
        inputs.path = test::writeTempFile("fault.out", test::buildCoff(layout));
        CoffImage image;
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        EXPECT_FALSE(test::runTargetWrite(ctx, inputs));
        EXPECT_EQ(rig.status.last(), (ShownMessage{c.message, true}));
        for (const auto& m : rig.status.messages) EXPECT_EQ(m.text.find("Completed"), std::string::npos);
        EXPECT_FALSE(rig.driver->isOpen());
        EXPECT_EQ(rig.status.busyCalls, (std::vector<bool>{true, false}));
        EXPECT_EQ(rig.status.position, 0u);
        EXPECT_EQ(rig.status.waitCursor, 0);
    }
}

TEST(TargetCommandFaults, UnplugMidTransferFailsAndCloses) {
    sim::EmulatorOptions o;
    o.faults = {{FaultKind::Unplug, '*', 500, 0}};
    test::PodRig rig(o);
    rig.link.loadDriver();
    CommandInputs inputs;
    test::CoffLayout layout;
    layout.sections = {test::words(0x338000, 200)};
    inputs.path = test::writeTempFile("unplug.out", test::buildCoff(layout));
    CoffImage image;
    CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
    EXPECT_FALSE(test::runTargetWrite(ctx, inputs));
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Fail to write flash memory", true}));
    EXPECT_FALSE(rig.driver->isOpen());
}

}  // namespace
}  // namespace cvl
