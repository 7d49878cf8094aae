// Loads the D2XX stand-in library by path, as the program loads FTDI's.

#include <gtest/gtest.h>

#include "CompositeDriver.h"
#include "ImageBuilder.h"
#include "ManualClock.h"
#include "PodCommands.h"
#include "TargetWrite.h"
#include "TestStatus.h"
#include "VendorD2xxDriver.h"

namespace cvl {
namespace {

TEST(VendorDriver, MissingOrIncompleteLibrariesAreNotLoaded) {
    std::string error;
    EXPECT_EQ(VendorD2xxDriver::load("/nonexistent/libftd2xx.so", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(VendorD2xxDriver::load("libm.so.6", &error), nullptr);
    EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(VendorDriver, StandInLibraryProgramsTheEmulatedTarget) {
    sim::ManualClock clock;
    PodLink link([] { return std::unique_ptr<FtdiDriver>(VendorD2xxDriver::load(CORVEXLINK_D2XX_STANDIN)); }, clock);
    test::RecordingStatus status;
    link.probePod(status);
    ASSERT_EQ(status.last(), (test::ShownMessage{"Connection to Corvexlink POD is successful", false}));
    ASSERT_TRUE(link.connectPod(status));
    ASSERT_TRUE(podIdentify(link));
    EXPECT_EQ(link.podVersion, 12);

    CoffImage image;
    ASSERT_TRUE(test::loadSections(image, {test::words(0x338000, 50)}));
    CsmKeys keys;
    TargetProgrammer programmer(link, status, image, keys);
    EXPECT_EQ(programmer.runTargetWrite(true, false, false), TargetWriteResult::Success);
    link.closePod();
}

TEST(VendorDriver, CompositeListsEveryBackendAndRoutesOpens) {
    std::vector<std::unique_ptr<FtdiDriver>> backends;
    backends.push_back(VendorD2xxDriver::load(CORVEXLINK_D2XX_STANDIN));
    ASSERT_NE(backends.back(), nullptr);
    CompositeDriver composite(std::move(backends));
    std::uint32_t count = 0;
    ASSERT_EQ(composite.listDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    ASSERT_EQ(count, 1u);
    char description[64];
    ASSERT_EQ(composite.listDevices(nullptr, description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_STREQ(description, "Corvexlink POD");
    EXPECT_EQ(composite.listDevices(reinterpret_cast<void*>(std::uintptr_t{1}), description,
                                    FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_DEVICE_NOT_FOUND);
    FtHandle h = nullptr;
    char other[] = "Other";
    EXPECT_NE(composite.openEx(other, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    char pod[] = "Corvexlink POD";
    ASSERT_EQ(composite.openEx(pod, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    std::uint32_t rx = 99;
    EXPECT_EQ(composite.getQueueStatus(h, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(composite.close(h), FT_OK);
    EXPECT_EQ(composite.getQueueStatus(h, &rx), FT_INVALID_HANDLE);
}

}  // namespace
}  // namespace cvl
