#include <cmath>
#include <cstring>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

vst::VstMidiEvent noteOn(int deltaFrames, int note) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = deltaFrames;
    e.midiData[0] = (char)0x90;
    e.midiData[1] = (char)note;
    e.midiData[2] = 100;
    return e;
}

struct EventList {
    explicit EventList(std::vector<vst::VstMidiEvent> evs) : events(std::move(evs)) {
        storage.resize(sizeof(vst::VstEvents) + events.size() * sizeof(void*));
        list = reinterpret_cast<vst::VstEvents*>(storage.data());
        list->numEvents = (int)events.size();
        for (size_t i = 0; i < events.size(); ++i)
            list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
    std::vector<vst::VstMidiEvent> events;
    std::vector<char> storage;
    vst::VstEvents* list;
};

}  // namespace

TEST(Engine, EmptyRackSilencesEveryOutputWhateverTheHostLeftInThem) {
    Rig rig;
    HostBuffers io(256, 0.77f);
    for (auto& b : io.in) std::fill(b.begin(), b.end(), 0.5f);
    rig.render(io);
    for (int k = 0; k < kNumOutputs; ++k)
        for (float v : io.out[k]) ASSERT_EQ(v, 0.f) << "output " << k + 1;
}

TEST(Engine, HostAudioPassesThroughTheBridgesWithTheirGainLaws) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* out = rig.add("SA02 2 DAW");
    // Children: right output then left output; the sink: right input then left input.
    rig.cable(jacks(from)[1], jacks(out)[1]);
    rig.cable(jacks(from)[0], jacks(out)[0]);
    HostBuffers io(64);
    for (int i = 0; i < 64; ++i) {
        io.in[0][i] = 0.5f + 0.001f * i;
        io.in[1][i] = -0.25f;
    }
    rig.render(io);
    // One cable: the host hears input sample i - 1 at sample i, times 0.5^2.
    EXPECT_EQ(io.out[0][0], 0.f);
    for (int i = 1; i < 64; ++i) {
        ASSERT_FLOAT_EQ(io.out[0][i], 0.25f * io.in[0][i - 1]);
        ASSERT_FLOAT_EQ(io.out[1][i], 0.25f * -0.25f);
    }
    // Squared law: three quarters of travel gives 0.5625.
    setKnob(knobs(out)[1], 0.75f);
    rig.render(io);
    EXPECT_FLOAT_EQ(io.out[0][10], 0.5625f * io.in[0][9]);

    Module* amp = rig.add("SA05 2 DAW 12db Amplifier");
    rig.cable(jacks(from)[1], jacks(amp)[1]);
    rig.render(io);  // both output modules write; the later one in the process list wins
    EXPECT_FLOAT_EQ(io.out[0][10], io.in[0][9]);  // unity at the knob's centre
    setKnob(knobs(amp)[1], 1.f);
    rig.render(io);
    EXPECT_FLOAT_EQ(io.out[0][10], 4.f * io.in[0][9]);
}

TEST(Engine, EveryCableDelaysByExactlyOnePassWhateverTheListOrder) {
    Rig rig;
    Module* out = rig.add("SA05 2 DAW 12db Amplifier");
    AddModule* c = rig.addCustom<AddModule>();
    AddModule* b = rig.addCustom<AddModule>();
    AddModule* a = rig.addCustom<AddModule>();
    Module* from = rig.add("SA01 2 From DAW");
    // Built back to front so the process list runs the chain in reverse.
    rig.cable(c->out, jacks(out)[1]);
    rig.cable(b->out, c->in);
    rig.cable(a->out, b->in);
    rig.cable(jacks(from)[1], a->in);
    HostBuffers io(32);
    io.in[0][3] = 1.f;
    rig.render(io);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(io.out[0][i], i == 3 + 4 ? 1.f : 0.f) << i;
}

TEST(Engine, FeedbackCableCarriesThePreviousPass) {
    Rig rig;
    AddModule* acc = rig.addCustom<AddModule>(1.f);
    rig.cable(acc->out, acc->in);
    EXPECT_EQ(acc->cableCount, 2);
    HostBuffers io(10);
    rig.render(io);
    EXPECT_EQ(acc->out->outValue, 10.f);
    EXPECT_EQ(acc->in->inValue, 10.f);
}

