#include "platform/ConfigIni.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform {
namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

// A missing file reads as empty; `readable` is false only for a file that is there
// but cannot be read, which a write must not replace.
std::vector<std::string> readLines(const std::string& path, bool* readable = nullptr) {
    std::vector<std::string> lines;
    std::ifstream in(toPath(path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    if (readable) {
        std::error_code ec;
        *readable = in.is_open() ? !in.bad() : !std::filesystem::exists(toPath(path), ec) && !ec;
    }
    return lines;
}

bool isSection(const std::string& t, std::string* name) {
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    *name = trim(t.substr(1, t.size() - 2));
    return true;
}

}  // namespace

std::string ConfigIni::getString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    bool inSection = false;
    for (const std::string& line : readLines(path_)) {
        std::string t = trim(line), name;
        if (isSection(t, &name)) {
            inSection = equalNoCase(name, section);
            continue;
        }
        if (!inSection || t.empty() || t[0] == ';') continue;
        size_t eq = t.find('=');
        if (eq != std::string::npos && equalNoCase(trim(t.substr(0, eq)), key))
            return trim(t.substr(eq + 1));
    }
    return fallback;
}

int ConfigIni::getInt(const std::string& section, const std::string& key, int fallback) const {
    std::string v = getString(section, key, std::string());
    if (v.empty()) return fallback;
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    return end == v.c_str() ? fallback : (int)n;
}

bool ConfigIni::setString(const std::string& section, const std::string& key,
                          const std::string& text) {
    // One line per key: a line break in the value (a typed author name) must not
    // start a line of its own and so set another key.
    std::string value = text;
    for (char& c : value)
        if (c == '\n' || c == '\r') c = ' ';
    bool readable = false;
    std::vector<std::string> lines = readLines(path_, &readable);
    if (!readable) return false;
    bool inSection = false, done = false;
    int sectionEnd = -1;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string t = trim(lines[i]), name;
        if (isSection(t, &name)) {
            if (inSection) break;
            inSection = equalNoCase(name, section);
            if (inSection) sectionEnd = (int)i + 1;
            continue;
        }
        if (!inSection) continue;
        if (!t.empty()) sectionEnd = (int)i + 1;
        size_t eq = t.find('=');
        if (eq != std::string::npos && equalNoCase(trim(t.substr(0, eq)), key)) {
            lines[i] = key + "=" + value;
            done = true;
        }
    }
    if (!done) {
        if (sectionEnd < 0) {
            lines.push_back("[" + section + "]");
            lines.push_back(key + "=" + value);
        } else {
            lines.insert(lines.begin() + sectionEnd, key + "=" + value);
        }
    }
    // Write beside the file and rename, so a failed write never loses the old settings.
    std::string tmp = path_ + ".tmp";
    bool written;
    {
        std::ofstream out(toPath(tmp), std::ios::trunc);
        if (!out) return false;
        for (const std::string& l : lines) out << l << '\n';
        out.close();
        written = !out.fail();
    }
    if (written && replaceFile(tmp, path_)) return true;
    removeFile(tmp);
    return false;
}

}  // namespace platform
