#pragma once
// Text from outside (file names, section names, a pod's stored tag) is
// bytes, not necessarily UTF-8: helpers to cut it without splitting a
// character, to tell whether it is UTF-8, and to show it on a terminal
// without letting control bytes act.

#include <cstddef>
#include <string>
#include <string_view>

namespace cvl {

bool isValidUtf8(std::string_view text);

// Text with leading and trailing white space removed.
std::string trimmed(std::string_view text);

// text cut to at most maxBytes, never inside a UTF-8 character (bytes that
// are not UTF-8 are cut anywhere).
std::string cutAtCharacter(std::string_view text, std::size_t maxBytes);

// text with control bytes (below 0x20, and 0x7F) written as \xNN; everything
// else as it is, backslashes too, so a Windows path reads as it was typed.
std::string escapeControls(std::string_view text);

// text with control bytes and bytes that are not part of UTF-8 written as
// \xNN, and a backslash as \\: always valid UTF-8, and the bytes can be told
// back from it (for stores that take only UTF-8 text).
std::string escapeBytes(std::string_view text);

// Bytes as upper-case hex digits, two a byte.
std::string hexBytes(std::string_view bytes);

}  // namespace cvl