TEST(Engine, LastWriterInTheProcessListWinsAndMovesToTheEndWhenReactivated) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* first = rig.add("SA02 2 DAW");
    Module* second = rig.add("SA02 2 DAW");
    setKnob(knobs(first)[1], 1.f);    // gain 1
    setKnob(knobs(second)[1], 0.5f);  // gain 0.25
    rig.cable(jacks(from)[1], jacks(first)[1]);
    rig.cable(jacks(from)[1], jacks(second)[1]);
    EXPECT_EQ(rig.plugin.dawOutWriters, 2);
    HostBuffers io(8);
    std::fill(io.in[0].begin(), io.in[0].end(), 0.8f);
    rig.render(io);
    EXPECT_FLOAT_EQ(io.out[0][5], 0.2f);

    rig.editor.disconnectJack(jacks(first)[1]);
    EXPECT_EQ(first->processIndex, -1);
    EXPECT_EQ(rig.plugin.dawOutWriters, 1);
    rig.cable(jacks(from)[1], jacks(first)[1]);
    EXPECT_EQ(first->processIndex, rig.editor.processList.last);
    rig.render(io);
    EXPECT_FLOAT_EQ(io.out[0][5], 0.8f);
}

TEST(Engine, InactiveModulesStopAndKeepTheirOutputs) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    AddModule* sink = rig.addCustom<AddModule>();
    Cable* c = rig.cable(jacks(from)[1], sink->in);
    HostBuffers io(4);
    std::fill(io.in[0].begin(), io.in[0].end(), 0.7f);
    rig.render(io);
    rig.editor.removeCable(c);
    EXPECT_EQ(from->processIndex, -1);
    EXPECT_EQ(sink->in->inValue, 0.f);  // unplugging reads 0 at once
    std::fill(io.in[0].begin(), io.in[0].end(), 0.3f);
    const long calls = sink->calls;
    rig.render(io);
    EXPECT_EQ(jacks(from)[1]->outValue, 0.7f);
    EXPECT_EQ(sink->calls, calls);
}

TEST(Engine, BlockHooksAndMidiReachOnlyActiveRegisteredModules) {
    Rig rig;
    MidiProbe* probe = rig.addCustom<MidiProbe>();
    EventList events({noteOn(0, 60)});
    HostBuffers io(16);
    EXPECT_EQ(rig.plugin.processEvents(events.list), 1);
    rig.render(io);
    EXPECT_EQ(probe->eventCalls, 0);
    EXPECT_TRUE(probe->blockFrames.empty());

    rig.editor.setAlwaysOn(probe, true);
    EXPECT_EQ(rig.plugin.processEvents(events.list), 1);
    rig.render(io);
    HostBuffers empty(0);
    rig.render(empty);  // a block of no samples still gets its hook
    EXPECT_EQ(probe->eventCalls, 1);
    EXPECT_EQ(probe->blockFrames, (std::vector<int>{16, 0}));

    rig.editor.setAlwaysOn(probe, false);
    rig.plugin.processEvents(events.list);
    rig.render(io);
    EXPECT_EQ(probe->eventCalls, 1);
    EXPECT_EQ(probe->blockFrames.size(), 2u);

    // Without any receiver the call still answers 1.
    rig.editor.deleteModule(probe);
    EXPECT_EQ(rig.plugin.processEvents(events.list), 1);
}

TEST(Engine, MidiWordsArriveOnTheSampleTheirDeltaFramesNameAndKeepTheirBits) {
    Rig rig;
    MidiProbe* probe = rig.addCustom<MidiProbe>();
    MidiSink* sink = rig.addCustom<MidiSink>();
    ASSERT_NE(rig.cable(probe->midiOut, sink->midiIn), nullptr);
    EXPECT_EQ(sink->midiIn->getValue(), 1.f);  // plugged frame
    EventList events({noteOn(5, 60), noteOn(5, 64), noteOn(9, 67)});
    // A word whose bits read as a NaN as a float must still travel untouched.
    const unsigned char nanBits[4] = {0x01, 0x00, 0xA0, 0x7F};
    std::memcpy(events.events[2].midiData, nanBits, 4);
    rig.plugin.processEvents(events.list);
    HostBuffers io(16);
    rig.render(io);
    EXPECT_EQ(probe->emittedAt, (std::vector<int>{5, 6, 9}));
    ASSERT_EQ(sink->received.size(), 3u);
    // One cable: each word reaches the reader one pass later.
    EXPECT_EQ(sink->received[0].first, 6);
    EXPECT_EQ(sink->received[0].second, 0x00643C90u);
    EXPECT_EQ(sink->received[2].first, 10);
    EXPECT_EQ(sink->received[2].second, 0x7FA00001u);
}

