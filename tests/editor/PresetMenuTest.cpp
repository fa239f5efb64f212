// The preset menu, the cable colour menu and the file choosers, driven by mouse
// events on the headless window; presets chosen there are rendered through the plug-in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "editor/DialogWindow.h"
#include "editor/EditorWindow.h"
#include "editor/SynPresetMenu.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "gui/CTextLabel.h"
#include "support/Pitch.h"

namespace fs = std::filesystem;
using editorwindow::Window;

namespace {

CPoint middle(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
const CPoint kMainMenuButton(328, 20);
const CPoint kPresetButton(170, 20);

std::vector<std::string> titles(const COptionMenu* m) {
    std::vector<std::string> out;
    for (int i = 0; i < m->getNbEntries(); ++i) out.push_back(m->getEntry(i));
    return out;
}

// A note-on or note-off handed to the plug-in as the host would.
void sendNote(Vantorel& plugin, uint8_t status, uint8_t note, uint8_t velocity) {
    vst::VstMidiEvent ev{};
    ev.type = vst::kVstMidiType;
    ev.byteSize = sizeof ev;
    ev.midiData[0] = (char)status;
    ev.midiData[1] = (char)note;
    ev.midiData[2] = (char)velocity;
    vst::VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<vst::VstEvent*>(&ev);
    plugin.processEvents(&list);
}

struct PresetWindow : ::testing::Test, Window {
    PresetWindow() {
        dir = fs::temp_directory_path() / ("vantorel-presetmenu-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "bin");
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        // No desktop chooser unless a test puts a fake one first.
        ::setenv("PATH", (dir / "bin").c_str(), 1);
    }
    ~PresetWindow() override {
        ::setenv("PATH", savedPath.c_str(), 1);
        fs::remove_all(dir);
    }
    void clickEntry(COptionMenu* m, int index) {
        ASSERT_TRUE(m->isPopupOpen());
        ASSERT_FALSE(m->entryRect(index).isEmpty()) << index;
        click(middle(m->entryRect(index)));
    }
    // A preset written from the current patch, with a marker author.
    void writePreset(const fs::path& p, const std::string& who) {
        fs::create_directories(p.parent_path());
        editor.author = who;
        ASSERT_TRUE(editor.writePresetFile(p.string()));
    }
    void fakeChooser(const std::string& body) {
        const fs::path script = dir / "bin" / "zenity";
        std::ofstream(script) << "#!/bin/sh\necho \"$@\" > " << (dir / "args").string() << "\n" << body << "\n";
        ::chmod(script.c_str(), 0755);
    }
    // Idles the editor the way the host does until the chooser has answered.
    void idleUntilAnswered() {
        for (int i = 0; i < 500 && editor.fileChooserRunning(); ++i) {
            editor.idle();
            ::usleep(10000);
        }
        ASSERT_FALSE(editor.fileChooserRunning());
    }
    fs::path dir;
    std::string savedPath;
};

TEST_F(PresetWindow, ARightClickOnEmptyRackOpensTheColourMenuWhoseChoiceColoursNewCables) {
    click(atRack(600, 150), kRButton);
    COptionMenu* m = editor.getCableColourMenu();
    ASSERT_TRUE(m->isPopupOpen());
    EXPECT_EQ(titles(m), (std::vector<std::string>{"Random", "Red", "Green", "Blue", "Gray", "Orange", "Purple"}));
    EXPECT_TRUE(m->isCheckEntry(0));
    clickEntry(m, 3);
    EXPECT_FALSE(m->isPopupOpen());
    EXPECT_EQ(editor.chosenCableColour, 3);

    // The mark moved alone; a new cable takes blue.
    click(atRack(600, 150), kRButton);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(m->isCheckEntry(i), i == 3) << i;
    clickEntry(m, 6);
    EXPECT_EQ(editor.chosenCableColour, 6);
    Module* from = editor.createModuleAt("SA01 2 From DAW", 0, 0);
    Module* to = editor.createModuleAt("SA02 2 DAW", 120, 0);
    ASSERT_TRUE(from && to);
    auto overJack = [&](PatchPoint* j) {
        const CRect& mr = j->getParentView()->getViewSize();
        return atRack(mr.left + middle(j->getViewSize()).x, mr.top + middle(j->getViewSize()).y);
    };
    PatchPoint* a = fixture::jacks(from)[1];
    PatchPoint* b = fixture::jacks(to)[1];
    down(overJack(a));
    move(overJack(b));
    up(overJack(b));
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(editor.cableHead->colour, 6);
}

TEST_F(PresetWindow, TheMenuMirrorsTheTreeWithFoldersFirstAndMarksAlongTheChosenChain) {
    const fs::path lib = dir / "Presets";
    writePreset(lib / "Zed.vtp", "Zed author");
    writePreset(lib / "Bass" / "Deep.v3.vtp", "Deep author");
    writePreset(lib / "Bass" / "Sub" / "Low.vtp", "Low author");
    writePreset(lib / ".hidden" / "Secret.vtp", "nobody");
    std::ofstream(lib / "notes.txt") << "not a preset";
    editor.presetsFolder = lib.string() + "/";

    click(kPresetButton);
    SynOptionMenu* root = editor.getPresetRootMenu();
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(root->isPopupOpen());
    EXPECT_EQ(titles(root), (std::vector<std::string>{"Bass", "Zed"}));
    SynOptionMenu* bass = root->getPresetSubMenu(0);
    ASSERT_NE(bass, nullptr);
    EXPECT_EQ(titles(bass), (std::vector<std::string>{"Sub", "Deep.v3"}));
    EXPECT_EQ(bass->getParentMenu(), root);
    EXPECT_EQ(bass->getIndexInParent(), 0);

    clickEntry(root, 0);
    clickEntry(bass, 1);
    EXPECT_FALSE(root->isPopupOpen());
    EXPECT_EQ(editor.author, "Deep author");
    EXPECT_EQ(editor.presetName, "Deep.v3");
    EXPECT_EQ(fs::path(editor.presetPath), lib / "Bass" / "Deep.v3.vtp");

    // Reopened: the entry and its folder are checked, nothing else.
    click(kPresetButton);
    root = editor.getPresetRootMenu();
    EXPECT_TRUE(root->isCheckEntry(0));
    EXPECT_FALSE(root->isCheckEntry(1));
    EXPECT_TRUE(root->getPresetSubMenu(0)->isCheckEntry(1));
    EXPECT_FALSE(root->getPresetSubMenu(0)->isCheckEntry(0));
    EXPECT_FALSE(root->getPresetSubMenu(0)->getPresetSubMenu(0)->isCheckEntry(0));
    click(CPoint(900, 500));  // elsewhere: closes
    EXPECT_FALSE(root->isPopupOpen());

    // A preset added on disk shows after "Refresh Presets Library", unmarked.
    writePreset(lib / "Bass" / "Added.vtp", "x");
    click(kPresetButton);
    EXPECT_EQ(editor.getPresetRootMenu()->getPresetSubMenu(0)->getNbEntries(), 2);
    click(CPoint(900, 500));
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().refresh);
    click(kPresetButton);
    root = editor.getPresetRootMenu();
    EXPECT_EQ(root->getPresetSubMenu(0)->getNbEntries(), 3);
    for (int i = 0; i < root->getNbEntries(); ++i) EXPECT_FALSE(root->isCheckEntry(i));
}

TEST_F(PresetWindow, ADamagedPresetChosenFromTheMenuKeepsThePlayingPatch) {
    const fs::path lib = dir / "Presets";
    editor.createModuleAt("S310 VCO", 0, 0);
    writePreset(lib / "Good.vtp", "kept");
    // A real preset cut short, as a failed copy leaves it.
    fs::copy_file(lib / "Good.vtp", lib / "Broken.vtp");
    fs::resize_file(lib / "Broken.vtp", fs::file_size(lib / "Good.vtp") / 2);
    editor.presetsFolder = lib.string() + "/";
    click(kPresetButton);
    SynOptionMenu* root = editor.getPresetRootMenu();
    const auto all = titles(root);
    const int broken = (int)(std::find(all.begin(), all.end(), "Broken") - all.begin());
    ASSERT_LT(broken, (int)all.size());
    clickEntry(root, broken);
    EXPECT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.author, "kept");
    EXPECT_TRUE(editor.getDialog()->isShowing());
    EXPECT_EQ(editor.getDialog()->getTitleLabel()->getText(), "Preset Not Loaded");
}

TEST_F(PresetWindow, AFactoryPresetChosenFromTheMenuPlaysThroughThePlugin) {
    editor.presetsFolder = std::string(PRESETS_DIR) + "/";
    click(kPresetButton);
    SynOptionMenu* menu = editor.getPresetRootMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_GT(menu->getNbEntries(), 0);
    // Down the first folders to the first preset of the library.
    while (menu->getPresetSubMenu(0)) {
        clickEntry(menu, 0);
        menu = menu->getPresetSubMenu(0);
        ASSERT_GT(menu->getNbEntries(), 0);
    }
    const std::string chosen = menu->getEntry(0);
    clickEntry(menu, 0);
    ASSERT_EQ(editor.presetName, chosen);
    ASSERT_GT(editor.rackModules.size(), 0);
    EXPECT_FALSE(editor.getDialog()->isShowing());

    fixture::HostBuffers io(512);
    float peak = 0.f;
    bool finite = true;
    for (int block = 0; block < 188; ++block) {  // two seconds
        if (block == 2) sendNote(plugin, 0x90, 48, 100);
        if (block == 2 + 40) sendNote(plugin, 0x80, 48, 0);
        if (block == 2 + 60) sendNote(plugin, 0x90, 55, 100);
        if (block == 2 + 100) sendNote(plugin, 0x80, 55, 0);
        render(io);
        for (int ch = 0; ch < 2; ++ch)
            for (float v : io.out[ch]) {
                finite = finite && std::isfinite(v);
                peak = std::max(peak, std::fabs(v));
            }
    }
    EXPECT_TRUE(finite) << chosen;
    EXPECT_GE(peak, 0.3f) << chosen;
    EXPECT_LE(peak, 1.0f) << chosen;
}

TEST_F(PresetWindow, WithoutADesktopChooserOpenAsksForAPathInTheWindow) {
    const fs::path lib = dir / "Presets";
    writePreset(lib / "One.vtp", "One author");
    editor.presetsFolder = lib.string() + "/";
    editor.author = "playing";
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().open);
    EXPECT_FALSE(editor.fileChooserRunning());
    DialogWindow* d = editor.getDialog();
    ASSERT_TRUE(d->isShowing());
    EXPECT_EQ(d->getTitleLabel()->getText(), "Open Preset");
    EXPECT_EQ(d->fieldText(0), editor.presetsFolder);
}

