#include "editor/SynEditor.h"

#include <algorithm>

#include "editor/DialogWindow.h"
#include "editor/SynFrame.h"
#include "editor/SynMenuButton.h"
#include "editor/SynRack.h"
#include "editor/SynScrollbar.h"
#include "gui/CTextLabel.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleRegistry.h"
#include <cstdio>
#include <fstream>
#include <iterator>

#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "presets/PresetReader.h"
#include "presets/PresetWriter.h"
#include "platform/Paths.h"

namespace {

// Far beyond any real patch; a larger file is not a preset.
constexpr std::streamoff kMaxPresetFileBytes = 256 << 20;

}  // namespace

SynEditor::SynEditor(Vantorel* synth)
    : AEffGUIEditor(synth), Patch(synth), config(synth->pluginFolder + "Config.ini") {
    rect = vst::ERect{0, 0, kEditorHeight, kEditorWidth};
    synth->processList = &processList;
    rack = new SynRack(0);
    rowCount = 0;
    rowSelector = 2;
    buildWindowViews();
    for (int i = 0; i < 3; ++i) addRow();
    presetsFolder = synth->pluginFolder + "Presets/";
    synth->setFilterType(1);
    synth->setOversampling(0);
    loadOptions(config.path());
}

SynEditor::~SynEditor() {
    close();
    {
        EngineLockGuard guard(synth->engineLock);
        deleteAllModules();
    }
    releaseMenus();
    for (CView* v : windowViews) v->forget();
    if (midiPlug) midiPlug->forget();
}

void SynEditor::buildWindowViews() {
    auto decoration = [](const char* name, int x, int y, int w, int h) {
        return new CMovieBitmap(CRect::fromSize(x, y, w, h), nullptr, kTagNoParameter, 1, h,
                                SharedBitmaps::panel(name, w, h));
    };
    // Controls in the top bar are centred on it, one pixel low.
    auto barY = [](int h) { return (kTopBarHeight - h) / 2 + 1; };
    constexpr int kButton = 35, kPresetWidth = 200, kLabelWidth = 190, kLabelHeight = 25, kStep = 18;

    CView* topBar = decoration("topbar2.png", 0, 0, kEditorWidth, kTopBarHeight);
    CView* leftBar = decoration("sidebar2.png", 0, kTopBarHeight, kSideBarWidth, kVisibleRackHeight);
    CView* rightBar =
        decoration("sidebar2.png", kEditorWidth - kSideBarWidth, kTopBarHeight, kSideBarWidth, kVisibleRackHeight);
    CView* title = decoration("title.png", (kEditorWidth - 159) / 2, barY(35), 159, 35);

    const int addRowLeft = kEditorWidth - 10 - kButton;
    addRowButton = new CKickButton(CRect::fromSize(addRowLeft, barY(kButton), kButton, kButton), this, -1,
                                   SharedBitmaps::panel("add_row.png", kButton, 2 * kButton));
    removeRowButton = new CKickButton(CRect::fromSize(addRowLeft - 3 - kButton, barY(kButton), kButton, kButton),
                                      this, -1, SharedBitmaps::panel("rem_row.png", kButton, 2 * kButton));
    moduleMenuButton = new SynMenuButton(CRect::fromSize(10, barY(kButton), kButton, kButton), this,
                                         SharedBitmaps::panel("modulemenu.png", kButton, kButton),
                                         SharedBitmaps::panel("modulemenu_clicked.png", kButton, kButton));

    const CRect labelRect = CRect::fromSize(75, barY(kLabelHeight), kLabelWidth, kLabelHeight);
    CBitmap* screen = SharedBitmaps::panel("preset_screen.png", kLabelWidth, kLabelHeight);
    for (CTextLabel** label : {&presetNameLabel, &authorLabel}) {
        *label = new CTextLabel(labelRect, nullptr, screen);
        (*label)->setFontColor(CColor{255, 255, 255, 140});
        (*label)->setBackColor(CColor{0, 0, 0, 140});
    }
    authorLabel->setVisible(false);

    const CRect presetRect = CRect::fromSize(70, barY(kButton), kPresetWidth, kButton);
    CView* stripes = decoration("preset_stripes.png", presetRect.left, presetRect.top, kPresetWidth, kButton);
    presetMenu = new SynMenuButton(presetRect, this, SharedBitmaps::panel("preset_frame.png", kPresetWidth, kButton),
                                   nullptr);
    previousPresetButton =
        new CKickButton(CRect::fromSize(presetRect.right + 3, barY(kButton), kStep, kButton), this, -1,
                        SharedBitmaps::panel("presetl.png", kStep, 2 * kButton));
    // The two step buttons overlap by one pixel.
    nextPresetButton =
        new CKickButton(CRect::fromSize(previousPresetButton->getViewSize().right - 1, barY(kButton), kStep, kButton),
                        this, -1, SharedBitmaps::panel("presetr.png", kStep, 2 * kButton));
    mainMenuButton = new SynMenuButton(
        CRect::fromSize(nextPresetButton->getViewSize().right + 3, barY(kButton), kButton, kButton), this,
        SharedBitmaps::panel("main_menu.png", kButton, kButton),
        SharedBitmaps::panel("main_menu_clicked.png", kButton, kButton));

    // Rack right edge + 4 to + 19, rack top + 4 to the window bottom - 5.
    const int barLeft = kSideBarWidth + kRowWidth + 4;
    scrollbar = new SynScrollbar(CRect(barLeft, kTopBarHeight + 4, barLeft + 15, kEditorHeight - 5), this,
                                 rack->contentHeight(), kVisibleRackHeight);

    // The module context menu, the copy/paste menu, the cable colour menu and the
    // MIDI plug image follow the scrollbar when they exist.
    windowViews = {rack,          topBar,          leftBar,          rightBar,   title,      addRowButton,
                   removeRowButton, moduleMenuButton, presetNameLabel, authorLabel, stripes,  presetMenu,
                   previousPresetButton, nextPresetButton, mainMenuButton, scrollbar};
}