namespace {
vst::VstTimeInfo hostTime;
bool hostAnswers = true;
vst::VstIntPtr timeHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterGetTime) return hostAnswers ? (vst::VstIntPtr)&hostTime : 0;
    return 0;
}
}  // namespace

TEST(Engine, TimeInfoIsNeverNullAndKeepsTheLastUsableTempo) {
    Vantorel plugin(timeHost);
    hostAnswers = false;
    const vst::VstTimeInfo* t = plugin.timeInfo(vst::kVstTempoValid);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->tempo, 120.0);
    EXPECT_EQ(t->flags & vst::kVstTransportPlaying, 0);
    hostAnswers = true;
    hostTime = vst::VstTimeInfo{};
    hostTime.tempo = 93.0;
    hostTime.ppqPos = 4.0;
    hostTime.flags = vst::kVstTempoValid | vst::kVstTransportPlaying;
    EXPECT_EQ(plugin.timeInfo(1538)->tempo, 93.0);
    hostTime.tempo = 0.0;  // a host without a tempo
    t = plugin.timeInfo(1538);
    EXPECT_EQ(t->tempo, 93.0);
    EXPECT_EQ(t->ppqPos, 4.0);
    EXPECT_NE(t->flags & vst::kVstTransportPlaying, 0);
    hostAnswers = false;
    EXPECT_EQ(plugin.timeInfo(1538)->tempo, 93.0);
    EXPECT_EQ(plugin.timeInfo(1538)->flags & vst::kVstTransportPlaying, 0);
}

TEST(Engine, InPlaceHostBuffersStillReadTheInputAsItArrived) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* amp = rig.add("SA05 2 DAW 12db Amplifier");
    rig.cable(jacks(from)[1], jacks(amp)[1]);  // in 1 -> out 1
    rig.cable(jacks(from)[0], jacks(amp)[0]);  // in 2 -> out 2
    std::vector<float> shared1(32), shared2(32);
    for (int i = 0; i < 32; ++i) shared1[i] = shared2[i] = (float)(i + 1);
    std::vector<float> in3(32, 0.f);
    float* inputs[kNumInputs];
    float* outputs[kNumOutputs];
    std::vector<std::vector<float>> rest(kNumOutputs, std::vector<float>(32, 9.f));
    for (int k = 0; k < kNumInputs; ++k) inputs[k] = rest[k].data();
    for (int k = 0; k < kNumOutputs; ++k) outputs[k] = rest[k].data();
    inputs[0] = outputs[0] = shared1.data();
    inputs[1] = outputs[1] = shared2.data();
    rig.plugin.processReplacing(inputs, outputs, 32);
    for (int i = 1; i < 32; ++i) {
        ASSERT_EQ(shared1[i], (float)i);
        ASSERT_EQ(shared2[i], (float)i);
    }
    // Inputs 3..10 share buffers with outputs 3..12 here; those outputs are silent.
    for (int k = 2; k < kNumOutputs; ++k) EXPECT_EQ(rest[k][7], 0.f);
}

TEST(Engine, NullHostBuffersAreReadAsSilenceAndNeverWritten) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* amp = rig.add("SA05 2 DAW 12db Amplifier");
    rig.cable(jacks(from)[1], jacks(amp)[1]);
    std::vector<float> out1(16, 5.f);
    float* inputs[kNumInputs] = {};
    float* outputs[kNumOutputs] = {out1.data()};
    rig.plugin.processReplacing(inputs, outputs, 16);
    for (float v : out1) EXPECT_EQ(v, 0.f);
}

