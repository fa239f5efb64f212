#include <cmath>
#include <fstream>
#include <iterator>

#include "render/MidiFile.h"
#include "render/VstHost.h"
#include "support/HostMessages.h"
#include "support/PatchFixture.h"
#include "support/Pitch.h"

using render::TimedMidi;

namespace {

constexpr double kRate = 48000.0;

using fixture::chunkOf;
using fixture::midi;

std::vector<uint8_t> factoryPreset(const std::string& relative) {
    std::ifstream in(std::string(PRESETS_DIR) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    return chunkOf(relative, std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

double zeroCrossingPitch(const std::vector<float>& x, double from, double to) {
    return fixture::zeroCrossingPitch(x, kRate, from, to);
}

// Strongest period between 1 and 40 ms, for sounds whose waveform crosses zero often.
double autocorrelationPitch(const std::vector<float>& x, double from, double to) {
    const size_t a = (size_t)(from * kRate), b = (size_t)(to * kRate);
    double best = -1e30;
    int bestLag = 0;
    for (int lag = 48; lag < 1920; ++lag) {
        double s = 0;
        for (size_t i = a; i + (size_t)lag < b; ++i) s += (double)x[i] * x[i + (size_t)lag];
        s /= (double)(b - a - (size_t)lag);
        if (s > best * 1.02) best = s, bestLag = lag;
    }
    return bestLag ? kRate / bestLag : 0.0;
}

// Level of one frequency over a stretch of signal (a single DFT bin, any frequency).
double toneLevel(const std::vector<float>& x, double from, double to, double hz) {
    double re = 0, im = 0;
    const size_t a = (size_t)(from * kRate), b = (size_t)(to * kRate);
    for (size_t i = a; i < b; ++i) {
        const double w = 2.0 * M_PI * hz * (double)i / kRate;
        re += x[i] * std::cos(w);
        im += x[i] * std::sin(w);
    }
    return std::sqrt(re * re + im * im) / (double)(b - a);
}

double rms(const std::vector<float>& x, double from, double to) {
    double s = 0;
    const size_t a = (size_t)(from * kRate), b = (size_t)(to * kRate);
    for (size_t i = a; i < b; ++i) s += (double)x[i] * x[i];
    return std::sqrt(s / (double)(b - a));
}

class Voice : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.load(VANTOREL_SO)) << host.error();
        ASSERT_TRUE(host.open(kRate, 256)) << host.error();
    }
    // Host MIDI -> SD02, with one of its outputs (by jack number) heard on host output 1.
    void loadMidiCvPatch(int sd02Output, const std::function<void(Module* cv, Module* vco)>& tweak = nullptr,
                         bool throughVco = false) {
        fixture::Rig rig;
        SynEditor& e = rig.editor;
        Module* from = e.createModule("SA03 MIDI/Sync From DAW");
        Module* cv = e.createModule("SD02 MIDI-CV/Sync");
        Module* vco = e.createModule("S310 VCO");
        Module* out = e.createModule("SA05 2 DAW 12db Amplifier");
        ASSERT_TRUE(from && cv && vco && out);
        ASSERT_TRUE(rig.cable(from->jack(0), cv->jack(7), 7));
        if (throughVco) {
            ASSERT_TRUE(rig.cable(cv->jack(3), vco->jack(0)));
            ASSERT_TRUE(rig.cable(vco->jack(6), out->jack(1)));
        } else {
            ASSERT_TRUE(rig.cable(cv->jack(sd02Output), out->jack(1)));
        }
        if (tweak) tweak(cv, vco);
        ASSERT_TRUE(host.setChunk(rig.editor.writeChunk()));
    }
    static void setControl(Module* m, CControl* c, float v) {
        c->setValue(v);
        if (c->isTypeOf("ModuleKnob")) static_cast<ModuleKnob*>(c)->snap();
        m->controlChanged(c);
    }
    render::VstHost host;
};

}  // namespace

TEST_F(Voice, HostNotesSetTheOscillatorPitchWithinATenthOfAPercent) {
    loadMidiCvPatch(3, nullptr, true);
    const auto out = host.render({midi(0.0, 0x90, 69, 100), midi(1.0, 0x80, 69, 0), midi(1.0, 0x90, 60, 100)},
                                 (int64_t)(2.0 * kRate));
    EXPECT_NEAR(zeroCrossingPitch(out[0], 0.05, 0.95), 440.0, 0.44);
    EXPECT_NEAR(zeroCrossingPitch(out[0], 1.05, 1.95), 261.6256, 0.26);
}

TEST_F(Voice, GateFollowsNoteOnAndOffToTheSample) {
    loadMidiCvPatch(2);
    // Frames 1000 and 3000 fall inside blocks, so deltaFrames are 232 and 184.
    const auto out = host.render({midi(1000 / kRate, 0x90, 64, 90), midi(3000 / kRate, 0x80, 64, 0)}, 4000);
    // Two cables (SA03 -> SD02 -> output) put the gate two samples after the event.
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(out[0][(size_t)i], i >= 1002 && i < 3002 ? 1.f : 0.f) << i;
}