TEST_F(PresetWindow, TheDesktopChooserOpensThePathItPrintsAndItsCancelChangesNothing) {
    const fs::path lib = dir / "Presets";
    writePreset(lib / "Keys" / "One.vtp", "One author");
    editor.presetsFolder = lib.string() + "/";
    editor.author = "playing";

    fakeChooser("exit 1");
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().open);
    EXPECT_TRUE(editor.fileChooserRunning());
    idleUntilAnswered();
    EXPECT_EQ(editor.author, "playing");
    EXPECT_TRUE(editor.presetPath.empty());
    EXPECT_FALSE(editor.getDialog()->isShowing());
    std::string args;
    std::getline(std::ifstream(dir / "args"), args);
    EXPECT_NE(args.find("--title=Open Preset"), std::string::npos) << args;
    EXPECT_NE(args.find("--file-filter=Vantorel Preset | *.vtp"), std::string::npos) << args;
    EXPECT_NE(args.find("--filename=" + editor.presetsFolder), std::string::npos) << args;
    EXPECT_EQ(args.find("--save"), std::string::npos) << args;

    fakeChooser("/bin/sleep 0.2; echo '" + (lib / "Keys" / "One.vtp").string() + "'");
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().open);
    // The editor goes on while the chooser shows.
    editor.idle();
    EXPECT_TRUE(editor.fileChooserRunning());
    idleUntilAnswered();
    EXPECT_EQ(editor.author, "One author");
    EXPECT_EQ(fs::path(editor.presetPath), lib / "Keys" / "One.vtp");
    EXPECT_EQ(editor.presetName, "One");
    EXPECT_TRUE(editor.presetLibrary().hasSelection());

    // "Save As..." asks with the save title in the preset's folder and writes there.
    fakeChooser("echo '" + (lib / "Keys" / "Two").string() + "'");
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().saveAs);
    idleUntilAnswered();
    std::getline(std::ifstream(dir / "args"), args);
    EXPECT_NE(args.find("--title=Save Preset As"), std::string::npos) << args;
    EXPECT_NE(args.find("--save"), std::string::npos) << args;
    EXPECT_NE(args.find("--filename=" + (lib / "Keys").string() + "/"), std::string::npos) << args;
    EXPECT_TRUE(fs::exists(lib / "Keys" / "Two.vtp"));
    EXPECT_EQ(editor.presetName, "Two");
}

