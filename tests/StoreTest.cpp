#include <gtest/gtest.h>

#include "Samples.h"

#include <filesystem>

#include "ImageBuilder.h"
#include "PodFixture.h"
#include "store/StoreJob.h"
#include "command/StoreCommands.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::ShownMessage;
using test::words;

class StoreTest : public ::testing::Test {
protected:
    explicit StoreTest(sim::EmulatorOptions o = {}) : rig(std::move(o)) {}
    void SetUp() override { rig.link.loadDriver(); }
    CommandContext ctx() { return {image, rig.link, rig.status, rig.clock, {}, {}}; }
    bool write() {
        auto c = ctx();
        return test::runPodWrite(c, inputs);
    }
    bool verify() {
        auto c = ctx();
        return test::runPodVerify(c, inputs);
    }
    bool info() {
        auto c = ctx();
        return test::runPodInfo(c, inputs);
    }
    // The frames after the handshake, of the given letters only.
    std::vector<std::string> frames(const std::string& letters) const {
        std::vector<std::string> out;
        for (const auto& f : rig.recorder.frames()) {
            if (!f.empty() && letters.find(f[0]) != std::string::npos) out.push_back(f);
        }
        return out;
    }
    test::PodRig rig;
    CoffImage image;
    test::CommandInputs inputs;
};

TEST_F(StoreTest, OneWordJob) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 1, 0x1234)}));
    ASSERT_TRUE(write()) << rig.status.last().text;
    const auto f = frames("GVSWPTQHi");
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[0], "G");
    EXPECT_EQ(f[1], "V00338000000001000000");
    EXPECT_EQ(f[2], "S3412") << "low-order byte first";
    EXPECT_EQ(f[3], "W00000002");
    EXPECT_EQ(f[4], "P" + std::string(32, 'F'));
    EXPECT_EQ(f[5].size(), 29u);
    EXPECT_EQ(f[6], "Q30000101") << "device 3, no CSM, mask 0001, 1 section";
    EXPECT_EQ(f[7], "H");
    EXPECT_EQ(rig.status.last().text.rfind("EEPROM Write Completed - ", 0), 0u);
    EXPECT_EQ(rig.pod.store().data[0], 0x34);
    EXPECT_EQ(rig.pod.store().data[1], 0x12);
    EXPECT_TRUE(rig.pod.store().hasProgram);
}

TEST_F(StoreTest, FullPageIsThreeBatchesAndOneCommit) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 132)}));
    ASSERT_TRUE(write());
    std::vector<std::size_t> sizes;
    for (const auto& w : rig.recorder.writes) {
        if (w.size() > 1 && w[1] == 'S') sizes.push_back(w.size());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{350, 350, 224}));
    EXPECT_EQ(frames("W"), std::vector<std::string>{"W00000108"}) << "no empty page follows";
}

TEST_F(StoreTest, PagesRunOnAndTheLastCarriesTheRest) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 265)}));
    ASSERT_TRUE(write());
    EXPECT_EQ(frames("W"), (std::vector<std::string>{"W00000108", "W00010108", "W00020002"}));
}

TEST_F(StoreTest, SectionsAroundARamSection) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 100), words(0x8000, 10), words(0x330000, 50)}));
    ASSERT_TRUE(write());
    EXPECT_EQ(frames("V"), (std::vector<std::string>{"V00338000000064000000", "V013300000000320000C8"}));
    EXPECT_EQ(frames("S").size(), 150u);
    // Page 0 spans both sections: 100 + 32 words, then the rest.
    EXPECT_EQ(frames("W"), (std::vector<std::string>{"W00000108", "W00010024"}));
    // The second header goes out while frames of the first section are pending.
    const auto all = frames("VS");
    const auto v1 = std::find(all.begin(), all.end(), "V013300000000320000C8") - all.begin();
    EXPECT_EQ(v1, 1 + 100 - 0) << "all 100 first-section frames precede the header in the frame order";
    EXPECT_EQ(frames("Q"), std::vector<std::string>{"Q30000302"}) << "intelligent erase: sectors 0 and 1, 2 sections";
}

