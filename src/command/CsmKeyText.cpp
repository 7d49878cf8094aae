#include "common/Text.h"
#include "command/CsmKeyText.h"

#include <algorithm>
#include <cstdlib>

#include "command/LoadCommand.h"

namespace cvl {

std::uint16_t parseKeyText(const std::string& raw) {
    const std::string text = trimmed(raw);
    if (text.empty()) return 0xFFFF;
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16) & 0xFFFF);
}

CsmKeys keysFromTexts(const std::array<std::string, 8>& texts) {
    CsmKeys keys;
    for (std::size_t i = 0; i < texts.size(); ++i) keys.words[i] = parseKeyText(texts[i]);
    return keys;
}

bool keysAllZero(const CsmKeys& keys) {
    return std::all_of(keys.words.begin(), keys.words.end(), [](std::uint16_t w) { return w == 0; });
}

}  // namespace cvl
