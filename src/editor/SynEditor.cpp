#include "editor/SynEditor.h"

#include <algorithm>

#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleRegistry.h"
#include "presets/PresetWriter.h"

namespace {
constexpr int kTransparencyAlpha[] = {255, 150, 100, 70, 40};
}

SynEditor::SynEditor(Vantorel* synth)
    : AEffGUIEditor(synth), Patch(synth), config(synth->pluginFolder + "Config.ini") {
    rect = vst::ERect{0, 0, kEditorHeight, kEditorWidth};
    overwriteAuthor = config.getInt("Options", "overwrite_author", 0) != 0;
    synth->processList = &processList;
    rack = new SynRack(rowCount);
    presetsFolder = synth->pluginFolder + "Presets/";
    advancedOversampling = config.getInt("Options", "advanced_oversampling", 0) != 0;
    cableAlpha = kTransparencyAlpha[std::clamp(config.getInt("Options", "Transparency", 0), 0, 4)];
    synth->setFilterType(1);
    synth->setOversampling(0);
    defaultAuthor = config.getString("Options", "default_author", "").substr(0, 259);
}

SynEditor::~SynEditor() {
    EngineLockGuard guard(synth->engineLock);
    deleteAllModules();
    rack->forget();
}

bool SynEditor::open(void*) { return false; }
void SynEditor::close() { AEffGUIEditor::close(); }

CViewContainer* SynEditor::rackView() { return rack; }

void SynEditor::valueChanged(CControl* control) {
    changing = true;
    const int32_t tag = control->getTag();
    if (tag >= 0 && tag < kNumParameters && paramControls[tag] == control)
        synth->setParameterAutomated(tag, control->getValue());
    CViewContainer* parent = control->getParentView();
    if (parent && parent->isTypeOf("Module")) static_cast<Module*>(parent)->controlChanged(control);
    changing = false;
}

Module* SynEditor::createModuleAt(const char* displayName, int x, int y) {
    const ModuleClassInfo* info = ModuleRegistry::find(displayName);
    if (!info) return nullptr;
    EngineLockGuard guard(synth->engineLock);
    ensureCapacity(rackModules.size() + 1);
    Module* m = info->create(this);
    CRect r = m->getViewSize();
    r.moveTo(x, y);
    m->setViewSize(r);
    m->setMouseableArea(r);
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

bool SynEditor::moveModule(Module* m, int x, int y) {
    CRect r = m->getViewSize();
    r.moveTo(x, y);
    m->setViewSize(r);
    m->setMouseableArea(r);
    return true;
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
    m->setSampleRate(on ? hostSampleRate * (float)synth->oversampleFactor : hostSampleRate);
}

void SynEditor::setModuleBandlimit(Module* m, int mode) {
    EngineLockGuard guard(synth->engineLock);
    m->setBandlimit(mode);
}

const std::vector<uint8_t>& SynEditor::writeChunk() {
    chunkBuffer = writePatchBytes(*this, true);
    return chunkBuffer;
}

bool SynEditor::readChunk(const uint8_t*, size_t) {
    // Reading presets arrives with the preset reader; until then nothing is accepted.
    return false;
}
