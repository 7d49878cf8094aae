#include <gtest/gtest.h>

#include "pod/PodCommands.h"
#include "pod/TargetProgrammer.h"
#include "PodFixture.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::PodRig;

TEST(PodCommands, FieldTexts) {
    EXPECT_EQ(deviceCode(McuType::F28332), 1u);
    EXPECT_EQ(deviceCode(McuType::F28335), 3u);
    EXPECT_EQ(keyText(CsmKeys{}), std::string(32, 'F'));
    CsmKeys k;
    k.words = {0x1234, 0xABCD, 0, 1, 0xFFFF, 0x00F0, 0x0F00, 0xF000};
    EXPECT_EQ(keyText(k), "1234ABCD00000001FFFF00F00F00F000");
}

TEST(PodCommands, IdentifyReadsTheVersion) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(podIdentify(rig.link), std::optional<std::uint16_t>(12));
    EXPECT_EQ(rig.recorder.frames().back(), "?");
}

TEST(PodCommands, IdentifyWithAnotherIdentifierSucceedsWithVersionZero) {
    sim::EmulatorOptions o;
    o.identifier = "XYZ";
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(podIdentify(rig.link), std::optional<std::uint16_t>(0));
}

TEST(PodCommands, IdentifyAnsweredWithoutAckFails) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::WrongAck, '?', 1)};
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(podIdentify(rig.link));
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
    DataBatch batch;
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(sendWord(rig.link, batch, 'S', static_cast<std::uint16_t>(i), 0));
    ASSERT_EQ(rig.recorder.writes.size(), 1u);
    EXPECT_EQ(rig.recorder.writes[0].size(), 350u);
    EXPECT_EQ(rig.recorder.writes[0].substr(0, 7), "\x02S0000\x03");
    ASSERT_TRUE(sendWord(rig.link, batch, 'S', 0xBEEF, 0));
    EXPECT_EQ(rig.recorder.writes.size(), 1u) << "the fifty-first starts a new batch";
    ASSERT_TRUE(batch.flush(rig.link));
    EXPECT_EQ(rig.recorder.writes.back(), "\x02SBEEF\x03");
}

TEST(PodCommands, FlushFailsOnAWaitingByteAndEmptiesTheBatch) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::Stray, 'S', 3)};
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    DataBatch batch;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(sendWord(rig.link, batch, 'S', 1, 0));
    EXPECT_FALSE(batch.flush(rig.link));
    EXPECT_TRUE(batch.empty());
}

TEST(PodCommands, FailedBatchWriteOfYSkipsTheRead) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    DataBatch batch;
    ASSERT_TRUE(sendWord(rig.link, batch, 'S', 1, 0));
    rig.driver->failing.insert("write");
    rig.driver->calls.clear();
    EXPECT_FALSE(sendWord(rig.link, batch, 'Y', 2, 4000));
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(rig.driver->calls, std::vector<std::string>{"write"});
}

// Nothing that would go out malformed or unasked is sent: a letter the pod
// does not know, a batch past what the link writes at once (on every path,
// the end of a boot block included), a field too wide for its digits.
TEST(PodCommands, WhatCannotBeSentRightIsNotSentAtAll) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    rig.recorder.writes.clear();
    DataBatch batch;
    EXPECT_FALSE(sendWord(rig.link, batch, 'Z', 1, 200));
    EXPECT_FALSE(sendWord(rig.link, batch, '\0', 1, 200));
    for (int i = 0; i < 60; ++i) batch.put('S', 7);  // 420 bytes
    EXPECT_FALSE(sendWord(rig.link, batch, 'Y', 2, 4000));
    EXPECT_TRUE(batch.empty());
    EXPECT_FALSE(rig.link.send(Frame('O').hex(0x1000000, 6)));
    EXPECT_FALSE(rig.link.transact(Frame('T').text(std::string(40, 'A')), 1, 200));
    EXPECT_TRUE(rig.recorder.writes.empty());
    EXPECT_FALSE(TargetProgrammer(rig.link, rig.status, CoffImage(), CsmKeys{})
                     .flashOperation(static_cast<FlashOpCode>(7), 200, 0, 0));
    EXPECT_TRUE(rig.recorder.writes.empty());
}

TEST(PodCommands, FramesAreFixedWidthUppercaseHex) {
    const Frame f = Frame('O').hex(2, 2).hex(0x33FFF6, 6).hex(0x28, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data()), f.size()), "\x02O0233FFF60028\x03");
    const Frame k = Frame('K').hex(1, 1).text(keyText(CsmKeys{}));
    EXPECT_EQ(k.size(), 36u);
    EXPECT_EQ(k.data()[k.size() - 1], ETX);
}

TEST(PodCommands, LongGoesAsTwoHeaderWordsHighFirst) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    DataBatch batch;
    ASSERT_TRUE(rig.link.transact(Frame('N').hex(3, 1), 1, 3000));
    ASSERT_TRUE(sendWord(rig.link, batch, 'U', 4, 3000));
    rig.recorder.writes.clear();
    EXPECT_TRUE(sendLong(rig.link, batch, 0x0012ABCD, 3000));
    EXPECT_EQ(rig.recorder.frames(), (std::vector<std::string>{"U0012", "UABCD"}));
}

TEST(PodCommands, BootFrameForF28335) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    rig.recorder.writes.clear();
    ASSERT_TRUE(rig.link.transact(Frame('N').hex(deviceCode(McuType::F28335), 1), 1, 3000));
    EXPECT_EQ(rig.recorder.writes, std::vector<std::string>{"\x02N3\x03"});
}

}  // namespace
}  // namespace cvl