// Hosts may run two instances at different rates in one process (a bounce at 96 kHz
// beside a 48 kHz project); each instance's modules must run at its own rate.
TEST(Engine, EachInstanceKeepsItsOwnHostRate) {
    auto oscillator = [](Rig& rig) {
        Module* vco = rig.add("S310 VCO");
        Module* sink = rig.add("SA02 2 DAW");
        setKnob(knobs(sink)[1], 1.f);
        for (PatchPoint* j : jacks(vco))
            if (j->direction == kJackOutput) {
                rig.cable(j, jacks(sink)[1]);  // the first output: Saw
                break;
            }
        return vco;
    };
    // Zero crossings upwards in a second of output: the oscillator's frequency.
    auto risingCrossings = [](Rig& rig, int frames) {
        HostBuffers io(frames);
        rig.render(io);
        int n = 0;
        for (int i = 1; i < frames; ++i) n += io.out[0][(size_t)i - 1] < 0.f && io.out[0][(size_t)i] >= 0.f;
        return n;
    };
    Rig at48(48000.f);
    Rig at96(96000.f);  // set after the first: the last rate set must not leak into it
    Module* vco48 = oscillator(at48);
    Module* vco96 = oscillator(at96);
    EXPECT_EQ(vco48->sampleRate, 48000.f);
    EXPECT_EQ(vco96->sampleRate, 96000.f);
    const int hz48 = risingCrossings(at48, 48000), hz96 = risingCrossings(at96, 96000);
    EXPECT_GT(hz48, 20);
    EXPECT_NEAR(hz48, hz96, 1);
    // Changing one instance's rate leaves the other's modules alone.
    at96.plugin.setSampleRate(44100.f);
    Module* late = at48.add("S201 VCF");
    EXPECT_EQ(late->sampleRate, 48000.f);
    EXPECT_EQ(vco48->sampleRate, 48000.f);
}

namespace {

CControl* clipLight(Module* m) {
    for (CView* v : m->getChildren())
        if (v->isTypeOf("CMovieBitmap") && !v->isTypeOf("PatchPoint")) return static_cast<CControl*>(v);
    return nullptr;
}

uint32_t wordOf(float v) {
    uint32_t w;
    std::memcpy(&w, &v, sizeof w);
    return w;
}

PatchPoint* jackNamed(Module* m, const char* legend) {
    for (PatchPoint* j : jacks(m))
        if (m->legendOf(j) == legend) return j;
    ADD_FAILURE() << m->getName() << " has no jack " << legend;
    return nullptr;
}

// A voice played from the host's MIDI, its modules added against the flow of its
// cables (sink first), so that running module by module has to reorder them.
struct Voice {
    explicit Voice(Rig& rig, bool filtered = false) : rig(rig) {
        Module* sink = rig.add("SA02 2 DAW");
        mixer = rig.add("S101 Mixer");
        vca = rig.add("S404 VCA");
        adsr = rig.add("S500 ADSR");
        vco = rig.add("S310 VCO");
        Module* cv = rig.add("SD02 MIDI-CV/Sync");
        Module* host = rig.add("SA03 MIDI/Sync From DAW");
        rig.cable(jackNamed(host, "MIDI OUT"), jackNamed(cv, "MIDI IN"), 7);
        rig.cable(jackNamed(cv, "NOTE"), jackNamed(vco, "CV"));
        rig.cable(jackNamed(cv, "GATE"), jackNamed(adsr, "GATE"));
        rig.cable(jackNamed(adsr, "OUT"), jackNamed(vca, "CV"));
        rig.cable(jackNamed(vco, "SAW"), jackNamed(mixer, "IN 1"));
        if (filtered) {
            vcf = rig.add("S201 VCF");
            rig.cable(jackNamed(mixer, "OUT"), jackNamed(vcf, "IN"));
            rig.cable(jackNamed(vcf, "OUT"), jackNamed(vca, "IN 1"));
            for (ModuleKnob* k : knobs(vcf)) setKnob(k, 0.7f);
        } else {
            rig.cable(jackNamed(mixer, "OUT"), jackNamed(vca, "IN 1"));
        }
        rig.cable(jackNamed(vca, "OUT 1"), jackNamed(sink, "LEFT"));
        rig.cable(jackNamed(vca, "MIX"), jackNamed(sink, "RIGHT"));
        setKnob(knobs(adsr)[1], 0.2f);  // attack
        setKnob(knobs(adsr)[3], 0.6f);  // sustain
        for (Module* m : {mixer, vca, sink})
            for (ModuleKnob* k : knobs(m)) setKnob(k, 0.8f);
    }
    // Host blocks of uneven lengths, across the engine's runs of passes.
    std::vector<float> play(int frames, int note) {
        EventList ev({noteOn(frames / 3, note)});
        rig.plugin.processEvents(ev.list);
        HostBuffers io(frames);
        rig.render(io);
        std::vector<float> out = io.out[0];
        out.insert(out.end(), io.out[1].begin(), io.out[1].end());
        return out;
    }
    Rig& rig;
    Module* mixer;
    Module* vca;
    Module* vco;
    Module* adsr;
    Module* vcf = nullptr;
};

}  // namespace

