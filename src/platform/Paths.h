#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace platform {

// Paths travel through the program as UTF-8 strings with '/' (Windows takes either
// separator). These are the only conversions to and from the file system's own form,
// so a preset named in any script opens on Windows as on Linux.
inline std::filesystem::path toPath(const std::string& utf8) { return std::filesystem::u8path(utf8); }
inline std::string toUtf8(const std::filesystem::path& p) { return p.u8string(); }

// Puts `from` in place of `to` in one step, replacing it if it exists; when it fails
// the old `to` is left as it was.
inline bool replaceFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(toPath(from), toPath(to), ec);
    return !ec;
}

inline void removeFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(toPath(path), ec);
}

}  // namespace platform
