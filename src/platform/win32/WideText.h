#pragma once
// UTF-8 text to the wide (UTF-16) text the Win32 API takes, and back; the
// Win32 half's own helpers.

#include <string>

namespace cvl::win32 {

std::wstring wideText(const std::string& utf8);
std::string utf8Text(const std::wstring& wide);
// A security descriptor that gives the file's owner alone access; freed
// with LocalFree. nullptr when it cannot be made.
void* privateSecurityDescriptor();

}  // namespace cvl::win32
