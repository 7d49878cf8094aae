#include "line/SerialPlacement.h"

#include "image/SymbolTable.h"

namespace cvl {

std::optional<std::uint32_t> serialAddress(const std::string& program, const std::string& at, std::string& error) {
    if (at.empty() || at.front() < '0' || at.front() > '9') {
        // A symbol knows whether it is code: a function, or defined in a code section.
        const auto symbol = findSymbol(program, at, error);
        if (!symbol) return std::nullopt;
        if (symbol->code) {
            error = "--serial-at " + at + " is code (a function or in the code section " + symbol->section +
                    "): a number there would overwrite instructions";
            return std::nullopt;
        }
        return symbol->address;
    }
    const auto address = parseWordAddress(at);
    if (!address) {
        error = "--serial-at " + at + " is not a hexadecimal word address up to 3FFFFF";
        return std::nullopt;
    }
    if (const auto section = codeSectionAt(program, *address)) {
        error = "--serial-at " + at + " lies in the code section " + *section +
                ": a number there would overwrite instructions";
        return std::nullopt;
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
