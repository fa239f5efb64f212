// The factory library's musical presets. Jack and knob numbers count in the order a
// module adds them (its saved order); the comments name what they are.
#include "Builder.h"

namespace {

using K = Builder;

// Pitch-CV offset knob of the dual offset generator for a number of semitones.
float semitoneOffset(int semitones) { return 0.5f + (float)semitones / 240.f; }
// The 13-position octave selectors: position 6 is the written pitch.
float octave(int shift) { return (float)(6 + shift) / 12.f; }

// Host MIDI into one MIDI-CV converter: Note CV on jack 3, Gate on jack 2.
struct MidiFront {
    explicit MidiFront(Builder& b) {
        midi = b.next("SA03 MIDI/Sync From DAW");
        cv = b.next("SD02 MIDI-CV/Sync");
        b.cable(midi->jack(0), cv->jack(7), kMidi);
    }
    PatchPoint* note() const { return cv->jack(3); }
    PatchPoint* gate() const { return cv->jack(2); }
    Module *midi, *cv;
};

void adsr(Module* env, float a, float d, float s, float r) {
    K::knob(env, 1, a);
    K::knob(env, 2, d);
    K::knob(env, 3, s);
    K::knob(env, 4, r);
}

// S404 with a 0..1 envelope on its CV: the envelope's top is a gain of 1 (20 x 0.05).
void envelopeVca(Module* vca, float inLevel = 0.5f) {
    K::knob(vca, 0, inLevel);
    K::knob(vca, 2, 0.05f);
}

// One signal to both host outputs through a gain pair (SA02: gain k^2; SA05: 4 k^2).
Module* stereoOut(Builder& b, const char* name, PatchPoint* signal, float gain) {
    Module* out = b.next(name);
    b.cable(signal, out->jack(0), kGray);
    b.cable(signal, out->jack(1), kGray);
    K::knob(out, 0, gain);
    K::knob(out, 1, gain);
    return out;
}

// Two detuned saws and a sine an octave under them, through a 24 dB low-pass that
// an envelope opens, into a linear VCA.
void subSineBass(Builder& b) {
    MidiFront f(b);
    Module* saws = b.next("S304 VCO");
    Module* sub = b.next("S302 Dual Sub/Sin VCO");
    Module* mix = b.next("S102 Unity Mixer");
    Module* vcf = b.next("S212 VCF");
    Module* fenv = b.next("S500 ADSR");
    Module* aenv = b.next("S500 ADSR");
    Module* vca = b.next("S400 Dual VCA");
    b.cable(f.note(), saws->jack(0), kBlue);
    b.cable(f.note(), sub->jack(0), kBlue);
    b.cable(f.gate(), fenv->jack(1), kGreen);
    b.cable(f.gate(), aenv->jack(1), kGreen);
    b.cable(saws->jack(3), mix->jack(0), kRed);   // Saw pair
    b.cable(sub->jack(1), mix->jack(1), kRed);    // Out1
    b.cable(mix->jack(4), vcf->jack(0), kRed);
    b.cable(fenv->jack(4), vcf->jack(1), kPurple);  // envelope -> Cut CV
    b.cable(vcf->jack(7), vca->jack(0), kRed);      // LP -> In 1
    b.cable(aenv->jack(4), vca->jack(1), kOrange);  // envelope -> CV 1
    stereoOut(b, "SA05 2 DAW 12db Amplifier", vca->jack(2), 0.37f);
    K::knob(saws, 2, 0.15f);  // Detune: about a quarter of a semitone
    K::knob(sub, 1, octave(-1));
    K::knob(vcf, 0, 0.6f);   // Lev
    K::knob(vcf, 1, 0.2f);   // Cut
    K::knob(vcf, 4, 0.35f);  // Res
    K::control(vcf, "CVerticalSwitch", 0, 1.f);  // 24 dB
    adsr(fenv, 0.f, 0.3f, 0.2f, 0.2f);
    adsr(aenv, 0.05f, 0.3f, 0.8f, 0.15f);
}

// A triangle folded over itself, weighted by a low shelf that follows an envelope.
void foldedBass(Builder& b) {
    MidiFront f(b);
    Module* vco = b.next("S310 VCO");
    Module* depth = b.next("S904 VC Attenuator/Inverter");
    Module* sum = b.next("S102 Unity Mixer");
    Module* fold = b.next("S910 Unary Tools");
    Module* shelf = b.next("S202 HP/Low Shelf VCF");
    Module* fenv = b.next("S500 ADSR");
    Module* aenv = b.next("S500 ADSR");
    Module* vca = b.next("S404 VCA");
    b.cable(f.note(), vco->jack(0), kBlue);
    b.cable(f.gate(), fenv->jack(1), kGreen);
    b.cable(f.gate(), aenv->jack(1), kGreen);
    b.cable(vco->jack(7), depth->jack(1), kRed);  // Tri -> In
    // The attenuator's output twice into the mixer doubles it, past the fold point.
    b.cable(depth->jack(2), sum->jack(0), kRed);
    b.cable(depth->jack(2), sum->jack(1), kRed);
    b.cable(sum->jack(4), fold->jack(4), kRed);     // -> In 5
    b.cable(fold->jack(11), shelf->jack(0), kRed);  // Perpend -> Audio In
    b.cable(fenv->jack(4), shelf->jack(1), kPurple);
    b.cable(shelf->jack(4), vca->jack(0), kRed);
    b.cable(aenv->jack(4), vca->jack(2), kOrange);
    stereoOut(b, "SA02 2 DAW", vca->jack(5), 1.f);
    K::knob(vco, 4, octave(-1));
    K::knob(depth, 0, 0.8f);  // fold depth
    K::control(shelf, "CVerticalSwitch", 0, 1.f);  // low shelf
    K::knob(shelf, 0, 0.7f);  // Lev
    K::knob(shelf, 1, 0.2f);  // Cut
    K::knob(shelf, 3, 0.7f);  // Shelf: about +6 dB
    adsr(fenv, 0.f, 0.35f, 0.3f, 0.2f);
    adsr(aenv, 0.02f, 0.3f, 0.7f, 0.15f);
    envelopeVca(vca);
}

// A pulse through a low pass gate that an envelope pings, with a short echo.
void pluckedGateLead(Builder& b) {
    MidiFront f(b);
    Module* vco = b.next("S310 VCO");
    Module* lpg = b.next("S205 Low Pass Gate");
    Module* env = b.next("S500 ADSR");
    Module* echo = b.next("S602 VC Delay");
    b.cable(f.note(), vco->jack(0), kBlue);
    b.cable(f.gate(), env->jack(1), kGreen);
    b.cable(vco->jack(9), lpg->jack(0), kRed);     // Pulse -> Audio In
    b.cable(env->jack(4), lpg->jack(1), kOrange);  // envelope -> C/A CV
    b.cable(lpg->jack(4), echo->jack(0), kRed);
    stereoOut(b, "SA02 2 DAW", echo->jack(4), 0.42f);
    K::knob(vco, 4, octave(1));
    K::knob(vco, 2, 0.35f);  // PW
    K::knob(lpg, 0, 0.6f);   // Lev
    K::knob(lpg, 1, 0.f);    // C/A: closed until the envelope opens it
    K::knob(lpg, 3, 0.2f);   // Drive
    K::knob(lpg, 4, 0.45f);  // Res
    adsr(env, 0.f, 0.3f, 0.f, 0.25f);
    K::knob(echo, 0, 0.35f);  // Time
    K::knob(echo, 2, 0.35f);  // Fb
    K::knob(echo, 3, 0.3f);   // Mix
}

// Two sines at an inharmonic ratio, amplitude modulated: a struck metal bar.
void ringBellLead(Builder& b) {
    MidiFront f(b);
    Module* carrier = b.next("S310 VCO");
    Module* modulator = b.next("S310 VCO");
    Module* rm = b.next("S605 RM/AM");
    Module* env = b.next("S500 ADSR");
    Module* vca = b.next("S404 VCA");
    b.cable(f.note(), carrier->jack(0), kBlue);
    b.cable(f.note(), modulator->jack(0), kBlue);
    b.cable(f.gate(), env->jack(1), kGreen);
    b.cable(carrier->jack(8), rm->jack(0), kRed);    // Sine -> Carrier
    b.cable(modulator->jack(8), rm->jack(1), kRed);  // Sine -> Modulator
    b.cable(rm->jack(3), vca->jack(0), kRed);        // AM Out
    b.cable(env->jack(4), vca->jack(2), kOrange);
    stereoOut(b, "SA02 2 DAW", vca->jack(5), 0.8f);
    K::knob(carrier, 4, octave(1));
    K::knob(modulator, 4, octave(2));
    K::knob(modulator, 0, 0.41f);  // Tune: 2.66 times the carrier
    adsr(env, 0.f, 0.5f, 0.f, 0.45f);
    envelopeVca(vca);
}

// Saw and pulse gliding between notes, through an enveloped low-pass.
void portamentoLead(Builder& b) {
    MidiFront f(b);
    Module* glide = b.next("S905 Slew Limiter");
    Module* vco = b.next("S310 VCO");
    Module* mix = b.next("S101 Mixer");
    Module* vcf = b.next("S201 VCF");
    Module* env = b.next("S500 ADSR");
    Module* vca = b.next("S404 VCA");
    b.cable(f.note(), glide->jack(0), kBlue);
    b.cable(glide->jack(1), vco->jack(0), kBlue);
    b.cable(f.gate(), env->jack(1), kGreen);
    b.cable(vco->jack(6), mix->jack(0), kRed);
    b.cable(vco->jack(9), mix->jack(1), kRed);
    b.cable(mix->jack(4), vcf->jack(0), kRed);
    b.cable(env->jack(4), vcf->jack(2), kPurple);  // Frq CV
    b.cable(vcf->jack(4), vca->jack(0), kRed);
    b.cable(env->jack(4), vca->jack(2), kOrange);
    stereoOut(b, "SA02 2 DAW", vca->jack(5), 0.9f);
    K::knob(glide, 0, 0.25f);                      // 12 x 0.25^3: 0.19 s to any note
    K::control(glide, "CVerticalSwitch", 0, 0.f);  // constant time
    K::knob(vco, 4, octave(1));
    K::knob(vcf, 0, 1.f);
    K::knob(vcf, 1, 0.35f);
    K::knob(vcf, 2, 0.35f);  // envelope depth
    K::knob(vcf, 4, 0.4f);
    adsr(env, 0.08f, 0.35f, 0.6f, 0.25f);
    envelopeVca(vca, 1.f);
}

// Poly voices of one MIDI stream: converter, oscillator, envelope and VCA each.
struct PolyVoice {
    Module *cv, *vco, *env, *vca;
};

std::vector<PolyVoice> polyVoices(Builder& b, Module* chainer, int count, const char* vcoName, int vcoOut) {
    std::vector<PolyVoice> voices;
    for (int v = 0; v < count; ++v) {
        b.newRow();
        PolyVoice pv{b.next("SD02 MIDI-CV/Sync"), b.next(vcoName), b.next("S500 ADSR"),
                     b.next("S401 Multi db VCA/Attenuator")};
        b.cable(chainer->jack(1 + v), pv.cv->jack(7), kMidi);
        b.cable(pv.cv->jack(3), pv.vco->jack(0), kBlue);
        b.cable(pv.cv->jack(2), pv.env->jack(1), kGreen);
        b.cable(pv.env->jack(4), pv.vca->jack(0), kOrange);  // envelope -> CV
        b.cable(pv.vco->jack(vcoOut), pv.vca->jack(1), kRed);
        voices.push_back(pv);
    }
    return voices;
}

// Four detuned saw voices, two by two through low-passes, drifting across the stereo
// field in opposite directions, then an eight-line chorus.
void driftingStereoPad(Builder& b) {
    Module* midi = b.next("SA03 MIDI/Sync From DAW");
    Module* poly = b.next("SD05 MIDI Poly Chainer");
    Module* mixA = b.next("S102 Unity Mixer");
    Module* mixB = b.next("S102 Unity Mixer");
    Module* vcfA = b.next("S201 VCF");
    Module* vcfB = b.next("S201 VCF");
    Module* pan = b.next("S110 Dual VC Panner");
    Module* lfo = b.next("S515 VCLFO");
    Module* inverse = b.next("S904 VC Attenuator/Inverter");
    b.newRow();
    Module* chorus = b.next("S612 Octet Chorus");
    Module* out = b.next("SA02 2 DAW");
    b.cable(midi->jack(0), poly->jack(0), kMidi);
    const std::vector<PolyVoice> voices = polyVoices(b, poly, 4, "S304 VCO", 3);
    for (size_t v = 0; v < voices.size(); ++v) {
        b.cable(voices[v].vca->jack(2), (v < 2 ? mixA : mixB)->jack((int)v % 2), kGray);
        adsr(voices[v].env, 0.3f, 0.5f, 0.8f, 0.5f);
        K::knob(voices[v].vco, 2, 0.2f);  // Detune
        K::knob(voices[v].vca, 0, 0.25f);  // -6 dB
    }
    b.cable(mixA->jack(4), vcfA->jack(0), kRed);
    b.cable(mixB->jack(4), vcfB->jack(0), kRed);
    b.cable(vcfA->jack(4), pan->jack(0), kRed);
    b.cable(vcfB->jack(4), pan->jack(2), kRed);
    b.cable(lfo->jack(4), pan->jack(1), kPurple);      // CV 1
    b.cable(lfo->jack(4), inverse->jack(1), kPurple);
    b.cable(inverse->jack(3), pan->jack(3), kPurple);  // - Out -> CV 2
    b.cable(pan->jack(4), chorus->jack(0), kRed);      // Out L -> In L
    b.cable(pan->jack(5), chorus->jack(4), kRed);      // Out R -> In R
    b.cable(chorus->jack(5), out->jack(1), kGray);
    b.cable(chorus->jack(6), out->jack(0), kGray);
    for (Module* vcf : {vcfA, vcfB}) {
        K::knob(vcf, 0, 1.f);
        K::knob(vcf, 1, 0.45f);
        K::knob(vcf, 4, 0.2f);
    }
    K::knob(pan, 1, 0.4f);
    K::knob(pan, 3, 0.4f);
    K::knob(lfo, 0, 0.25f);     // 0.4 Hz
    K::knob(lfo, 3, 4.f / 6.f);  // triangle
    K::knob(inverse, 0, 1.f);
    K::knob(chorus, 7, 1.f);  // eight lines
    K::knob(out, 0, 0.44f);
    K::knob(out, 1, 0.44f);
}

// Three thin pulse voices into a resonant low-pass that a smooth random voltage moves,
// then a long echo.
void randomShimmerPad(Builder& b) {
    Module* midi = b.next("SA03 MIDI/Sync From DAW");
    Module* poly = b.next("SD05 MIDI Poly Chainer");
    Module* mix = b.next("S102 Unity Mixer");
    Module* vcf = b.next("S212 VCF");
    Module* random = b.next("S516 R-S&H");
    Module* echo = b.next("S602 VC Delay");
    b.cable(midi->jack(0), poly->jack(0), kMidi);
    const std::vector<PolyVoice> voices = polyVoices(b, poly, 3, "S310 VCO", 9);
    for (size_t v = 0; v < voices.size(); ++v) {
        b.cable(voices[v].vca->jack(2), mix->jack((int)v), kGray);
        adsr(voices[v].env, 0.25f, 0.4f, 0.7f, 0.45f);
        K::knob(voices[v].vco, 2, 0.25f);  // PW
        K::knob(voices[v].vca, 0, 0.5f);
    }
    b.cable(mix->jack(4), vcf->jack(0), kRed);
    b.cable(random->jack(5), vcf->jack(2), kPurple);  // Rand Out -> Frq CV
    b.cable(vcf->jack(7), echo->jack(0), kRed);       // LP
    stereoOut(b, "SA05 2 DAW 12db Amplifier", echo->jack(4), 0.26f);
    K::knob(vcf, 0, 0.7f);
    K::knob(vcf, 1, 0.45f);
    K::knob(vcf, 2, 0.5f);  // random depth
    K::knob(vcf, 4, 0.5f);
    K::knob(random, 0, 0.22f);  // under 1 Hz
    K::knob(echo, 0, 0.6f);
    K::knob(echo, 2, 0.5f);
    K::knob(echo, 3, 0.35f);
}

// Kick, snare and hats from sines, noise and envelopes, the pattern made from the host
// tempo by a clock divider and logic.
void noiseDrumKit(Builder& b) {
    Module* clock = b.next("SA04 Tempo From DAW");
    Module* div = b.next("S703 Clock Divider");
    Module* logic = b.next("SC03 Logic Tools");
    Module* kick = b.next("S302 Dual Sub/Sin VCO");
    Module* sweep = b.next("S904 VC Attenuator/Inverter");
    Module* pitchEnv = b.next("S500 ADSR");
    Module* kickEnv = b.next("S500 ADSR");
    Module* snareEnv = b.next("S500 ADSR");
    Module* hatEnv = b.next("S500 ADSR");
    Module* noise = b.next("S303 Noise");
    Module* snareVcf = b.next("S212 VCF");
    Module* hatVcf = b.next("S202 HP/Low Shelf VCF");
    Module* dual = b.next("S400 Dual VCA");
    Module* snareVca = b.next("S404 VCA");
    Module* mixer = b.next("S101 Mixer");
    b.cable(clock->jack(1), div->jack(0), kGreen);
    // Sixteenths in; /4 is a square one quarter note long: a kick on every beat.
    b.cable(div->jack(2), pitchEnv->jack(1), kGreen);
    b.cable(div->jack(2), kickEnv->jack(1), kGreen);
    // The half-note square inverted: a snare on beats two and four.
    b.cable(div->jack(3), logic->jack(0), kGreen);
    b.cable(logic->jack(3), snareEnv->jack(1), kGreen);  // Inv 1
    // XOR of the eighth, quarter and half-note squares: a syncopated hat figure.
    b.cable(div->jack(1), logic->jack(1), kGreen);
    b.cable(div->jack(2), logic->jack(2), kGreen);
    b.cable(logic->jack(10), hatEnv->jack(1), kGreen);  // XOR
    b.cable(pitchEnv->jack(4), sweep->jack(1), kOrange);
    b.cable(sweep->jack(2), kick->jack(0), kBlue);  // the pitch falls as the envelope does
    b.cable(kick->jack(1), dual->jack(0), kRed);
    b.cable(kickEnv->jack(4), dual->jack(1), kOrange);
    b.cable(noise->jack(1), snareVcf->jack(0), kRed);  // White
    b.cable(noise->jack(1), hatVcf->jack(0), kRed);
    b.cable(hatVcf->jack(4), dual->jack(3), kRed);
    b.cable(hatEnv->jack(4), dual->jack(4), kOrange);
    b.cable(snareVcf->jack(7), snareVca->jack(0), kRed);  // LP
    b.cable(snareEnv->jack(4), snareVca->jack(2), kOrange);
    b.cable(dual->jack(2), mixer->jack(0), kGray);
    b.cable(snareVca->jack(5), mixer->jack(1), kGray);
    b.cable(dual->jack(5), mixer->jack(2), kGray);
    stereoOut(b, "SA02 2 DAW", mixer->jack(4), 0.8f);
    K::knob(clock, 0, 0.5f);  // four ticks per quarter note
    K::knob(kick, 1, octave(-2));
    K::knob(sweep, 0, 0.25f);  // 2.5 octaves of pitch drop
    adsr(pitchEnv, 0.f, 0.12f, 0.f, 0.1f);
    adsr(kickEnv, 0.f, 0.28f, 0.f, 0.2f);
    adsr(snareEnv, 0.f, 0.2f, 0.f, 0.15f);
    adsr(hatEnv, 0.f, 0.1f, 0.f, 0.08f);
    K::knob(snareVcf, 0, 0.8f);
    K::knob(snareVcf, 1, 0.6f);
    K::knob(snareVcf, 4, 0.3f);
    K::knob(hatVcf, 0, 0.8f);
    K::knob(hatVcf, 1, 0.75f);
    envelopeVca(snareVca);
    K::knob(mixer, 0, 0.6f);
    K::knob(mixer, 1, 0.6f);
    K::knob(mixer, 2, 0.5f);
    K::knob(mixer, 4, 0.7f);
}

// A triangle through a resonant low pass gate, pinged by a short envelope.
void woodPings(Builder& b) {
    MidiFront f(b);
    Module* vco = b.next("S310 VCO");
    Module* lpg = b.next("S205 Low Pass Gate");
    Module* env = b.next("S500 ADSR");
    b.cable(f.note(), vco->jack(0), kBlue);
    b.cable(f.gate(), env->jack(1), kGreen);
    b.cable(vco->jack(7), lpg->jack(0), kRed);
    b.cable(env->jack(4), lpg->jack(1), kOrange);
    stereoOut(b, "SA02 2 DAW", lpg->jack(4), 0.62f);
    K::knob(vco, 4, octave(1));
    K::knob(lpg, 0, 0.7f);
    K::knob(lpg, 1, 0.f);
    K::knob(lpg, 4, 0.6f);
    adsr(env, 0.f, 0.2f, 0.f, 0.15f);
}

// The held note, its fifth, octave and twelfth stepped through by a sequential switch
// on every sixteenth of the host tempo; the arpeggio sounds while a key is held.
void switchArpeggio(Builder& b) {
    MidiFront f(b);
    Module* clock = b.next("SA04 Tempo From DAW");
    Module* low = b.next("S903 Dual Offset Generator");
    Module* high = b.next("S903 Dual Offset Generator");
    Module* sw = b.next("S806 VC Sequential Switch");
    Module* vco = b.next("S310 VCO");
    Module* vcf = b.next("S201 VCF");
    Module* env = b.next("S500 ADSR");
    Module* vca = b.next("S404 VCA");
    Module* smooth = b.next("S905 Slew Limiter");
    Module* hold = b.next("S401 Multi db VCA/Attenuator");
    b.cable(clock->jack(1), sw->jack(0), kGreen);  // forward trigger
    b.cable(clock->jack(1), env->jack(1), kGreen);
    for (Module* m : {low, high}) {
        b.cable(f.note(), m->jack(0), kBlue);
        b.cable(f.note(), m->jack(2), kBlue);
    }
    b.cable(low->jack(1), sw->jack(5), kBlue);
    b.cable(low->jack(3), sw->jack(6), kBlue);
    b.cable(high->jack(1), sw->jack(7), kBlue);
    b.cable(high->jack(3), sw->jack(8), kBlue);
    b.cable(sw->jack(3), vco->jack(0), kBlue);  // common -> CV
    b.cable(vco->jack(6), vcf->jack(0), kRed);
    b.cable(env->jack(4), vcf->jack(2), kPurple);
    b.cable(vcf->jack(4), vca->jack(0), kRed);
    b.cable(env->jack(4), vca->jack(2), kOrange);
    // The key's gate, smoothed over 12 ms so that letting go does not click.
    b.cable(f.gate(), smooth->jack(0), kGreen);
    b.cable(smooth->jack(1), hold->jack(0), kOrange);
    b.cable(vca->jack(5), hold->jack(1), kRed);
    stereoOut(b, "SA02 2 DAW", hold->jack(2), 0.8f);
    K::knob(clock, 0, 0.5f);
    K::knob(low, 0, semitoneOffset(0));
    K::knob(low, 1, semitoneOffset(7));
    K::knob(high, 0, semitoneOffset(12));
    K::knob(high, 1, semitoneOffset(19));
    K::knob(vco, 4, octave(1));
    K::knob(vcf, 0, 1.f);
    K::knob(vcf, 1, 0.4f);
    K::knob(vcf, 2, 0.4f);
    K::knob(vcf, 4, 0.45f);
    adsr(env, 0.f, 0.25f, 0.2f, 0.15f);
    envelopeVca(vca);
    K::knob(smooth, 0, 0.1f);
    K::control(smooth, "CVerticalSwitch", 0, 0.f);
}

// Random pitches sampled from noise on every sixteenth, with a quick glide and an
// echo an eighth note long.
void randomBleeps(Builder& b) {
    Module* clock = b.next("SA04 Tempo From DAW");
    Module* div = b.next("S703 Clock Divider");
    Module* noise = b.next("S303 Noise");
    Module* random = b.next("S516 R-S&H");
    Module* range = b.next("S904 VC Attenuator/Inverter");
    Module* glide = b.next("S905 Slew Limiter");
    Module* vco = b.next("S304 VCO");
    Module* env = b.next("S500 ADSR");
    Module* vca = b.next("S404 VCA");
    Module* echo = b.next("S602 VC Delay");
    b.cable(clock->jack(1), random->jack(3), kGreen);  // Clock In
    b.cable(clock->jack(1), div->jack(0), kGreen);
    b.cable(clock->jack(1), env->jack(1), kGreen);
    b.cable(noise->jack(2), random->jack(6), kRed);  // Pink -> Smp. In
    b.cable(random->jack(7), range->jack(1), kBlue);  // S&H Out
    b.cable(range->jack(2), glide->jack(0), kBlue);
    b.cable(glide->jack(1), vco->jack(0), kBlue);
    b.cable(vco->jack(3), vca->jack(0), kRed);
    b.cable(env->jack(4), vca->jack(2), kOrange);
    b.cable(vca->jack(5), echo->jack(0), kRed);
    b.cable(div->jack(1), echo->jack(3), kGreen);  // the echo follows eighth notes
    stereoOut(b, "SA05 2 DAW 12db Amplifier", echo->jack(4), 0.39f);
    K::knob(clock, 0, 0.5f);
    K::knob(range, 0, 0.25f);  // pitch spread
    K::knob(glide, 0, 0.8f);   // rate law: an octave in about 11 ms
    adsr(env, 0.f, 0.15f, 0.f, 0.1f);
    envelopeVca(vca);
    K::knob(echo, 2, 0.45f);
    K::knob(echo, 3, 0.35f);
}

// Host input 1 echoed in time with the host tempo; both inputs through the chorus.
void echoChorusFx(Builder& b) {
    Module* from = b.next("SA01 2 From DAW");
    Module* clock = b.next("SA04 Tempo From DAW");
    Module* echo = b.next("S602 VC Delay");
    Module* chorus = b.next("S612 Octet Chorus");
    Module* out = b.next("SA02 2 DAW");
    b.cable(from->jack(1), echo->jack(0), kRed);  // host input 1
    b.cable(clock->jack(1), echo->jack(3), kGreen);
    b.cable(echo->jack(4), chorus->jack(0), kRed);
    b.cable(from->jack(0), chorus->jack(4), kRed);  // host input 2
    b.cable(chorus->jack(5), out->jack(1), kGray);
    b.cable(chorus->jack(6), out->jack(0), kGray);
    K::knob(clock, 0, 0.75f);  // eighth notes
    K::knob(echo, 2, 0.4f);
    K::knob(echo, 3, 0.4f);
    K::knob(chorus, 7, 1.f);
    K::knob(out, 0, 0.55f);
    K::knob(out, 1, 0.55f);
}

// Host inputs 1 and 2 ring modulated by a sine that a slow LFO bends, with some of
// the dry signal kept.
void ringModFx(Builder& b) {
    Module* from = b.next("SA01 2 From DAW");
    Module* sum = b.next("S102 Unity Mixer");
    Module* vco = b.next("S310 VCO");
    Module* lfo = b.next("S515 VCLFO");
    Module* rm = b.next("S606 VC Ring Modulator");
    b.cable(from->jack(1), sum->jack(0), kRed);
    b.cable(from->jack(0), sum->jack(1), kRed);
    b.cable(sum->jack(4), rm->jack(1), kRed);  // Car. In
    b.cable(vco->jack(8), rm->jack(3), kRed);  // Sine -> Mod. In
    b.cable(lfo->jack(4), vco->jack(1), kPurple);  // FM
    stereoOut(b, "SA05 2 DAW 12db Amplifier", rm->jack(5), 0.37f);
    K::knob(vco, 0, 0.3f);
    K::knob(vco, 1, 0.3f);
    K::knob(lfo, 0, 0.4f);
    K::knob(lfo, 3, 2.f / 6.f);  // sine-like
    K::knob(rm, 2, 0.7f);        // modulator level: 30 % dry
}

// Host inputs 1 and 2 swung from one side to the other on every beat of the host tempo.
void autoPanFx(Builder& b) {
    Module* from = b.next("SA01 2 From DAW");
    Module* sum = b.next("S102 Unity Mixer");
    Module* clock = b.next("SA04 Tempo From DAW");
    Module* halves = b.next("S703 Clock Divider");
    Module* lfo = b.next("S515 VCLFO");
    Module* depth = b.next("S904 VC Attenuator/Inverter");
    Module* dual = b.next("S400 Dual VCA");
    Module* out = b.next("SA02 2 DAW");
    b.cable(from->jack(1), sum->jack(0), kRed);
    b.cable(from->jack(0), sum->jack(1), kRed);
    b.cable(sum->jack(4), dual->jack(0), kRed);
    b.cable(sum->jack(4), dual->jack(3), kRed);
    // One LFO cycle every two beats: the beats fall alternately left and right.
    b.cable(clock->jack(1), halves->jack(0), kGreen);
    b.cable(halves->jack(1), lfo->jack(0), kGreen);
    b.cable(halves->jack(1), lfo->jack(3), kGreen);  // Restart In: the cycle starts on the beat
    b.cable(lfo->jack(4), depth->jack(1), kPurple);
    // One CV, no second: positive opens channel 1 (left), negative channel 2 (right).
    b.cable(depth->jack(2), dual->jack(1), kPurple);
    b.cable(dual->jack(2), out->jack(1), kGray);
    b.cable(dual->jack(5), out->jack(0), kGray);
    K::knob(clock, 0, 1.f);      // quarter notes
    K::knob(lfo, 0, 0.f);        // the clock alone sets the rate
    K::knob(lfo, 3, 4.f / 6.f);  // triangle
    K::knob(depth, 0, 0.5f);
    K::knob(out, 0, 0.77f);
    K::knob(out, 1, 0.77f);
}

// Host inputs 1 and 2 to the main outputs with balance and up to 12 dB of gain.
void stereoBalance(Builder& b) {
    Module* from = b.next("SA01 2 From DAW");
    Module* pan = b.next("S110 Dual VC Panner");
    Module* out = b.next("SA05 2 DAW 12db Amplifier");
    b.cable(from->jack(1), pan->jack(0), kRed);
    b.cable(from->jack(0), pan->jack(2), kRed);
    b.cable(pan->jack(4), out->jack(1), kGray);
    b.cable(pan->jack(5), out->jack(0), kGray);
    K::knob(pan, 0, 0.f);  // input 1 hard left
    K::knob(pan, 2, 1.f);  // input 2 hard right
}

// A steady A at 440 Hz, -6 dB, for tuning and level checks.
void tuningReference(Builder& b) {
    Module* pitch = b.next("S903 Dual Offset Generator");
    Module* vco = b.next("S302 Dual Sub/Sin VCO");
    b.cable(pitch->jack(1), vco->jack(0), kBlue);
    stereoOut(b, "SA02 2 DAW", vco->jack(1), 0.70710678f);
    K::knob(pitch, 0, semitoneOffset(9));
}

}  // namespace

