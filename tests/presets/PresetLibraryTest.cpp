#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "presets/PresetLibrary.h"
#include "presets/PresetReader.h"
#include "support/PatchFixture.h"

namespace fs = std::filesystem;
using namespace fixture;

namespace {

// A presets tree in a fresh temporary folder, removed afterwards:
//   Bass/ acid, Deep    Empty/    Leads/ Mono/ Thin, Solo    .hidden/ Secret
//   Alpha, Zed, and a file that is no preset
class PresetTree : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantorel-library-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base = std::string(pattern) + "/";
        folder = base + "Presets/";
        for (const char* f : {"Bass/Deep.vtp", "Bass/acid.vtp", "Leads/Solo.vtp", "Leads/Mono/Thin.vtp",
                              ".hidden/Secret.vtp", "Zed.vtp", "Alpha.vtp", "notes.txt"})
            touch(f, "not read by the scan");
        fs::create_directories(folder + "Empty");
    }
    void TearDown() override { fs::remove_all(base); }
    void touch(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(folder + relative).parent_path());
        std::ofstream(folder + relative, std::ios::binary) << bytes;
    }
    // Every entry as "title" or "title/" for folders, depth first, in menu order.
    static void flatten(const PresetMenu& m, const std::string& prefix, std::vector<std::string>& out) {
        for (int i = 0; i < m.size(); ++i) {
            out.push_back(prefix + m.entry(i).title + (m.isFolder(i) ? "/" : ""));
            if (m.isFolder(i)) flatten(*m.submenu(i), prefix + m.entry(i).title + "/", out);
        }
    }
    static std::vector<std::string> flat(const PresetLibrary& lib) {
        std::vector<std::string> out;
        flatten(lib.root(), "", out);
        return out;
    }
    // The titles carrying a check mark, root first.
    static std::vector<std::string> checked(const PresetLibrary& lib) {
        std::vector<std::string> out;
        std::vector<const PresetMenu*> todo{&lib.root()};
        while (!todo.empty()) {
            const PresetMenu* m = todo.back();
            todo.pop_back();
            for (int i = 0; i < m->size(); ++i) {
                if (m->isChecked(i)) out.push_back(m->entry(i).title);
                if (m->isFolder(i)) todo.push_back(m->submenu(i));
            }
        }
        return out;
    }
    std::string base, folder;
};

TEST_F(PresetTree, ScanListsFoldersFirstSortedWithoutExtensionsOrHiddenFolders) {
    PresetLibrary lib;
    lib.rescan(folder);
    EXPECT_EQ(flat(lib), (std::vector<std::string>{"Bass/", "Bass/acid", "Bass/Deep", "Empty/", "Leads/",
                                                   "Leads/Mono/", "Leads/Mono/Thin", "Leads/Solo", "Alpha", "Zed"}));
    // Every sub-menu can find its way back to its own entry.
    const PresetMenu* mono = lib.root().submenu(2)->submenu(0);
    EXPECT_EQ(mono->parent()->parent(), &lib.root());
    EXPECT_EQ(lib.pathOf(mono, 0), folder + "Leads/Mono/Thin.vtp");
    EXPECT_FALSE(lib.hasSelection());

    PresetLibrary missing;
    missing.rescan(base + "NoSuchFolder/");
    EXPECT_EQ(missing.root().size(), 0);
    EXPECT_EQ(missing.step(1), "");
}

TEST_F(PresetTree, AFolderLinkedIntoItselfIsListedOnce) {
    fs::create_directory_symlink(folder + "Leads", folder + "Leads/Again");
    PresetLibrary lib;
    lib.rescan(folder);
    const std::vector<std::string> entries = flat(lib);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "Leads/Again/"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "Leads/Again/Again/"), 0);
}

TEST_F(PresetTree, StepWalksEveryPresetAcrossFoldersAndStopsAtBothEnds) {
    PresetLibrary lib;
    lib.rescan(folder);
    const std::vector<std::string> order{"Bass/acid", "Bass/Deep", "Leads/Mono/Thin", "Leads/Solo", "Alpha", "Zed"};
    for (const std::string& p : order) EXPECT_EQ(lib.step(1), folder + p + ".vtp");
    EXPECT_EQ(lib.step(1), "");  // no wrap-around
    EXPECT_EQ(lib.selectedPath(), folder + "Zed.vtp");
    for (size_t i = order.size() - 1; i-- > 0;) EXPECT_EQ(lib.step(-1), folder + order[i] + ".vtp");
    EXPECT_EQ(lib.step(-1), "");
    EXPECT_EQ(lib.selectedPath(), folder + "Bass/acid.vtp");
    EXPECT_EQ(checked(lib), (std::vector<std::string>{"Bass", "acid"}));

    // Backwards into a folder starts at its last preset, through the nested folder.
    ASSERT_TRUE(lib.selectPath(folder + "Alpha.vtp", false));
    EXPECT_EQ(lib.step(-1), folder + "Leads/Solo.vtp");
    EXPECT_EQ(lib.step(-1), folder + "Leads/Mono/Thin.vtp");
    EXPECT_EQ(checked(lib), (std::vector<std::string>{"Leads", "Mono", "Thin"}));
}