TEST_F(StoreTest, SectionAndSizeLimits) {
    std::vector<test::TestSection> seventy;
    for (int i = 0; i < 70; ++i) seventy.push_back(words(0x300000 + 0x100 * i, 2));
    ASSERT_TRUE(test::loadSections(image, seventy));
    ASSERT_TRUE(write());
    EXPECT_EQ(frames("V").size(), 70u);
    EXPECT_EQ(frames("V").back().substr(0, 3), "V45");

    seventy.push_back(words(0x310000, 2));
    ASSERT_TRUE(test::loadSections(image, seventy));
    rig.recorder.writes.clear();
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"The supported section count is to 70", true}));
    EXPECT_TRUE(rig.recorder.writes.empty()) << "nothing sent";
    EXPECT_FALSE(verify());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"The supported section count is to 70", true}));
}

TEST_F(StoreTest, LargestJobAndOneWordMore) {
    ASSERT_TRUE(test::loadSections(image, {words(0x300000, 0x40000)}));
    inputs.lock = LockConsent::Lock;  // the counting words reach the password too
    ASSERT_TRUE(write()) << rig.status.last().text;
    EXPECT_EQ(frames("W").size(), 0x80000u / 264 + 1);
    EXPECT_EQ(rig.status.progressTotals.back(), 0x40000u);
    ASSERT_TRUE(verify()) << rig.status.last().text;

    ASSERT_TRUE(test::loadSections(image, {words(0x300000, 0x40000), words(0x8000, 4), words(0x33FFFF, 1)}));
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(),
              (ShownMessage{"The data size is bigger than serial flash size in Corvexlink POD", true}));
}

// The end-of-access frame gets no answer: a pod that loses it keeps no job,
// and only reading the job back shows it. No "Completed" for a job not held.
TEST(StoreReadBack, ALostEndOfAccessIsAFailure) {
    for (const char* fault : {"H", "T"}) {
        SCOPED_TRACE(fault);
        test::PodRig rig(test::withFaults(
            {fault[0] == 'H' ? test::fault(FaultKind::Silent, 'H', 1) : test::fault(FaultKind::Silent, 'J', 1)}));
        rig.link.loadDriver();
        CoffImage image;
        ASSERT_TRUE(test::loadSections(image, {words(0x338000, 30)}));
        test::CommandInputs inputs;
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        EXPECT_FALSE(test::runPodWrite(ctx, inputs));
        EXPECT_EQ(
            rig.status.last(),
            (ShownMessage{"The job read back from Corvexlink POD is not the one written: the POD holds no valid job",
                          true}));
        for (const auto& m : rig.status.messages) EXPECT_EQ(m.text.find("Completed"), std::string::npos);
    }
}

TEST_F(StoreTest, RamOnlyImageHasNoFlashSection) {
    ASSERT_TRUE(test::loadSections(image, {words(0x8000, 4)}));
    EXPECT_FALSE(write());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"There is no valid section for flash region", true}));
}

TEST_F(StoreTest, PodFileNameRules) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 4)}));
    image.fileName = "adc_oku1";
    auto c = ctx();
    const CommandOutcome blank = podWrite(c, {inputs.program(), EraseMode::Intelligent, std::nullopt, "   "});
    ASSERT_TRUE(blank.ok());
    EXPECT_EQ(blank.podFileName, "adc_oku1");
    const CommandOutcome cut = podWrite(c, {inputs.program(), EraseMode::Intelligent, std::nullopt, " NINECHARS "});
    ASSERT_TRUE(cut.ok());
    EXPECT_EQ(cut.podFileName, "NINECHAR");
    EXPECT_EQ(preparePodFileName("", "x"), "x");
}

