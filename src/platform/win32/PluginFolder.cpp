#include "platform/PluginFolder.h"
#include "platform/win32/Utf.h"

#include <windows.h>

#include <string>

namespace platform {

static void anchor() {}

std::string pluginFolder() {
    // The DLL holding this code, not the host's program: that is where the presets and
    // Config.ini live.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &self))
        return std::string();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, &path[0], DWORD(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return std::string();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::string();
    path.resize(slash + 1);
    return narrow(path);
}

}  // namespace platform