TEST_F(PresetTree, SelectPathMarksTheChainOrAddsWhatIsMissing) {
    PresetLibrary lib;
    lib.rescan(folder);
    ASSERT_TRUE(lib.selectPath(folder + "Leads/Mono/Thin.vtp", false));
    EXPECT_EQ(checked(lib), (std::vector<std::string>{"Leads", "Mono", "Thin"}));

    // Refused without adding: nothing changes, the old marks stay.
    EXPECT_FALSE(lib.selectPath(folder + "Pads/Warm.vtp", false));
    EXPECT_FALSE(lib.selectPath(base + "Elsewhere/Thin.vtp", true));
    EXPECT_FALSE(lib.selectPath(folder + "../Escape.vtp", true));
    EXPECT_FALSE(lib.selectPath(folder + ".hidden/Secret.vtp", true));
    EXPECT_EQ(flat(lib).size(), 10u);
    EXPECT_EQ(checked(lib), (std::vector<std::string>{"Leads", "Mono", "Thin"}));

    // Added in their sorted places: a folder among the folders, a preset among presets.
    ASSERT_TRUE(lib.selectPath(folder + "Keys/Warm/Rhodes.v2.vtp", true));
    ASSERT_TRUE(lib.selectPath(folder + "Bass/Bright.vtp", true));
    EXPECT_EQ(flat(lib), (std::vector<std::string>{"Bass/", "Bass/acid", "Bass/Bright", "Bass/Deep", "Empty/",
                                                   "Keys/", "Keys/Warm/", "Keys/Warm/Rhodes.v2", "Leads/",
                                                   "Leads/Mono/", "Leads/Mono/Thin", "Leads/Solo", "Alpha", "Zed"}));
    EXPECT_EQ(checked(lib), (std::vector<std::string>{"Bass", "Bright"}));
    // The inserted folder moved Leads down; its sub-menus still know their places.
    ASSERT_TRUE(lib.selectPath(folder + "Leads/Mono/Thin.vtp", false));
    EXPECT_EQ(lib.selectedPath(), folder + "Leads/Mono/Thin.vtp");
    EXPECT_EQ(lib.step(-1), folder + "Keys/Warm/Rhodes.v2.vtp");

    lib.rescan(folder);
    EXPECT_FALSE(lib.hasSelection());
    EXPECT_TRUE(checked(lib).empty());
}

TEST(PresetNames, DisplayNameKeepsOnlyAVersionSegment) {
    EXPECT_EQ(presetDisplayName("/p/Presets/Bass/Bass.v3.vtp"), "Bass.v3");
    EXPECT_EQ(presetDisplayName("/p/Presets/Bass/Bass.V12.vtp"), "Bass.V12");
    EXPECT_EQ(presetDisplayName("/p/Presets/Bass.vtp"), "Bass");
    EXPECT_EQ(presetDisplayName("/p/Presets/Lead.old.vtp"), "Lead");
    EXPECT_EQ(presetDisplayName("/p/My.Presets/Pad"), "Pad");
}

TEST(PresetNames, NewVersionTakesTheNextFreeNumberUpToAThousand) {
    std::set<std::string> existing;
    auto exists = [&existing](const std::string& p) { return existing.count(p) != 0; };
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.vtp", exists), "/P/Lead.v2.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.v2.vtp", exists), "/P/Lead.v3.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.old.vtp", exists), "/P/Lead.v2.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.v1000.vtp", exists), "/P/Lead.v2.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.v999.vtp", exists), "/P/Lead.v1000.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.v0.vtp", exists), "/P/Lead.v2.vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P.d/Lead", exists), "/P.d/Lead.v2.vtp");
    existing = {"/P/Lead.v2.vtp", "/P/Lead.v3.vtp"};
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.vtp", exists), "/P/Lead.v4.vtp");
    for (int n = 2; n <= 1000; ++n) existing.insert("/P/Lead.v" + std::to_string(n) + ".vtp");
    EXPECT_EQ(PresetLibrary::nextVersionPath("/P/Lead.v5.vtp", exists), "");
}

// The editor's side, with real preset files.
class EditorLibrary : public PresetTree {
protected:
    void SetUp() override {
        PresetTree::SetUp();
        rig.editor.presetsFolder = folder;
        // Two real presets: one module and two modules.
        rig.editor.createModule("S310 VCO");
        ASSERT_TRUE(rig.editor.writePresetFile(folder + "Bass/Deep.vtp"));
        rig.editor.createModule("S201 VCF");
        ASSERT_TRUE(rig.editor.writePresetFile(folder + "Leads/Solo.vtp"));
        std::ifstream in(folder + "Leads/Solo.vtp", std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), {});
    }
    int modules() { return rig.editor.rackModules.size(); }
    Rig rig;
    std::vector<char> good;
};

