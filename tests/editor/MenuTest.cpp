// Pop-up menus, the editor's menus and what their entries set, driven by mouse events.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "editor/DialogWindow.h"
#include "editor/EditorWindow.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/ModuleRegistry.h"
#include "gui/COptionMenu.h"
#include "gui/CTextEdit.h"
#include "gui/CTextLabel.h"

using editorwindow::Window;

namespace {

struct Recorder : CControlListener {
    void valueChanged(CControl* c) override {
        menus.push_back(static_cast<COptionMenu*>(c));
        values.push_back((int)c->getValue());
    }
    std::vector<COptionMenu*> menus;
    std::vector<int> values;
};

CPoint middle(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

struct PopupMenu : ::testing::Test {
    PopupMenu() : frame(CRect(0, 0, 400, 300), nullptr, nullptr) {
        menu = new COptionMenu(CRect(), &recorder, -1);
        sub = new COptionMenu(CRect(), nullptr, -1, nullptr, nullptr, COptionMenu::kCheckStyle);
        menu->addEntry("First");
        menu->addSeparator();
        menu->addEntry("Greyed", -1, COptionMenu::kMenuItemDisabled);
        menu->addEntry(sub, "More");
        sub->addEntry("A");
        sub->addEntry("B");
        sub->addEntry("C");
        sub->forget();  // the parent keeps it
    }
    ~PopupMenu() override { menu->forget(); }
    void click(CPoint p) { frame.onMouseDown(p, kLButton); frame.onMouseUp(p, kLButton); }

    CFrame frame;
    Recorder recorder;
    COptionMenu* menu;
    COptionMenu* sub;
};

TEST_F(PopupMenu, SubMenuChoiceReachesTheRootListenerWithTheSubMenuAndItsIndex) {
    ASSERT_TRUE(menu->popup(&frame, CPoint(390, 290)));
    // Moved in to fit the frame.
    EXPECT_LE(menu->popupRect().right, 400);
    EXPECT_LE(menu->popupRect().bottom, 300);
    // The separator is thinner than an entry, so later entries move up by the difference.
    EXPECT_EQ(menu->entryRect(2).top - menu->entryRect(0).top,
              COptionMenu::kEntryHeight + COptionMenu::kSeparatorHeight);

    click(middle(menu->entryRect(2)));  // disabled: nothing happens
    EXPECT_TRUE(menu->isPopupOpen());
    click(middle(menu->entryRect(3)));
    ASSERT_EQ(menu->getOpenSubMenu(), sub);
    // No room on the right: it opens to the left of its parent.
    EXPECT_LE(sub->popupRect().right, menu->popupRect().left + 2);
    click(middle(sub->entryRect(2)));

    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(frame.getNbViews(), 0);
    ASSERT_EQ(recorder.menus.size(), 1u);
    EXPECT_EQ(recorder.menus[0], sub);
    EXPECT_EQ(recorder.values[0], 2);
    EXPECT_EQ(sub->getLastResult(), 2);
    int idx = -1;
    EXPECT_EQ(menu->getLastItemMenu(idx), sub);
    EXPECT_EQ(idx, 2);

    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    click(middle(menu->entryRect(0)));
    ASSERT_EQ(recorder.menus.size(), 2u);
    EXPECT_EQ(recorder.menus[1], menu);
    EXPECT_EQ(recorder.values[1], 0);
}

TEST_F(PopupMenu, AClickOutsideOrEscapeClosesWithoutAChoiceAndGivesTheFocusBack) {
    CView* field = new CView(CRect(300, 200, 350, 220));
    frame.addView(field);
    frame.setFocusView(field);
    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    click(middle(menu->entryRect(3)));
    ASSERT_TRUE(sub->isPopupOpen());
    click(CPoint(320, 210));  // on the view below: swallowed
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_FALSE(sub->isPopupOpen());
    EXPECT_EQ(frame.getFocusView(), field);

    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    VstKeyCode other;
    other.character = 'x';
    EXPECT_FALSE(frame.onKeyDown(other));
    VstKeyCode escape;
    escape.virt = VKEY_ESCAPE;
    EXPECT_TRUE(frame.onKeyDown(escape));
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_TRUE(recorder.menus.empty());
    EXPECT_EQ(frame.getNbViews(), 1);
}

TEST_F(PopupMenu, CheckStyleKeepsOneMarkAndInsertedEntriesShiftTheOthers) {
    sub->setCurrent(1);
    EXPECT_TRUE(sub->isCheckEntry(1));
    sub->setCurrent(2);
    EXPECT_FALSE(sub->isCheckEntry(1));
    EXPECT_TRUE(sub->isCheckEntry(2));
    EXPECT_EQ(sub->getCurrent(), 2);
    sub->setCurrent(7);  // out of range: unchanged
    EXPECT_EQ(sub->getCurrent(), 2);

    EXPECT_TRUE(menu->addEntry("Zero", 0));
    EXPECT_STREQ(menu->getEntry(1), "First");
    EXPECT_EQ(menu->getSubMenu(4), sub);
    EXPECT_TRUE(menu->isSeparator(2));
    EXPECT_TRUE(menu->isEntryDisabled(3));
    EXPECT_FALSE(menu->addEntry("Far", 9));
    EXPECT_EQ(menu->getEntry(9), nullptr);
}

}  // namespace

// ---- The editor's menus, through the window ----


namespace {

namespace fs = std::filesystem;
using fixture::AddModule;

// Every automation report the plug-in sends its host; a host write may be sent back
// from inside the report, as a host that echoes automation would.
std::vector<std::pair<int, float>> automated;
Vantorel* echoTo = nullptr;
float echoValue = -1.f;
vst::VstIntPtr recordingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr, void*,
                             float opt) {
    if (opcode == vst::audioMasterAutomate) {
        automated.emplace_back(index, opt);
        if (echoTo && echoValue >= 0.f) echoTo->setParameter(index, echoValue);
    }
    return 0;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const CPoint kModuleMenuButton(27, 20);
const CPoint kMainMenuButton(328, 20);
const CPoint kBarePanel(40, 200);  // no control of an AddModule there

// An open editor whose options come from a Config.ini of its own.
struct Menus : ::testing::Test, Window {
    explicit Menus(const char* config = "", vst::audioMasterCallback host = nullptr) : Window(host) {
        dir = fs::temp_directory_path() /
              ("vantorel-menus-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        writeConfig(config);
        editor.loadOptions((dir / "Config.ini").string());
    }
    ~Menus() override { fs::remove_all(dir); }
    void writeConfig(const char* text) { std::ofstream(dir / "Config.ini") << text; }

    void clickEntry(COptionMenu* m, int index) {
        ASSERT_TRUE(m->isPopupOpen());
        ASSERT_FALSE(m->entryRect(index).isEmpty()) << index;
        click(middle(m->entryRect(index)));
    }
    // Main menu entry `index`, then entry `subIndex` of its sub-menu when given.
    void chooseMain(int index, int subIndex = -1) {
        click(kMainMenuButton);
        clickEntry(editor.getMainMenu(), index);
        if (subIndex >= 0) clickEntry(editor.getMainMenu()->getSubMenu(index), subIndex);
    }
    void contextMenuOn(Module* m, CPoint panelPoint = kBarePanel) {
        const CRect& r = m->getViewSize();
        click(atRack(r.left + panelPoint.x, r.top + panelPoint.y), kRButton);
    }
    void chooseContext(Module* m, int index, int subIndex = -1, CPoint panelPoint = kBarePanel) {
        contextMenuOn(m, panelPoint);
        clickEntry(editor.getModuleContextMenu(), index);
        if (subIndex >= 0) clickEntry(editor.getBandlimitMenu(), subIndex);
    }
    AddModule* addAt(int x) {
        auto* m = addCustom<AddModule>();
        editor.moveModule(m, x, 0);
        return m;
    }
    void clickDialogButton(int i) {
        DialogWindow* d = editor.getDialog();
        CRect r = d->getButton(i)->getViewSize();
        r.offset(d->getViewSize().left, d->getViewSize().top);
        click(middle(r));
    }
    std::vector<std::string> dialogTexts() const {
        std::vector<std::string> out;
        for (CView* v : editor.getDialog()->getChildren())
            if (v->isTypeOf("CTextLabel") && !v->isTypeOf("CTextEdit"))
                out.push_back(static_cast<CTextLabel*>(v)->getText());
        return out;
    }

    fs::path dir;
};

struct AdvancedMenus : Menus {
    AdvancedMenus() : Menus("[Options]\nadvanced_oversampling=1\n") {}
};

std::vector<std::string> titles(const COptionMenu* m) {
    std::vector<std::string> out;
    for (int i = 0; i < m->getNbEntries(); ++i) out.push_back(m->isSeparator(i) ? "-" : m->getEntry(i));
    return out;
}

TEST_F(Menus, WithoutAdvancedOversamplingTheFilterAndNoOversamplingEntriesAreAbsentAndIndicesShift) {
    const std::vector<std::string> main = {"Open...", "Save", "Save As...", "Save As New Version", "-",
                                           "Refresh Presets Library", "Preset Description", "Default Author",
                                           "Oversampling", "Cable Transparency", "About"};
    EXPECT_EQ(titles(editor.getMainMenu()), main);
    EXPECT_EQ(editor.mainMenuIndex().filter, -1);
    EXPECT_EQ(titles(editor.getModuleContextMenu()), (std::vector<std::string>{"Delete Module", "Bandlimit", "Always ON"}));

    // The shifted indices reach the right entries.
    chooseMain(9, 4);
    EXPECT_EQ(editor.cableAlpha, 40);
    chooseMain(10);
    EXPECT_EQ(editor.getDialog()->getTitleLabel()->getText(), "About Vantorel");
}

TEST_F(AdvancedMenus, WithAdvancedOversamplingTheFilterMenuSitsAtNineAndMovesTheRest) {
    EXPECT_EQ(titles(editor.getMainMenu())[9], "Oversampling Filter");
    EXPECT_EQ(editor.mainMenuIndex().transparency, 10);
    EXPECT_EQ(editor.mainMenuIndex().about, 11);
    EXPECT_EQ(titles(editor.getModuleContextMenu()),
              (std::vector<std::string>{"Delete Module", "No Oversampling", "Bandlimit", "Always ON"}));
    EXPECT_EQ(editor.getFilterMenu()->getNbEntries(), 16);

    chooseMain(10, 2);
    EXPECT_EQ(editor.cableAlpha, 100);
    chooseMain(11);
    EXPECT_EQ(editor.getDialog()->getTitleLabel()->getText(), "About Vantorel");

    // Read again without the option, nothing of the longer layout stays behind.
    writeConfig("[Options]\nadvanced_oversampling=0\n");
    editor.loadOptions((dir / "Config.ini").string());
    EXPECT_EQ(editor.mainMenuIndex().filter, -1);
    EXPECT_EQ(editor.contextMenuIndex().noOversampling, -1);
    EXPECT_EQ(editor.mainMenuIndex().about, 10);
}

TEST_F(AdvancedMenus, OversamplingAndFilterChoicesSetFactorTapsAndModuleRates) {
    // Start-up: "None" and "FIR Auto taps" marked.
    EXPECT_TRUE(editor.getOversamplingMenu()->isCheckEntry(0));
    EXPECT_TRUE(editor.getFilterMenu()->isCheckEntry(1));
    AddModule* m = addAt(0);
    chooseMain(8, 3);  // 8X
    EXPECT_EQ(plugin.oversampleFactor, 8);
    EXPECT_EQ(plugin.decimator.firTaps, 201);
    EXPECT_FLOAT_EQ(m->sampleRate, 384000.f);
    EXPECT_TRUE(editor.getOversamplingMenu()->isCheckEntry(3));
    EXPECT_FALSE(editor.getOversamplingMenu()->isCheckEntry(0));
    chooseMain(9, 2);  // FIR Auto double taps
    EXPECT_EQ(plugin.filterType, 2);
    EXPECT_EQ(plugin.decimator.firTaps, 401);

    // No Oversampling on the module, and back.
    chooseContext(m, 1);
    EXPECT_FALSE(m->oversampled);
    EXPECT_FLOAT_EQ(m->sampleRate, 48000.f);
    contextMenuOn(m);
    EXPECT_TRUE(editor.getModuleContextMenu()->isCheckEntry(1));
    clickEntry(editor.getModuleContextMenu(), 1);
    EXPECT_FLOAT_EQ(m->sampleRate, 384000.f);

    chooseMain(9, 1);
    chooseMain(8, 0);  // None with Auto taps: no filter
    EXPECT_EQ(plugin.oversampleFactor, 1);
    EXPECT_EQ(plugin.decimator.firTaps, 0);
    EXPECT_FLOAT_EQ(m->sampleRate, 48000.f);

    // A factor a preset set is what the menu shows when it next opens.
    plugin.setOversampling(2);
    click(kMainMenuButton);
    EXPECT_TRUE(editor.getOversamplingMenu()->isCheckEntry(2));
    EXPECT_FALSE(editor.getOversamplingMenu()->isCheckEntry(0));
}

TEST_F(Menus, AlwaysOnOffKeepsAModuleWithCablesRunningAndStopsOneWithout) {
    AddModule* a = addAt(0);
    AddModule* b = addAt(96);
    chooseContext(a, 2);
    EXPECT_TRUE(a->alwaysOn);
    EXPECT_GE(a->processIndex, 0);
    chooseContext(a, 2);
    EXPECT_FALSE(a->alwaysOn);
    EXPECT_EQ(a->processIndex, -1);

    ASSERT_NE(cable(b->out, a->in), nullptr);
    chooseContext(a, 2);
    contextMenuOn(a);
    EXPECT_TRUE(editor.getModuleContextMenu()->isCheckEntry(2));
    clickEntry(editor.getModuleContextMenu(), 2);
    EXPECT_FALSE(a->alwaysOn);
    EXPECT_GE(a->processIndex, 0);

    chooseContext(b, 0);  // Delete Module
    EXPECT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.rackModules[0], a);
    EXPECT_EQ(a->cableCount, 0);
}

TEST_F(Menus, BandlimitIsDisabledForModulesWithoutItAndSetsTheChosenMode) {
    AddModule* plain = addAt(0);
    contextMenuOn(plain);
    EXPECT_TRUE(editor.getModuleContextMenu()->isEntryDisabled(1));
    click(middle(editor.getModuleContextMenu()->entryRect(1)));
    EXPECT_EQ(editor.getModuleContextMenu()->getOpenSubMenu(), editor.getModuleContextMenu());
    click(CPoint(5, 600));  // outside: closed, nothing chosen
    EXPECT_FALSE(editor.getModuleContextMenu()->isPopupOpen());
    EXPECT_EQ(plain->bandlimit, -1);

    Module* vco = editor.createModuleAt("S310 VCO", 300, 0);
    ASSERT_NE(vco, nullptr);
    ASSERT_EQ(vco->bandlimit, 0);
    const CPoint bare(60, 230);  // between the knobs and the output jacks
    chooseContext(vco, 1, 1, bare);
    EXPECT_EQ(vco->bandlimit, 1);
    contextMenuOn(vco, bare);
    EXPECT_TRUE(editor.getBandlimitMenu()->isCheckEntry(1));
    EXPECT_FALSE(editor.getBandlimitMenu()->isCheckEntry(0));
}

TEST_F(Menus, KnobMenuPastesZeroBeforeAnyCopyAndCopiesAcrossModulesWithoutTellingTheHost) {
    Module* a = editor.createModuleAt("S310 VCO", 0, 0);
    Module* b = editor.createModuleAt("S310 VCO", 300, 0);
    ModuleKnob* pw = fixture::knobs(a)[2];
    ModuleKnob* target = fixture::knobs(b)[0];
    ASSERT_FLOAT_EQ(pw->getValue(), 0.5f);
    auto rightClick = [&](Module* m, ModuleKnob* k) {
        const CRect& r = k->getViewSize();
        click(atRack(m->getViewSize().left + (r.left + r.right) / 2, (r.top + r.bottom) / 2), kRButton);
        ASSERT_TRUE(editor.getKnobMenu()->isPopupOpen());
    };
    rightClick(a, pw);
    EXPECT_FALSE(editor.getKnobMenu()->isCheckEntry(0));
    clickEntry(editor.getKnobMenu(), 1);  // Paste, nothing copied yet
    EXPECT_EQ(pw->getValue(), 0.f);

    fixture::knobs(a)[3]->setValue(0.7f);
    rightClick(a, fixture::knobs(a)[3]);
    clickEntry(editor.getKnobMenu(), 0);
    rightClick(b, target);
    clickEntry(editor.getKnobMenu(), 1);
    EXPECT_FLOAT_EQ(target->getValue(), 0.7f);
    EXPECT_FLOAT_EQ(fixture::knobs(a)[3]->getValue(), 0.7f);

    // The module goes while its knob's menu shows (a host replaced the patch): the
    // choice does nothing.
    rightClick(b, target);
    editor.deleteModule(b);
    clickEntry(editor.getKnobMenu(), 1);
    EXPECT_EQ(editor.rackModules.size(), 1);
}

struct Automation : Menus {
    Automation() : Menus("", &recordingHost) {
        automated.clear();
        echoTo = &plugin;
    }
    ~Automation() override { echoTo = nullptr, echoValue = -1.f; }
};

TEST_F(Automation, DraggingAKnobReportsEachValueUnderItsParameterIndexAndIgnoresHostWritesMeanwhile) {
    Module* vco = editor.createModuleAt("S310 VCO", 0, 0);
    ModuleKnob* pw = fixture::knobs(vco)[2];
    const int tag = pw->getTag();
    ASSERT_GE(tag, 0);
    ASSERT_LT(tag, 1000);
    // The host writes a value back while the plug-in reports: it must not win.
    echoValue = 0.f;
    const CRect& r = pw->getViewSize();
    const CPoint at = atRack((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    down(at);
    move(CPoint(at.x, at.y - 20));
    move(CPoint(at.x, at.y - 40));
    up(CPoint(at.x, at.y - 40));
    ASSERT_EQ(automated.size(), 2u);
    EXPECT_EQ(automated[0].first, tag);
    EXPECT_FLOAT_EQ(automated[0].second, 0.6f);
    EXPECT_EQ(automated[1].first, tag);
    EXPECT_FLOAT_EQ(automated[1].second, 0.7f);
    EXPECT_FLOAT_EQ(pw->getValue(), 0.7f);
    EXPECT_FALSE(editor.changing);

    // Outside valueChanged a host write is taken.
    plugin.setParameter(tag, 0.25f);
    EXPECT_FLOAT_EQ(pw->getValue(), 0.25f);
    // Menus report nothing.
    automated.clear();
    chooseMain(9, 1);
    EXPECT_TRUE(automated.empty());
}

TEST_F(Menus, TheModuleMenuListsEveryClassByCategoryAndHangsTheChosenOneOnTheMouse) {
    COptionMenu* menu = editor.getModuleMenu();
    const std::vector<std::string> categories = {
        "Mixer/Panner", "Filter", "Oscillator/Source", "Amplifier", "Modulator", "Modifier/Effect", "Clock/Gate",
        "Switch/Multiple", "CV Source/Processor", "From/To DAW", "Sequencer", "Logic/Bit", "MIDI", "Other"};
    EXPECT_EQ(titles(menu), categories);
    const int counts[] = {3, 4, 4, 3, 3, 4, 1, 1, 4, 7, 2, 1, 2, 0};
    int total = 0;
    for (int c = 0; c < 14; ++c) {
        EXPECT_EQ(menu->getSubMenu(c)->getNbEntries(), counts[c]) << categories[(size_t)c];
        total += menu->getSubMenu(c)->getNbEntries();
    }
    EXPECT_EQ(total, (int)ModuleRegistry::all().size());
    EXPECT_EQ(titles(menu->getSubMenu(5)),
              (std::vector<std::string>{"S602 VC Delay", "S605 RM/AM", "S606 VC Ring Modulator", "S612 Octet Chorus"}));

    click(kModuleMenuButton);
    ASSERT_TRUE(menu->isPopupOpen());
    clickEntry(menu, 2);
    clickEntry(menu->getSubMenu(2), 3);
    ASSERT_EQ(editor.rackModules.size(), 1);
    Module* m = editor.rackModules[0];
    EXPECT_STREQ(m->getName(), "S310 VCO");
    EXPECT_EQ(editor.draggedModule, m);
    EXPECT_TRUE(editor.placingModule);
    EXPECT_FALSE(menu->isPopupOpen());

    // It follows the mouse and rests where the click drops it, on the grid.
    const CPoint drop = atRack(400 + m->getWidth() / 3, 300 + 40);
    move(drop, 0);
    down(drop);
    up(drop);
    EXPECT_FALSE(editor.placingModule);
    EXPECT_EQ(editor.draggedModule, nullptr);
    EXPECT_EQ(m->getViewSize().top % kRowHeight, 0);
    EXPECT_EQ(m->getViewSize().left % kGrid, 0);
    EXPECT_TRUE(editor.rackModules[0] == m);
}

TEST_F(Menus, DialogsShowTheirFixedTextsAndOkTakesTheFieldsWhileCancelKeepsTheOld) {
    editor.author = "Old";
    editor.description = "Desc";
    chooseMain(6);
    DialogWindow* d = editor.getDialog();
    ASSERT_TRUE(d->isShowing());
    EXPECT_EQ(d->getViewSize().width(), 400);
    EXPECT_EQ(dialogTexts(),
              (std::vector<std::string>{"Preset Description", "Enter author name", "Enter preset description", "OK",
                                        "Cancel"}));
    EXPECT_EQ(d->fieldText(0), "Old");
    EXPECT_EQ(d->fieldText(1), "Desc");
    d->getField(0)->setText("Ann");
    d->getField(1)->setText("Warm pad");
    clickDialogButton(1);  // Cancel
    EXPECT_FALSE(d->isShowing());
    EXPECT_EQ(editor.author, "Old");
    chooseMain(6);
    d->getField(0)->setText("Ann");
    d->getField(1)->setText("Warm pad");
    clickDialogButton(0);
    EXPECT_FALSE(d->isShowing());
    EXPECT_EQ(editor.author, "Ann");
    EXPECT_EQ(editor.description, "Warm pad");

    chooseMain(7);
    EXPECT_EQ(dialogTexts(), (std::vector<std::string>{"Default Author", "Enter default author name", "OK", "Cancel"}));
    d->getField(0)->setText("Bo");
    clickDialogButton(0);
    EXPECT_EQ(editor.defaultAuthor, "Bo");
    EXPECT_EQ(platform::ConfigIni((dir / "Config.ini").string()).getString("Options", "default_author", ""), "Bo");

    chooseMain(10);
    ASSERT_EQ(d->getButtonCount(), 1);
    EXPECT_EQ(d->getViewSize().width(), 400);
    EXPECT_EQ(d->getTitleLabel()->getText(), "About Vantorel");
    const std::string about = d->getMessageLabel()->getText();
    EXPECT_EQ(about.substr(0, about.find('\n')), "Vantorel v0.022 BETA");
    EXPECT_EQ(std::count(about.begin(), about.end(), '\n'), 2);
    EXPECT_EQ(d->getMessageLabel()->getHoriAlign(), kCenterText);
    clickDialogButton(0);
    EXPECT_FALSE(d->isShowing());
}

TEST_F(Menus, SaveAsAndOpenTakeTheTypedPathAndSaveWithoutAPathAsksForOne) {
    Module* a = editor.createModuleAt("S303 Noise", 0, 0);
    const std::string path = (dir / "Typed").string();
    chooseMain(1);  // Save: no path yet, so the path dialog comes up
    DialogWindow* d = editor.getDialog();
    ASSERT_TRUE(d->isShowing());
    EXPECT_EQ(d->getTitleLabel()->getText(), "Save Preset As");
    EXPECT_EQ(d->fieldText(0), editor.presetDialogFolder());
    d->getField(0)->setText(path.c_str());
    clickDialogButton(1);  // Cancel writes nothing
    EXPECT_FALSE(fs::exists(path + ".vtp"));

    chooseMain(2);
    d->getField(0)->setText(path.c_str());
    clickDialogButton(0);
    ASSERT_TRUE(fs::exists(path + ".vtp"));
    EXPECT_EQ(editor.presetPath, path + ".vtp");

    editor.deleteModule(a);
    editor.createModuleAt("S310 VCO", 0, 0);
    chooseMain(0);
    EXPECT_EQ(d->getTitleLabel()->getText(), "Open Preset");
    d->getField(0)->setText((path + ".vtp").c_str());
    clickDialogButton(0);
    // The saved patch is back in place of the VCO.
    ASSERT_EQ(editor.rackModules.size(), 1);
    EXPECT_STREQ(editor.rackModules[0]->getName(), "S303 Noise");
    EXPECT_FALSE(d->isShowing());
}

struct ConfigFile : Menus {
    ConfigFile()
        : Menus("; Vantorel settings\n"
                "[Options]\n"
                "overwrite_author=0\n"
                "Transparency=1\n"
                "; cables\n"
                "\n"
                "[Other]\n"
                "Key=Value\n") {}
};

TEST_F(ConfigFile, CableTransparencyRewritesOnlyItsKeyAndDefaultAuthorJoinsTheOptions) {
    EXPECT_EQ(editor.cableAlpha, 150);
    EXPECT_TRUE(editor.getTransparencyMenu()->isCheckEntry(1));
    chooseMain(9, 3);
    EXPECT_EQ(editor.cableAlpha, 70);
    EXPECT_EQ(readFile(dir / "Config.ini"),
              "; Vantorel settings\n[Options]\noverwrite_author=0\nTransparency=3\n; cables\n\n[Other]\nKey=Value\n");
    // A typed line break stays inside the value instead of making a key of its own.
    chooseMain(7);
    editor.getDialog()->getField(0)->setText("Ann\nadvanced_oversampling=1");
    clickDialogButton(0);
    EXPECT_EQ(readFile(dir / "Config.ini"),
              "; Vantorel settings\n[Options]\noverwrite_author=0\nTransparency=3\n; cables\n"
              "default_author=Ann advanced_oversampling=1\n\n[Other]\nKey=Value\n");
    EXPECT_FALSE(fs::exists(dir / "Config.ini.tmp"));

    // The options are read back from the file by a new editor.
    editor.loadOptions((dir / "Config.ini").string());
    EXPECT_EQ(editor.cableAlpha, 70);
    EXPECT_FALSE(editor.advancedOversampling);
}

TEST(ConfigIniWrite, AFileThatCannotBeReadIsLeftAloneAndAMissingOneIsCreated) {
    const fs::path dir = fs::temp_directory_path() / ("vantorel-ini-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // A directory where the file should be: unreadable as a file, so no write may replace it.
    fs::create_directories(dir / "Blocked.ini");
    EXPECT_FALSE(platform::ConfigIni((dir / "Blocked.ini").string()).setString("Options", "Transparency", "2"));
    EXPECT_TRUE(fs::is_directory(dir / "Blocked.ini"));
    platform::ConfigIni fresh((dir / "Fresh.ini").string());
    EXPECT_TRUE(fresh.setString("Options", "Transparency", "2"));
    EXPECT_EQ(readFile(dir / "Fresh.ini"), "[Options]\nTransparency=2\n");
    EXPECT_FALSE(fs::exists(dir / "Fresh.ini.tmp"));
    fs::remove_all(dir);
}

}  // namespace
