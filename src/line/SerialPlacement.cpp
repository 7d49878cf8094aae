#include "line/SerialPlacement.h"

#include <charconv>

#include "image/SymbolTable.h"

namespace cvl {

namespace {
std::optional<std::uint32_t> hexWordAddress(const std::string& text) {
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = prefixed ? text.substr(2) : text;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() || value > 0x3FFFFF) {
        return std::nullopt;
    }
    return value;
}
}  // namespace

std::optional<std::uint32_t> serialAddress(const std::string& program, const std::string& at, std::string& error) {
    std::optional<std::uint32_t> address;
    if (!at.empty() && at.front() >= '0' && at.front() <= '9') {
        address = hexWordAddress(at);
        if (!address) error = "--serial-at " + at + " is not a hexadecimal word address up to 3FFFFF";
    } else {
        const auto symbol = findSymbol(program, at, error);
        if (!symbol) return std::nullopt;
        if (symbol->code) {
            error = "--serial-at " + at + " is code (a function or in the code section " + symbol->section +
                    "): a number there would overwrite instructions";
            return std::nullopt;
        }
        address = symbol->address;
    }
    if (address) {
        if (const auto section = codeSectionAt(program, *address)) {
            error = "--serial-at " + at + " lies in the code section " + *section +
                    ": a number there would overwrite instructions";
            return std::nullopt;
        }
    }
    return address;
}

bool serialFitsFlash(const CoffImage& image, std::uint32_t address, unsigned widthBits) {
    const auto inFlash = [&](std::uint32_t a) {
        for (const SectionRecord& s : image.sections) {
            if (s.inFlash != 0 && a >= s.startAddress && a - s.startAddress < s.lengthWords) return true;
        }
        return false;
    };
    return inFlash(address) && (widthBits == 16 || inFlash(address + 1));
}

bool writeSerialNumber(CoffImage& image, std::uint32_t address, unsigned widthBits, std::uint64_t number) {
    if (!serialFitsFlash(image, address, widthBits)) return false;
    image.setFlashWord(address, static_cast<std::uint16_t>(number & 0xFFFF));
    if (widthBits == 32) image.setFlashWord(address + 1, static_cast<std::uint16_t>((number >> 16) & 0xFFFF));
    return true;
}

}  // namespace cvl