TEST_F(StoreTest, StrayByteFailsTheBatchBeforeThePageCommit) {
    test::PodRig stray(test::withFaults({test::fault(FaultKind::Stray, 'S', 10)}));
    stray.link.loadDriver();
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 132)}));
    CommandContext c{image, stray.link, stray.status, stray.clock, {}, {}};
    EXPECT_FALSE(test::runPodWrite(c, inputs));
    EXPECT_EQ(stray.status.last(), (ShownMessage{"Fail to write user program in serial flash", true}));
    const auto f = stray.recorder.frames();
    EXPECT_EQ(std::count_if(f.begin(), f.end(), [](const std::string& s) { return s[0] == 'W'; }), 0);
    EXPECT_EQ(f.back(), "i");
    EXPECT_FALSE(stray.pod.store().hasProgram) << "an aborted write leaves no job";
    EXPECT_EQ(stray.status.busyCalls, (std::vector<bool>{true, false}));
}

TEST(StoreAbort, EveryFailingStepSendsTheAbortFrame) {
    struct Case {
        std::vector<sim::Fault> faults;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{test::fault(FaultKind::Silent, 'V', 1)}, "Fail to write user program in serial flash"},
        {{test::fault(FaultKind::Silent, 'W', 1)}, "Fail to write user program in serial flash"},
        {{test::fault(FaultKind::WrongAck, 'P', 1)}, "Fail to write csm password information"},
        {{test::fault(FaultKind::Silent, 'T', 1)}, "Fail to write tag information"},
        {{test::fault(FaultKind::Delay, 'Q', 1, 1000)}, "Fail to write COFF file information"},
    };
    CoffImage image;
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 10)}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::PodRig rig(test::withFaults(c.faults));
        rig.link.loadDriver();
        test::CommandInputs inputs;
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        EXPECT_FALSE(test::runPodWrite(ctx, inputs));
        EXPECT_EQ(rig.status.last(), (ShownMessage{c.message, true}));
        EXPECT_EQ(rig.recorder.frames().back(), "i");
        EXPECT_FALSE(rig.driver->isOpen());
        for (const auto& m : rig.status.messages) EXPECT_EQ(m.text.find("Completed"), std::string::npos);
    }

    // The first step (G) and the last (H) fail only when their frame cannot be
    // written: the pod disappears just before it. The abort is still tried.
    test::PodRig probe;
    probe.link.loadDriver();
    test::CommandInputs inputs;
    CommandContext ok{image, probe.link, probe.status, probe.clock, {}, {}};
    ASSERT_TRUE(test::runPodWrite(ok, inputs));
    std::uint32_t beforeG = 0, beforeH = 0, total = 0;
    for (const auto& w : probe.recorder.writes) {
        if (w == "\x02G\x03") beforeG = total;
        if (w == "\x02H\x03") beforeH = total;
        total += static_cast<std::uint32_t>(w.size());
    }
    for (const auto& [at, message] : {std::pair{beforeG, "Fail to access serial flash in Corvexlink POD"},
                                      std::pair{beforeH, "Fail to finish access to serial flash"}}) {
        SCOPED_TRACE(message);
        test::PodRig rig(test::withFaults({{FaultKind::Unplug, '*', at, 0}}));
        rig.link.loadDriver();
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        EXPECT_FALSE(test::runPodWrite(ctx, inputs));
        EXPECT_EQ(rig.status.last(), (ShownMessage{message, true}));
        const auto& calls = rig.driver->calls;
        const auto lastWrite = std::find(calls.rbegin(), calls.rend(), "write");
        EXPECT_GE(std::count(calls.begin(), calls.end(), "write"), 2) << "the failed frame and the abort";
        EXPECT_NE(lastWrite, calls.rend());
    }
}

class VerifyTest : public StoreTest {
protected:
    void store(const std::vector<test::TestSection>& sections, McuType mcu = McuType::F28335, bool csm = false) {
        ASSERT_TRUE(test::loadSections(image, sections, mcu));
        inputs.mcu = mcuIndex(mcu);  // the window shows the device the job is stored for
        inputs.csm = csm;
        ASSERT_TRUE(write());
        rig.recorder.writes.clear();
        rig.status.messages.clear();
    }
    void expectVerifyFails(const std::string& message) {
        EXPECT_FALSE(verify());
        EXPECT_EQ(rig.status.last(), (ShownMessage{message, true}));
        const auto f = rig.recorder.frames();
        EXPECT_EQ(std::count(f.begin(), f.end(), "G"), 1);
        EXPECT_EQ(std::count(f.begin(), f.end(), "H"), 0) << "neither end nor abort after a failed verify";
        EXPECT_EQ(std::count(f.begin(), f.end(), "i"), 0);
    }
};

