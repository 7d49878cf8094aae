#include <gtest/gtest.h>

#include <filesystem>

#include "common/Text.h"
#include "CoffWriter.h"
#include "command/LoadCommand.h"
#include "TestStatus.h"

namespace cvl {
namespace {

using test::ShownMessage;

TEST(DeriveFileName, Rules) {
    EXPECT_EQ(deriveFileName("MyProgram.out"), "MyProgra");
    EXPECT_EQ(deriveFileName("x.OuT"), "x");
    EXPECT_EQ(deriveFileName("prog.out.bak"), "prog.out");
    EXPECT_EQ(deriveFileName(".out"), ".out");
    EXPECT_EQ(deriveFileName("a.out"), "a");
    EXPECT_EQ(deriveFileName("abcdefghij"), "abcdefgh");
}

TEST(Trimmed, RemovesOuterWhiteSpaceOnly) {
    EXPECT_EQ(trimmed("  a b \t\n"), "a b");
    EXPECT_EQ(trimmed("   "), "");
    EXPECT_EQ(trimmed(""), "");
}

class LoadCommandTest : public ::testing::Test {
protected:
    std::string goodFile(const std::string& name = "good.out") {
        test::CoffLayout layout;
        test::TestSection s;
        s.name = ".text";
        s.address = 0x338000;
        s.words = {1, 2, 3};
        layout.sections = {s};
        return test::writeTempFile(name, test::buildCoff(layout));
    }
    OutcomeCode load(const std::string& path, bool remember = true) {
        return loadCoffFile(image, status, path, inputs.device(), remember ? inputs.remember() : RememberFile{});
    }
    // The first step of Target Write: true when an image is ready.
    bool ensure(const std::string& pathText) {
        return ensureImageLoaded(image, status, pathText, inputs.device(), OutcomeCode::NoFileToWrite,
                                 inputs.remember()) == OutcomeCode::Ok;
    }
    CoffImage image;
    test::RecordingStatus status;
    test::CommandInputs inputs;
};

TEST_F(LoadCommandTest, MissingPathLeavesTheLoadedImage) {
    ASSERT_EQ(load(goodFile()), OutcomeCode::Ok);
    ASSERT_EQ(load("/nonexistent/other.out"), OutcomeCode::NotFound);
    EXPECT_EQ(status.last(), (ShownMessage{"The specified COFF file isn't exist", true}));
    EXPECT_EQ(image.imageLoaded, 1);
    EXPECT_EQ(image.fileName, "good");
    EXPECT_EQ(image.sectionCount(), 1);
    // A later command with the good path and device uses that image without reading it.
    EXPECT_TRUE(ensure(goodFile()));
    EXPECT_EQ(status.messages.size(), 2u);
    // With the missing path it is the missing path that counts.
    EXPECT_FALSE(ensure("/nonexistent/other.out"));
    EXPECT_EQ(status.last(), (ShownMessage{"The specified COFF file isn't exist", true}));
}

TEST_F(LoadCommandTest, DirectorySetsTheNameThenFailsToOpen) {
    ASSERT_EQ(load(goodFile()), OutcomeCode::Ok);
    const auto dir = std::filesystem::path(goodFile()).parent_path() / "folder.out";
    std::filesystem::create_directories(dir);
    EXPECT_EQ(load(dir.string()), OutcomeCode::OpenFailed);
    EXPECT_EQ(status.last(), (ShownMessage{"Fail to open specified file", true}));
    EXPECT_EQ(image.fileName, "folder");
    EXPECT_EQ(image.imageLoaded, 0);
    EXPECT_EQ(image.sectionCount(), 0);
    EXPECT_EQ(load(dir.string() + "/"), OutcomeCode::OpenFailed);
    EXPECT_EQ(image.fileName, "folder");
}

TEST_F(LoadCommandTest, EveryReaderResultHasItsMessage) {
    const std::string notCoff = test::writeTempFile("bad.out", test::Bytes(30, 0x41));
    EXPECT_EQ(load(notCoff), OutcomeCode::NotCoff);
    EXPECT_EQ(status.last(), (ShownMessage{"The specified file is not COFF format", true}));

    test::CoffLayout wrong;
    wrong.targetId = 0x0092;
    EXPECT_EQ(load(test::writeTempFile("wrong.out", test::buildCoff(wrong))), OutcomeCode::WrongTarget);
    EXPECT_EQ(status.last(), (ShownMessage{"The specified file is not match with MCU", true}));

    test::Bytes negative = test::buildCoff(test::CoffLayout{});
    test::put32(negative, 8, 0x80000000);
    EXPECT_EQ(load(test::writeTempFile("neg.out", negative)), OutcomeCode::FileError);
    EXPECT_EQ(status.last(), (ShownMessage{"File exception error happens", true}));

    test::CoffLayout huge;
    test::TestSection s;
    s.name = "huge";
    s.words = {1};
    s.sizeOverride = 0x500000;
    huge.sections = {s};
    EXPECT_EQ(load(test::writeTempFile("huge.out", test::buildCoff(huge))), OutcomeCode::TooLarge);
    EXPECT_EQ(status.last(), (ShownMessage{"The program in the COFF file is larger than 8 MiB", true}));
    EXPECT_EQ(image.sectionCount(), 0);

    EXPECT_EQ(loadMessage(OutcomeCode::MemoryError), "Memory exception error happens");
    EXPECT_TRUE(inputs.recent.empty());
}

TEST_F(LoadCommandTest, RememberControlsTheRecentList) {
    const std::string path = goodFile();
    ASSERT_EQ(load(path, false), OutcomeCode::Ok);
    EXPECT_TRUE(inputs.recent.empty());
    ASSERT_EQ(load(path, true), OutcomeCode::Ok);
    EXPECT_EQ(inputs.recent, std::vector<std::string>{path});
}

TEST_F(LoadCommandTest, DeviceIsSampledAtLoadAndKeptAfterwards) {
    inputs.mcu = 2;
    ASSERT_EQ(load(goodFile()), OutcomeCode::Ok);
    inputs.mcu = 1;
    const auto before = status.messages.size();
    EXPECT_TRUE(ensure(goodFile()));
    EXPECT_EQ(image.mcuType, McuType::F28334) << "another device shown: loaded again for it";
    EXPECT_EQ(status.messages.size(), before + 1);
    inputs.mcu = 0x101;  // truncated to one byte
    ASSERT_EQ(load(goodFile()), OutcomeCode::Ok);
    EXPECT_EQ(image.mcuType, McuType::F28334);
}

TEST_F(LoadCommandTest, EnsureImageLoadedRetriesAfterAFailedLoad) {
    const std::string bad = test::writeTempFile("bad2.out", test::Bytes(30, 0x41));
    EXPECT_FALSE(ensure("  "));
    EXPECT_EQ(status.last(), (ShownMessage{"Please, specify COFF file to write target", true}));
    EXPECT_FALSE(ensure(bad));
    EXPECT_EQ(status.last().text, "The specified file is not COFF format");
    EXPECT_TRUE(ensure("  " + goodFile() + " "));
    EXPECT_EQ(image.imageLoaded, 1);
    EXPECT_EQ(inputs.recent.back(), goodFile());
}

}  // namespace
}  // namespace cvl
