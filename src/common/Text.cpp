#include "common/Text.h"

#include <algorithm>
#include <cctype>

#include <cstdint>

namespace cvl {

std::string trimmed(std::string_view text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

namespace {
// The length of the UTF-8 sequence starting at text[i], or 0 when none valid starts there.
std::size_t sequenceAt(std::string_view text, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = b(i);
    std::size_t n = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        n = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    std::uint32_t cp = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}
}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequenceAt(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string cutAtCharacter(std::string_view text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t n = sequenceAt(text, end);
        const std::size_t step = n == 0 ? 1 : n;  // a stray byte is a character of its own
        if (end + step > maxBytes) break;
        end += step;
    }
    return std::string(text.substr(0, end));
}

std::string escapeControls(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kDigits[b >> 4];
            out += kDigits[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequenceAt(text, i);
        if (n > 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        // One byte: ASCII (controls escaped, a backslash doubled so that the
        // bytes can be told back) or a byte that starts no character.
        if (n == 1) {
            out += text[i] == '\\' ? std::string("\\\\") : escapeControls(text.substr(i, 1));
        } else {
            out += "\\x" + hexBytes(text.substr(i, 1));
        }
        ++i;
    }
    return out;
}

std::string hexBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

}  // namespace cvl