void addLibraryPresets(std::vector<FactoryPreset>& presets) {
    const FactoryPreset more[] = {
        {"Bass", "Sub Sine Bass",
         "Two detuned saws over a sine one octave below them, through a 24 dB low-pass. Play low notes. "
         "Cut and Res on the filter shape the bite, the first envelope's D the pluck, Detune the width.",
         subSineBass},
        {"Bass", "Folded Bass",
         "A triangle folded over itself with a low shelf for weight. Play low, short notes. "
         "The attenuator sets the fold (the growl), Shelf the weight, the first envelope moves the shelf.",
         foldedBass},
        {"Leads", "Plucked Gate Lead",
         "A pulse through a resonant low pass gate, pinged by each note, with a slap echo. Play melodies "
         "in the middle of the keyboard. The envelope's D sets the pluck, Res and Drive the tone, Fb the echo.",
         pluckedGateLead},
        {"Leads", "Ring Bell Lead",
         "Two sines at an inharmonic ratio, amplitude modulated: a struck bell. Play slow melodies and "
         "let notes ring. The second oscillator's Tune changes the metal, the envelope's D the ring time.",
         ringBellLead},
        {"Leads", "Portamento Lead",
         "Saw and pulse gliding from note to note through an enveloped low-pass. Play legato lines. "
         "The slew limiter's knob sets the glide time, Cut, Frq and Res on the filter the brightness.",
         portamentoLead},
        {"Pads", "Drifting Stereo Pad",
         "Four detuned saw voices that drift slowly across the stereo field, through an eight-line "
         "chorus. Play and hold chords. The LFO's Rate sets the drift, the envelopes' A and R the swell.",
         driftingStereoPad},
        {"Pads", "Random Shimmer Pad",
         "Three pulse voices into a resonant low-pass that a smooth random voltage keeps moving, with a "
         "long echo. Hold chords. The R-S&H Rate sets the motion, Res the shimmer, Fb on the delay the wash.",
         randomShimmerPad},
        {"Drums", "Noise Drum Kit",
         "Kick, snare and hats from a sine, noise and envelopes, playing by themselves at the host "
         "tempo. Press play. The mixer levels balance the kit; the envelopes' D set each drum's length.",
         noiseDrumKit},
        {"Drums", "Wood Pings",
         "A triangle through a resonant low pass gate that each note pings: marimba and wood block "
         "tones. Play short notes anywhere. Res sets the ring, the envelope's D the length.",
         woodPings},
        {"Sequences", "Switch Arpeggio",
         "Hold a key: the note, its fifth, octave and twelfth step by at the host tempo's sixteenths. "
         "The offset knobs set the four intervals, Cut and Res the tone, the envelope's D the note length.",
         switchArpeggio},
        {"Sequences", "Random Bleeps",
         "Random pitches from sampled noise on every sixteenth, gliding quickly, with an echo an eighth "
         "long. Press play. The attenuator sets the pitch spread, the slew knob the glide, Fb the echoes.",
         randomBleeps},
        {"Effects", "Echo Chorus FX",
         "For host audio: input 1 echoed in eighth notes of the host tempo, both inputs spread by an "
         "eight-line chorus. Fb and Mix on the delay set the echoes, Depth and Mix the chorus.",
         echoChorusFx},
        {"Effects", "Ring Mod FX",
         "For host audio: inputs 1 and 2 ring modulated by a sine that a slow LFO bends. The VCO's Tune "
         "sets the clang, the ring modulator's second Lev. the dry share, FM the wobble.",
         ringModFx},
        {"Effects", "Auto Pan FX",
         "For host audio: inputs 1 and 2 swung from one side to the other on every beat of the host "
         "tempo. The attenuator sets the depth, the tempo module's divisor the rate.",
         autoPanFx},
        {"Utilities", "Stereo Balance",
         "Host inputs 1 and 2 to the main outputs, left and right. Turn Pan 1 and Pan 2 toward the "
         "centre to narrow the image, past it to swap sides; the output knobs add up to 12 dB.",
         stereoBalance},
        {"Utilities", "Tuning Reference",
         "A steady A at 440 Hz on both main outputs at -6 dB, for tuning and level checks. Offset 1 "
         "moves the pitch a semitone per 1/240 of its travel; the output knobs set the level.",
         tuningReference},
    };
    presets.insert(presets.end(), std::begin(more), std::end(more));
}
