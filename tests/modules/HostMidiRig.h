// Shared by the tests of the host MIDI, sync and tempo modules and the MIDI-CV module:
// a plug-in whose host answers time info as the test says, host event lists, and a
// probe that reads jacks on every pass.
#pragma once

#include <cstring>
#include <vector>

#include "support/PatchFixture.h"

namespace hostmidi {

using namespace fixture;

// What the test host answers to audioMasterGetTime.
struct HostClock {
    bool answers = true;
    vst::VstTimeInfo info{};
};
inline HostClock hostClock;

inline vst::VstIntPtr timedHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterGetTime) return hostClock.answers ? (vst::VstIntPtr)&hostClock.info : 0;
    return 0;
}

// A Rig whose host is timedHost; the clock starts stopped at 0, 120 BPM.
struct TimedRig : Rig {
    explicit TimedRig(float rate = 48000.f) : Rig(rate, timedHost), rate(rate) {
        hostClock = HostClock{};
        hostClock.info.tempo = 120.0;
        hostClock.info.sampleRate = rate;
        hostClock.info.flags = vst::kVstTempoValid | vst::kVstPpqPosValid;
    }
    Cable* cable(PatchPoint* a, PatchPoint* b) { return Rig::cable(a, b, 7); }
    void setPlaying(bool on) {
        if (on) hostClock.info.flags |= vst::kVstTransportPlaying;
        else hostClock.info.flags &= ~vst::kVstTransportPlaying;
    }
    // Renders one block and moves the song position on as a playing host would.
    void render(int frames) {
        HostBuffers io(frames);
        Rig::render(io);
        if (hostClock.info.flags & vst::kVstTransportPlaying)
            hostClock.info.ppqPos += frames * hostClock.info.tempo / (60.0 * rate);
    }

    float rate;
};

inline vst::VstMidiEvent midi(int deltaFrames, int status, int data1 = 0, int data2 = 0) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = deltaFrames;
    e.midiData[0] = (char)status;
    e.midiData[1] = (char)data1;
    e.midiData[2] = (char)data2;
    return e;
}

inline uint32_t word(int status, int data1 = 0, int data2 = 0) {
    return (uint32_t)status | (uint32_t)data1 << 8 | (uint32_t)data2 << 16;
}

// A host event list that owns its events.
struct EventList {
    explicit EventList(std::vector<vst::VstMidiEvent> evs) : events(std::move(evs)) {
        storage.resize(sizeof(vst::VstEvents) + events.size() * sizeof(void*));
        list = reinterpret_cast<vst::VstEvents*>(storage.data());
        list->numEvents = (int)events.size();
        for (size_t i = 0; i < events.size(); ++i) list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
    std::vector<vst::VstMidiEvent> events;
    std::vector<char> storage;
    vst::VstEvents* list;
};

// Reads the watched jacks' outValue on every pass. Made Always ON after the rest of
// the patch, it runs last and sees what the other modules wrote in the same pass.
class Tap : public Module {
public:
    Tap(Patch* e, std::vector<PatchPoint*> watched)
        : Module(CRect(0, 0, 48, 291), e, nullptr), watched(std::move(watched)) {
        values.reserve(1 << 20);
        hostSamples.reserve(1 << 18);
    }
    void process() override {
        for (PatchPoint* j : watched) values.push_back(j->outValue);
        hostSamples.push_back(synth->sampleIndex);
    }
    size_t passes() const { return hostSamples.size(); }
    float at(size_t pass, size_t jack) const { return values[pass * watched.size() + jack]; }
    uint32_t wordAt(size_t pass, size_t jack) const {
        uint32_t w;
        std::memcpy(&w, &values[pass * watched.size() + jack], sizeof w);
        return w;
    }
    // First pass from `from` on where the jack's value satisfies pred, or -1.
    template <class Pred>
    long find(size_t jack, Pred pred, size_t from = 0) const {
        for (size_t p = from; p < passes(); ++p)
            if (pred(at(p, jack))) return (long)p;
        return -1;
    }
    std::vector<PatchPoint*> watched;
    std::vector<float> values;
    std::vector<int> hostSamples;
};

template <class R>
Tap* addTap(R& rig, std::vector<PatchPoint*> watched) {
    Tap* t = rig.template addCustom<Tap>(std::move(watched));
    rig.editor.setAlwaysOn(t, true);
    return t;
}

// The saved record of a module, as the preset writer asks for it.
inline std::vector<float> savedRecord(Module* m) {
    std::vector<float> buffer((size_t)(m->getStateSize() + 3) / 4);
    m->saveState(buffer.data(), m->getStateSize());
    return buffer;
}

}  // namespace hostmidi
