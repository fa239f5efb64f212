#include "presets/PresetLibrary.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kExtension = ".vtp";
constexpr size_t kExtensionLength = 4;
constexpr int kFirstVersion = 2, kLastVersion = 1000;

// Listings come back in no useful order on most file systems; a musician looks for a
// name alphabetically, whatever its case.
bool titleBefore(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower((unsigned char)a[i]), cb = std::tolower((unsigned char)b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool endsWithExtension(const std::string& name) {
    return name.size() > kExtensionLength && name.compare(name.size() - kExtensionLength, kExtensionLength, kExtension) == 0;
}

std::vector<std::string> splitPath(const std::string& s) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : s) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

int PresetMenu::find(const std::string& title, bool folder) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if ((entries_[i].submenu != nullptr) == folder && entries_[i].title == title) return (int)i;
    return -1;
}

int PresetMenu::insert(std::string title, bool folder) {
    // Folders stay ahead of presets; within each group the titles stay sorted.
    auto it = entries_.begin();
    while (it != entries_.end() && it->submenu && !folder) ++it;
    while (it != entries_.end() && (it->submenu != nullptr) == folder && !titleBefore(title, it->title)) ++it;
    Entry e;
    e.title = std::move(title);
    if (folder) {
        e.submenu = std::make_unique<PresetMenu>();
        e.submenu->parent_ = this;
    }
    const int index = (int)(it - entries_.begin());
    entries_.insert(it, std::move(e));
    renumber();
    return index;
}

void PresetMenu::renumber() {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].submenu) entries_[i].submenu->indexInParent_ = (int)i;
}

void PresetLibrary::rescan(const std::string& folder) {
    folder_ = folder;
    root_.entries_.clear();
    current_ = &root_;
    currentIndex_ = -1;
    std::vector<std::string> ancestors;
    if (!folder_.empty()) scanFolder(root_, folder_, ancestors);
    scanned_ = true;
}

void PresetLibrary::scanFolder(PresetMenu& menu, const std::string& path, std::vector<std::string>& ancestors) {
    std::error_code ec;
    // A folder linked into itself would otherwise be listed forever.
    const std::string self = platform::toUtf8(fs::canonical(platform::toPath(path), ec));
    if (ec || std::find(ancestors.begin(), ancestors.end(), self) != ancestors.end()) return;
    ancestors.push_back(self);

    std::vector<std::string> folders, presets;
    for (fs::directory_iterator it(platform::toPath(path), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = platform::toUtf8(it->path().filename());
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            if (name[0] != '.') folders.push_back(name);
        } else if (endsWithExtension(name)) {
            presets.push_back(name.substr(0, name.size() - kExtensionLength));
        }
    }
    for (const std::string& f : folders) {
        const int i = menu.insert(f, true);
        scanFolder(*menu.submenu(i), path + f + "/", ancestors);
    }
    for (const std::string& p : presets) menu.insert(p, false);
    ancestors.pop_back();
}

void PresetLibrary::mark(bool on) {
    if (currentIndex_ < 0) return;
    PresetMenu* m = current_;
    int i = currentIndex_;
    while (m) {
        m->entries_[(size_t)i].checked = on;
        i = m->indexInParent_;
        m = m->parent_;
    }
}

bool PresetLibrary::select(const PresetMenu* menu, int index) {
    if (!menu || index < 0 || index >= menu->size() || menu->isFolder(index)) return false;
    mark(false);
    current_ = mutableOf(menu);
    currentIndex_ = index;
    mark(true);
    return true;
}

void PresetLibrary::clearSelection() {
    mark(false);
    current_ = &root_;
    currentIndex_ = -1;
}

std::string PresetLibrary::pathOf(const PresetMenu* menu, int index) const {
    std::string tail = menu->entry(index).title + kExtension;
    for (const PresetMenu* m = menu; m->parent_; m = m->parent_)
        tail = m->parent_->entry(m->indexInParent_).title + "/" + tail;
    return folder_ + tail;
}

bool PresetLibrary::selectPath(const std::string& path, bool addMissing) {
    if (folder_.empty() || path.size() <= folder_.size() || path.compare(0, folder_.size(), folder_) != 0) return false;
    std::vector<std::string> parts = splitPath(path.substr(folder_.size()));
    if (parts.empty()) return false;
    std::string& file = parts.back();
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos) file.erase(dot);
    // "." and ".." would name a place outside the tree; hidden folders are never listed.
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i].empty() || parts[i] == "." || parts[i] == ".." || (i + 1 < parts.size() && parts[i][0] == '.'))
            return false;

    if (!addMissing) {
        const PresetMenu* m = &root_;
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            const int f = m->find(parts[i], true);
            if (f < 0) return false;
            m = m->submenu(f);
        }
        const int p = m->find(parts.back(), false);
        return p >= 0 && select(m, p);
    }

    mark(false);
    PresetMenu* m = &root_;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        int f = m->find(parts[i], true);
        if (f < 0) f = m->insert(parts[i], true);
        m = m->submenu(f);
    }
    int p = m->find(parts.back(), false);
    if (p < 0) p = m->insert(parts.back(), false);
    current_ = m;
    currentIndex_ = p;
    mark(true);
    return true;
}

namespace {

// The first preset inside a folder, from its top (direction +1) or its bottom (-1).
bool firstPresetIn(const PresetMenu* m, int direction, const PresetMenu*& found, int& index) {
    for (int i = direction > 0 ? 0 : m->size() - 1; i >= 0 && i < m->size(); i += direction) {
        if (!m->isFolder(i)) {
            found = m;
            index = i;
            return true;
        }
        if (firstPresetIn(m->submenu(i), direction, found, index)) return true;
    }
    return false;
}

}  // namespace

std::string PresetLibrary::step(int direction) {
    const int d = direction < 0 ? -1 : 1;
    const PresetMenu* m = current_;
    int i = currentIndex_ + d;
    for (;;) {
        for (; i >= 0 && i < m->size(); i += d) {
            const PresetMenu* found = nullptr;
            int index = -1;
            if (!m->isFolder(i)) found = m, index = i;
            else firstPresetIn(m->submenu(i), d, found, index);
            if (found) {
                select(found, index);
                return pathOf(found, index);
            }
        }
        if (!m->parent()) return std::string();
        i = m->indexInParent() + d;
        m = m->parent();
    }
}

std::string PresetLibrary::nextVersionPath(const std::string& path,
                                           const std::function<bool(const std::string&)>& exists) {
    const size_t slash = path.find_last_of("/\\");
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = std::min(path.find('.', start), path.size());
    int n = kFirstVersion;
    if (dot + 1 < path.size() && (path[dot + 1] == 'v' || path[dot + 1] == 'V')) {
        long number = 0;
        for (size_t i = dot + 2; i < path.size() && std::isdigit((unsigned char)path[i]) && number <= kLastVersion; ++i)
            number = number * 10 + (path[i] - '0');
        if (number >= 1 && number + 1 <= kLastVersion) n = (int)number + 1;
    }
    const std::string stem = path.substr(0, dot);
    for (; n <= kLastVersion; ++n) {
        const std::string candidate = stem + ".v" + std::to_string(n) + kExtension;
        if (!exists(candidate)) return candidate;
    }
    return std::string();
}
