#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace platform {

bool SharedLibrary::open(const std::string& path) {
    close();
    error_.clear();
    // Without a slash dlopen would search the library path instead of taking the file meant.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = ::dlerror();
        error_ = why ? why : "unknown error";
    }
    return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

void SharedLibrary::close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace platform
