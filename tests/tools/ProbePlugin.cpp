// A VST 2.4 plug-in that reports what its host did, by writing it into its outputs:
//   out[0]  note number at the frame each MIDI event arrived on; -1 everywhere when the host
//           processes before resuming, -2 at frame 0 for an event outside the block
//   out[1]  transport samplePos + frame, or -1 without time info
//   out[2]  transport ppqPos, or -1 without time info
//   out[3]  in[0], to follow the audio the host feeds in
//   out[4]  never written, so it holds whatever the host left in the buffer
// effVendorSpecific relays (index, ptr) to the host callback as (opcode, ptr), so tests can
// see what the host answers a plug-in. Built in variants that break the loading contract.

#include "vst/aeffect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vst;

namespace {

constexpr int kNumParams = 4;

struct Probe {
    AEffect effect{};
    audioMasterCallback master = nullptr;
    bool resumed = false;
    std::vector<VstMidiEvent> pending;
    std::vector<unsigned char> chunk;
    float params[kNumParams] = {};
};

Probe* self(AEffect* e) { return static_cast<Probe*>(e->object); }

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float) {
    Probe* p = self(e);
    switch (opcode) {
        case effClose:
            if (p->resumed) {  // the host has to suspend first; nothing else would notice
                std::fputs("probe: closed while still resumed\n", stderr);
                std::abort();
            }
            delete p;
            return 1;
        case effMainsChanged:
            p->resumed = value != 0;
            return 0;
        case effProcessEvents: {
            const auto* list = static_cast<const VstEvents*>(ptr);
            for (VstInt32 i = 0; i < list->numEvents; ++i)
                if (list->events[i]->type == kVstMidiType)
                    p->pending.push_back(*reinterpret_cast<const VstMidiEvent*>(list->events[i]));
            return 1;
        }
        case effSetChunk: {
            // Only its own format is accepted, like a real plug-in rejecting foreign state.
            const auto* bytes = static_cast<const unsigned char*>(ptr);
            if (value < 3 || !bytes || std::memcmp(bytes, "PRB", 3) != 0) return 0;
            p->chunk.assign(bytes, bytes + value);
            return 1;
        }
        case effGetChunk:
            *static_cast<void**>(ptr) = p->chunk.data();
            return VstIntPtr(p->chunk.size());
        case effSetProgram:
            // A program change that moves parameter 1, which a host must hear about.
            p->master(e, audioMasterAutomate, 1, 0, nullptr, 0.1f * float(value));
            return 0;
        case effVendorSpecific:
            return p->master(e, index, 0, 0, ptr, 0.0f);
        default:
            return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) {
    if (index < 0 || index >= kNumParams) std::abort();  // the host let a bad index through
    self(e)->params[index] = value;
}

float getParameter(AEffect* e, VstInt32 index) {
    if (index < 0 || index >= kNumParams) std::abort();
    return self(e)->params[index];
}

void processReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
    Probe* p = self(e);
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        p->master(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
    for (VstInt32 i = 0; i < frames; ++i) {
        out[0][i] = p->resumed ? 0.0f : -1.0f;
        out[1][i] = time ? float(time->samplePos + i) : -1.0f;
        out[2][i] = time ? float(time->ppqPos) : -1.0f;
        out[3][i] = in[0][i];
    }
    for (const VstMidiEvent& ev : p->pending) {
        if (ev.deltaFrames >= 0 && ev.deltaFrames < frames)
            out[0][ev.deltaFrames] += float(ev.midiData[1]);
        else if (frames > 0)
            out[0][0] = -2.0f;
    }
    p->pending.clear();
}

}  // namespace

// Without the standard name the module is a library like any other, not a plug-in.
#ifdef PROBE_NO_ENTRY
#define PROBE_ENTRY probeEntryUnderAnotherName
#else
#define PROBE_ENTRY VSTPluginMain
#endif

extern "C" __attribute__((visibility("default"))) AEffect* PROBE_ENTRY(audioMasterCallback master) {
    // Like real plug-ins: no AEffect for a host too old (or not answering) for 2.4.
    if (master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) < 2400) return nullptr;
    auto* p = new Probe;
    AEffect& e = p->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numParams = kNumParams;
    e.numInputs = 1;
    e.numOutputs = 5;
    e.flags = effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks;
    e.uniqueID = fourCC('P', 'r', 'b', 'e');
    e.object = p;
    p->master = master;
#if defined(PROBE_NULL_EFFECT)
    delete p;
    return nullptr;
#elif defined(PROBE_BAD_MAGIC)
    e.magic = fourCC('N', 'o', 'p', 'e');
#endif
    return &e;
}