TEST_F(PresetWindow, ClosingTheWindowClosesARunningChooserAndDropsItsAnswer) {
    fakeChooser("/bin/sleep 5; echo /tmp/never.vtp");
    editor.author = "playing";
    click(kMainMenuButton);
    clickEntry(editor.getMainMenu(), editor.mainMenuIndex().open);
    ASSERT_TRUE(editor.fileChooserRunning());
    editor.close();
    EXPECT_FALSE(editor.fileChooserRunning());
    EXPECT_EQ(editor.author, "playing");
    ASSERT_TRUE(editor.open(nullptr));
    frame = editor.getSynFrame();
}

struct FirstVoice : PresetWindow {
    // Module menu -> category -> entry, then the click that drops it at (x, 0).
    Module* addByMenu(int category, const char* name, int x) {
        click(CPoint(27, 20));
        COptionMenu* menu = editor.getModuleMenu();
        clickEntry(menu, category);
        COptionMenu* sub = menu->getSubMenu(category);
        const auto all = titles(sub);
        const int entry = (int)(std::find(all.begin(), all.end(), name) - all.begin());
        EXPECT_LT(entry, (int)all.size()) << name;
        clickEntry(sub, entry);
        Module* m = editor.draggedModule;
        EXPECT_NE(m, nullptr) << name;
        if (!m) return nullptr;
        const CPoint drop = atRack(x + m->getWidth() / 3, 40);
        move(drop, 0);
        click(drop);
        EXPECT_EQ(m->getViewSize().left, x) << name;
        EXPECT_EQ(m->getViewSize().top, 0) << name;
        return m;
    }
    CPoint overJack(const PatchPoint* j) const {
        const CRect& mr = j->getParentView()->getViewSize();
        return atRack(mr.left + middle(j->getViewSize()).x, mr.top + middle(j->getViewSize()).y);
    }
    void cableBetween(PatchPoint* from, PatchPoint* to) {
        const int before = editor.cableTotal;
        down(overJack(from));
        move(overJack(to));
        up(overJack(to));
        EXPECT_EQ(editor.cableTotal, before + 1);
    }
    // A vertical drag on a knob: upwards turns it up.
    void dragKnob(ModuleKnob* k, int pixelsUp) {
        const CPoint at = overJack(reinterpret_cast<const PatchPoint*>(k));
        down(at);
        for (int i = 1; i <= 10; ++i) move(CPoint(at.x, at.y - pixelsUp * i / 10));
        up(CPoint(at.x, at.y - pixelsUp));
    }
};

