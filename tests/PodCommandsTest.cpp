#include <gtest/gtest.h>

#include "PodCommands.h"
#include "PodFixture.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::PodRig;

TEST(PodCommands, FieldTexts) {
    EXPECT_EQ(deviceCode(0), 1u);
    EXPECT_EQ(deviceCode(2), 3u);
    EXPECT_EQ(keyText(CsmKeys{}), std::string(32, 'F'));
    CsmKeys k;
    k.words = {0x1234, 0xABCD, 0, 1, 0xFFFF, 0x00F0, 0x0F00, 0xF000};
    EXPECT_EQ(keyText(k), "1234ABCD00000001FFFF00F00F00F000");
}

TEST(PodCommands, IdentifyReadsTheVersion) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(podIdentify(rig.link));
    EXPECT_EQ(rig.link.podVersion, 12);
    EXPECT_EQ(rig.recorder.frames().back(), "?");
}

TEST(PodCommands, IdentifyWithAnotherIdentifierSucceedsWithVersionZero) {
    sim::EmulatorOptions o;
    o.identifier = "XYZ";
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(podIdentify(rig.link));
    EXPECT_EQ(rig.link.podVersion, 0);
}

TEST(PodCommands, IdentifyAnsweredWithoutAckFails) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::WrongAck, '?', 1)};
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(podIdentify(rig.link));
    EXPECT_EQ(rig.link.podVersion, 0);
}

TEST(PodCommands, ResetPurgesBytesThatFollowTheAck) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::Stray, 'R', 1)};  // a stray byte arrives with the reply
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(targetReset(rig.link));
    EXPECT_EQ(rig.link.receiveQueueCount(), 0u);
    EXPECT_TRUE(podIdentify(rig.link)) << "the next command does not see the stray byte";
}

TEST(PodCommands, ResetNotAcknowledged) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::Silent, 'R', 1)};
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    const auto start = rig.clock.nowMs();
    EXPECT_FALSE(targetReset(rig.link));
    EXPECT_GE(rig.clock.nowMs() - start, 1000u);
}

TEST(PodCommands, FiftyDataWordsMakeOneWrite) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    rig.recorder.writes.clear();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(sendWord(rig.link, 'S', static_cast<std::uint16_t>(i), 0));
    ASSERT_EQ(rig.recorder.writes.size(), 1u);
    EXPECT_EQ(rig.recorder.writes[0].size(), 350u);
    EXPECT_EQ(rig.recorder.writes[0].substr(0, 7), "\x02S0000\x03");
    ASSERT_TRUE(sendWord(rig.link, 'S', 0xBEEF, 0));
    EXPECT_EQ(rig.recorder.writes.size(), 1u) << "the fifty-first starts a new batch";
    EXPECT_EQ(rig.link.pendingFrames, "\x02SBEEF\x03");
}

TEST(PodCommands, FlushFailsOnAWaitingByteAndEmptiesTheBatch) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::Stray, 'S', 3)};
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(sendWord(rig.link, 'S', 1, 0));
    EXPECT_FALSE(flushFrames(rig.link));
    EXPECT_TRUE(rig.link.pendingFrames.empty());
}

TEST(PodCommands, FailedBatchWriteOfYSkipsTheRead) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(sendWord(rig.link, 'S', 1, 0));
    rig.driver->failing.insert("FT_Write");
    rig.driver->calls.clear();
    EXPECT_FALSE(sendWord(rig.link, 'Y', 2, 4000));
    EXPECT_TRUE(rig.link.pendingFrames.empty());
    EXPECT_EQ(rig.driver->calls, std::vector<std::string>{"FT_Write"});
}

TEST(PodCommands, LongGoesAsTwoHeaderWordsHighFirst) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(transact(rig.link, buildFrame(rig.link, "%cN%X%c", STX, 3u, ETX), 1, 3000));
    ASSERT_TRUE(sendWord(rig.link, 'U', 4, 3000));
    rig.recorder.writes.clear();
    EXPECT_TRUE(sendLong(rig.link, 0x0012ABCD, 3000));
    EXPECT_EQ(rig.recorder.frames(), (std::vector<std::string>{"U0012", "UABCD"}));
}

TEST(PodCommands, BootFrameForF28335) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    rig.recorder.writes.clear();
    ASSERT_TRUE(transact(rig.link, buildFrame(rig.link, "%cN%X%c", STX, deviceCode(2), ETX), 1, 3000));
    EXPECT_EQ(rig.recorder.writes, std::vector<std::string>{"\x02N3\x03"});
}

}  // namespace
}  // namespace cvl
