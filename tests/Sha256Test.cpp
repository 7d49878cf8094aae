// SHA-256 names a program in every board record: the known answers of
// FIPS 180-4's examples, and a real program file against sha256sum.

#include <gtest/gtest.h>

#include <string>

#include "RunCommand.h"
#include "Samples.h"
#include "common/Sha256.h"

namespace cvl {
namespace {

std::string digestOf(const std::string& text, std::size_t repeat = 1) {
    Sha256 sha;
    for (std::size_t i = 0; i < repeat; ++i) sha.add(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return sha.hexDigest();
}

TEST(Sha256, KnownAnswers) {
    EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        digestOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                 "mnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    // A million "a", fed in pieces that straddle the 64-byte blocks.
    EXPECT_EQ(digestOf(std::string(1000, 'a'), 1000),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, ARealProgramFileAsSha256sumHasIt) {
    const std::string program = std::string(CORVEXLINK_TESTDATA_DIR) + "/Example_Flash28333_API.out";
    CVL_NEED_SAMPLES(program);
    const auto expected = test::runCommand("sha256sum '" + program + "'");
    ASSERT_EQ(expected.status, 0);
    EXPECT_EQ(sha256OfFile(program), expected.out.substr(0, 64));
}

}  // namespace
}  // namespace cvl