TEST_F(VerifyTest, MatchingJobVerifiesWhateverTheWindowSays) {
    inputs.eraseAll = true;
    store({words(0x338000, 300), words(0x330000, 20)}, McuType::F28335, true);
    inputs.eraseAll = false;
    inputs.csm = false;
    ASSERT_TRUE(verify()) << rig.status.last().text;
    EXPECT_EQ(rig.status.last().text.rfind("EEPROM Verify Completed - ", 0), 0u);
    EXPECT_EQ(frames("g").size(), 1u) << "the password is read because the job has CSM set";
    EXPECT_EQ(frames("L").size(), 3u);
    EXPECT_TRUE(frames("V").empty());
}

TEST_F(VerifyTest, JobWithoutCsmIsVerifiedWithoutReadingThePassword) {
    store({words(0x338000, 30)});
    ASSERT_TRUE(verify());
    EXPECT_TRUE(frames("g").empty());
}

TEST_F(VerifyTest, NoJob) {
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 30)}));
    expectVerifyFails("There is no COFF file data in serial flash");
}

TEST_F(VerifyTest, AnotherMcu) {
    store({words(0x338000, 30)}, McuType::F28334);
    inputs.mcu = 2;
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 30)}, McuType::F28335));
    expectVerifyFails("The selected MCU type is not same in serial flash");
}

TEST_F(VerifyTest, AnotherSectionCount) {
    store({words(0x338000, 30)});
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 30), words(0x330000, 2)}));
    expectVerifyFails("The selected COFF file is not same in serial flash");
}

TEST_F(VerifyTest, MovedSection) {
    store({words(0x338000, 30)});
    ASSERT_TRUE(test::loadSections(image, {words(0x338002, 30)}));
    expectVerifyFails("The selected COFF file section is not same in serial flash");
}

TEST_F(VerifyTest, OneChangedWord) {
    store({words(0x338000, 300)});
    auto changed = words(0x338000, 300);
    changed.words[299] ^= 0x0100;
    ASSERT_TRUE(test::loadSections(image, {changed}));
    // The pod says only no: the line names the section and page compared then (word 299 is in page 2).
    expectVerifyFails("The selected COFF file data is not same in serial flash (section .text, page 2)");
}

TEST_F(VerifyTest, UnreadablePasswordWhenCsmIsSet) {
    store({words(0x338000, 30)}, McuType::F28335, true);
    test::PodRig silent(test::withFaults({test::fault(FaultKind::Silent, 'g', 1)}));
    silent.pod.store() = rig.pod.store();
    silent.link.loadDriver();
    CommandContext c{image, silent.link, silent.status, silent.clock, {}, {}};
    EXPECT_FALSE(test::runPodVerify(c, inputs));
    EXPECT_EQ(silent.status.last(), (ShownMessage{"Fail to read CSM password information in serial flash", true}));
}

TEST_F(VerifyTest, UnreadableInformation) {
    test::PodRig silent(test::withFaults({test::fault(FaultKind::Silent, 'h', 1)}));
    silent.link.loadDriver();
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 30)}));
    CommandContext c{image, silent.link, silent.status, silent.clock, {}, {}};
    EXPECT_FALSE(test::runPodVerify(c, inputs));
    EXPECT_EQ(silent.status.last(), (ShownMessage{"Fail to read COFF information", true}));
}

