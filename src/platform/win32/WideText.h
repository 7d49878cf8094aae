#pragma once
// UTF-8 text to the wide (UTF-16) text the Win32 API takes, and back; the
// Win32 half's own helpers.

#include <string>

namespace cvl::win32 {

std::wstring wideText(const std::string& utf8);
std::string utf8Text(const std::wstring& wide);
// What a Win32 error code means, in words: the system's own text, or ours
// for the common ones where the system has none (as under wine); never a
// bare number.
std::string errorText(unsigned long code);

// A security descriptor that gives the file's owner alone access; freed
// with LocalFree. nullptr when it cannot be made.
void* privateSecurityDescriptor();

}  // namespace cvl::win32