TEST(Engine, ModuleByModuleBlocksSoundBitForBitAsPassByPass) {
    Rig blocks, passes;
    Voice a(blocks), b(passes);
    ASSERT_EQ(blocks.editor.blockPlan.mode, BlockPlan::kModuleMajor);
    bool clipped = false;
    auto compare = [&](int frames, int note, const char* what) {
        passes.editor.blockPlan.mode = BlockPlan::kPassByPass;
        const std::vector<float> x = a.play(frames, note), y = b.play(frames, note);
        ASSERT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0) << what;
        float peak = 0.f;
        for (float v : x) peak = std::max(peak, std::fabs(v));
        EXPECT_GT(peak, 0.01f) << what;
        // The VCA's clip light, which a block shows once it has run.
        EXPECT_EQ(clipLight(a.vca)->getValue(), clipLight(b.vca)->getValue()) << what;
        clipped = clipped || clipLight(a.vca)->getValue() == 1.f;
    };
    for (int frames : {100, 64, 1, 317}) compare(frames, 48, "steady");
    // A cable joined between blocks reaches its reader after the first pass, not before.
    for (Voice* v : {&a, &b}) v->rig.cable(jackNamed(v->vco, "PULSE"), jackNamed(v->mixer, "IN 2"));
    compare(200, 55, "new cable");
    compare(129, 60, "after the new cable");
    // Knobs on their way to a new value.
    for (Voice* v : {&a, &b}) setKnob(knobs(v->vca)[3], 0.9f);
    compare(150, 43, "knob moving");
    for (Voice* v : {&a, &b}) knobs(v->mixer)[0]->setValue(0.3f);
    compare(300, 50, "knob smoothing");
    EXPECT_TRUE(clipped);
    // Quiet for longer than the light's hold: it goes out within a block.
    for (Voice* v : {&a, &b})
        for (ModuleKnob* k : knobs(v->vca)) setKnob(k, 0.2f);
    for (int i = 0; i < 3; ++i) compare(5000, 50, "quiet");
    EXPECT_EQ(clipLight(a.vca)->getValue(), 0.f);
}

namespace {

// One patch built twice, the one run as its plan says and the other forced pass by
// pass, for a module's own block loop against its passes.
struct Twins {
    template <class Build>
    explicit Twins(Build build) : a(build(blocks)), b(build(passes)) {}
    void setSwitches(float value) {
        for (Module* m : {a, b})
            for (CView* v : m->getChildren())
                if (v->isTypeOf("CVerticalSwitch")) static_cast<CControl*>(v)->setValue(value);
    }
    // Both host outputs must agree to the bit; the planned run's are kept.
    void render(int frames, float what) {
        passes.editor.blockPlan.mode = BlockPlan::kPassByPass;
        HostBuffers x(frames), y(frames);
        blocks.render(x);
        passes.render(y);
        for (int c : {0, 1})
            EXPECT_EQ(std::memcmp(x.out[(size_t)c].data(), y.out[(size_t)c].data(), frames * sizeof(float)), 0)
                << what << " channel " << c;
        left = x.out[0];
        right = x.out[1];
    }
    Rig blocks, passes;
    Module* a;
    Module* b;
    std::vector<float> left, right;
};

float highest(const std::vector<float>& v) { return *std::max_element(v.begin(), v.end()); }

}  // namespace

