// The editor's menus: the module menu, the main menu with its option sub-menus, the
// module context menu and the knob menu, and what their entries set.
#include <algorithm>
#include <string>

#include "editor/DialogWindow.h"
#include "editor/SynEditor.h"
#include "editor/SynFrame.h"
#include "editor/SynMenuButton.h"
#include "editor/SynPresetMenu.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"
#include "framework/ModuleRegistry.h"
#include "gui/COptionMenu.h"

namespace {

constexpr const char* kOversamplingEntries[] = {"None", "2X", "4X", "8X", "16X", "32X", "64X", "128X", "256X"};
constexpr const char* kFilterEntries[] = {
    "IIR Chamberlin (>2X)", "FIR Auto taps",  "FIR Auto double taps", "FIR 51 taps",   "FIR 101 taps",
    "FIR 151 taps",         "FIR 201 taps",   "FIR 301 taps",         "FIR 601 taps",  "FIR 1001 taps",
    "FIR 1501 taps",        "FIR 1701 taps",  "FIR 2001 taps",        "FIR 4001 taps", "FIR 6401 taps",
    "FIR 12801 taps"};
constexpr const char* kCableColourEntries[] = {"Random", "Red", "Green", "Blue", "Gray", "Orange", "Purple"};
constexpr const char* kTransparencyEntries[] = {"None", "1", "2", "3", "4"};
constexpr int kTransparencyAlpha[] = {255, 150, 100, 70, 40};
constexpr size_t kMaxDefaultAuthor = 259;
constexpr int kDialogWidth = 400;
constexpr int kDialogBackdropAlpha = 100;

enum KnobMenuEntry { kCopy = 0, kPaste = 1 };
enum BandlimitEntry { kAtOversamplingNyquist = 0, kNearDawNyquist = 1 };

COptionMenu* newMenu(CControlListener* listener, bool checkStyle = false) {
    return new COptionMenu(CRect(), listener, -1, nullptr, nullptr,
                           checkStyle ? COptionMenu::kCheckStyle : COptionMenu::kNoStyle);
}

template <size_t N>
COptionMenu* newOptionMenu(CControlListener* listener, const char* const (&titles)[N]) {
    COptionMenu* m = newMenu(listener, true);
    for (const char* t : titles) m->addEntry(t);
    return m;
}

// Where a menu opened by a top-bar button appears: under the button.
CPoint belowButton(const CView* button) {
    return CPoint(button->getViewSize().left, button->getViewSize().bottom);
}

}  // namespace

void SynEditor::loadOptions(const std::string& configPath) {
    releaseMenus();
    config = platform::ConfigIni(configPath);
    overwriteAuthor = config.getInt("Options", "overwrite_author", 0) != 0;
    advancedOversampling = config.getInt("Options", "advanced_oversampling", 0) != 0;
    cableAlpha = transparencyAlpha(config.getInt("Options", "Transparency", 0));
    defaultAuthor = config.getString("Options", "default_author", "").substr(0, kMaxDefaultAuthor);
    buildMenus();
}

