#pragma once
// Writes the byte trace as text: one line per run of bytes in one direction,
//   <time in ms>  host>pod|pod>host  <hex bytes>  |<printable>|

#include <cstdio>
#include <vector>

#include "pod/ByteTrace.h"

namespace cvl {

class TextTrace : public ByteTrace {
public:
    explicit TextTrace(std::FILE* out) : out_(out) {}
    ~TextTrace() override { flush(); }
    void record(std::uint64_t atUs, bool toPod, const std::uint8_t* bytes, std::size_t size) override;
    void flush();

private:
    std::FILE* out_;
    std::vector<std::uint8_t> run_;
    std::uint64_t runStartUs_ = 0;
    std::uint64_t lastUs_ = 0;
    bool runToPod_ = false;
};

}  // namespace cvl
