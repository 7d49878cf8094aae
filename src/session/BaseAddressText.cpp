#include "session/BaseAddressText.h"

#include <cstdio>

#include "image/McuTable.h"

namespace cvl::session {

std::string baseAddressQuestion(const std::string& fileName) {
    return fileName + " is a raw binary. Word address of its first word (hexadecimal):";
}

std::string offeredBaseText(McuType device) {
    const McuInfo* info = mcuInfo(device);
    char text[16];
    std::snprintf(text, sizeof text, "%06X", info != nullptr ? info->flashStart : 0u);
    return text;
}

std::optional<std::uint32_t> baseFromText(const std::string& text, McuType device, std::string& refusal) {
    const McuInfo* info = mcuInfo(device);
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    std::uint32_t base = 0;
    bool ok = !digits.empty() && digits.size() <= 6 && info != nullptr;
    for (const char c : digits) {
        const int v = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (v < 0) ok = false;
        base = base * 16 + static_cast<std::uint32_t>(v < 0 ? 0 : v);
    }
    if (ok && (whollyInFlash(device, base, 1) || whollyInBootRam(device, base, 1))) return base;
    refusal = text + " is not a word address inside the " + (info != nullptr ? info->shortName : "device") +
              "'s flash or RAM";
    return std::nullopt;
}

}  // namespace cvl::session
