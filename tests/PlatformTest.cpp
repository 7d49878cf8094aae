// The platform seam, run on Linux and (cross-built) under wine: private and
// atomic files, whole-line appends, shared libraries, and paths in any
// script reaching the same file on both systems.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "Samples.h"
#include "image/CoffImage.h"
#include "image/ProgramReader.h"
#include "platform/AppendFile.h"
#include "platform/Files.h"
#include "platform/SharedLibrary.h"
#if defined(_WIN32)
#include "pod/ComPortBackend.h"
#include "pod/PodLink.h"
#endif

namespace cvl {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& p) {
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(nativePath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Platform : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvexlink-platform-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir / "readonly.txt", fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::string at(const std::string& name) const { return utf8(dir) + "/" + name; }
    fs::path dir;
};

TEST_F(Platform, FilesAreReplacedWholeAndNeverOverWhatMustNotBe) {
    std::string error;
    ASSERT_TRUE(writeFileAtomically(at("out.hex"), "first", error)) << error;
    ASSERT_TRUE(writeFileAtomically(at("out.hex"), "second, longer", error)) << error;
    EXPECT_EQ(bytesOf(at("out.hex")), "second, longer") << "an existing file is replaced in one step";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";

    writeFileAtomically(at("readonly.txt"), "kept", error);
    fs::permissions(dir / "readonly.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(writeFileAtomically(at("readonly.txt"), "lost", error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(bytesOf(at("readonly.txt")), "kept");
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(writeFileAtomically(at("folder"), "x", error));
    EXPECT_EQ(openPrivateOutput(at("folder"), error), nullptr);

    std::FILE* out = openPrivateOutput(at("trace.txt"), error);
    ASSERT_NE(out, nullptr) << error;
    std::fputs("line 1\n", out);
    EXPECT_TRUE(closePrivateOutput(out, at("trace.txt"), error)) << error;
    EXPECT_EQ(bytesOf(at("trace.txt")), "line 1\n");

    std::string read;
    EXPECT_EQ(readRegularFile(at("trace.txt"), 100, read), ReadFileResult::Ok);
    EXPECT_EQ(read, "line 1\n");
    EXPECT_EQ(readRegularFile(at("trace.txt"), 3, read), ReadFileResult::TooLarge);
    EXPECT_EQ(readRegularFile(at("folder"), 100, read), ReadFileResult::NotRegular);
    EXPECT_EQ(readRegularFile(at("missing"), 100, read), ReadFileResult::NotRegular);

    // A second name of one file is one file, and counted.
    std::error_code ec;
    fs::create_hard_link(dir / "trace.txt", dir / "again.txt", ec);
    if (!ec) {
        EXPECT_TRUE(sameFile(at("trace.txt"), at("again.txt")));
        EXPECT_EQ(fileFacts(at("again.txt")).names, 2u);
    }
    EXPECT_FALSE(sameFile(at("trace.txt"), at("out.hex")));
    const FileFacts facts = fileFacts(at("out.hex"));
    EXPECT_TRUE(facts.exists && facts.regular && facts.readWrite && !facts.link);
    EXPECT_FALSE(fileFacts(at("readonly.txt")).readWrite);
    EXPECT_TRUE(makePrivateFolders(at("state/corvexlink")));
    EXPECT_TRUE(fs::is_directory(dir / "state" / "corvexlink"));
}

TEST_F(Platform, ALinkIsNeverWrittenThrough) {
    std::string error;
    ASSERT_TRUE(writeFileAtomically(at("target.txt"), "target", error));
    std::error_code ec;
    fs::create_symlink(dir / "target.txt", dir / "link.txt", ec);
    if (ec) GTEST_SKIP() << "this system makes no symbolic links here: " << ec.message();
    EXPECT_TRUE(fileFacts(at("link.txt")).link);
    EXPECT_FALSE(writeFileAtomically(at("link.txt"), "over", error));
    EXPECT_EQ(openPrivateOutput(at("link.txt"), error), nullptr);
    AppendFile log;
    EXPECT_FALSE(log.open(at("link.txt"), error));
    EXPECT_EQ(bytesOf(at("target.txt")), "target");
}

TEST_F(Platform, AppendedLinesAreWholeAndDrainedOnlyWhenStored) {
    std::string error;
    AppendFile spool;
    ASSERT_TRUE(spool.open(at("spool.jsonl"), error)) << error;
    ASSERT_TRUE(spool.append("{\"a\":1}\n", error) && spool.append("{\"b\":2}\n", error)) << error;
    std::vector<std::string> seen;
    EXPECT_FALSE(spool.drain(
        [&](const std::vector<std::string>& lines, std::string& e) {
            seen = lines;
            e = "the server is gone";
            return false;
        },
        error));
    EXPECT_EQ(seen, (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}"}));
    EXPECT_EQ(bytesOf(at("spool.jsonl")), "{\"a\":1}\n{\"b\":2}\n") << "lines not stored are kept";
    EXPECT_TRUE(spool.drain([](const std::vector<std::string>&, std::string&) { return true; }, error)) << error;
    EXPECT_EQ(bytesOf(at("spool.jsonl")), "");
    ASSERT_TRUE(spool.append("{\"c\":3}\n", error));
    EXPECT_EQ(bytesOf(at("spool.jsonl")), "{\"c\":3}\n") << "appends go on after a drain";
}

TEST_F(Platform, ProgramsInAnyScriptLoad) {
    const std::string sample = std::string(CORVEXLINK_SAMPLES_DIR) + "/coff/adc_oku.out";
    CVL_NEED_SAMPLES(nativePath(sample));
    CoffImage original;
    std::string detail;
    ASSERT_EQ(readProgram(sample, original, {}, detail), OutcomeCode::Ok) << detail;
    for (const std::string name : {"\xED\x94\x84\xEB\xA1\x9C\xEA\xB7\xB8\xEB\x9E\xA8.out",  // 프로그램.out
                                   "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.out"}) {       // Ωμέγα.out
        std::string error;
        ASSERT_TRUE(writeFileAtomically(at(name), bytesOf(sample), error)) << error;
        EXPECT_TRUE(fs::exists(dir / fs::path(std::u8string(name.begin(), name.end())))) << "the name is kept whole";
        CoffImage copy;
        ASSERT_EQ(readProgram(at(name), copy, {}, detail), OutcomeCode::Ok) << name;
        ASSERT_EQ(copy.sections.size(), original.sections.size());
        for (std::size_t i = 0; i < copy.sections.size(); ++i) {
            EXPECT_EQ(copy.sections[i].name, original.sections[i].name);
            EXPECT_EQ(copy.sections[i].lengthWords, original.sections[i].lengthWords);
        }
    }
}

TEST_F(Platform, SharedLibrariesLoadOrSayWhy) {
#if defined(_WIN32)
    const char* system = "kernel32.dll";
    const char* symbol = "GetTickCount";
#else
    const char* system = "libc.so.6";
    const char* symbol = "getpid";
#endif
    std::string error;
    SharedLibrary present;
    ASSERT_TRUE(present.load(system, error)) << error;
    EXPECT_NE(present.symbol(symbol), nullptr);
    EXPECT_EQ(present.symbol("no_such_function_anywhere"), nullptr);
    SharedLibrary missing;
    EXPECT_FALSE(missing.load(at("no-such-library.dll"), error));
    EXPECT_FALSE(error.empty());
}

#if defined(_WIN32)
// A port named with --pod is tried as a pod only when nothing says it is
// something else; under wine, which lists no COM ports, it is offered as named.
TEST(ComPorts, ANamedPortIsAPodOnlyWhenNothingSaysOtherwise) {
    EXPECT_EQ(comPortListing("COM5", "", "", true).description, kPodDescription);
    EXPECT_EQ(comPortListing("COM5", "USB Modem", "", true).description, "USB Modem");
    EXPECT_EQ(comPortListing("COM6", "", "", false).description, "");
    EXPECT_EQ(comPortListing("COM7", kPodDescription, "A1B2", false).serialNumber, "A1B2");
    ComPortBackend backend({"com9", "not-a-port"});
    const auto listed = backend.enumerate();
    const auto named =
        std::find_if(listed.begin(), listed.end(), [](const PodInfo& p) { return p.devicePath == "COM9"; });
    ASSERT_NE(named, listed.end());
    EXPECT_EQ(named->description, kPodDescription);
    EXPECT_EQ(
        std::count_if(listed.begin(), listed.end(), [](const PodInfo& p) { return p.devicePath == "NOT-A-PORT"; }), 0);
    EXPECT_EQ(backend.open(*named), nullptr) << "a port that is not there does not open";
}
#endif

}  // namespace
}  // namespace cvl
