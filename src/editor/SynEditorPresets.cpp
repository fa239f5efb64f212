// The editor's preset-library operations: choosing, stepping, opening and saving.
// Editor thread; the patch changes themselves take engineLock inside the reader.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "editor/SynEditor.h"
#include "presets/PresetReader.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotLoadedTitle = "Preset Not Loaded";
constexpr const char* kNotSavedTitle = "Preset Not Saved";
constexpr const char* kLaterVersionTitle = "Later Version!!";
constexpr const char* kExtension = ".vtp";
// Larger files are refused by the reader without a look; no need to read them here.
constexpr uintmax_t kLargestPresetBytes = 256u << 20;

bool hasExtension(const std::string& path) {
    const size_t n = std::char_traits<char>::length(kExtension);
    return path.size() >= n && path.compare(path.size() - n, n, kExtension) == 0;
}

}  // namespace

PresetLibrary& SynEditor::presetLibrary() {
    if (!library.scanned() || library.folder() != presetsFolder) library.rescan(presetsFolder);
    return library;
}

bool SynEditor::loadPresetOrSayWhy(const std::string& path) {
    if (readPresetFile(path)) return true;
    // The reader fails without saying why; find out for the dialog. A later version
    // has had its own dialog already.
    std::error_code ec;
    std::ifstream in(platform::toPath(path), std::ios::binary);
    if (!in || fs::is_directory(platform::toPath(path), ec)) {
        showMessage(kNotLoadedTitle, "The preset file could not be opened:\n" + path);
        return false;
    }
    const auto size = fs::file_size(platform::toPath(path), ec);
    if (!ec && size <= kLargestPresetBytes) {
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ParsedPatch parsed;
        if (parsePatch(bytes.data(), bytes.size(), false, parsed) == ParseResult::laterVersion &&
            lastMessageTitle == kLaterVersionTitle)
            return false;
    }
    showMessage(kNotLoadedTitle, "This file is damaged or is not a Vantorel preset:\n" + path +
                                     "\nThe patch that was playing is kept.");
    return false;
}

bool SynEditor::loadLibraryEntry(const PresetMenu* menu, int index) {
    PresetLibrary& lib = presetLibrary();
    if (!menu || index < 0 || index >= menu->size() || menu->isFolder(index)) return false;
    const std::string path = lib.pathOf(menu, index);
    if (!loadPresetOrSayWhy(path)) return false;
    lib.select(menu, index);
    presetPath = path;
    presetName = menu->entry(index).title;
    showPresetName();
    return true;
}

bool SynEditor::stepPreset(int direction) {
    PresetLibrary& lib = presetLibrary();
    const std::string path = lib.step(direction);
    if (path.empty()) return false;
    // The marks stay on a preset that failed to load, so the next press moves past it;
    // the path and name stay with the patch that is still playing.
    if (!loadPresetOrSayWhy(path)) return false;
    presetPath = path;
    presetName = lib.currentMenu()->entry(lib.currentEntry()).title;
    showPresetName();
    return true;
}

bool SynEditor::openPreset(const std::string& path) {
    if (path.empty() || !loadPresetOrSayWhy(path)) return false;
    presetPath = path;
    refreshPresetDisplay(true);
    return true;
}

SynEditor::PresetSave SynEditor::savePreset() {
    if (presetPath.empty() || fromChunk) return PresetSave::needsPath;
    if (writePresetFile(presetPath)) return PresetSave::saved;
    showMessage(kNotSavedTitle, "The preset could not be written to:\n" + presetPath);
    return PresetSave::failed;
}

bool SynEditor::savePresetAs(const std::string& chosen) {
    if (chosen.empty()) return false;
    // The library lists only ".vtp" files; a name typed without it would vanish from it.
    const std::string path = hasExtension(chosen) ? chosen : chosen + kExtension;
    if (!writePresetFile(path)) {
        showMessage(kNotSavedTitle, "The preset could not be written to:\n" + path);
        return false;
    }
    presetPath = path;
    refreshPresetDisplay(true);
    return true;
}

SynEditor::PresetSave SynEditor::savePresetAsNewVersion() {
    if (presetPath.empty()) return PresetSave::needsPath;
    const std::string path = PresetLibrary::nextVersionPath(presetPath, [](const std::string& candidate) {
        std::error_code ec;
        return fs::exists(platform::toPath(candidate), ec) || ec;
    });
    if (path.empty()) {
        showMessage(kNotSavedTitle, "Every version up to .v1000 of this preset exists already.");
        return PresetSave::failed;
    }
    return savePresetAs(path) ? PresetSave::saved : PresetSave::failed;
}

void SynEditor::refreshPresetsLibrary() {
    // The menu points into the tree that is about to go.
    releasePresetMenu();
    library.rescan(presetsFolder);
}

void SynEditor::refreshPresetDisplay(bool addMissing) {
    PresetLibrary& lib = presetLibrary();
    if (lib.selectPath(presetPath, addMissing)) {
        presetName = lib.currentMenu()->entry(lib.currentEntry()).title;
    } else {
        presetName = presetDisplayName(presetPath);
        lib.clearSelection();
    }
    showPresetName();
}

std::string SynEditor::presetDialogFolder() const {
    const size_t slash = presetPath.find_last_of("/\\");
    return slash == std::string::npos ? presetsFolder : presetPath.substr(0, slash + 1);
}

void SynEditor::askForPresetPath(PendingDialog purpose, const char* title) {
    if (fileChooserRunning()) return;  // one question at a time
    platform::FileChooser::Request r;
    r.mode = purpose == PendingDialog::openPath ? platform::FileChooser::Mode::open : platform::FileChooser::Mode::save;
    r.title = title;
    r.folder = presetDialogFolder();
    r.filterName = "Vantorel Preset";
    r.extension = "vtp";
    if (fileChooser.start(r)) {
        chooserPurpose = purpose;
        return;
    }
    showPathDialog(purpose, title);
}

void SynEditor::pollFileChooser() {
    using State = platform::FileChooser::State;
    if (!fileChooserRunning()) return;
    const State s = fileChooser.poll();
    if (s == State::running) return;
    const PendingDialog purpose = chooserPurpose;
    chooserPurpose = PendingDialog::none;
    // A preset menu left open points at entries the answer may move.
    closeMenus();
    if (s == State::chosen) {
        if (purpose == PendingDialog::openPath) openPreset(fileChooser.path());
        else if (purpose == PendingDialog::savePath) savePresetAs(fileChooser.path());
    } else if (s == State::failed) {
        // The chooser could not show itself (no display, say): ask in the window.
        showPathDialog(purpose, purpose == PendingDialog::openPath ? "Open Preset" : "Save Preset As");
    }
}