bool SynEditor::open(void* parentWindow) {
    std::lock_guard<std::recursive_mutex> views(viewLock);
    if (frame) return true;
    AEffGUIEditor::open(parentWindow);
    frame = new SynFrame(CRect(0, 0, kEditorWidth, kEditorHeight), parentWindow, this);
    for (CView* v : windowViews) frame->addView(v);
    dialog = new DialogWindow(frame);
    frame->addView(dialog);
    // A chunk the host set while the window was closed is already built (readChunk
    // builds at once), so the window shows that patch from its first draw.
    showPresetName();
    frame->invalid();
    return true;
}

void SynEditor::close() {
    std::lock_guard<std::recursive_mutex> views(viewLock);
    if (!frame) return;
    // A module still on the mouse is settled the way a release would settle it.
    endModuleDrag();
    cancelCableDrag();
    closeMenus();
    fileChooser.cancel();
    frame->removeView(dialog, false);
    dialog->forget();
    dialog = nullptr;
    // The editor keeps its views for the next open.
    frame->removeAll(false);
    frame->forget();
    frame = nullptr;
    authorLabel->setVisible(false);
    AEffGUIEditor::close();
}

void SynEditor::idle() {
    std::lock_guard<std::recursive_mutex> views(viewLock);
    pollFileChooser();
    if (frame) frame->idle();
}

CFrame* SynEditor::getFrame() const { return frame; }

void SynEditor::showPresetName() {
    presetNameLabel->setText(presetName.c_str());
    presetNameLabel->invalid();
    restartAuthorFlash();
}

void SynEditor::restartAuthorFlash() {
    authorLabel->setVisible(false);
    if (!frame) return;
    CVSTGUITimer& timer = frame->timerC;
    timer.stop();
    // Counted with its terminating NUL, an author must be longer than 2: a single
    // character is never shown.
    if (author.size() + 1 > 2) {
        timer.setFireTime(SynFrame::kAuthorDelayMs);
        timer.start();
    }
}

void SynEditor::authorFlashTick() {
    if (!frame) return;
    CVSTGUITimer& timer = frame->timerC;
    if (!authorLabel->isVisible()) {
        authorLabel->setText(author.c_str());
        authorLabel->setVisible(true);
        authorLabel->invalid();
        timer.setFireTime(SynFrame::kAuthorShownMs);
        timer.start();
    } else {
        timer.stop();
        timer.setFireTime(SynFrame::kAuthorDelayMs);
        authorLabel->setVisible(false);
        authorLabel->invalid();
        presetNameLabel->invalid();
    }
}

CViewContainer* SynEditor::rackView() { return rack; }

