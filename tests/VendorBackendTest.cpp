// Loads the D2XX stand-in library by path, as the program loads FTDI's.

#include <gtest/gtest.h>

#include "ImageBuilder.h"
#include "TestStatus.h"
#include "pod/BackendList.h"
#include "pod/PodCommands.h"
#include "pod/TargetProgrammer.h"
#include "pod/VendorD2xxBackend.h"
#include "pod/PodChoice.h"
#include "common/ManualClock.h"
#include "sim/PodEmulator.h"
#include "sim/SimPodBackend.h"

namespace cvl {
namespace {

TEST(VendorBackend, MissingOrIncompleteLibrariesAreNotLoaded) {
    std::string error;
    EXPECT_EQ(VendorD2xxBackend::load("/nonexistent/libftd2xx.so", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(VendorD2xxBackend::load("libm.so.6", &error), nullptr);
    EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(VendorBackend, StandInLibraryProgramsTheEmulatedTarget) {
    ManualClock clock;
    PodLink link([] { return std::unique_ptr<PodBackend>(VendorD2xxBackend::load(CORVEXLINK_D2XX_STANDIN)); }, clock);
    test::RecordingStatus status;
    link.probePod(status);
    ASSERT_EQ(status.last(), (test::ShownMessage{"Connection to Corvexlink POD is successful (CVLSIM01)", false}));
    ASSERT_EQ(link.pod(), (PodInfo{"Corvexlink POD", "CVLSIM01", "usb-location:1001", "d2xx"}))
        << "listed after the other device, with its serial number and location";
    ASSERT_EQ(link.connectPod(status), OutcomeCode::Ok);
    EXPECT_EQ(podIdentify(link), std::optional<std::uint16_t>(12));

    CoffImage image;
    ASSERT_TRUE(test::loadSections(image, {test::words(0x338000, 50)}));
    CsmKeys keys;
    TargetProgrammer programmer(link, status, image, keys);
    EXPECT_EQ(programmer.runTargetWrite({true, false, false}), OutcomeCode::Ok);
    link.closePod();
}

TEST(VendorBackend, ListOpensEachPodThroughTheBackendThatListedIt) {
    std::vector<std::unique_ptr<PodBackend>> backends;
    backends.push_back(VendorD2xxBackend::load(CORVEXLINK_D2XX_STANDIN));
    ASSERT_NE(backends.back(), nullptr);
    BackendList list(std::move(backends));
    const auto pods = list.enumerate();
    ASSERT_EQ(pods.size(), 2u);
    EXPECT_EQ(pods[0].description, "FT232R USB UART");
    EXPECT_EQ(pods[1].description, "Corvexlink POD");
    EXPECT_EQ(list.open(PodInfo{"Corvexlink POD", "CVLSIM01", "elsewhere", "d2xx"}), nullptr) << "a pod nobody listed";
    EXPECT_EQ(list.open(pods[0]), nullptr) << "the other device cannot be opened";
    auto port = list.open(pods[1]);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->receivedCount(), std::optional<std::uint32_t>(0));
    EXPECT_EQ(list.open(pods[1]), nullptr) << "an open pod is not opened twice";
    port->close();
    port = list.open(pods[1]);
    EXPECT_NE(port, nullptr) << "closed, it opens again";
}

// FTDI's library and its COM-port driver list one pod under one serial
// number: it is one pod (a command without --pod takes it, either path names
// it), opened through the library, or through the port when the library cannot.
TEST(VendorBackend, OnePodListedByTwoBackendsIsOnePod) {
    ManualClock clock;
    sim::PodEmulator emulator{sim::EmulatorOptions{}};  // listed as CVLSIM01, as the stand-in's pod
    std::vector<std::unique_ptr<PodBackend>> backends;
    backends.push_back(VendorD2xxBackend::load(CORVEXLINK_D2XX_STANDIN));
    ASSERT_NE(backends.back(), nullptr);
    auto port = std::make_unique<sim::SimPodBackend>(emulator, clock);
    sim::SimPodBackend* portBackend = port.get();
    backends.push_back(std::move(port));
    BackendList list(std::move(backends));
    std::vector<PodInfo> pods;
    for (const PodInfo& p : list.enumerate()) {
        if (p.description == "Corvexlink POD") pods.push_back(p);
    }
    ASSERT_EQ(pods.size(), 1u);
    EXPECT_EQ(pods[0].backend, "d2xx");
    EXPECT_EQ(pods[0].alsoPath, "sim:pod");
    EXPECT_EQ(podDescription(pods[0]), "CVLSIM01 at usb-location:1001 (d2xx), also at sim:pod (emulator)");
    for (const std::string name : {"CVLSIM01", "usb-location:1001", "sim:pod"}) {
        const PodMatch match = matchPods(pods, {name});
        EXPECT_EQ(match.code, OutcomeCode::Ok) << name;
    }
    EXPECT_EQ(matchPods(pods, {}).code, OutcomeCode::Ok) << "one pod attached, not two";

    auto first = list.open(pods[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(portBackend->isOpen()) << "through the library when it can";
    auto second = list.open(pods[0]);
    ASSERT_NE(second, nullptr) << "the library holds it open: the port is the other way in";
    EXPECT_TRUE(portBackend->isOpen());
    second->close();
    first->close();
}

TEST(PodChoice, ComPortsAreNamedInAnyCaseAndForm) {
    const std::vector<PodInfo> pods = {{"Corvexlink POD", "A1", "COM5", "com"},
                                       {"Corvexlink POD", "B2", "COM12", "com"}};
    for (const std::string name : {"COM5", "com5", "\\\\.\\COM5", "\\\\.\\com5"}) {
        const PodMatch match = matchPods(pods, {name});
        ASSERT_EQ(match.code, OutcomeCode::Ok) << name;
        EXPECT_EQ(match.pods.front().serialNumber, "A1") << name;
    }
    EXPECT_EQ(matchPods(pods, {"COM1"}).code, OutcomeCode::PodNotListed);
    EXPECT_EQ(portNameOf("COMX"), "");
}

}  // namespace
}  // namespace cvl