TEST_F(EditorLibrary, ChoosingAnEntryLoadsItAndADamagedOneKeepsThePlayingPatch) {
    SynEditor& e = rig.editor;
    const PresetMenu& root = e.presetLibrary().root();
    ASSERT_TRUE(e.loadLibraryEntry(root.submenu(0), 1));  // Bass/Deep
    EXPECT_EQ(modules(), 1);
    EXPECT_EQ(e.presetPath, folder + "Bass/Deep.vtp");
    EXPECT_EQ(e.presetName, "Deep");

    // A truncated copy of a good preset.
    touch("Bass/acid.vtp", std::string(good.begin(), good.begin() + (long)good.size() / 2));
    EXPECT_FALSE(e.loadLibraryEntry(root.submenu(0), 0));
    EXPECT_EQ(modules(), 1);
    EXPECT_EQ(e.presetPath, folder + "Bass/Deep.vtp");
    EXPECT_EQ(e.presetName, "Deep");
    EXPECT_EQ(e.lastMessageTitle, "Preset Not Loaded");
    EXPECT_NE(e.lastMessageText.find("damaged"), std::string::npos);
    EXPECT_EQ(checked(e.presetLibrary()), (std::vector<std::string>{"Bass", "Deep"}));
    // A later version has its own dialog, which is not replaced.
    std::string later(good.begin(), good.end());
    later[0] = 23;
    touch("Bass/acid.vtp", later);
    EXPECT_FALSE(e.loadLibraryEntry(root.submenu(0), 0));
    EXPECT_EQ(e.lastMessageTitle, "Later Version!!");
    EXPECT_EQ(modules(), 1);

    fs::remove(folder + "Zed.vtp");  // gone since the scan
    EXPECT_FALSE(e.loadLibraryEntry(&root, 4));
    EXPECT_NE(e.lastMessageText.find("could not be opened"), std::string::npos);
    EXPECT_EQ(modules(), 1);

    // Stepping from Deep reaches Thin, which holds text, not a preset: the patch stays,
    // and the next press moves on past it to Solo.
    EXPECT_FALSE(e.stepPreset(1));
    EXPECT_EQ(e.presetName, "Deep");
    ASSERT_TRUE(e.stepPreset(1));
    EXPECT_EQ(modules(), 2);
    EXPECT_EQ(e.presetPath, folder + "Leads/Solo.vtp");
}

TEST_F(EditorLibrary, SaveAfterAChunkAsksForAPathAndNewVersionsJoinTheLibrary) {
    SynEditor& e = rig.editor;
    e.presetPath.clear();
    EXPECT_EQ(e.savePreset(), SynEditor::PresetSave::needsPath);
    EXPECT_EQ(e.savePresetAsNewVersion(), SynEditor::PresetSave::needsPath);

    ASSERT_TRUE(e.openPreset(folder + "Leads/Solo.vtp"));
    EXPECT_EQ(checked(e.presetLibrary()), (std::vector<std::string>{"Leads", "Solo"}));
    EXPECT_EQ(e.savePreset(), SynEditor::PresetSave::saved);

    // A chunk naming this preset: Save must not overwrite the file behind it.
    const std::vector<uint8_t> chunk = e.writeChunk();
    ASSERT_TRUE(e.readChunk(chunk.data(), chunk.size()));
    EXPECT_EQ(e.presetPath, folder + "Leads/Solo.vtp");
    e.refreshPresetDisplay(false);
    EXPECT_EQ(e.savePreset(), SynEditor::PresetSave::needsPath);

    EXPECT_EQ(e.savePresetAsNewVersion(), SynEditor::PresetSave::saved);
    EXPECT_EQ(e.presetPath, folder + "Leads/Solo.v2.vtp");
    EXPECT_TRUE(fs::exists(e.presetPath));
    EXPECT_EQ(e.presetName, "Solo.v2");
    EXPECT_EQ(checked(e.presetLibrary()), (std::vector<std::string>{"Leads", "Solo.v2"}));
    EXPECT_EQ(e.savePreset(), SynEditor::PresetSave::saved);  // a saved file is no chunk

    // Save As into a folder the tree does not show yet; a name without ".vtp" gets it.
    fs::create_directories(folder + "Pads");
    ASSERT_TRUE(e.savePresetAs(folder + "Pads/Warm"));
    EXPECT_TRUE(fs::exists(folder + "Pads/Warm.vtp"));
    EXPECT_EQ(checked(e.presetLibrary()), (std::vector<std::string>{"Pads", "Warm"}));
    EXPECT_EQ(e.presetDialogFolder(), folder + "Pads/");

    // A path outside the library shows its display name with no marks.
    ASSERT_TRUE(e.savePresetAs(base + "Loose.v7.vtp"));
    EXPECT_EQ(e.presetName, "Loose.v7");
    EXPECT_TRUE(checked(e.presetLibrary()).empty());
    EXPECT_FALSE(e.savePresetAs(base + "NoSuchFolder/X.vtp"));
    EXPECT_EQ(e.presetPath, base + "Loose.v7.vtp");
    EXPECT_EQ(e.lastMessageTitle, "Preset Not Saved");

    e.refreshPresetsLibrary();
    EXPECT_FALSE(e.presetLibrary().hasSelection());
    e.presetsFolder = base + "Gone/";
    EXPECT_EQ(e.presetLibrary().root().size(), 0);
}

}  // namespace
