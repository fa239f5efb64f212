#include "engine/Vantorel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/SynEditor.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "platform/PluginFolder.h"

using namespace vst;

float noteFrequency[128];
int hostBlockSize = 1024;
int openCount = 0;

namespace {

constexpr int kInitialScratchFrames = 8192;

void fillNoteFrequencies() {
    double f = 8.175798915636872;
    for (int n = 0; n < 128; ++n) {
        noteFrequency[n] = (float)f;
        f *= 1.059463094359;
    }
}

bool overlaps(const float* a, const float* b, int frames) {
    return a && b && a < b + frames && b < a + frames;
}

// Host string fields have fixed sizes; longer texts are cut, never overrun.
void copyText(char* dst, const char* src, size_t capacity) {
    const size_t n = std::min(std::strlen(src), capacity - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

}  // namespace

Vantorel::Vantorel(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, kNumParameters) {
    dawOutWriters = 0;
    if (audioMaster) {
        setNumInputs(kNumInputs);
        setNumOutputs(kNumOutputs);
        isSynth();
        canProcessReplacing();
        setUniqueID(fourCC('V', 'n', 'T', 'l'));
    }
    fillNoteFrequencies();
    pluginFolder = platform::pluginFolder();
    pluginFolderLen = pluginFolder.empty() ? -1 : (int)pluginFolder.size();
    reserveScratch(kInitialScratchFrames);
    editor = new SynEditor(this);
    setEditor(editor);
    programsAreChunks();
}

Vantorel::~Vantorel() {
    if (opened) close();
    delete editor;
    editor = nullptr;
    setEditor(nullptr);
}

void Vantorel::open() {
    if (opened) return;
    opened = true;
    if (openCount++ == 0) SharedBitmaps::load();
}

void Vantorel::close() {
    // Only an instance that opened may give its share back.
    if (!opened) return;
    opened = false;
    if (--openCount == 0) SharedBitmaps::release();
}

void Vantorel::setSampleRate(float rate) {
    if (!(rate > 0.f) || !std::isfinite(rate)) return;
    EngineLockGuard guard(engineLock);
    AudioEffectX::setSampleRate(rate);
    hostSampleRate = rate;
    iirCoef = (float)(60000.0 / ((double)rate * oversampleFactor));
    updateModuleRates();
}

void Vantorel::updateModuleRates() {
    // The editor builds its defaults through setOversampling before it is ours.
    if (!editor) return;
    const ModuleList& rack = editor->rackModules;
    for (int i = 0; i < rack.size(); ++i)
        rack[i]->setSampleRate(rack[i]->oversampled ? (float)oversampleFactor * hostSampleRate : hostSampleRate);
}

void Vantorel::setBlockSize(VstInt32 size) {
    AudioEffectX::setBlockSize(size);
    hostBlockSize = size;
    EngineLockGuard guard(engineLock);
    reserveScratch(size);
}

void Vantorel::reserveScratch(int frames) {
    if (frames <= scratchFrames) return;
    scratch.assign((size_t)frames * (kNumInputs + kNumOutputs), 0.f);
    scratchFrames = frames;
}

void Vantorel::prepareBuffers(float** hostIn, float** hostOut, int frames) {
    bool needScratch = !hostIn || !hostOut;
    for (int k = 0; k < kNumInputs && !needScratch; ++k) {
        if (!hostIn[k]) needScratch = true;
        for (int j = 0; j < kNumOutputs && !needScratch; ++j)
            needScratch = !hostOut[j] || overlaps(hostIn[k], hostOut[j], frames);
    }
    if (!needScratch) {
        std::copy(hostIn, hostIn + kNumInputs, inputPtrs);
        std::copy(hostOut, hostOut + kNumOutputs, outputPtrs);
        return;
    }
    // Hosts that process in place, or hand us null buffers, are rare; only a host
    // that exceeds the block size it announced makes this grow on the audio thread.
    reserveScratch(frames);
    for (int k = 0; k < kNumInputs; ++k) {
        float* own = scratch.data() + (size_t)k * scratchFrames;
        const float* src = hostIn ? hostIn[k] : nullptr;
        if (src) std::copy(src, src + frames, own);
        else std::fill(own, own + frames, 0.f);
        inputPtrs[k] = own;
    }
    for (int j = 0; j < kNumOutputs; ++j) {
        float* dst = hostOut ? hostOut[j] : nullptr;
        outputPtrs[j] = dst ? dst : scratch.data() + (size_t)(kNumInputs + j) * scratchFrames;
    }
}

void Vantorel::processReplacing(float** hostIn, float** hostOut, VstInt32 sampleFrames) {
    EngineLockGuard guard(engineLock);
    const int frames = std::max(0, (int)sampleFrames);
    prepareBuffers(hostIn, hostOut, frames);
    inputs = inputPtrs;
    outputs = outputPtrs;
    curOutL = passOutL = outputs[0];
    curOutR = passOutR = outputs[1];
    sampleIndex = passBase = passShift = 0;

    // Outputs 3 to 12 are written by assignment when a module feeds them; clearing
    // them first means a host's stale buffer is never heard.
    for (int j = dawOutWriters == 0 ? 0 : 2; j < kNumOutputs; ++j)
        std::fill(outputs[j], outputs[j] + frames, 0.f);

    const ModuleList& listeners = editor->blockListeners;
    for (int i = 0; i < listeners.size(); ++i)
        if (listeners[i]->processIndex != -1) listeners[i]->startBlock(frames);

    runPasses(frames);
}

namespace {

inline uint32_t wordOf(float v) {
    uint32_t w;
    std::memcpy(&w, &v, sizeof w);
    return w;
}

// One 32-bit copy per cable, as raw bits (MIDI words ride in the same slots). Four
// at a time: the loop's own bookkeeping would otherwise cost as much as the copies.
inline void transferCables(const CableCopy* c, const CableCopy* end) {
    for (; end - c >= 4; c += 4) {
        std::memcpy(c[0].dst, c[0].src, sizeof(float));
        std::memcpy(c[1].dst, c[1].src, sizeof(float));
        std::memcpy(c[2].dst, c[2].src, sizeof(float));
        std::memcpy(c[3].dst, c[3].src, sizeof(float));
    }
    for (; c != end; ++c) std::memcpy(c->dst, c->src, sizeof(float));
}

}  // namespace

// How a pass calls a module: as the list stands, or readers first.
struct Vantorel::ByProcess {
    static void run(Module* m) { m->process(); }
};
struct Vantorel::ByPass {
    static void run(Module* m) { m->processPass(); }
};

void Vantorel::runPasses(int frames) {
    const BlockPlan& plan = editor->blockPlan;
    // Every jack read without a cable must hold +0 (the zero row stands for it), and
    // every cabled input the value its source holds: a cable joined since the last
    // pass has not been copied yet, and that one block runs with the copies.
    bool asCopied = plan.mode != BlockPlan::kPassByPass;
    for (const PatchPoint* j : plan.loose) asCopied = asCopied && wordOf(j->inValue) == 0;
    for (const PatchPoint* j : plan.readers) asCopied = asCopied && wordOf(j->inValue) == wordOf(*j->source);

    if (asCopied && plan.mode == BlockPlan::kModuleMajor && oversampleFactor == 1) {
        runBlocks(frames);
    } else if (asCopied && plan.mode == BlockPlan::kReadersFirst && plan.tail.empty()) {
        Module* const* const first = plan.order.data();
        runPassLoop<ByPass>(frames, first, first + plan.order.size(), nullptr, nullptr);
    } else if (asCopied && plan.mode == BlockPlan::kReadersFirst) {
        if (oversampleFactor == 1) runPassesThenTail(frames);
        else runOversampledPassesThenTail(frames);
    } else {
        Module* const* const first = processList->items;
        const CableCopy* const copies = editor->cableCopies();
        runPassLoop<ByProcess>(frames, first, first + processList->size(), copies, copies + editor->cableCopyCount());
        return;
    }
    for (PatchPoint* j : plan.readers) std::memcpy(&j->inValue, j->source, sizeof(float));
}

// Passes after the first of a host sample run only the oversampled modules, in the
// same order; the flags change only under the lock, so one gathering serves a block.
Module* const* Vantorel::gatherOversampled(Module* const* first, Module* const* last) {
    Module** end = editor->oversampledScratch();
    for (Module* const* m = first; m != last; ++m)
        if ((*m)->oversampled) *end++ = *m;
    return end;
}

template <class Call>
void Vantorel::runPassLoop(int frames, Module* const* first, Module* const* last, const CableCopy* copies,
                           const CableCopy* copiesEnd) {
    const int factor = oversampleFactor;
    if (factor == 1) {
        for (int s = 0; s < frames; ++s) {
            for (Module* const* m = first; m != last; ++m) Call::run(*m);
            transferCables(copies, copiesEnd);
            ++curOutL, ++curOutR, ++sampleIndex;
        }
        return;
    }

    Module* const* const over = editor->oversampledScratch();
    Module* const* const overEnd = gatherOversampled(first, last);

    const bool fir = decimator.firTaps > 0;
    const float f = iirCoef;
    for (int s = 0; s < frames; ++s) {
        for (int r = 0; r < factor; ++r) {
            Module* const* const from = r == 0 ? first : over;
            Module* const* const to = r == 0 ? last : overEnd;
            for (Module* const* m = from; m != to; ++m) Call::run(*m);
            transferCables(copies, copiesEnd);
            if (fir) decimator.firPush(*curOutL, *curOutR);
            else decimator.iirPass(*curOutL, *curOutR, f);
        }
        if (fir) {
            decimator.firEvaluate(curOutL, curOutR);
        } else {
            *curOutL = decimator.iirOutL();
            *curOutR = decimator.iirOutR();
        }
        ++curOutL, ++curOutR, ++sampleIndex;
    }
}

void Vantorel::runBlocks(int frames) {
    const BlockPlan& plan = editor->blockPlan;
    for (int first = 0; first < frames; first += kBlockPasses) {
        const int n = std::min(kBlockPasses, frames - first);
        for (PatchPoint* j : plan.producers) std::memcpy(j->blockOut, &j->outValue, sizeof(float));
        for (Module* m : plan.order) m->processBlock(first, n);
    }
    sampleIndex = frames;
    curOutL = outputs[0] + frames;
    curOutR = outputs[1] + frames;
}

// Readers first, a stretch at a time: the passes, their rowed values after each,
// then the tail module by module.
void Vantorel::runPassesThenTail(int frames) {
    const BlockPlan& plan = editor->blockPlan;
    Module* const* const first = plan.order.data();
    Module* const* const last = first + plan.order.size();
    for (int start = 0; start < frames; start += kBlockPasses) {
        const int n = std::min(kBlockPasses, frames - start);
        for (PatchPoint* j : plan.producers) std::memcpy(j->blockOut, &j->outValue, sizeof(float));
        sampleIndex = start;
        curOutL = outputs[0] + start;
        curOutR = outputs[1] + start;
        for (int i = 0; i < n; ++i) {
            for (Module* const* m = first; m != last; ++m) (*m)->processPass();
            for (PatchPoint* j : plan.rowed) std::memcpy(j->blockOut + i + 1, &j->outValue, sizeof(float));
            ++curOutL, ++curOutR, ++sampleIndex;
        }
        for (Module* m : plan.tail) m->processBlock(start, n);
    }
    sampleIndex = frames;
    curOutL = outputs[0] + frames;
    curOutR = outputs[1] + frames;
}

// The same with oversampling. A stretch holds whole host samples of factor passes
// each (the first runs every module, the others the oversampled ones). The host
// outputs, all in the tail, write their oversampled values straight to the FIR's line
// (or to a row for the IIR). The decimator takes them while the next stretch's
// passes run: it does not wait on the filters that those wait on, and its loads do
// not wait on stores just made.
void Vantorel::runOversampledPassesThenTail(int frames) {
    static_assert(Decimator::kRoom >= kBlockPasses, "a stretch must fit the FIR's room");
    const BlockPlan& plan = editor->blockPlan;
    const int factor = oversampleFactor;
    int shift = 0;
    while ((1 << shift) < factor) ++shift;
    const int span = kBlockPasses >> shift;
    Module* const* const first = plan.order.data();
    Module* const* const last = first + plan.order.size();
    Module* const* const over = editor->oversampledScratch();
    Module* const* const overEnd = gatherOversampled(first, last);

    const bool fir = decimator.firTaps > 0;
    int owed = 0, owedStart = 0, owedEnd = 0;
    // Host samples i to i + count - 1 of the stretch before. The IIR's coefficient is
    // read here, not held across the passes' calls, which would keep it on the stack
    // and reload it every pass.
    auto decimate = [&](int i, int count) {
        float* const l = outputs[0] + owedStart + i;
        float* const r = outputs[1] + owedStart + i;
        if (fir) return decimator.firEvaluateRun(owedEnd + ((i + 1) << shift), factor, count, l, r);
        const float f = iirCoef;
        for (int c = 0; c < count; ++c) {
            for (int k = (i + c) << shift, end = k + factor; k != end; ++k)
                decimator.iirPass(tailOut[0][k], tailOut[1][k], f);
            l[c] = decimator.iirOutL();
            r[c] = decimator.iirOutR();
        }
    };
    for (int start = 0; start < frames; start += span) {
        const int n = std::min(span, frames - start);
        for (PatchPoint* j : plan.producers) std::memcpy(j->blockOut, &j->outValue, sizeof(float));
        int done = 0;
        for (int i = 0; i < n; ++i) {
            sampleIndex = start + i;
            curOutL = outputs[0] + start + i;
            curOutR = outputs[1] + start + i;
            const int p = (i << shift) + 1;
            for (Module* const* m = first; m != last; ++m) (*m)->processPass();
            for (PatchPoint* j : plan.rowed) std::memcpy(j->blockOut + p, &j->outValue, sizeof(float));
            for (int r = 1; r < factor; ++r) {
                for (Module* const* m = over; m != overEnd; ++m) (*m)->processPass();
                for (PatchPoint* j : plan.rowed) std::memcpy(j->blockOut + p + r, &j->outValue, sizeof(float));
            }
            // Four at a time: fewer calls, still among the passes.
            if ((i & 3) == 3 && done < owed) {
                const int count = std::min(4, owed - done);
                decimate(done, count);
                done += count;
            }
        }
        if (done < owed) decimate(done, owed - done);

        const int passes = n << shift;
        if (fir) decimator.firReserve(passes);
        passOutL = fir ? decimator.firNext(0) : tailOut[0];
        passOutR = fir ? decimator.firNext(1) : tailOut[1];
        // Without a host output the host hears silence, as pass by pass.
        if (!plan.tailWritesHost) {
            std::fill(passOutL, passOutL + passes, 0.f);
            std::fill(passOutR, passOutR + passes, 0.f);
        }
        passBase = start;
        passShift = shift;
        for (Module* m : plan.tail) m->processBlock(0, passes);
        passOutL = outputs[0];
        passOutR = outputs[1];
        passBase = passShift = 0;
        owed = n;
        owedStart = start;
        owedEnd = decimator.firEnd;
        if (fir) decimator.firAdvance(passes);
    }
    if (owed > 0) decimate(0, owed);
    sampleIndex = frames;
    curOutL = outputs[0] + frames;
    curOutR = outputs[1] + frames;
}

VstInt32 Vantorel::processEvents(VstEvents* events) {
    if (!events || events->numEvents <= 0) return 1;
    EngineLockGuard guard(engineLock);
    const ModuleList& receivers = editor->midiReceivers;
    for (int i = 0; i < receivers.size(); ++i)
        if (receivers[i]->processIndex != -1) receivers[i]->processEvents(events);
    return 1;
}

// Host parameter calls may come from any thread while the editor deletes modules;
// the lock keeps the control they name alive for the call.
void Vantorel::setParameter(VstInt32 index, float value) {
    if (editor->changing || index < 0 || index >= kNumParameters) return;
    EngineLockGuard guard(engineLock);
    CControl* c = editor->paramControls[index];
    if (!c) return;
    c->setValue(value);
    // Modules that derive state from a control (switch modes, stepped gains) must
    // hear automation as they hear the mouse, or the host's moves would do nothing.
    CViewContainer* owner = c->getParentView();
    if (owner && owner->isTypeOf("Module")) static_cast<Module*>(owner)->controlChanged(c);
}

float Vantorel::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParameters) return 0.f;
    EngineLockGuard guard(engineLock);
    CControl* c = editor->paramControls[index];
    return c ? c->getValue() : 0.f;
}