TEST_F(Voice, LegatoNotesReturnToHeldNotesWithoutANewGate) {
    auto singleTrigger = [this](Module* cv, Module*) { setControl(cv, cv->control("CVerticalSwitch", 0), 0.f); };
    loadMidiCvPatch(3, singleTrigger);
    const auto pitch = host.render({midi(0.0, 0x90, 60, 90), midi(0.1, 0x90, 64, 90), midi(0.2, 0x80, 64, 0),
                                    midi(0.3, 0x90, 67, 90), midi(0.35, 0x80, 60, 0), midi(0.4, 0x80, 67, 0)},
                                   (int64_t)(0.5 * kRate));
    EXPECT_EQ(pitch[0][(size_t)(0.05 * kRate)], 0.f);
    EXPECT_FLOAT_EQ(pitch[0][(size_t)(0.15 * kRate)], 4.f / 120.f);
    EXPECT_FLOAT_EQ(pitch[0][(size_t)(0.25 * kRate)], 0.f);        // back to the held C
    EXPECT_FLOAT_EQ(pitch[0][(size_t)(0.375 * kRate)], 7.f / 120.f);  // C released under G: G stays

    loadMidiCvPatch(2, singleTrigger);
    const auto gate = host.render({midi(0.0, 0x90, 60, 90), midi(0.1, 0x90, 64, 90), midi(0.2, 0x80, 64, 0),
                                   midi(0.3, 0x80, 60, 0)},
                                  (int64_t)(0.4 * kRate));
    for (size_t i = 10; i < (size_t)(0.3 * kRate); ++i) ASSERT_EQ(gate[0][i], 1.f) << i;
    EXPECT_EQ(gate[0].back(), 0.f);
}

TEST_F(Voice, GlideReachesItsTargetInTheSetTime) {
    // Constant-time glide: 6 g^3 seconds whatever the interval; g = 0.5 gives 0.75 s.
    loadMidiCvPatch(3, [](Module* cv, Module*) { setControl(cv, cv->knob(0), 0.5f); });
    const auto out = host.render({midi(0.0, 0x90, 60, 90), midi(0.5, 0x90, 72, 90)}, (int64_t)(1.5 * kRate));
    const float target = 0.1f;
    size_t reached = 0;
    for (size_t i = (size_t)(0.5 * kRate); i < out[0].size() && !reached; ++i)
        if (out[0][i] == target) reached = i;
    ASSERT_NE(reached, 0u);
    EXPECT_NEAR((double)reached / kRate - 0.5, 0.75, 0.0075);
    EXPECT_NEAR(out[0][(size_t)(0.875 * kRate)], 0.05f, 0.001f);  // halfway at half the time
}

TEST_F(Voice, PitchBendRangeRunsFromOneTo77Semitones) {
    for (float knob : {0.f, 1.f}) {
        loadMidiCvPatch(5, [knob](Module* cv, Module*) { setControl(cv, cv->knob(1), knob); });
        const auto out = host.render({midi(0.0, 0xE0, 0x7F, 0x7F), midi(0.5, 0xE0, 0x00, 0x00)},
                                     (int64_t)(1.0 * kRate));
        const float semitones = knob == 0.f ? 1.f : 77.f;
        EXPECT_NEAR(out[0][(size_t)(0.45 * kRate)], semitones / 120.f, 1e-5f) << knob;
        EXPECT_NEAR(out[0].back(), -semitones / 120.f, 1e-5f) << knob;
    }
}

TEST_F(Voice, FactoryPresetsPlayTheDemoPhraseAsNamed) {
    render::MidiSequence phrase;
    std::string error;
    ASSERT_TRUE(render::readMidiFile(DEMO_MIDI, phrase, error)) << error;
    struct Expect {
        const char* preset;
        double firstNoteHz;  // A2 is the phrase's first note
    };
    for (const Expect& e : {Expect{"Voices/Mono Voice.vtp", 110.0}, Expect{"Bass/Filter Envelope Bass.vtp", 55.0},
                            Expect{"Clocked/Tempo Pulse.vtp", 110.0}}) {
        ASSERT_TRUE(host.setChunk(factoryPreset(e.preset))) << e.preset;
        const auto out = host.render(phrase.events, (int64_t)(4.0 * kRate));
        float peak = 0.f;
        for (float v : out[0]) {
            ASSERT_TRUE(std::isfinite(v)) << e.preset;
            peak = std::max(peak, std::fabs(v));
        }
        EXPECT_LT(peak, 1.f) << e.preset;
        EXPECT_GT(rms(out[0], 0.0, 4.0), 0.03) << e.preset;
        EXPECT_EQ(out[0], out[1]) << e.preset;
        EXPECT_NEAR(autocorrelationPitch(out[0], 0.03, 0.2), e.firstNoteHz, e.firstNoteHz * 0.03) << e.preset;
        if (std::string(e.preset).find("Tempo") != std::string::npos) {
            // Sixteenths at 120 BPM: the level drops between pulses eight times a second.
            int pulses = 0;
            bool loud = false;
            for (double t = 0.0; t < 2.0; t += 0.005) {
                const double r = rms(out[0], t, t + 0.005);
                if (!loud && r > 0.05) ++pulses, loud = true;
                if (loud && r < 0.01) loud = false;
            }
            EXPECT_NEAR(pulses, 16, 1) << e.preset;
        }
    }
}

