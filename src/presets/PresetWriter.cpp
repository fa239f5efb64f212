#include "presets/PresetWriter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"

namespace {

class ByteWriter {
public:
    void int32(int32_t v) {
        uint8_t b[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
        bytes.insert(bytes.end(), b, b + 4);
    }
    void byte(uint8_t v) { bytes.push_back(v); }
    void raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void cString(const char* s) { raw(s, std::strlen(s) + 1); }
    // Length-prefixed text whose length counts the terminating NUL.
    void text(const std::string& s) {
        int32((int32_t)s.size() + 1);
        raw(s.c_str(), s.size() + 1);
    }
    std::vector<uint8_t> bytes;
};

std::string presetReference(const SynEditor& editor) {
    const std::string& path = editor.presetPath;
    const std::string& folder = editor.presetsFolder;
    if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
        return path.substr(folder.size());
    return editor.presetName + ".vtp";
}

}  // namespace

std::vector<uint8_t> writePatchBytes(SynEditor& editor, bool chunk) {
    Vantorel& synth = *editor.synth;
    EngineLockGuard guard(synth.engineLock);
    const ModuleList& rack = editor.rackModules;

    std::vector<int> stateSizes((size_t)rack.size());
    int largest = 0, jackTotal = 0;
    for (int i = 0; i < rack.size(); ++i) {
        Module* m = rack[i];
        stateSizes[(size_t)i] = std::max(0, m->getStateSize());
        if (m->savedControlCount < 0 || m->patchPointCount < 0) m->countControls();
        largest = std::max({largest, stateSizes[(size_t)i], 4 * m->savedControlCount});
        jackTotal += m->patchPointCount;
    }

    ByteWriter w;
    if (chunk) w.cString(presetReference(editor).c_str());
    w.int32(kVersion);
    w.int32(24);
    w.int32(editor.rowCount);
    w.int32(largest);
    w.int32(synth.oversampleFactor);
    w.int32(synth.filterType);
    w.int32(rack.size());
    w.int32(jackTotal);
    if (editor.author.empty() || editor.overwriteAuthor) editor.author = editor.defaultAuthor;
    w.text(editor.author);
    w.text(editor.description);

    std::vector<float> scratch((size_t)largest / 4 + 1);
    int nextJack = 0;
    for (int i = 0; i < rack.size(); ++i) {
        Module* m = rack[i];
        w.int32(m->getNameLen() + 1);
        w.cString(m->getName());
        w.int32(m->getVendorNameLen() + 1);
        w.cString(m->getVendorName());
        w.int32(26);
        w.int32(m->getVersion());
        w.int32(m->savedControlCount);
        w.int32(m->patchPointCount);
        for (CView* v : m->getChildren())
            if (v->isTypeOf("PatchPoint")) {
                PatchPoint* p = static_cast<PatchPoint*>(v);
                p->saveIndex = nextJack;
                p->setTag(nextJack++);
            }
        w.int32(m->getViewSize().left);
        w.int32(m->getViewSize().top);
        w.byte(m->oversampled ? 1 : 0);
        w.byte(m->alwaysOn ? 1 : 0);
        w.int32(m->bandlimit);
        const int size = stateSizes[(size_t)i];
        w.int32(size);
        std::fill(scratch.begin(), scratch.end(), 0.f);
        m->saveState(scratch.data(), size);
        w.raw(scratch.data(), (size_t)size);
        w.int32(4 * m->savedControlCount);
        for (CView* v : m->getChildren())
            if (Module::isSavedControl(v)) w.int32(static_cast<CControl*>(v)->getTag());
    }

    w.int32(8);
    w.int32(editor.cableTotal);
    w.int32(12);
    for (Cable* c = editor.cableHead; c; c = c->next) {
        w.int32(c->reader->saveIndex);
        w.int32(c->other->saveIndex);
        w.int32(c->colour);
    }
    return std::move(w.bytes);
}