TEST(PodInfo, Texts) {
    std::array<std::uint8_t, 15> none{};
    EXPECT_EQ(podInfoText(21, none), "POD Ver: 2.1, No POD File Data");
    none[0] = 2;
    EXPECT_EQ(podInfoText(21, none), "POD Ver: 2.1, No POD File Data");
    std::array<std::uint8_t, 15> motor{1};
    const TagRecord tag = makeTag("MOTOR1", {2010, 3, 5, 9, 7});
    std::copy(tag.begin(), tag.end(), motor.begin() + 1);
    EXPECT_EQ(tag[8], 0x07);
    EXPECT_EQ(tag[9], 0xDA);
    EXPECT_EQ(podInfoText(21, motor), "POD Ver: 2.1, POD File Name: MOTOR1 [when 2010.03.05 09:07]");
    const TagRecord full = makeTag("ABCDEFGHIJ", {2026, 12, 7, 23, 59});
    std::copy(full.begin(), full.end(), motor.begin() + 1);
    EXPECT_EQ(podInfoText(12, motor), "POD Ver: 1.2, POD File Name: ABCDEFGH [when 2026.12.07 23:59]");
}

TEST_F(StoreTest, InfoAfterAWrite) {
    ASSERT_TRUE(info());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"POD Ver: 1.2, No POD File Data", false}));
    rig.clock.local = {2010, 3, 5, 9, 7};
    inputs.podName = "MOTOR1";
    ASSERT_TRUE(test::loadSections(image, {words(0x338000, 8)}));
    ASSERT_TRUE(write());
    ASSERT_TRUE(info());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"POD Ver: 1.2, POD File Name: MOTOR1 [when 2010.03.05 09:07]", false}));
    EXPECT_FALSE(rig.driver->isOpen());
    EXPECT_TRUE(rig.status.busyCalls.size() == 2u) << "only the write used the busy bracket";
}

TEST(PodInfoFailures, VersionZeroAndSilence) {
    sim::EmulatorOptions zero;
    zero.identifier = "ABC";
    test::PodRig rig(zero);
    rig.link.loadDriver();
    CoffImage image;
    test::CommandInputs inputs;
    CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
    EXPECT_FALSE(test::runPodInfo(ctx, inputs));
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Fail to read Corvexlink POD Information", true}));
    EXPECT_EQ(rig.pod.framesOf('J'), 1u) << "J succeeded, the version decides";

    test::PodRig silent(test::withFaults({test::fault(FaultKind::Silent, 'J', 1)}));
    silent.link.loadDriver();
    CommandContext c2{image, silent.link, silent.status, silent.clock, {}, {}};
    EXPECT_FALSE(test::runPodInfo(c2, inputs));
    EXPECT_EQ(silent.status.last(), (ShownMessage{"Fail to read Corvexlink POD Information", true}));
    EXPECT_FALSE(silent.driver->isOpen());
}

TEST(SampleJobs, RoundTripOnTheSamplePrograms) {
    const std::string dir = CORVEXLINK_TESTDATA_DIR;
    CVL_NEED_SAMPLES(dir);
    for (const char* name : {"adc_oku.out", "Example_Flash28333_API.out"}) {
        SCOPED_TRACE(name);
        test::PodRig rig;
        rig.link.loadDriver();
        CoffImage image;
        test::CommandInputs inputs;
        inputs.path = dir + "/" + name;
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        ASSERT_TRUE(test::runPodWrite(ctx, inputs)) << rig.status.last().text;
        ASSERT_TRUE(test::runPodVerify(ctx, inputs)) << rig.status.last().text;
        ASSERT_TRUE(test::runPodInfo(ctx, inputs));
        EXPECT_NE(rig.status.last().text.find("POD File Name: " + image.fileName + " [when"), std::string::npos);

        // The store file keeps the job across a restart of the emulator.
        const std::string file = test::writeTempFile(std::string(name) + ".store", {});
        std::string error;
        ASSERT_TRUE(rig.pod.store().save(file, error)) << error;
        test::PodRig restarted;
        ASSERT_TRUE(restarted.pod.store().load(file, error)) << error;
        restarted.link.loadDriver();
        CommandContext again{image, restarted.link, restarted.status, restarted.clock, {}, {}};
        EXPECT_TRUE(test::runPodVerify(again, inputs)) << restarted.status.last().text;
    }
}

}  // namespace
}  // namespace cvl
