#include <gtest/gtest.h>

#include <array>

#include "pod/PodCommands.h"
#include "PodFixture.h"

namespace cvl {
namespace {

using sim::FaultKind;
using test::PodRig;
using test::ShownMessage;

TEST(PodLink, NoDriverMeansTheLibraryMessage) {
    ManualClock clock;
    PodLink link([] { return std::unique_ptr<PodBackend>(); }, clock);
    test::RecordingStatus status;
    link.probePod(status);
    EXPECT_EQ(status.messages, (std::vector<ShownMessage>{{"Fail to load FTD2XX.DLL", true}}));
    EXPECT_NE(link.connectPod(status), OutcomeCode::Ok);
    EXPECT_EQ(status.last(), (ShownMessage{"Fail to load FTD2XX.DLL", true}));
}

TEST(PodLink, ProbeFindsThePodWithoutOpeningIt) {
    PodRig rig;
    rig.link.probePod(rig.status);
    EXPECT_EQ(rig.status.messages,
              (std::vector<ShownMessage>{{"Connection to Corvexlink POD is successful (CVLSIM01)", false}}));
    EXPECT_FALSE(rig.driver->isOpen());
}

TEST(PodLink, DescriptionMustMatchExactly) {
    sim::EmulatorOptions options;
    options.description = "Corvexlink POD2";
    PodRig rig(options);
    ASSERT_TRUE(rig.link.loadDriver());
    rig.driver->otherDevices = {"FT232R USB UART", "corvexlink pod"};
    EXPECT_FALSE(rig.link.findPod());
    EXPECT_NE(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    EXPECT_EQ(rig.status.last(), (ShownMessage{"No Connection to Corvexlink POD", true}));
    EXPECT_FALSE(rig.link.pod().has_value());
}

TEST(PodLink, NoDeviceStopsAfterTheCount) {
    sim::EmulatorOptions o;
    o.faults = {{FaultKind::Unplug, '*', 0, 0}};
    PodRig rig(o);
    ASSERT_TRUE(rig.link.loadDriver());
    std::uint8_t b = 0;
    rig.pod.receive(&b, 1, 0);  // the unplug fault fires at once: nothing is attached
    EXPECT_FALSE(rig.link.findPod());
    EXPECT_EQ(rig.driver->calls, std::vector<std::string>{"enumerate"});
    EXPECT_NE(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    EXPECT_EQ(rig.status.last(), (ShownMessage{"No Connection to Corvexlink POD", true}));
}

TEST(PodLink, PodFoundAfterOtherDevices) {
    PodRig rig;
    ASSERT_TRUE(rig.link.loadDriver());
    rig.driver->otherDevices = {"Corvexlink POD extra", "FT232R USB UART"};
    EXPECT_TRUE(rig.link.findPod());
    ASSERT_TRUE(rig.link.pod().has_value());
    EXPECT_EQ(rig.link.pod()->description, "Corvexlink POD");
    EXPECT_EQ(rig.link.pod()->serialNumber, "CVLSIM01");
}

TEST(PodLink, OpenConfiguresTheDeviceInOrderAndHandshakes) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    const std::vector<std::string> expected = {"enumerate",
                                               "open(Corvexlink POD)",
                                               "resetDevice",
                                               "latencyTimer",
                                               "setLatencyTimer(1)",
                                               "setBaudRate(921600)",
                                               "setLineFormat8N1",
                                               "disableFlowControl",
                                               "setTimeouts(200,200)",
                                               "purge(rx,tx)",
                                               "write"};
    ASSERT_GE(rig.driver->calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(rig.driver->calls.begin(), rig.driver->calls.begin() + 11), expected);
    EXPECT_EQ(rig.recorder.frames(), std::vector<std::string>{"I"});
    EXPECT_TRUE(rig.link.podConnected());

    // Connected: no library call at all.
    const auto before = rig.driver->calls.size();
    EXPECT_EQ(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    EXPECT_EQ(rig.driver->calls.size(), before);

    rig.link.closePod();
    EXPECT_EQ(rig.driver->calls.back(), "close");
    EXPECT_EQ(rig.driver->calls[rig.driver->calls.size() - 2], "purge(rx,tx)");
    EXPECT_FALSE(rig.driver->isOpen());
}

TEST(PodLink, LatencyTimerAlreadyAtOneIsNotWritten) {
    PodRig rig;
    ASSERT_TRUE(rig.link.loadDriver());
    rig.driver->latencyTimer = 1;
    ASSERT_EQ(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    for (const auto& c : rig.driver->calls) EXPECT_EQ(c.find("setLatencyTimer"), std::string::npos);
}

TEST(PodLink, AnyConfigurationFailureIsPortFailed) {
    for (const char* call : {"resetDevice", "latencyTimer", "setLatencyTimer", "setBaudRate", "setLineFormat8N1",
                             "disableFlowControl", "setTimeouts", "purge", "open"}) {
        PodRig rig;
        ASSERT_TRUE(rig.link.loadDriver());
        rig.driver->failing.insert(call);
        EXPECT_NE(rig.link.connectPod(rig.status), OutcomeCode::Ok) << call;
        EXPECT_EQ(rig.status.last(), (ShownMessage{"Fail to open communication port", true})) << call;
        EXPECT_FALSE(rig.driver->isOpen()) << call;
        EXPECT_TRUE(rig.link.podFound()) << call;
    }
}

TEST(PodLink, UnansweredHandshakeIsInitFailed) {
    sim::EmulatorOptions o;
    o.faults = {test::fault(FaultKind::Silent, 'I', 1)};
    PodRig rig(o);
    const auto start = rig.clock.nowMs();
    EXPECT_FALSE(rig.connect());
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Fail to initialize Corvexlink POD", true}));
    EXPECT_FALSE(rig.driver->isOpen());
    EXPECT_GE(rig.clock.nowMs() - start, 200u);
}

TEST(PodLink, UnpluggedPodIsNotRediscoveredAndReplugOpensAgain) {
    sim::EmulatorOptions o;
    o.faults = {{FaultKind::Unplug, '*', 3, 0}};  // gone after the first handshake
    PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    rig.link.closePod();
    std::uint8_t b = 0;
    rig.pod.receive(&b, 1, 0);
    ASSERT_TRUE(rig.pod.unplugged());
    EXPECT_NE(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    EXPECT_EQ(rig.status.last(), (ShownMessage{"Fail to open communication port", true}));

    rig.pod.replug();
    rig.driver->calls.clear();
    EXPECT_EQ(rig.link.connectPod(rig.status), OutcomeCode::Ok);
    EXPECT_EQ(rig.driver->calls.front(), "open(Corvexlink POD)") << "no new enumeration";
}

TEST(PodLink, ShortReplyFailsAfter100msOfSilence) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    // '?' answers 6 bytes; asking for 8 leaves the read waiting after the sixth.
    std::array<std::uint8_t, 8> reply{};
    ASSERT_TRUE(rig.link.timedWrite(reinterpret_cast<const std::uint8_t*>("\x02?\x03"), 3, 200));
    const auto start = rig.clock.nowMs();
    EXPECT_FALSE(rig.link.timedRead(reply.data(), 8, 5000));
    const auto took = rig.clock.nowMs() - start;
    EXPECT_GE(took, 100u);
    EXPECT_LT(took, 1000u) << "after the first byte the limit is 100 ms, not the caller's";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data()), 6), "!CVL12");
}

TEST(PodLink, SilentPodTimesOutNotBeforeTheLimit) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    std::uint8_t reply = 0;
    for (const std::uint64_t parkedMs : {std::uint64_t{1000}, (std::uint64_t{1} << 32) - 50}) {
        SCOPED_TRACE(parkedMs);  // the second limit spans the wrap of the 32-bit millisecond counter
        rig.clock.micros = parkedMs * 1000;
        const auto start = rig.clock.nowMicros();
        EXPECT_FALSE(rig.link.timedRead(&reply, 1, 10000));
        const auto tookMs = (rig.clock.nowMicros() - start) / 1000;
        EXPECT_GE(tookMs, 10000u + 200u) << "counted from the end of the first empty read attempt";
        EXPECT_LT(tookMs, 10000u + 600u);
    }
}

TEST(PodLink, ReadFailsWhenTheDeviceDisappears) {
    PodRig rig;
    ASSERT_TRUE(rig.connect());
    std::uint8_t bytes[3] = {0x02, 'I', 0x03};
    rig.driver->failing.insert("read");
    EXPECT_FALSE(rig.link.timedRead(bytes, 1, 200));
    rig.driver->failing = {"queueCounts"};
    EXPECT_FALSE(rig.link.timedWrite(bytes, 3, 200));
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

TEST(PodLinkPacing, DrainingABatchPollsAFewTimesNotContinuously) {
    sim::EmulatorOptions o;
    o.wire.enabled = true;  // 350 bytes take about 3.8 ms on the line
    test::PodRig rig(o);
    ASSERT_TRUE(rig.connect());
    const std::string batch(350, 'x');
    rig.driver->calls.clear();
    const auto start = rig.clock.nowMicros();
    ASSERT_TRUE(rig.link.timedWrite(reinterpret_cast<const std::uint8_t*>(batch.data()), 350, 2000));
    const auto polls = std::count(rig.driver->calls.begin(), rig.driver->calls.end(), "queueCounts");
    EXPECT_LE(polls, 5) << "the drain is waited for, not spun on";
    EXPECT_GE(rig.clock.nowMicros() - start, 3700u);
    EXPECT_LE(rig.clock.nowMicros() - start, 4500u) << "and not much longer than the line needs";
}

}  // namespace
}  // namespace cvl
