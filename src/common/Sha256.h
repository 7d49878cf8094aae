#pragma once
// SHA-256 (FIPS 180-4), to name a program file by its content in the
// programming log.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cvl {

class Sha256 {
public:
    Sha256();
    void add(const std::uint8_t* data, std::size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string hexDigest();

private:
    void block(const std::uint8_t* p);
    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest of a file's bytes, or empty when it cannot be read.
std::string sha256OfFile(const std::string& path);

}  // namespace cvl