void SynEditor::valueChanged(CControl* control) {
    // Host parameter writes arriving meanwhile are ignored; a nested call (a control
    // that changes another) leaves the flag to the outer one.
    const bool outer = changing.exchange(true);
    const bool pressed = control->getValue() >= 0.5f;
    CViewContainer* parent = control->getParentView();
    if (parent && parent->isTypeOf("Module")) {
        reportToHost(control);
        static_cast<Module*>(parent)->controlChanged(control);
    } else if (control == scrollbar) {
        scrollTo(control->getValue());
    } else if (control == addRowButton) {
        if (pressed) addRow();
    } else if (control == removeRowButton) {
        if (pressed) removeRow();
    } else if (control == moduleMenuButton) {
        if (pressed) openModuleMenu();
    } else if (control == mainMenuButton) {
        if (pressed) openMainMenu();
    } else if (control == presetMenu) {
        if (pressed) openPresetMenu();
    } else if (control == previousPresetButton) {
        if (pressed) stepPreset(-1);
    } else if (control == nextPresetButton) {
        if (pressed) stepPreset(1);
    } else if (!menuChosen(control)) {
        reportToHost(control);
    }
    changing = outer;
}

Module* SynEditor::createModuleAt(const char* displayName, int x, int y) {
    const ModuleClassInfo* info = ModuleRegistry::find(displayName);
    if (!info) return nullptr;
    EngineLockGuard guard(synth->engineLock);
    ensureCapacity(rackModules.size() + 1);
    Module* m = info->create(this);
    moveModule(m, x, y);
    addToRack(m);
    m->alwaysOn = m->isAlwaysOnByDefault();
    if (m->alwaysOn) activateModule(m);
    return m;
}

Module* SynEditor::createModule(const char* displayName) {
    const ModuleClassInfo* info = ModuleRegistry::find(displayName);
    if (!info) return nullptr;
    EngineLockGuard guard(synth->engineLock);
    Module* m = createModuleAt(displayName, 0, 0);
    const int w = m->getWidth(), h = m->getHeight();
    for (int y = 0; y + h <= rack->contentHeight(); y += kRowHeight)
        for (int x = 0; x + w <= kRowWidth; x += kGrid)
            if (placeIsFree(x, y, w, h, m)) {
                moveModule(m, x, y);
                return m;
            }
    deleteModule(m);
    return nullptr;
}

bool SynEditor::placeIsFree(int x, int y, int width, int height, const Module* ignore) const {
    if (x < 0 || y < 0 || x + width > kRowWidth || y + height > rack->contentHeight()) return false;
    if (y % kRowHeight != 0 || x % kGrid != 0) return false;
    const CRect wanted = CRect::fromSize(x, y, width, height);
    for (int i = 0; i < rackModules.size(); ++i)
        if (rackModules[i] != ignore && rackModules[i]->getViewSize().rectOverlap(wanted)) return false;
    return true;
}

void SynEditor::moveModule(Module* m, int x, int y) {
    CRect r = m->getViewSize();
    r.moveTo(x, y);
    m->setViewSize(r);
    m->setMouseableArea(r);
}

void SynEditor::setAlwaysOn(Module* m, bool on) {
    EngineLockGuard guard(synth->engineLock);
    m->alwaysOn = on;
    if (on) activateModule(m);
    else if (m->cableCount == 0) deactivateModule(m);
}

void SynEditor::setModuleOversampled(Module* m, bool on) {
    EngineLockGuard guard(synth->engineLock);
    m->oversampled = on;
    m->setSampleRate(on ? synth->hostSampleRate * (float)synth->oversampleFactor : synth->hostSampleRate);
    replan();
}

void SynEditor::setModuleBandlimit(Module* m, int mode) {
    EngineLockGuard guard(synth->engineLock);
    m->setBandlimit(mode);
}

const std::vector<uint8_t>& SynEditor::writeChunk() {
    chunkBuffer = writePatchBytes(*this, true);
    return chunkBuffer;
}

bool SynEditor::readChunk(const uint8_t* data, size_t size) { return readPatch(data, size, true); }

void SynEditor::showMessage(const std::string& title, const std::string& text) {
    lastMessageTitle = title;
    lastMessageText = text;
    if (!dialog) return;
    DialogWindow::Content c;
    c.width = kMessageWidth;
    c.title = title;
    c.message = text;
    c.messageLines = 1 + (int)std::count(text.begin(), text.end(), '\n');
    c.buttonLabels[0] = "OK";
    c.backgroundAlpha = 100;
    dialog->show(c);
}

