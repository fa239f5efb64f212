#pragma once

#include <string>

namespace platform {

// "Config.ini" in the classic profile form: [Section] headers and key=value lines.
// Reads never fail (a missing file or key yields the default); writes keep every
// other line of the file as it was.
class ConfigIni {
public:
    explicit ConfigIni(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    int getInt(const std::string& section, const std::string& key, int fallback) const;
    bool setString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string path_;
};

}  // namespace platform
