#include "win/RegistryProfileStore.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WideText.h"

namespace cvl::win {

namespace {
const wchar_t* const kMain = L"Main Configuration";
const wchar_t* const kFiles = L"File List";

// An open key, closed when it goes.
struct Key {
    HKEY handle = nullptr;
    ~Key() {
        if (handle != nullptr) RegCloseKey(handle);
    }
};

bool openKey(const std::wstring& path, bool create, Key& key) {
    if (create) {
        return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                               &key.handle, nullptr) == ERROR_SUCCESS;
    }
    return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle) == ERROR_SUCCESS;
}

std::uint32_t number(HKEY key, const wchar_t* name, std::uint32_t fallback) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (key == nullptr ||
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return fallback;
    return value;
}

std::string text(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (key == nullptr || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > 64 * 1024)
        return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return {};
    return win32::utf8Text(buffer.data());  // up to the first NUL, whatever the stored size says
}

void setNumber(HKEY key, const wchar_t* name, std::uint32_t value) {
    const DWORD v = value;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

void setText(HKEY key, const wchar_t* name, const std::string& value) {
    const std::wstring wide = win32::wideText(value);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

std::wstring keyName(int n) { return L"PW KEY" + std::to_wstring(n); }
std::wstring recentName(std::size_t n) { return L"Recent File" + std::to_wstring(n); }
}  // namespace

session::Profile RegistryProfileStore::load() {
    session::Profile out;
    Key main;
    openKey(root_ + L"\\" + kMain, false, main);
    out.mcuType = static_cast<std::uint8_t>(number(main.handle, L"MCU Type", out.mcuType) & 0xFF);
    out.eraseAll = number(main.handle, L"EraseAll Mode", 0) != 0;
    out.csmUse = number(main.handle, L"CSM Use Option", 0) != 0;
    out.fileDirectory = text(main.handle, L"File Directory");
    out.podFileName = text(main.handle, L"EEP File Name");
    out.podSerial = text(main.handle, L"POD Serial Number");
    for (int n = 0; n < 8; ++n)
        out.keys.words[n] = static_cast<std::uint16_t>(number(main.handle, keyName(n).c_str(), 0xFFFF) & 0xFFFF);
    Key files;
    openKey(root_ + L"\\" + kFiles, false, files);
    for (std::size_t n = 0; n < session::kMaxRecentFiles; ++n) {
        const std::string path = text(files.handle, recentName(n).c_str());
        if (path.empty()) break;
        out.recentFiles.push_back(path);
    }
    return out;
}

void RegistryProfileStore::save(const session::Profile& in) {
    Key main;
    if (openKey(root_ + L"\\" + kMain, true, main)) {
        setNumber(main.handle, L"MCU Type", in.mcuType);
        setNumber(main.handle, L"EraseAll Mode", in.eraseAll ? 1 : 0);
        setNumber(main.handle, L"CSM Use Option", in.csmUse ? 1 : 0);
        setText(main.handle, L"File Directory", in.fileDirectory);
        setText(main.handle, L"EEP File Name", in.podFileName);
        setText(main.handle, L"POD Serial Number", in.podSerial);
        for (int n = 0; n < 8; ++n) setNumber(main.handle, keyName(n).c_str(), in.keys.words[n]);
    }
    // Entries past the new list's end would come back at the next start.
    RegDeleteKeyW(HKEY_CURRENT_USER, (root_ + L"\\" + kFiles).c_str());
    Key files;
    if (!openKey(root_ + L"\\" + kFiles, true, files)) return;
    for (std::size_t k = 0; k < in.recentFiles.size() && k < session::kMaxRecentFiles; ++k)
        setText(files.handle, recentName(k).c_str(), in.recentFiles[k]);
}

void RegistryProfileStore::saveFileDirectory(const std::string& directory) {
    Key main;
    if (openKey(root_ + L"\\" + kMain, true, main)) setText(main.handle, L"File Directory", directory);
}

void RegistryProfileStore::savePodSerial(const std::string& serial) {
    Key main;
    if (openKey(root_ + L"\\" + kMain, true, main)) setText(main.handle, L"POD Serial Number", serial);
}

}  // namespace cvl::win