TEST_F(FirstVoice, APatchBuiltByMouseAlonePlaysNote69At440Hz) {
    Module* midi = addByMenu(9, "SA03 MIDI/Sync From DAW", 0);
    Module* cv = addByMenu(12, "SD02 MIDI-CV/Sync", 120);
    Module* vco = addByMenu(2, "S310 VCO", 240);
    Module* vcf = addByMenu(1, "S201 VCF", 384);
    Module* env = addByMenu(4, "S500 ADSR", 504);
    Module* vca = addByMenu(3, "S404 VCA", 624);
    Module* out = addByMenu(9, "SA02 2 DAW", 768);
    ASSERT_TRUE(midi && cv && vco && vcf && env && vca && out);
    ASSERT_EQ(editor.rackModules.size(), 7);
    using fixture::jacks;
    cableBetween(jacks(midi)[0], jacks(cv)[7]);  // MIDI out -> MIDI in
    cableBetween(jacks(cv)[3], jacks(vco)[0]);   // pitch -> CV
    cableBetween(jacks(cv)[2], jacks(env)[1]);   // gate -> envelope gate
    cableBetween(jacks(vco)[6], jacks(vcf)[0]);  // saw -> filter in
    cableBetween(jacks(vcf)[4], jacks(vca)[0]);  // filter out -> VCA in 1
    cableBetween(jacks(env)[4], jacks(vca)[2]);  // envelope -> VCA CV
    cableBetween(jacks(vca)[5], jacks(out)[1]);  // VCA out -> left
    cableBetween(jacks(vca)[5], jacks(out)[0]);  // and right
    ASSERT_EQ(editor.cableTotal, 8);

    ModuleKnob* sustain = fixture::knobs(env)[3];
    ModuleKnob* cvAmount = fixture::knobs(vca)[2];
    dragKnob(sustain, 400);
    dragKnob(cvAmount, 400);
    EXPECT_GT(sustain->getValue(), 0.9f);
    EXPECT_GT(cvAmount->getValue(), 0.9f);

    fixture::HostBuffers io(480);
    render(io);
    sendNote(plugin, 0x90, 69, 100);
    std::vector<float> left;
    for (int block = 0; block < 100; ++block) {
        render(io);
        left.insert(left.end(), io.out[0].begin(), io.out[0].end());
    }
    // Past the attack: half a second of the held note.
    const std::vector<float> held(left.begin() + 24000, left.end());
    float peak = 0.f;
    for (float v : held) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.01f);
    EXPECT_NEAR(fixture::zeroCrossingPitch(held, 48000.0, 0.0, 1.0), 440.0, 440.0 * 0.005);
}

}  // namespace
