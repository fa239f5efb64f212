#include "editor/SynEditor.h"

#include <algorithm>

#include "editor/SynRack.h"
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

namespace {

constexpr int kTransparencyAlpha[] = {255, 150, 100, 70, 40};
constexpr const char* kRowBitmaps[] = {"1st_row.jpg", "2nd_row.jpg", "3rd_row.jpg"};
// Far beyond any real patch; a larger file is not a preset.
constexpr std::streamoff kMaxPresetFileBytes = 256 << 20;

int oversamplingMenuEntry(int factor) {
    int v = 0;
    while (factor > 1 && v < 8) factor /= 2, ++v;
    return v;
}

}  // namespace

SynEditor::SynEditor(Vantorel* synth)
    : AEffGUIEditor(synth), Patch(synth), config(synth->pluginFolder + "Config.ini") {
    rect = vst::ERect{0, 0, kEditorHeight, kEditorWidth};
    overwriteAuthor = config.getInt("Options", "overwrite_author", 0) != 0;
    synth->processList = &processList;
    rack = new SynRack(0);
    rowCount = 0;
    rowSelector = 2;
    for (int i = 0; i < 3; ++i) addRow();
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

void SynEditor::addRow() {
    rowSelector = (rowSelector + 1) % 3;
    const int top = rowCount * kRowHeight;
    auto* row = new CMovieBitmap(CRect::fromSize(0, top, kRowWidth, kRowHeight), nullptr, kTagNoParameter, 1,
                                 kRowHeight, SharedBitmaps::panel(kRowBitmaps[rowSelector], kRowWidth, kRowHeight));
    rowViews.push_back(row);
    rack->setViewSize(CRect(0, 0, kRowWidth, top + kRowHeight));
    rack->addView(row, rowCount);
    ++rowCount;
}

void SynEditor::applyRowCount(int rows) {
    while (rowCount < rows) addRow();
    while (rowCount > rows && rowCount > 1) {
        rowSelector = rowSelector == 0 ? 2 : rowSelector - 1;
        rack->removeView(rowViews.back(), true);
        rowViews.pop_back();
        --rowCount;
        rack->setViewSize(CRect(0, 0, kRowWidth, rowCount * kRowHeight));
    }
}

bool SynEditor::removeRow() {
    if (rowCount <= 1) return false;
    EngineLockGuard guard(synth->engineLock);
    // Probe the last row's top line on the grid; a module found there goes, and the
    // probe goes on past its right edge.
    const int y = rack->contentHeight() - (kRowHeight - 1);
    for (int x = 0; x < kRowWidth;) {
        const CPoint probe(x + 1, y);
        Module* hit = nullptr;
        for (int i = 0; i < rackModules.size() && !hit; ++i)
            if (rackModules[i]->getViewSize().pointInside(probe)) hit = rackModules[i];
        if (!hit) {
            x += kGrid;
            continue;
        }
        const int right = hit->getViewSize().right;
        deleteModule(hit);
        x = std::max(x + kGrid, right - (right % kGrid));
    }
    applyRowCount(rowCount - 1);
    return true;
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

bool SynEditor::readChunk(const uint8_t* data, size_t size) { return readPatch(data, size, true); }

void SynEditor::showMessage(const std::string& title, const std::string& text) {
    lastMessageTitle = title;
    lastMessageText = text;
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
    synth->setOversampling(oversamplingMenuEntry(parsed.oversampleFactor));
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
        m->setSampleRate(pm.oversampled ? hostSampleRate * (float)synth->oversampleFactor : hostSampleRate);
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
        connectJacks(a, b, colour);
    }

    if (chunk) {
        std::string reference = parsed.reference;
        std::replace(reference.begin(), reference.end(), '\\', '/');
        presetPath = presetsFolder + reference;
        presetName = presetDisplayName(reference);
    }
    fromChunk = chunk;
    if (!missing.empty())
        showMessage("Missing Modules", "This preset uses modules this version does not have:\n" + missing);
    return true;
}

bool SynEditor::writePresetFile(const std::string& path) {
    const std::vector<uint8_t> bytes = writePatchBytes(*this, false);
    const std::string temporary = path + ".saving";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    fromChunk = false;
    return true;
}

bool SynEditor::readPresetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxPresetFileBytes) return false;
    in.seekg(0);
    std::vector<uint8_t> bytes((size_t)size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return false;
    return readPatch(bytes.data(), bytes.size(), false);
}
