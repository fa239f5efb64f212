// Builds the factory presets through the editor's own operations and writes them
// with the real preset writer: vantorel-presets OUTPUT_FOLDER
#include <cstdio>

#include "Builder.h"

namespace {

// Host MIDI -> MIDI-CV -> VCO -> VCF -> VCA (with envelope) -> host outputs 1 and 2.
struct Voice {
    explicit Voice(Builder& b) {
        midi = b.add("SA03 MIDI/Sync From DAW", 0, 0);
        cv = b.add("SD02 MIDI-CV/Sync", 48, 0);
        vco = b.add("S310 VCO", 144, 0);
        vcf = b.add("S201 VCF", 264, 0);
        env = b.add("S500 ADSR", 360, 0);
        vca = b.add("S404 VCA", 456, 0);
        out = b.add("SA02 2 DAW", 552, 0);
        b.cable(midi->jack(0), cv->jack(7), kMidi);
        b.cable(cv->jack(3), vco->jack(0), kBlue);     // Note -> CV
        b.cable(cv->jack(2), env->jack(1), kGreen);    // Gate -> Gate
        b.cable(vco->jack(6), vcf->jack(0), kRed);     // Saw -> Audio In
        b.cable(vcf->jack(4), vca->jack(0), kRed);     // Output -> Input 1
        b.cable(env->jack(4), vca->jack(2), kOrange);  // Envelope -> CV
        b.cable(vca->jack(5), out->jack(0), kGray);    // Out 1 -> both host outputs
        b.cable(vca->jack(5), out->jack(1), kGray);
        Builder::knob(vcf, 0, 1.f);     // Lev: unity input
        Builder::knob(vca, 0, 0.5f);    // In 1 level
        Builder::knob(vca, 2, 0.05f);   // CV amount: a full envelope gives unity
        Builder::knob(out, 0, 0.8f);    // some headroom for the filter's resonance
        Builder::knob(out, 1, 0.8f);
    }
    Module *midi, *cv, *vco, *vcf, *env, *vca, *out;
};

void monoVoice(Builder& b) {
    Voice v(b);
    Builder::knob(v.vcf, 1, 0.62f);  // cutoff near 3.2 kHz
    Builder::knob(v.vcf, 4, 0.3f);
    Builder::knob(v.env, 1, 0.12f);  // A
    Builder::knob(v.env, 2, 0.35f);  // D
    Builder::knob(v.env, 3, 0.6f);   // S
    Builder::knob(v.env, 4, 0.3f);   // R
}

void filterEnvelopeBass(Builder& b) {
    Voice v(b);
    Module* fenv = b.add("S500 ADSR", 648, 0);
    b.cable(v.cv->jack(2), fenv->jack(1), kGreen);
    b.cable(fenv->jack(4), v.vcf->jack(1), kPurple);  // envelope opens the cutoff
    b.cable(v.vco->jack(9), v.vcf->jack(0), kRed);    // a square replaces the saw
    Builder::knob(v.vco, 4, 5.f / 12.f);              // one octave down
    Builder::knob(v.cv, 0, 0.15f);                    // a short slide into every note
    Builder::knob(v.vcf, 1, 0.38f);
    Builder::knob(v.vcf, 4, 0.55f);
    Builder::knob(fenv, 2, 0.3f);
    Builder::knob(fenv, 3, 0.1f);
    Builder::knob(fenv, 4, 0.2f);
    Builder::knob(v.env, 2, 0.4f);
    Builder::knob(v.env, 3, 0.8f);
    Builder::knob(v.env, 4, 0.15f);
}

// A tone gated in time with the host's tempo: the tempo clock triggers the envelope.
void tempoPulse(Builder& b) {
    Voice v(b);
    Module* clock = b.add("SA04 Tempo From DAW", 648, 0);
    b.editor.disconnectJack(v.env->jack(1));
    b.cable(clock->jack(1), v.env->jack(1), kGreen);
    Builder::knob(clock, 0, 0.5f);  // four pulses per quarter note
    Builder::knob(v.env, 1, 0.f);
    Builder::knob(v.env, 2, 0.2f);
    Builder::knob(v.env, 3, 0.f);
    Builder::knob(v.env, 4, 0.15f);
    Builder::knob(v.vcf, 1, 0.7f);
    Builder::knob(v.vcf, 4, 0.6f);
}

// A sixteen-step bass line clocked by the host tempo, its filter swept by an LFO.
void tempoSequence(Builder& b) {
    Voice v(b);
    // The sequencer plays instead of host MIDI.
    b.editor.deleteModule(v.midi);
    b.editor.deleteModule(v.cv);
    Module* clock = b.add("SA04 Tempo From DAW", 0, 1);
    Module* seq = b.add("SB11 CV Sequencer", 48, 1);
    Module* lfo = b.add("S515 VCLFO", 336, 1);
    b.cable(clock->jack(1), seq->jack(0), kGreen);
    b.cable(seq->jack(3), v.vco->jack(0), kBlue);
    b.cable(seq->jack(7), v.env->jack(1), kGreen);
    b.cable(lfo->jack(4), v.vcf->jack(2), kPurple);  // LFO -> Frq CV
    Builder::knob(clock, 0, 0.5f);                    // sixteenths
    Builder::control(seq, "CVerticalSwitch", 0, 0.5f);  // three octaves
    const int semitones[16] = {0, 0, 12, 0, 3, 0, 7, 10, 0, 0, 12, 0, 5, 3, 7, 10};
    for (int i = 0; i < 16; ++i) Builder::knob(seq, i, ((float)semitones[i] + 0.5f) / 36.f);
    Builder::knob(seq, 16, 0.4f);                     // gate length
    Builder::knob(v.vco, 4, 5.f / 12.f);              // one octave down
    Builder::knob(lfo, 0, 0.2f);                      // a slow sweep
    Builder::knob(v.vcf, 1, 0.55f);
    Builder::knob(v.vcf, 2, 0.3f);                    // sweep depth
    Builder::knob(v.vcf, 4, 0.5f);
    Builder::knob(v.env, 2, 0.25f);
    Builder::knob(v.env, 3, 0.3f);
    Builder::knob(v.env, 4, 0.1f);
}

// Host inputs 1 to 10 straight to outputs 3 to 12; inputs 1 and 2 also through a
// low-pass filter to the main outputs.
void hostChannels(Builder& b) {
    Module* from = b.add("SA11 Audio/CV From DAW", 0, 0);
    Module* to = b.add("SA12 Audio/CV To DAW", 96, 0);
    for (int k = 0; k < 10; ++k) b.cable(from->jack(k), to->jack(k), kGray);
    Module* main = b.add("SA01 2 From DAW", 192, 0);
    Module* left = b.add("S201 VCF", 240, 0);
    Module* right = b.add("S201 VCF", 336, 0);
    Module* out = b.add("SA02 2 DAW", 432, 0);
    b.cable(main->jack(1), left->jack(0), kRed);
    b.cable(main->jack(0), right->jack(0), kRed);
    b.cable(left->jack(4), out->jack(1), kRed);
    b.cable(right->jack(4), out->jack(0), kRed);
    for (Module* f : {left, right}) {
        Builder::knob(f, 0, 1.f);
        Builder::knob(f, 1, 0.55f);
    }
    Builder::knob(out, 0, 1.f);
    Builder::knob(out, 1, 1.f);
}

// Four voices from one MIDI stream: the chainer hands each note to a free voice.
void fourVoices(Builder& b) {
    Module* midi = b.add("SA03 MIDI/Sync From DAW", 0, 0);
    Module* poly = b.add("SD05 MIDI Poly Chainer", 48, 0);
    Module* mixer = b.add("S101 Mixer", 144, 0);
    Module* out = b.add("SA02 2 DAW", 240, 0);
    b.cable(midi->jack(0), poly->jack(0), kMidi);
    for (int v = 0; v < 4; ++v) {
        const int x = (v % 2) * 360, row = 1 + v / 2;
        Module* cv = b.add("SD02 MIDI-CV/Sync", x, row);
        Module* vco = b.add("S310 VCO", x + 96, row);
        Module* env = b.add("S500 ADSR", x + 216, row);
        Module* vca = b.add("S401 Multi db VCA/Attenuator", x + 312, row);
        b.cable(poly->jack(1 + v), cv->jack(7), kMidi);
        b.cable(cv->jack(3), vco->jack(0), kBlue);
        b.cable(cv->jack(2), env->jack(1), kGreen);
        b.cable(env->jack(4), vca->jack(0), kOrange);  // envelope -> CV
        b.cable(vco->jack(6), vca->jack(1), kRed);     // saw -> In 1
        b.cable(vca->jack(2), mixer->jack(v), kGray);
        Builder::knob(env, 1, 0.1f);
        Builder::knob(env, 2, 0.4f);
        Builder::knob(env, 3, 0.7f);
        Builder::knob(env, 4, 0.3f);
    }
    b.cable(mixer->jack(4), out->jack(0), kGray);
    b.cable(mixer->jack(4), out->jack(1), kGray);
    Builder::knob(mixer, 4, 0.6f);
    Builder::knob(out, 0, 0.8f);
    Builder::knob(out, 1, 0.8f);
}

// Ratchets: a noise hat and a low sine thump triggered by the ratcheting sequencer's
// internal clock, sixteenths at 120 BPM.
void ratchetDrums(Builder& b) {
    Module* seq = b.add("SB12 Racheting Trigger Sequencer", 0, 0);
    Module* noise = b.add("S303 Noise", 276, 0);
    Module* hatEnv = b.add("S500 ADSR", 324, 0);
    Module* hatVca = b.add("S404 VCA", 420, 0);
    Module* vco = b.add("S310 VCO", 516, 0);
    Module* kickEnv = b.add("S500 ADSR", 636, 0);
    Module* kickVca = b.add("S404 VCA", 732, 0);
    Module* mixer = b.add("S101 Mixer", 0, 1);
    Module* out = b.add("SA02 2 DAW", 96, 1);
    Builder::control(seq, "CVerticalSwitch", 1, 1.f);  // four tracks of four steps
    Builder::control(seq, "COnOffButton", 0, 1.f);     // running
    Builder::knob(seq, 17, 0.4472136f);                 // 40 v^2 = 8 steps a second
    const int hats[4] = {1, 2, 1, 4}, kicks[4] = {1, 0, 0, 1};
    for (int i = 0; i < 4; ++i) {
        Builder::knob(seq, i, (float)hats[i] / 10.f);
        Builder::knob(seq, 4 + i, (float)kicks[i] / 10.f);
    }
    Builder::knob(seq, 16, 0.3f);  // short pulses
    b.cable(seq->jack(2), hatEnv->jack(1), kGreen);
    b.cable(seq->jack(3), kickEnv->jack(1), kGreen);
    b.cable(noise->jack(1), hatVca->jack(0), kRed);
    b.cable(hatEnv->jack(4), hatVca->jack(2), kOrange);
    b.cable(vco->jack(8), kickVca->jack(0), kRed);    // the rectifiable sine
    b.cable(kickEnv->jack(4), kickVca->jack(2), kOrange);
    b.cable(hatVca->jack(5), mixer->jack(0), kGray);
    b.cable(kickVca->jack(5), mixer->jack(1), kGray);
    b.cable(mixer->jack(4), out->jack(0), kGray);
    b.cable(mixer->jack(4), out->jack(1), kGray);
    Builder::knob(hatEnv, 2, 0.12f);
    Builder::knob(kickEnv, 2, 0.3f);
    Builder::knob(vco, 4, 3.f / 12.f);  // three octaves down and 0.6 up: a thump near 50 Hz
    Builder::knob(vco, 0, 0.6f);
    for (Module* vca : {hatVca, kickVca}) {
        Builder::knob(vca, 0, 0.5f);
        Builder::knob(vca, 2, 0.05f);
    }
    Builder::knob(mixer, 0, 0.6f);
    Builder::knob(mixer, 1, 1.f);
    Builder::knob(mixer, 4, 0.8f);
    Builder::knob(out, 0, 0.8f);
    Builder::knob(out, 1, 0.8f);
}

// The mono voice through a delay and an eight-line stereo chorus.
void stereoChorusDelay(Builder& b) {
    Voice v(b);
    b.editor.disconnectJack(v.out->jack(0));
    b.editor.disconnectJack(v.out->jack(1));
    Module* delay = b.add("S602 VC Delay", 648, 0);
    Module* chorus = b.add("S612 Octet Chorus", 744, 0);
    b.cable(v.vca->jack(5), delay->jack(0), kRed);
    b.cable(delay->jack(4), chorus->jack(0), kRed);
    b.cable(chorus->jack(5), v.out->jack(1), kGray);   // left
    b.cable(chorus->jack(6), v.out->jack(0), kGray);   // right
    Builder::knob(delay, 0, 0.3f);
    Builder::knob(delay, 2, 0.4f);
    Builder::knob(delay, 3, 0.35f);
    Builder::knob(chorus, 7, 1.f);  // all eight lines
    Builder::knob(v.env, 1, 0.1f);
    Builder::knob(v.env, 2, 0.4f);
    Builder::knob(v.env, 3, 0.5f);
    Builder::knob(v.env, 4, 0.35f);
    Builder::knob(v.vcf, 1, 0.6f);
    // The delay's feedback stacks repeats on the notes: less gain to stay below full scale.
    Builder::knob(v.out, 0, 0.55f);
    Builder::knob(v.out, 1, 0.55f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<FactoryPreset> presets = {
        {"Voices", "Mono Voice", "Saw through a resonant low-pass, enveloped amplifier.", monoVoice},
        {"Bass", "Filter Envelope Bass", "Pulse bass, one octave down, with glide and a filter envelope.",
         filterEnvelopeBass},
        {"Clocked", "Tempo Pulse", "Notes chopped into sixteenths by the host tempo.", tempoPulse},
        {"Clocked", "Tempo Sequence", "A sixteen-step bass line at the host tempo, its filter swept by an LFO.",
         tempoSequence},
        {"Voices", "Four Voice Poly", "Four saw voices from one MIDI stream: play chords.", fourVoices},
        {"Drums", "Ratchet Drums", "Noise hats and a sine thump from the ratcheting trigger sequencer.", ratchetDrums},
        {"Voices", "Stereo Chorus Delay", "The mono voice through a delay and an eight-line stereo chorus.",
         stereoChorusDelay},
        {"Routing", "Host Channels", "Inputs 1-10 to outputs 3-12; inputs 1 and 2 filtered to the main pair.",
         hostChannels},
    };
    addLibraryPresets(presets);
    try {
        for (const FactoryPreset& p : presets) {
            Builder b;
            p.build(b);
            if (!b.save(folder, p.kind, p.name, p.description)) {
                std::fprintf(stderr, "vantorel-presets: cannot write %s/%s/%s.vtp\n", folder.c_str(), p.kind, p.name);
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorel-presets: %s\n", e.what());
        return 1;
    }
    return 0;
}
