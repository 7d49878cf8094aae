#include "image/ProgramFormat.h"

#include <array>

namespace cvl {

namespace {
struct Entry {
    ProgramFormat format;
    std::string_view name;
    std::string_view title;
};
constexpr std::array<Entry, 5> kFormats{{
    {ProgramFormat::None, "", ""},
    {ProgramFormat::Coff, "COFF", "COFF"},
    {ProgramFormat::Elf, "ELF", "ELF"},
    {ProgramFormat::IntelHex, "IntelHex", "Intel HEX"},
    {ProgramFormat::Binary, "Binary", "raw binary"},
}};
const Entry& entry(ProgramFormat format) {
    const auto i = static_cast<std::size_t>(format);
    return i < kFormats.size() ? kFormats[i] : kFormats[0];
}
}  // namespace

std::string_view formatName(ProgramFormat format) { return entry(format).name; }
std::string_view formatTitle(ProgramFormat format) { return entry(format).title; }

}  // namespace cvl