TEST_F(Voice, FactorySequenceRunsAtTheHostTempoWithoutMidi) {
    ASSERT_TRUE(host.setChunk(factoryPreset("Clocked/Tempo Sequence.vtp")));
    const auto out = host.render({}, (int64_t)(3.0 * kRate));
    // Sixteenths at 120 BPM, each step a new gate.
    int notes = 0;
    bool loud = false;
    for (double t = 1.0; t < 3.0; t += 0.005) {
        const double r = rms(out[0], t, t + 0.005);
        if (!loud && r > 0.02) ++notes, loud = true;
        if (loud && r < 0.005) loud = false;
    }
    EXPECT_NEAR(notes, 16, 1);
    // Steps 8 and 9 play C one octave below middle C.
    EXPECT_NEAR(autocorrelationPitch(out[0], 1.02, 1.11), 130.81, 130.81 * 0.03);
}

TEST_F(Voice, FactoryRoutingCarriesEveryHostInputToItsOutput) {
    ASSERT_TRUE(host.setChunk(factoryPreset("Routing/Host Channels.vtp")));
    std::vector<std::vector<float>> inputs;
    for (int k = 0; k < 10; ++k) inputs.push_back(std::vector<float>(4800, 0.05f * (float)(k + 1)));
    const auto out = host.render({}, 4800, inputs);
    for (int k = 0; k < 10; ++k) EXPECT_FLOAT_EQ(out[(size_t)k + 2].back(), 0.05f * (float)(k + 1)) << k;
    EXPECT_NEAR(out[0].back(), 0.05f, 1e-3f);  // through the low-pass at unity
    EXPECT_NEAR(out[1].back(), 0.10f, 1e-3f);
}


TEST_F(Voice, FourVoicePresetHoldsAllThreeNotesOfAChord) {
    ASSERT_TRUE(host.setChunk(factoryPreset("Voices/Four Voice Poly.vtp")));
    const auto out = host.render({midi(0.0, 0x90, 60, 100), midi(0.0, 0x90, 64, 100), midi(0.0, 0x90, 67, 100)},
                                 (int64_t)(1.5 * kRate));
    const double c = toneLevel(out[0], 0.5, 1.5, 261.63), e = toneLevel(out[0], 0.5, 1.5, 329.63),
                 g = toneLevel(out[0], 0.5, 1.5, 392.00);
    // Between the notes, and the fourth voice's silence, there is far less.
    const double between = std::max(toneLevel(out[0], 0.5, 1.5, 293.66), toneLevel(out[0], 0.5, 1.5, 349.23));
    for (double note : {c, e, g}) EXPECT_GT(note, 10.0 * between);
    EXPECT_NEAR(c / e, 1.0, 0.3);
    EXPECT_NEAR(g / e, 1.0, 0.3);
}

TEST_F(Voice, DrumAndStereoPresetsPlay) {
    ASSERT_TRUE(host.setChunk(factoryPreset("Drums/Ratchet Drums.vtp")));
    auto out = host.render({}, (int64_t)(2.0 * kRate));
    int hits = 0;
    bool loud = false;
    for (double t = 0.0; t < 2.0; t += 0.002) {
        const double r = rms(out[0], t, t + 0.002);
        if (!loud && r > 0.02) ++hits, loud = true;
        if (loud && r < 0.004) loud = false;
    }
    EXPECT_GT(hits, 16);  // sixteenths, some ratcheted
    EXPECT_LT(rms(out[0], 0.0, 2.0), 0.5);

    ASSERT_TRUE(host.setChunk(factoryPreset("Voices/Stereo Chorus Delay.vtp")));
    out = host.render({midi(0.0, 0x90, 57, 100), midi(0.5, 0x80, 57, 0)}, (int64_t)(1.5 * kRate));
    EXPECT_GT(rms(out[0], 0.1, 0.5), 0.02);
    EXPECT_GT(rms(out[0], 0.8, 1.4), 0.002);  // the delay keeps sounding after the note
    EXPECT_NE(out[0], out[1]);                // the chorus spreads left and right
}
