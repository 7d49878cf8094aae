#include "image/ProgramWriter.h"

#include <algorithm>
#include <optional>
#include <cstdint>
#include <vector>

namespace cvl {

namespace {

constexpr std::uint32_t kRecordWords = 16;

void appendRecord(std::string& out, std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                  std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + type;
    const auto put = [&](std::uint8_t b) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    };
    out += ':';
    put(static_cast<std::uint8_t>(count));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address));
    put(type);
    for (std::size_t i = 0; i < count; ++i) {
        put(data[i]);
        sum += data[i];
    }
    put(static_cast<std::uint8_t>(-sum));
    out += '\n';
}

std::vector<const SectionRecord*> byAddress(const CoffImage& image) {
    std::vector<const SectionRecord*> sorted;
    for (const SectionRecord& s : image.sections) sorted.push_back(&s);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SectionRecord* a, const SectionRecord* b) { return a->startAddress < b->startAddress; });
    return sorted;
}

}  // namespace

std::string intelHexText(const CoffImage& image) {
    std::string out;
    std::int64_t upper = -1;
    std::uint8_t bytes[2 * kRecordWords];
    for (const SectionRecord* s : byAddress(image)) {
        for (std::uint32_t i = 0; i < s->lengthWords;) {
            const std::uint32_t address = s->startAddress + i;
            if (static_cast<std::int64_t>(address >> 16) != upper) {
                upper = address >> 16;
                const std::uint8_t ela[2] = {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)};
                appendRecord(out, 4, 0, ela, 2);
            }
            // A record never crosses a 64 Ki-word boundary: its address has 16 bits.
            const std::uint32_t toBoundary = 0x10000 - (address & 0xFFFF);
            const std::uint32_t n = std::min({kRecordWords, s->lengthWords - i, toBoundary});
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::uint16_t w = s->word(i + k);
                bytes[2 * k] = static_cast<std::uint8_t>(w >> 8);  // high byte first
                bytes[2 * k + 1] = static_cast<std::uint8_t>(w);
            }
            appendRecord(out, 0, static_cast<std::uint16_t>(address), bytes, 2 * n);
            i += n;
        }
    }
    appendRecord(out, 1, 0, nullptr, 0);
    return out;
}

std::optional<std::string> rawBinaryBytes(const CoffImage& image) {
    const auto sorted = byAddress(image);
    if (sorted.empty()) return std::string();
    const std::uint32_t first = sorted.front()->startAddress;
    std::uint64_t end = first;
    for (const SectionRecord* s : sorted)
        end = std::max<std::uint64_t>(end, std::uint64_t{s->startAddress} + s->lengthWords);
    if ((end - first) * 2 > kMaxBinaryBytes) return std::nullopt;
    std::string out(std::size_t{end - first} * 2, static_cast<char>(0xFF));
    for (const SectionRecord* s : sorted) {
        std::copy(s->data, s->data + std::size_t{s->lengthWords} * 2,
                  out.begin() + static_cast<std::ptrdiff_t>(std::size_t{s->startAddress - first} * 2));
    }
    return out;
}

}  // namespace cvl