// The VCA's own block loop against its passes: CV and X Fade moving, the levels
// apart, gains that clip, in each response. First both inputs with only Out 1 cabled,
// then In 1 alone with Out 1 and the mix heard.
TEST(Engine, TheVcaBlockLoopSoundsAsItsPassesInEveryResponse) {
    for (bool second : {true, false}) {
        SCOPED_TRACE(second);
        Twins t([second](Rig& rig) {
            Module* sink = rig.add("SA02 2 DAW");
            Module* vca = rig.add("S404 VCA");
            Module* audio = rig.add("S310 VCO");
            Module* control = rig.add("S310 VCO");
            rig.cable(jackNamed(audio, "SAW"), jackNamed(vca, "IN 1"));
            if (second) rig.cable(jackNamed(audio, "PULSE"), jackNamed(vca, "IN 2"));
            rig.cable(jackNamed(control, "TRI"), jackNamed(vca, "CV"));
            rig.cable(jackNamed(control, "SINE"), jackNamed(vca, "XFADE"));
            rig.cable(jackNamed(vca, "OUT 1"), jackNamed(sink, "LEFT"));
            if (!second) rig.cable(jackNamed(vca, "MIX"), jackNamed(sink, "RIGHT"));
            const float settings[] = {0.9f, 0.4f, 0.8f, 0.6f};  // levels 1 and 2, CV amount, amp
            for (int k = 0; k < 4; ++k) setKnob(knobs(vca)[(size_t)k], settings[k]);
            for (ModuleKnob* k : knobs(sink)) setKnob(k, 0.8f);
            setKnob(knobs(control)[4], 1.f);  // the top octave: the CV sweeps within a block
            return vca;
        });
        ASSERT_EQ(t.blocks.editor.blockPlan.mode, BlockPlan::kModuleMajor);
        bool clipped = false;
        float peak = 0.f, mixPeak = 0.f;
        for (float response : {0.f, 0.5f, 1.f}) {
            t.setSwitches(response);
            for (int frames : {200, 64}) {
                t.render(frames, response);
                EXPECT_EQ(clipLight(t.a)->getValue(), clipLight(t.b)->getValue()) << response;
                // Outputs without a cable too hold what a cable joined next would take first.
                for (const char* out : {"OUT 1", "OUT 2", "MIX"})
                    EXPECT_EQ(wordOf(jackNamed(t.a, out)->outValue), wordOf(jackNamed(t.b, out)->outValue)) << out;
                clipped = clipped || clipLight(t.a)->getValue() == 1.f;
                peak = std::max(peak, highest(t.left));
                mixPeak = std::max(mixPeak, highest(t.right));
            }
        }
        EXPECT_TRUE(clipped);
        EXPECT_GT(peak, 0.01f);
        if (!second) {
            EXPECT_GT(mixPeak, 0.01f);
        }
    }
}

// The envelope's own block loop against its passes: gate, retrigger and Pos. moving,
// short stages, both curves; then Pos. alone, and the gate alone (no cables on Pos.
// and Retrig.).
TEST(Engine, TheEnvelopeBlockLoopSoundsAsItsPassesOnBothCurves) {
    for (int cabled : {2, 1, 0}) {
        SCOPED_TRACE(cabled);
        Twins t([cabled](Rig& rig) {
            Module* sink = rig.add("SA02 2 DAW");
            Module* adsr = rig.add("S500 ADSR");
            Module* gate = rig.add("S310 VCO");
            Module* retrig = rig.add("S310 VCO");
            rig.cable(jackNamed(gate, "PULSE"), jackNamed(adsr, "GATE"));
            if (cabled == 2) rig.cable(jackNamed(retrig, "PULSE"), jackNamed(adsr, "RETRIG"));
            if (cabled >= 1) rig.cable(jackNamed(retrig, "TRI"), jackNamed(adsr, "POS"));
            rig.cable(jackNamed(adsr, "OUT"), jackNamed(sink, "LEFT"));
            rig.cable(jackNamed(adsr, "EOD"), jackNamed(sink, "RIGHT"));
            const float settings[] = {0.7f, 0.05f, 0.05f, 0.5f, 0.2f};  // Pos., A, D, S, R
            for (int k = 0; k < 5; ++k) setKnob(knobs(adsr)[(size_t)k], settings[k]);
            for (ModuleKnob* k : knobs(sink)) setKnob(k, 0.8f);
            setKnob(knobs(gate)[4], 0.f);  // gates of a few hundred samples
            setKnob(knobs(retrig)[4], 0.2f);
            return adsr;
        });
        ASSERT_EQ(t.blocks.editor.blockPlan.mode, BlockPlan::kModuleMajor);
        float peak = 0.f, ended = 0.f;
        for (float curve : {0.f, 1.f}) {
            t.setSwitches(curve);
            for (int frames : {3000, 64, 2000}) {
                t.render(frames, curve);
                peak = std::max(peak, highest(t.left));
                ended = std::max(ended, highest(t.right));
            }
        }
        EXPECT_GT(peak, 0.1f);
        EXPECT_GT(ended, 0.1f);  // the decay ended within a gate
    }
}

