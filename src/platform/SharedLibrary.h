#pragma once
// A shared library loaded at run time (the pod vendor's driver).

#include <string>

namespace cvl {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads name: a path as given, or a bare name from the system's and the
    // program's own folders only (never the current folder). False, with
    // error set, when it cannot be loaded.
    bool load(const std::string& name, std::string& error);
    // The address of an exported symbol, or nullptr.
    void* symbol(const char* name) const;
    bool loaded() const { return module_ != nullptr; }

private:
    void* module_ = nullptr;
};

}  // namespace cvl
