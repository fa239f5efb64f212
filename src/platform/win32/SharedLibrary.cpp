#include "platform/SharedLibrary.h"
#include "platform/win32/Utf.h"

#include <windows.h>

namespace platform {

namespace {

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text) LocalFree(text);
    // The system's texts end in a line break (and often a full stop): keep them to one line.
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    std::string out = narrow(message);
    if (out.empty()) out = "system error " + std::to_string(code);
    return out;
}

}  // namespace

bool SharedLibrary::open(const std::string& path) {
    close();
    error_.clear();
    // A full path: a bare name would have the system search its folders instead of taking
    // the file meant, and the altered search order below is defined for full paths only.
    const std::wstring given = widen(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(given.c_str(), DWORD(full.size()), &full[0], nullptr);
        if (n == 0) {
            error_ = systemMessage(GetLastError());
            return false;
        }
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n);  // n is the size needed, terminator included
    }
    // The altered search order looks for the module's own dependencies beside it, as a
    // host does for plug-ins; no error box for a broken file, the caller reports it.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        error_ = systemMessage(code);
        // Some of the system's texts leave a place for the file's name.
        const size_t place = error_.find("%1");
        if (place != std::string::npos) error_.replace(place, 2, path);
    }
    handle_ = module;
    return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    if (!handle_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::close() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

}  // namespace platform