// With a module that waits on itself the patch runs readers first, at any rate, and
// what feeds no filter (the envelope, the VCA and the host output) runs module by
// module after each stretch of passes. Oversampled, a stretch ends within a host
// block, the decimator (either kind) takes the tail's rows, and a module that is not
// oversampled stays in the passes; a host output that is not leaves no tail. A VCA
// the filter feeds, its outputs left free, joins the tail.
TEST(Engine, ReadersFirstSoundBitForBitAsTheListWithItsCopies) {
    struct Case {
        int oversampling, filter;
        const char* plain;  // the module not oversampled, if any
        size_t tail;
    };
    for (const Case& c : {Case{0, 0, nullptr, 4}, Case{2, 0, nullptr, 4}, Case{2, 2, nullptr, 4},
                          Case{3, 1, "S500 ADSR", 3}, Case{2, 2, "SA02 2 DAW", 0}}) {
        Rig direct, copied;
        Voice a(direct, true), b(copied, true);
        for (Voice* v : {&a, &b}) v->rig.cable(jackNamed(v->vcf, "OUT"), jackNamed(v->rig.add("S404 VCA"), "IN 1"));
        for (Rig* r : {&direct, &copied}) {
            r->plugin.setOversampling(c.oversampling);
            r->plugin.setFilterType(c.filter);
            const ModuleList& rack = r->editor.rackModules;
            for (int i = 0; i < rack.size(); ++i)
                if (c.plain && std::strcmp(rack[i]->getName(), c.plain) == 0)
                    r->editor.setModuleOversampled(rack[i], false);
        }
        const std::string name = std::to_string(c.oversampling) + "/" + std::to_string(c.filter);
        ASSERT_EQ(direct.editor.blockPlan.mode, BlockPlan::kReadersFirst);
        EXPECT_EQ(direct.editor.blockPlan.tail.size(), c.tail) << name;
        float peak = 0.f;
        auto compare = [&](int frames, int note) {
            copied.editor.blockPlan.mode = BlockPlan::kPassByPass;
            const std::vector<float> x = a.play(frames, note), y = b.play(frames, note);
            ASSERT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0) << name;
            EXPECT_EQ(clipLight(a.vca)->getValue(), clipLight(b.vca)->getValue()) << name;
            peak = std::max(peak, *std::max_element(x.begin(), x.end()));
        };
        for (int frames : {100, 317}) compare(frames, 48);
        for (Voice* v : {&a, &b}) v->rig.cable(jackNamed(v->vco, "PULSE"), jackNamed(v->mixer, "IN 2"));
        for (int frames : {64, 200, 5}) compare(frames, 55);
        for (Voice* v : {&a, &b}) knobs(v->vca)[0]->setValue(0.3f);
        compare(150, 43);
        EXPECT_GT(peak, 0.01f) << name;
    }
}

TEST(Engine, PatchesWithLoopsOrOtherModulesRunPassByPass) {
    Rig rig;
    Module* a = rig.add("S404 VCA");
    Module* b = rig.add("S404 VCA");
    rig.cable(jackNamed(a, "OUT 1"), jackNamed(b, "IN 1"));
    EXPECT_EQ(rig.editor.blockPlan.mode, BlockPlan::kModuleMajor);
    // Feeding itself is fine: each pass reads what the last one left.
    rig.cable(jackNamed(b, "OUT 2"), jackNamed(b, "IN 2"));
    EXPECT_EQ(rig.editor.blockPlan.mode, BlockPlan::kModuleMajor);
    Cable* back = rig.cable(jackNamed(b, "MIX"), jackNamed(a, "IN 1"));
    EXPECT_EQ(rig.editor.blockPlan.mode, BlockPlan::kPassByPass);
    rig.editor.removeCable(back);
    EXPECT_EQ(rig.editor.blockPlan.mode, BlockPlan::kModuleMajor);
    rig.cable(jackNamed(b, "OUT 1"), jackNamed(rig.add("S212 VCF"), "IN"));
    EXPECT_EQ(rig.editor.blockPlan.mode, BlockPlan::kPassByPass);
}
