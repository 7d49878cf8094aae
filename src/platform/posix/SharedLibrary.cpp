#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace cvl {

SharedLibrary::~SharedLibrary() {
    if (module_ != nullptr) dlclose(module_);
}

bool SharedLibrary::load(const std::string& name, std::string& error) {
    module_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : name + ": cannot be loaded";
    }
    return module_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const { return module_ != nullptr ? dlsym(module_, name) : nullptr; }

}  // namespace cvl