void SynEditor::buildMenus() {
    mainIndex = MainMenuIndex{};
    contextIndex = ContextMenuIndex{};
    moduleMenu = newMenu(this);
    const std::vector<const char*>& titles = ModuleRegistry::categories();
    categoryEntries.assign(titles.size(), {});
    for (const ModuleClassInfo& info : ModuleRegistry::all())
        if (info.category >= 0 && info.category < (int)titles.size())
            categoryEntries[(size_t)info.category].push_back(&info);
    for (size_t c = 0; c < titles.size(); ++c) {
        COptionMenu* category = newMenu(this);
        for (const ModuleClassInfo* info : categoryEntries[c]) category->addEntry(info->displayName);
        moduleMenu->addEntry(category, titles[c]);
        categoryMenus.push_back(category);
        category->forget();  // the module menu holds it
    }

    oversamplingMenu = newOptionMenu(this, kOversamplingEntries);
    filterMenu = newOptionMenu(this, kFilterEntries);
    transparencyMenu = newOptionMenu(this, kTransparencyEntries);
    oversamplingMenu->setCurrent(0);
    filterMenu->setCurrent(1);
    transparencyMenu->setCurrent(std::clamp(config.getInt("Options", "Transparency", 0), 0,
                                            (int)std::size(kTransparencyAlpha) - 1));

    // Entry values are indices; the optional filter entry shifts what follows it, so
    // every entry's index is recorded as it is added.
    mainMenu = newMenu(this);
    auto add = [this](const char* title) {
        mainMenu->addEntry(title);
        return mainMenu->getNbEntries() - 1;
    };
    auto addSub = [this](COptionMenu* sub, const char* title) {
        mainMenu->addEntry(sub, title);
        return mainMenu->getNbEntries() - 1;
    };
    mainIndex.open = add("Open...");
    mainIndex.save = add("Save");
    mainIndex.saveAs = add("Save As...");
    mainIndex.saveAsNewVersion = add("Save As New Version");
    mainMenu->addSeparator();
    mainIndex.refresh = add("Refresh Presets Library");
    mainIndex.description = add("Preset Description");
    mainIndex.defaultAuthor = add("Default Author");
    mainIndex.oversampling = addSub(oversamplingMenu, "Oversampling");
    if (advancedOversampling) mainIndex.filter = addSub(filterMenu, "Oversampling Filter");
    mainIndex.transparency = addSub(transparencyMenu, "Cable Transparency");
    mainIndex.about = add("About");

    contextMenu = newMenu(this);
    bandlimitMenu = newMenu(this, true);
    bandlimitMenu->addEntry("At Oversampling Nyquist");
    bandlimitMenu->addEntry("Near DAW Nyquist");
    bandlimitMenu->setCurrent(kAtOversamplingNyquist);
    contextMenu->addEntry("Delete Module");
    contextIndex.remove = 0;
    if (advancedOversampling) {
        contextMenu->addEntry("No Oversampling");
        contextIndex.noOversampling = contextMenu->getNbEntries() - 1;
    }
    contextMenu->addEntry(bandlimitMenu, "Bandlimit");
    contextIndex.bandlimit = contextMenu->getNbEntries() - 1;
    contextMenu->addEntry("Always ON");
    contextIndex.alwaysOn = contextMenu->getNbEntries() - 1;

    knobMenu = newMenu(this);
    knobMenu->addEntry("Copy");
    knobMenu->addEntry("Paste");

    cableColourMenu = newOptionMenu(this, kCableColourEntries);
    cableColourMenu->setCurrent(chosenCableColour);
}

void SynEditor::releaseMenus() {
    closeMenus();
    // The option sub-menus are held by the main menu as well; the filter menu only
    // when it was attached, which forget() balances either way.
    for (COptionMenu** m : {&moduleMenu, &mainMenu, &oversamplingMenu, &filterMenu, &transparencyMenu,
                            &contextMenu, &bandlimitMenu, &knobMenu, &cableColourMenu}) {
        if (*m) (*m)->forget();
        *m = nullptr;
    }
    categoryMenus.clear();
    releasePresetMenu();
}

void SynEditor::closeMenus() {
    if (presetRootMenu) presetRootMenu->closePopup();
    for (COptionMenu* m : {moduleMenu, mainMenu, contextMenu, knobMenu, cableColourMenu})
        if (m) m->closePopup();
}

void SynEditor::openModuleMenu() {
    if (frame) moduleMenu->popup(frame, belowButton(moduleMenuButton));
}

void SynEditor::openMainMenu() {
    if (!frame) return;
    // A preset or chunk may have changed the factor or the filter since the last look.
    oversamplingMenu->setCurrent(oversamplingEntry(synth->oversampleFactor));
    if (synth->filterType >= 0) filterMenu->setCurrent(synth->filterType);
    else filterMenu->checkEntryAlone(-1);
    mainMenu->popup(frame, belowButton(mainMenuButton));
}

void SynEditor::openModuleContextMenu(Module* m, const CPoint& rackPoint) {
    if (!frame || !m) return;
    contextModule = m;
    if (contextIndex.noOversampling >= 0) contextMenu->checkEntry(contextIndex.noOversampling, !m->oversampled);
    contextMenu->checkEntry(contextIndex.alwaysOn, m->alwaysOn);
    contextMenu->setEntryDisabled(contextIndex.bandlimit, m->bandlimit == -1);
    if (m->bandlimit >= 0) bandlimitMenu->setCurrent(m->bandlimit);
    contextMenu->popup(frame, CPoint(rackPoint.x + kSideBarWidth, rackPoint.y + rackTop()));
}

