#include "platform/SharedLibrary.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace cvl {

SharedLibrary::~SharedLibrary() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

bool SharedLibrary::load(const std::string& name, std::string& error) {
    // A bare name is searched for in the program's folder and System32 only,
    // never the current folder (where anyone could leave a DLL of that name).
    const bool bare = name.find_first_of("/\\") == std::string::npos;
    const DWORD search = bare ? LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                              : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    module_ = LoadLibraryExW(win32::wideText(name).c_str(), nullptr, search);
    if (module_ == nullptr) error = name + ": cannot be loaded: " + win32::errorText(GetLastError());
    return module_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

}  // namespace cvl
