#include "platform/PluginFolder.h"

#include <dlfcn.h>

namespace platform {

static void anchor() {}

std::string pluginFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    std::string path(info.dli_fname);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash + 1);
}

}  // namespace platform