void SynEditor::openKnobMenu(ModuleKnob* knob, const CPoint& where) {
    if (!frame || !knob) return;
    menuKnob = knob;
    CPoint p = where;
    knob->localToFrame(p);
    knobMenu->popup(frame, p);
}

void SynEditor::openCableColourMenu(const CPoint& where) {
    if (!frame) return;
    cableColourMenu->setCurrent(chosenCableColour);
    cableColourMenu->popup(frame, where);
}

Module* SynEditor::liveModule(Module* m) const {
    if (!m) return nullptr;
    for (int i = 0; i < rackModules.size(); ++i)
        if (rackModules[i] == m) return m;
    return nullptr;
}

void SynEditor::reportToHost(CControl* control) {
    const int32_t tag = control->getTag();
    if (tag >= 0 && tag < kNumParameters && paramControls[tag] == control)
        synth->setParameterAutomated(tag, control->getValue());
}

void SynEditor::chooseOversampling(int entry) {
    if (entry < 0 || entry >= (int)std::size(kOversamplingEntries)) return;
    oversamplingMenu->setCurrent(entry);
    synth->setOversampling(entry);
}

void SynEditor::chooseFilter(int entry) {
    if (entry >= 0 && entry < (int)std::size(kFilterEntries)) filterMenu->setCurrent(entry);
    else filterMenu->checkEntryAlone(-1);
    synth->setFilterType(entry);
}

int SynEditor::oversamplingEntry(int factor) {
    int entry = 0;
    while (factor > 1 && entry < (int)std::size(kOversamplingEntries) - 1) factor /= 2, ++entry;
    return entry;
}

int SynEditor::transparencyAlpha(int entry) {
    return kTransparencyAlpha[std::clamp(entry, 0, (int)std::size(kTransparencyAlpha) - 1)];
}

void SynEditor::chooseTransparency(int entry) {
    entry = std::clamp(entry, 0, (int)std::size(kTransparencyAlpha) - 1);
    transparencyMenu->setCurrent(entry);
    cableAlpha = transparencyAlpha(entry);
    config.setString("Options", "Transparency", std::to_string(entry));
    rack->invalid();
}

bool SynEditor::menuChosen(CControl* control) {
    if (!control->isTypeOf("COptionMenu")) return false;
    auto* menu = static_cast<COptionMenu*>(control);
    const int index = menu->getLastResult();
    if (presetMenuChosen(menu, index)) return true;

    for (size_t c = 0; c < categoryMenus.size(); ++c)
        if (menu == categoryMenus[c]) {
            if (index >= 0 && index < (int)categoryEntries[c].size())
                addModuleFromMenu(categoryEntries[c][(size_t)index]->displayName);
            return true;
        }
    if (menu == contextMenu) {
        Module* m = liveModule(contextModule);
        contextModule = nullptr;
        if (!m) return true;
        if (index == contextIndex.remove) deleteModule(m);
        else if (index == contextIndex.noOversampling) setModuleOversampled(m, !m->oversampled);
        else if (index == contextIndex.alwaysOn) setAlwaysOn(m, !m->alwaysOn);
        return true;
    }
    if (menu == bandlimitMenu) {
        Module* m = liveModule(contextModule);
        contextModule = nullptr;
        if (m && (index == kAtOversamplingNyquist || index == kNearDawNyquist)) {
            setModuleBandlimit(m, index);
            bandlimitMenu->setCurrent(index);
        }
        return true;
    }
    if (menu == knobMenu) {
        ModuleKnob* knob = menuKnob;
        menuKnob = nullptr;
        // The knob's module may have gone (a chunk replaced the patch) while the menu
        // showed: the knob is only touched when a module of the rack still holds it.
        bool live = false;
        for (int i = 0; i < rackModules.size() && !live; ++i) live = knob && rackModules[i]->isChild(knob);
        if (!live) return true;
        if (index == kCopy) copyKnob(knob);
        else if (index == kPaste) {
            pasteKnob(knob);
            knob->invalid();
        }
        return true;
    }
    if (menu == cableColourMenu) {
        chooseCableColour(index);
        cableColourMenu->setCurrent(chosenCableColour);
    } else if (menu == oversamplingMenu) chooseOversampling(index);
    else if (menu == filterMenu) chooseFilter(index);
    else if (menu == transparencyMenu) chooseTransparency(index);
    else if (menu == mainMenu) mainMenuChosen(index);
    else return false;
    return true;
}