void Vantorel::getParameterName(VstInt32 index, char* text) {
    std::snprintf(text, kVstMaxParamStrLen, "P%d", (int)index);
}

VstInt32 Vantorel::getChunk(void** data, bool) {
    std::lock_guard<std::recursive_mutex> views(editor->viewLock);
    const std::vector<uint8_t>& bytes = editor->writeChunk();
    *data = (void*)bytes.data();
    return (VstInt32)bytes.size();
}

VstInt32 Vantorel::setChunk(void* data, VstInt32 size, bool) {
    if (!data || size <= 0) return 0;
    std::lock_guard<std::recursive_mutex> views(editor->viewLock);
    return editor->readChunk(static_cast<const uint8_t*>(data), (size_t)size) ? 1 : 0;
}

bool Vantorel::getInputProperties(VstInt32 index, VstPinProperties* props) {
    if (index < 0 || index >= kNumInputs) return false;
    std::memset(props, 0, sizeof *props);
    if (index < 2) copyText(props->label, index == 0 ? "In L" : "In R", kVstMaxLabelLen);
    else std::snprintf(props->label, kVstMaxLabelLen, "In %d", (int)index + 1);
    copyText(props->shortLabel, props->label, kVstMaxShortLabelLen);
    props->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool Vantorel::getOutputProperties(VstInt32 index, VstPinProperties* props) {
    if (index < 0 || index >= kNumOutputs) return false;
    std::memset(props, 0, sizeof *props);
    if (index < 2) copyText(props->label, index == 0 ? "Out L" : "Out R", kVstMaxLabelLen);
    else std::snprintf(props->label, kVstMaxLabelLen, "Out %d", (int)index + 1);
    copyText(props->shortLabel, props->label, kVstMaxShortLabelLen);
    props->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool Vantorel::getEffectName(char* name) {
    copyText(name, "Vantorel", kVstMaxEffectNameLen);
    return true;
}

bool Vantorel::getVendorString(char* text) {
    copyText(text, "Kestrelmark", kVstMaxVendorStrLen);
    return true;
}

bool Vantorel::getProductString(char* text) {
    copyText(text, "Modular Synth", kVstMaxProductStrLen);
    return true;
}

VstInt32 Vantorel::canDo(char* text) {
    static const char* const yes[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
                                      "sendVstMidiEvent", "sendVstMidiEvents"};
    for (const char* s : yes)
        if (std::strcmp(text, s) == 0) return 1;
    return -1;
}

void Vantorel::setOversampling(int v) {
    v = std::clamp(v, 0, 8);
    EngineLockGuard guard(engineLock);
    const int factor = 1 << v;
    oversampleFactor = factor;
    iirCoef = (float)(60000.0 / ((double)getSampleRate() * factor));
    const int taps = Decimator::tapCount(filterType, factor);
    decimator.setTaps(taps);
    if (factor > 1 && taps > 0) decimator.designFir(taps, 1.0 / (2.0 * factor));
    updateModuleRates();
    if (editor) editor->replan();
}

void Vantorel::setFilterType(int index) {
    EngineLockGuard guard(engineLock);
    filterType = index >= 0 && index < Decimator::kFilterEntries ? index : -1;
    const int taps = Decimator::tapCount(filterType, oversampleFactor);
    decimator.setTaps(taps);
    if (oversampleFactor > 1 && taps > 0) decimator.designFir(taps, 1.0 / (2.0 * oversampleFactor));
}

const VstTimeInfo* Vantorel::timeInfo(VstInt32 filter) {
    const VstTimeInfo* t = getTimeInfo(filter);
    if (t && (t->flags & kVstTempoValid) && t->tempo > 0.0 && std::isfinite(t->tempo)) {
        lastTempo = t->tempo;
        return t;
    }
    // No answer, or one without a usable tempo: keep the last tempo, and without any
    // answer read the transport as stopped.
    fallbackTime = t ? *t : VstTimeInfo{};
    fallbackTime.tempo = lastTempo;
    fallbackTime.flags |= kVstTempoValid;
    if (!t) fallbackTime.sampleRate = getSampleRate();
    return &fallbackTime;
}
