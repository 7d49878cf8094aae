#include <gtest/gtest.h>

#include <algorithm>

#include "ImageBuilder.h"
#include "PodFixture.h"
#include "pod/TargetProgrammer.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::loadSections;
using test::words;

const std::string kErasedKeys(32, 'F');

class TargetWriteTest : public ::testing::Test {
protected:
    explicit TargetWriteTest(sim::EmulatorOptions o = {}) : rig(std::move(o)) {}
    void SetUp() override {
        ASSERT_TRUE(rig.connect());
        rig.recorder.writes.clear();
    }
    OutcomeCode run(bool eraseAll = false, bool csm = false) {
        TargetProgrammer p(rig.link, rig.status, image, keys);
        return p.runTargetWrite({image.summary.hasFlashSection != 0, eraseAll, csm});
    }
    std::vector<std::string> frames() const { return rig.recorder.frames(); }
    std::vector<std::string> framesStartingWith(char c) const {
        std::vector<std::string> out;
        for (const auto& f : frames())
            if (!f.empty() && f[0] == c) out.push_back(f);
        return out;
    }
    test::PodRig rig;
    CoffImage image;
    CsmKeys keys;
};

TEST_F(TargetWriteTest, FortyOneWordsAreTwoBlocks) {
    ASSERT_TRUE(loadSections(image, {words(0x330000, 41)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    const auto f = frames();
    const std::vector<std::string> head = {"N3", "K0" + kErasedKeys, "O00", "O010002"};
    ASSERT_GT(f.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 4), head);
    EXPECT_EQ(f[4 + 40], "O023300000028");
    EXPECT_EQ(f[4 + 41], "S2810") << "word 0x1028 with its bytes exchanged";
    EXPECT_EQ(f[4 + 42], "O023300280001");
    EXPECT_EQ(f.back(), "R");
    EXPECT_EQ(f.size(), 4u + 43 + 1);
    for (std::uint32_t i = 0; i < 41; ++i) EXPECT_EQ(rig.pod.target().flashWord(0x330000 + i), 0x1000 + i);
}

TEST_F(TargetWriteTest, FortyWordsAreOneBlockOfOneWrite) {
    ASSERT_TRUE(loadSections(image, {words(0x330000, 40)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    EXPECT_EQ(framesStartingWith('O').back(), "O023300000028");
    EXPECT_EQ(framesStartingWith('O').size(), 3u);
    const auto& w = rig.recorder.writes;
    const auto block = std::find(w.begin(), w.end(), std::string("\x02O023300000028\x03"));
    ASSERT_NE(block, w.end()) << "the ProgramBlock request is the 15 bytes on its own";
    EXPECT_EQ((block - 1)->size(), 280u) << "all 40 data frames in the write before it";
}

TEST_F(TargetWriteTest, FlashWordsTravelSwappedBootWordsAsStored) {
    test::TestSection flash = words(0x338000, 1, 0x1234);
    ASSERT_TRUE(loadSections(image, {flash}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    EXPECT_EQ(framesStartingWith('S'), std::vector<std::string>{"S3412"});
    EXPECT_EQ(rig.pod.target().flashWord(0x338000), 0x1234);

    test::PodRig ram;
    ASSERT_TRUE(ram.connect());
    CoffImage ramImage;
    ASSERT_TRUE(loadSections(ramImage, {words(0x8000, 1, 0x1234)}));
    TargetProgrammer p(ram.link, ram.status, ramImage, keys);
    ASSERT_EQ(p.runTargetWrite({false, false, false}), OutcomeCode::Ok);
    EXPECT_EQ(ram.recorder.frames()[2], "U0001");
    EXPECT_EQ(ram.recorder.frames()[5], "Y1234");
    EXPECT_EQ(ram.pod.target().ram().at(0x8000), 0x1234);
}

TEST_F(TargetWriteTest, ThreeWordRamProgram) {
    ASSERT_TRUE(loadSections(image, {words(0x008000, 3, 0xA000)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    EXPECT_EQ(frames(),
              (std::vector<std::string>{"N3", "U0003", "U0000", "U8000", "SA000", "SA001", "YA002", "X0000"}));
    EXPECT_EQ(rig.recorder.writes[4].size(), 21u) << "two held-back S frames and the Y in one write";
    EXPECT_EQ(rig.status.progressTotals, std::vector<std::uint32_t>{3});
    EXPECT_EQ(rig.status.position, 3u);
    EXPECT_EQ(rig.pod.target().ram().at(0x8002), 0xA002);
}

TEST_F(TargetWriteTest, FourHundredFiftyRamWordsAreThreeBlocks) {
    ASSERT_TRUE(loadSections(image, {words(0x008000, 450)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    EXPECT_EQ(framesStartingWith('U'), (std::vector<std::string>{"U00C8", "U0000", "U8000", "U00C8", "U0000", "U80C8",
                                                                 "U0032", "U0000", "U8190"}));
    EXPECT_EQ(framesStartingWith('Y').size(), 3u);
    EXPECT_EQ(framesStartingWith('X').size(), 1u);
    EXPECT_EQ(rig.pod.target().ram().size(), 450u);
}

TEST_F(TargetWriteTest, EndOfStreamFollowsOnlyTheLastRamSection) {
    ASSERT_TRUE(loadSections(image, {words(0x8000, 2), words(0xC000, 2)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    const auto f = frames();
    EXPECT_EQ(std::count(f.begin(), f.end(), "X0000"), 1);
    EXPECT_EQ(f.back(), "X0000");
}

TEST_F(TargetWriteTest, IntelligentEraseTouchesOnlyUsedSectors) {
    // F28335: 0x338000.. is sector 0, 0x328000.. sector 2.
    ASSERT_TRUE(loadSections(image, {words(0x338000, 4), words(0x328000, 4)}));
    for (std::uint32_t a : {0x330000u, 0x300000u}) rig.pod.target().setFlashWord(a, 0x0000);
    ASSERT_EQ(run(), OutcomeCode::Ok);
    EXPECT_EQ(framesStartingWith('O').at(1), "O010001");
    EXPECT_EQ(framesStartingWith('O').at(2), "O010004");
    EXPECT_EQ(rig.status.progressTotals.front(), 2u);
    EXPECT_EQ(rig.pod.target().flashWord(0x330000), 0x0000) << "sectors not erased keep their contents";
    EXPECT_EQ(rig.pod.target().flashWord(0x300000), 0x0000);
}

TEST(TargetWriteErase, EraseAllOnF28332) {
    sim::EmulatorOptions o;
    o.device = McuType::F28332;
    test::PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    CoffImage image;
    ASSERT_TRUE(loadSections(image, {words(0x33C000, 2)}, McuType::F28332));
    CsmKeys keys;
    TargetProgrammer p(rig.link, rig.status, image, keys);
    ASSERT_EQ(p.runTargetWrite({true, true, false}), OutcomeCode::Ok);
    std::vector<std::string> erases;
    for (const auto& f : rig.recorder.frames())
        if (f.rfind("O01", 0) == 0) erases.push_back(f);
    EXPECT_EQ(erases, (std::vector<std::string>{"O010001", "O010002", "O010004", "O010008"}));
    EXPECT_EQ(rig.recorder.frames().front(), "I");
    EXPECT_EQ(rig.recorder.frames()[1], "N1");
}

TEST_F(TargetWriteTest, RamProgramWithCsmBootsWithTheKeys) {
    keys.words = {1, 2, 3, 4, 5, 6, 7, 8};
    // The target's password must match for the boot to be accepted.
    for (std::uint32_t i = 0; i < 8; ++i) rig.pod.target().setFlashWord(kCsmPasswordAddress + i, keys.words[i]);
    ASSERT_TRUE(loadSections(image, {words(0x8000, 2)}));
    ASSERT_EQ(run(false, true), OutcomeCode::Ok);
    const auto f = frames();
    EXPECT_EQ(f.front(), "M300010002000300040005000600070008");
    EXPECT_TRUE(framesStartingWith('K').empty());
    EXPECT_TRUE(framesStartingWith('O').empty());
    EXPECT_TRUE(framesStartingWith('R').empty());
}

TEST_F(TargetWriteTest, LockedTargetRefusesWrongKeys) {
    for (std::uint32_t i = 0; i < 8; ++i) rig.pod.target().setFlashWord(kCsmPasswordAddress + i, 0x5555);
    ASSERT_TRUE(loadSections(image, {words(0x330000, 2)}));
    EXPECT_EQ(run(false, false), OutcomeCode::AlgorithmFailed);
    keys.words.fill(0x5555);
    EXPECT_EQ(run(false, true), OutcomeCode::Ok);
    EXPECT_EQ(framesStartingWith('K').back(), "K1" + std::string(8, '5').append(24, '5'));
}

TEST_F(TargetWriteTest, InitFlashIsRetriedOnceAfterAPurge) {
    test::PodRig silent(
        test::withFaults({test::fault(FaultKind::Silent, 'O', 1), test::fault(FaultKind::Silent, 'O', 2)}));
    ASSERT_TRUE(silent.connect());
    ASSERT_TRUE(loadSections(image, {words(0x330000, 2)}));
    silent.driver->calls.clear();
    TargetProgrammer p(silent.link, silent.status, image, keys);
    EXPECT_EQ(p.runTargetWrite({true, false, false}), OutcomeCode::FlashInitFailed);
    const auto& c = silent.driver->calls;
    EXPECT_EQ(std::count(c.begin(), c.end(), "purge(rx,tx)"), 1);
    EXPECT_EQ(silent.pod.framesOf('O'), 2u);

    test::PodRig once(test::withFaults({test::fault(FaultKind::Silent, 'O', 1)}));
    ASSERT_TRUE(once.connect());
    TargetProgrammer q(once.link, once.status, image, keys);
    EXPECT_EQ(q.runTargetWrite({true, false, false}), OutcomeCode::Ok);
}

TEST_F(TargetWriteTest, ProgressAndMessagesOfAFlashWrite) {
    ASSERT_TRUE(loadSections(image, {words(0x300000, 100)}));
    ASSERT_EQ(run(), OutcomeCode::Ok);
    std::vector<std::string> texts;
    for (const auto& m : rig.status.messages) {
        EXPECT_FALSE(m.isError);
        texts.push_back(m.text);
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Starting SCI Boot...", "Downloading Flash Algorithm Code [Max: 10 sec]...",
                                        "Initializing target board for flash memory write...",
                                        "Erasing Flash Memory...", "Writing Flash Memory..."}));
    EXPECT_EQ(rig.status.progressTotals, (std::vector<std::uint32_t>{1, 100}));
    EXPECT_EQ(rig.status.steps, 101u);
}

TEST_F(TargetWriteTest, MissingEraseFailsTheBlock) {
    // Programming only clears bits: a block that needs a 0 turned back into a
    // 1 fails the algorithm's verify, as on a real pod, and is not acknowledged.
    ASSERT_TRUE(loadSections(image, {words(0x338000, 2, 0x0F0E)}));
    rig.pod.target().setFlashWord(0x338001, 0x0F0F);  // can take 0x0F0F (nothing to set)
    rig.pod.target().setFlashWord(0x338000, 0x0F00);  // 0x0F00 cannot become 0x0F0E
    TargetProgrammer p(rig.link, rig.status, image, keys);
    ASSERT_TRUE(p.startSciBoot({true, false, false}));
    ASSERT_TRUE(p.downloadFlashAlgorithm(false));
    ASSERT_TRUE(p.flashOperation(FlashOpCode::InitFlash, 3000, 0, 0));
    EXPECT_FALSE(p.writeFlash());
    EXPECT_EQ(rig.pod.target().flashWord(0x338000), 0x0F00) << "nothing of the block written";
    EXPECT_EQ(rig.pod.target().flashWord(0x338001), 0x0F0F);
}

}  // namespace
}  // namespace cvl