bool SynEditor::readPatch(const uint8_t* data, size_t size, bool chunk) {
    ParsedPatch parsed;
    switch (parsePatch(data, size, chunk, parsed)) {
    case ParseResult::laterVersion:
        showMessage("Later Version!!", chunk ? "This preset was saved with a later version. Please download the\n"
                                               "latest version of Vantorel"
                                             : "This preset was saved with a later version. Please download the\n"
                                               "latest version of Vantorel.");
        return false;
    case ParseResult::malformed: return false;
    case ParseResult::ok: break;
    }

    // The audio thread sees the old patch or the new one, never half of either.
    EngineLockGuard guard(synth->engineLock);
    deleteAllModules();
    applyRowCount(parsed.rowCount);
    synth->setFilterType(parsed.filterType);
    synth->setOversampling(oversamplingEntry(parsed.oversampleFactor));
    ensureCapacity((int)parsed.modules.size());
    author = parsed.author;
    description = parsed.description;

    // Jack numbers count every record's jacks, known module or not, so cables of the
    // modules that did load still find their ends.
    std::vector<PatchPoint*> jackTable;
    std::string missing;
    for (const ParsedModule& pm : parsed.modules) {
        if (!pm.moduleClass) {
            missing += (missing.empty() ? "" : ", ") + pm.name;
            jackTable.insert(jackTable.end(), (size_t)pm.jackCount, nullptr);
            continue;
        }
        Module* m = pm.moduleClass->create(this);
        // A position outside the rack cannot be reached or seen; keep the module inside.
        moveModule(m, std::clamp(pm.x, 0, std::max(0, kRowWidth - m->getWidth())),
                   std::clamp(pm.y, 0, std::max(0, rowCount * kRowHeight - m->getHeight())));
        m->oversampled = pm.oversampled;
        m->bandlimit = pm.bandlimit;
        m->alwaysOn = pm.alwaysOn;
        m->setSampleRate(pm.oversampled ? synth->hostSampleRate * (float)synth->oversampleFactor : synth->hostSampleRate);
        addToRack(m);
        if (m->alwaysOn) activateModule(m);
        m->loadState(pm.data.data(), pm.dataBytes, pm.version);
        m->applySavedTags(pm.tags.data(), (int)pm.tags.size());
        int taken = 0;
        for (CView* v : m->getChildren())
            if (taken < pm.jackCount && v->isTypeOf("PatchPoint")) {
                jackTable.push_back(static_cast<PatchPoint*>(v));
                ++taken;
            }
        jackTable.insert(jackTable.end(), (size_t)(pm.jackCount - taken), nullptr);
    }

    for (const ParsedCable& c : parsed.cables) {
        if (c.reader < 0 || c.other < 0 || (size_t)c.reader >= jackTable.size() ||
            (size_t)c.other >= jackTable.size())
            continue;
        PatchPoint* a = jackTable[(size_t)c.reader];
        PatchPoint* b = jackTable[(size_t)c.other];
        if (!a || !b) continue;
        const int colour = a->signalType == kSignalMidi ? 7 : (c.colour >= 1 && c.colour <= 6 ? c.colour : 1);
        if (const Cable* made = connectJacks(a, b, colour)) invalidateRackArea(cableArea(made));
    }

    if (chunk) {
        std::string reference = parsed.reference;
        std::replace(reference.begin(), reference.end(), '\\', '/');
        presetPath = presetsFolder + reference;
        presetName = presetDisplayName(reference);
    }
    fromChunk = chunk;
    if (chunk) refreshPresetDisplay(false);
    if (!missing.empty())
        showMessage("Missing Modules", "This preset uses modules this version does not have:\n" + missing);
    return true;
}

bool SynEditor::writePresetFile(const std::string& path) {
    const std::vector<uint8_t> bytes = writePatchBytes(*this, false);
    const std::string temporary = path + ".saving";
    {
        std::ofstream out(platform::toPath(temporary), std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
        out.close();
        if (!out) {
            platform::removeFile(temporary);
            return false;
        }
    }
    if (!platform::replaceFile(temporary, path)) {
        platform::removeFile(temporary);
        return false;
    }
    fromChunk = false;
    return true;
}

bool SynEditor::readPresetFile(const std::string& path) {
    std::ifstream in(platform::toPath(path), std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxPresetFileBytes) return false;
    in.seekg(0);
    std::vector<uint8_t> bytes((size_t)size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return false;
    return readPatch(bytes.data(), bytes.size(), false);
}