bool SynEditor::mainMenuChosen(int index) {
    if (index < 0) return false;
    if (index == mainIndex.open) {
        askForPresetPath(PendingDialog::openPath, "Open Preset");
    } else if (index == mainIndex.save) {
        if (savePreset() == PresetSave::needsPath) askForPresetPath(PendingDialog::savePath, "Save Preset As");
    } else if (index == mainIndex.saveAs) {
        askForPresetPath(PendingDialog::savePath, "Save Preset As");
    } else if (index == mainIndex.saveAsNewVersion) {
        if (savePresetAsNewVersion() == PresetSave::needsPath)
            askForPresetPath(PendingDialog::savePath, "Save Preset As");
    } else if (index == mainIndex.refresh) {
        refreshPresetsLibrary();
    } else if (index == mainIndex.description) {
        showPresetDescriptionDialog();
    } else if (index == mainIndex.defaultAuthor) {
        showDefaultAuthorDialog();
    } else if (index == mainIndex.about) {
        showAboutDialog();
    } else {
        return false;
    }
    return true;
}

DialogWindow::Content SynEditor::questionDialog(PendingDialog purpose, const char* title, int width) {
    DialogWindow::Content c;
    c.width = width;
    c.title = title;
    c.buttonCount = 2;
    c.buttonLabels[0] = "OK";
    c.buttonLabels[1] = "Cancel";
    c.backgroundAlpha = kDialogBackdropAlpha;
    c.callback = &SynEditor::dialogAnswered;
    c.user = this;
    pendingDialog = purpose;
    return c;
}

void SynEditor::showPresetDescriptionDialog() {
    if (!dialog) return;
    DialogWindow::Content c = questionDialog(PendingDialog::description, "Preset Description", kDialogWidth);
    c.fieldCount = 2;
    c.fieldLabels[0] = "Enter author name";
    c.fieldTexts[0] = author;
    c.fieldLabels[1] = "Enter preset description";
    c.fieldTexts[1] = description;
    dialog->show(c);
}

void SynEditor::showDefaultAuthorDialog() {
    if (!dialog) return;
    DialogWindow::Content c = questionDialog(PendingDialog::defaultAuthor, "Default Author", kDialogWidth);
    c.fieldCount = 1;
    c.fieldLabels[0] = "Enter default author name";
    c.fieldTexts[0] = defaultAuthor;
    dialog->show(c);
}

void SynEditor::showAboutDialog() {
    if (!dialog) return;
    DialogWindow::Content c;
    c.width = kDialogWidth;
    c.title = "About Vantorel";
    c.message = std::string("Vantorel ") + kVersionText +
                "\nA modular synthesizer for your DAW\nMade by the Vantorel developers";
    c.messageLines = 3;
    c.messageAlign = kCenterText;
    c.buttonCount = 1;
    c.buttonLabels[0] = "OK";
    c.backgroundAlpha = kDialogBackdropAlpha;
    pendingDialog = PendingDialog::none;
    dialog->show(c);
}

// Without a file chooser the path is typed into the dialog; it starts in the folder
// the file dialogs would start in.
void SynEditor::showPathDialog(PendingDialog purpose, const char* title) {
    if (!dialog) return;
    DialogWindow::Content c = questionDialog(purpose, title, kMessageWidth);
    c.fieldCount = 1;
    c.fieldLabels[0] = "Enter preset file path";
    c.fieldTexts[0] = purpose == PendingDialog::savePath && !presetPath.empty() ? presetPath : presetDialogFolder();
    dialog->show(c);
}

void SynEditor::dialogAnswered(void* user, DialogWindow* dialog, int button) {
    auto* self = static_cast<SynEditor*>(user);
    const PendingDialog purpose = self->pendingDialog;
    self->pendingDialog = PendingDialog::none;
    const std::string first = dialog->fieldText(0), second = dialog->fieldText(1);
    // Closed before acting: opening or saving may show a message in the same dialog.
    dialog->closeDialog();
    if (button != 0) return;
    switch (purpose) {
    case PendingDialog::description:
        self->author = first;
        self->description = second;
        break;
    case PendingDialog::defaultAuthor:
        self->defaultAuthor = first.substr(0, kMaxDefaultAuthor);
        self->config.setString("Options", "default_author", self->defaultAuthor);
        break;
    case PendingDialog::openPath: self->openPreset(first); break;
    case PendingDialog::savePath: self->savePresetAs(first); break;
    case PendingDialog::none: break;
    }
}
