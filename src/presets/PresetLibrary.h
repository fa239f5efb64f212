#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One level of the presets tree as the preset menu shows it: sub-folders first, then
// presets, each titled without its ".vtp". A sub-menu knows its parent and the index
// of its own entry there, so a selection can be walked back up to the root.
class PresetMenu {
public:
    struct Entry {
        std::string title;
        std::unique_ptr<PresetMenu> submenu;  // null for a preset
        bool checked = false;
    };

    PresetMenu* parent() const { return parent_; }
    int indexInParent() const { return indexInParent_; }
    int size() const { return (int)entries_.size(); }
    const Entry& entry(int i) const { return entries_[(size_t)i]; }
    bool isFolder(int i) const { return entries_[(size_t)i].submenu != nullptr; }
    PresetMenu* submenu(int i) const { return entries_[(size_t)i].submenu.get(); }
    bool isChecked(int i) const { return entries_[(size_t)i].checked; }
    // The entry titled exactly so, of the given kind; -1 when there is none.
    int find(const std::string& title, bool folder) const;

private:
    friend class PresetLibrary;
    int insert(std::string title, bool folder);
    void renumber();

    std::vector<Entry> entries_;
    PresetMenu* parent_ = nullptr;
    int indexInParent_ = -1;
};

// The presets folder mirrored as a tree, with the current selection. No drawing: the
// preset menu renders this and reports choices back by (menu, index).
// Paths use '/' and the folder path ends with one.
class PresetLibrary {
public:
    PresetLibrary() = default;
    // The selection points into the tree it owns.
    PresetLibrary(const PresetLibrary&) = delete;
    PresetLibrary& operator=(const PresetLibrary&) = delete;

    // Empties the tree and fills it from the folder again; nothing stays selected.
    // A missing folder gives an empty tree.
    void rescan(const std::string& folder);
    const std::string& folder() const { return folder_; }
    const PresetMenu& root() const { return root_; }
    bool scanned() const { return scanned_; }

    // The menu holding the selection (the root when nothing is chosen) and the chosen
    // entry in it, -1 for none. That entry and every folder entry above it are checked.
    const PresetMenu* currentMenu() const { return current_; }
    int currentEntry() const { return currentIndex_; }
    bool hasSelection() const { return currentIndex_ >= 0; }

    // Marks a preset entry (folders cannot be chosen); false for anything else.
    bool select(const PresetMenu* menu, int index);
    void clearSelection();

    // The preset file of an entry, built from the titles from the root down.
    std::string pathOf(const PresetMenu* menu, int index) const;
    std::string selectedPath() const { return hasSelection() ? pathOf(current_, currentIndex_) : std::string(); }

    // Marks the entry of a preset path. A path outside the folder, or one that climbs
    // out of it, is refused; a missing folder or preset is refused or, with
    // addMissing, added to the tree in its sorted place.
    bool selectPath(const std::string& path, bool addMissing);

    // Moves the selection to the next (+1) or previous (-1) preset, entering and
    // leaving folders, and returns its path; empty, with the selection kept, at
    // either end of the library.
    std::string step(int direction);

    // The next free ".vN" name beside a preset (N from 2 to 1000); empty when every
    // number is taken. `exists` is asked about each candidate.
    static std::string nextVersionPath(const std::string& path,
                                       const std::function<bool(const std::string&)>& exists);

private:
    void mark(bool on);
    void scanFolder(PresetMenu& menu, const std::string& path, std::vector<std::string>& ancestors);
    static PresetMenu* mutableOf(const PresetMenu* m) { return const_cast<PresetMenu*>(m); }

    std::string folder_;
    PresetMenu root_;
    PresetMenu* current_ = &root_;
    int currentIndex_ = -1;
    bool scanned_ = false;
};
