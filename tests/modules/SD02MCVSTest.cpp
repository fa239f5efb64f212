#include <cmath>
#include <cstring>

#include "modules/HostMidiRig.h"
#include "modules/SD02MCVS.h"

using namespace hostmidi;

namespace {

// Jacks of SD02 in saved order.
enum { kClock, kReset, kGate, kNote, kVelocity, kBend, kMod, kMidiIn };

float pitch(int note) { return (float)(note - 60) / 120.f; }

// Host MIDI -> SA03 -> SD02, every SD02 output read on every pass. An event with
// deltaFrames d in a block starting at pass B leaves SA03 on pass B + d and moves
// SD02's outputs on pass B + d + 1 (one cable).
struct Voice {
    Voice() {
        sa03 = rig.add("SA03 MIDI/Sync From DAW");
        sd02 = rig.add("SD02 MIDI-CV/Sync");
        out = jacks(sd02);
        rig.cable(jacks(sa03)[0], out[kMidiIn]);
        tap = addTap(rig, {out[kClock], out[kReset], out[kGate], out[kNote], out[kVelocity], out[kBend], out[kMod]});
        for (CView* v : sd02->getChildren())
            if (v->isTypeOf("CVerticalSwitch")) switches.push_back(static_cast<CControl*>(v));
    }
    // Sends the events and renders `frames`; returns the pass the block starts on.
    long play(std::vector<vst::VstMidiEvent> events, int frames) {
        const long base = (long)tap->passes();
        if (!events.empty()) {
            EventList list(std::move(events));
            rig.plugin.processEvents(list.list);
        }
        HostBuffers io(frames);
        rig.render(io);
        return base;
    }
    void idle(int frames) {
        while (frames > 0) {
            play({}, std::min(frames, 4096));
            frames -= 4096;
        }
    }
    float at(long pass, int jack) const { return tap->at((size_t)pass, (size_t)jack); }
    ModuleKnob* glide() { return knobs(sd02)[0]; }
    ModuleKnob* bendRange() { return knobs(sd02)[1]; }
    CControl* triggerMode() { return switches[0]; }
    CControl* slide() { return switches[1]; }
    // As a user's move: value, then the module hears of it.
    void turn(CControl* c, float v) {
        c->setValue(v);
        if (c->isTypeOf("ModuleKnob")) static_cast<ModuleKnob*>(c)->snap();
        c->valueChanged();
    }

    Rig rig;
    Module* sa03;
    Module* sd02;
    std::vector<PatchPoint*> out;
    std::vector<CControl*> switches;
    Tap* tap;
};

vst::VstMidiEvent on(int d, int note, int velocity = 100) { return midi(d, 0x90, note, velocity); }
vst::VstMidiEvent off(int d, int note) { return midi(d, 0x80, note, 0); }
vst::VstMidiEvent cc(int d, int number, int value) { return midi(d, 0xB0, number, value); }

// Passes from `from` until the jack first holds exactly `value`, or -1.
long passesUntil(const Voice& v, int jack, float value, long from) {
    const long p = v.tap->find((size_t)jack, [value](float x) { return x == value; }, (size_t)from);
    return p < 0 ? -1 : p - from;
}

}  // namespace

TEST(SD02MCVS, GateFollowsNotesToTheSampleAndPitchIsNoteMinus60Over120) {
    Voice v;
    const long b = v.play({on(5, 69, 100), off(30, 69), on(40, 60, 64), midi(50, 0x90, 60, 0)}, 64);
    EXPECT_EQ(v.at(b + 5, kGate), 0.f);
    for (long p = b + 6; p <= b + 30; ++p) ASSERT_EQ(v.at(p, kGate), 1.f) << p;
    EXPECT_EQ(v.at(b + 31, kGate), 0.f);
    EXPECT_EQ(v.at(b + 6, kNote), pitch(69));
    EXPECT_FLOAT_EQ(v.at(b + 6, kNote), 0.075f);
    EXPECT_FLOAT_EQ(v.at(b + 6, kVelocity), 100.f / 127.f);
    EXPECT_EQ(v.at(b + 40, kGate), 0.f);
    EXPECT_EQ(v.at(b + 41, kGate), 1.f);
    EXPECT_EQ(v.at(b + 41, kNote), 0.f);
    EXPECT_FLOAT_EQ(v.at(b + 41, kVelocity), 64.f / 127.f);
    EXPECT_EQ(v.at(b + 50, kGate), 1.f);
    EXPECT_EQ(v.at(b + 51, kGate), 0.f);  // note on with velocity 0 is a note off
    // Every channel is heard, and the Gate light follows the Gate output.
    const long c = v.play({midi(0, 0x9F, 72, 127)}, 8);
    EXPECT_EQ(v.at(c + 1, kGate), 1.f);
    EXPECT_EQ(v.at(c + 1, kNote), pitch(72));
    EXPECT_EQ(static_cast<CControl*>(v.sd02->getChildren()[14])->getValue(), 1.f);
}

TEST(SD02MCVS, LegatoReturnsToHeldNotesAndBuriedReleasesOnlyLeaveTheStack) {
    Voice v;
    v.turn(v.triggerMode(), 0.f);  // single trigger
    long b = v.play({on(0, 60), on(10, 64), off(20, 64), off(30, 60)}, 40);
    for (long p = b + 1; p <= b + 30; ++p) ASSERT_EQ(v.at(p, kGate), 1.f) << p;
    EXPECT_EQ(v.at(b + 11, kNote), pitch(64));
    EXPECT_EQ(v.at(b + 21, kNote), pitch(60));  // back to C, no new gate
    EXPECT_EQ(v.at(b + 31, kGate), 0.f);

    // C, E, G held; releasing E changes nothing; releasing G skips E and returns to C.
    b = v.play({on(0, 60), on(1, 64), on(2, 67), off(3, 64), off(5, 67), off(7, 60)}, 16);
    EXPECT_EQ(v.at(b + 3, kNote), pitch(67));
    EXPECT_EQ(v.at(b + 5, kNote), pitch(67));
    EXPECT_EQ(v.at(b + 6, kNote), pitch(60));
    EXPECT_EQ(v.at(b + 6, kGate), 1.f);
    EXPECT_EQ(v.at(b + 8, kGate), 0.f);
}

TEST(SD02MCVS, MultiTriggerDropsTheGateForTheRetriggerGap) {
    Voice v;
    ASSERT_EQ(v.triggerMode()->getValue(), 1.f);  // multi trigger by default
    long b = v.play({on(0, 60), on(10, 64), off(20, 64)}, 32);
    EXPECT_EQ(v.at(b + 10, kGate), 1.f);
    EXPECT_EQ(v.at(b + 11, kGate), 0.f);  // exactly one sample with the default gap
    EXPECT_EQ(v.at(b + 12, kGate), 1.f);
    for (long p = b + 12; p < b + 32; ++p) ASSERT_EQ(v.at(p, kGate), 1.f) << p;  // returning to C: no drop

    // Controller 80 sets the gap in milliseconds: 10 ms is 480 samples at 48 kHz.
    b = v.play({cc(0, 80, 10), on(10, 67)}, 600);
    EXPECT_EQ(v.at(b + 10, kGate), 1.f);
    for (long p = b + 11; p < b + 11 + 480; ++p) ASSERT_EQ(v.at(p, kGate), 0.f) << p;
    EXPECT_EQ(v.at(b + 11 + 480, kGate), 1.f);
}

TEST(SD02MCVS, NoteStackHoldsFiftyEarlierNotesAndReplacesItsTop) {
    Voice v;
    std::vector<vst::VstMidiEvent> evs;
    for (int n = 10; n <= 61; ++n) evs.push_back(on(n - 10, n));  // 52 notes held
    evs.push_back(off(60, 61));
    evs.push_back(off(62, 60));
    evs.push_back(off(64, 59));  // pushed out of the stack by note 61: nothing to do
    for (int n = 58; n >= 11; --n) evs.push_back(off(66 + (58 - n) * 2, n));
    evs.push_back(off(200, 10));
    const long b = v.play(evs, 256);
    EXPECT_EQ(v.at(b + 60, kNote), pitch(61));
    EXPECT_EQ(v.at(b + 61, kNote), pitch(60));
    EXPECT_EQ(v.at(b + 63, kNote), pitch(58));  // 59 was overwritten
    EXPECT_EQ(v.at(b + 65, kNote), pitch(58));
    EXPECT_EQ(v.at(b + 67, kNote), pitch(57));
    EXPECT_EQ(v.at(b + 200, kNote), pitch(10));
    EXPECT_EQ(v.at(b + 200, kGate), 1.f);
    EXPECT_EQ(v.at(b + 201, kGate), 0.f);
}

TEST(SD02MCVS, ConstantTimeGlideTakesSixTimesGlideCubedSeconds) {
    Voice v;
    v.turn(v.glide(), 0.5f);  // 6 x 0.125 = 0.75 s = 36000 samples
    // The slide switch at 1 glides even from silence: from 0 up to note 72.
    const long b = v.play({on(0, 72)}, 64);
    v.idle(40000);
    const long took = passesUntil(v, kNote, pitch(72), b + 1);
    EXPECT_NEAR(took, 36000, 360);
    EXPECT_NEAR(v.at(b + 1 + 18000, kNote), 0.05f, 0.001f);

    // Slide switch at 0: a note after all were released jumps; a legato one glides.
    v.turn(v.slide(), 0.f);
    const long c = v.play({off(0, 72), on(10, 48)}, 64);
    EXPECT_EQ(v.at(c + 11, kNote), pitch(48));
    const long d = v.play({on(0, 60)}, 64);
    v.idle(40000);
    EXPECT_NEAR(passesUntil(v, kNote, pitch(60), d + 1), 36000, 360);
}

TEST(SD02MCVS, GlideAfterAPitchJumpHeadsForTheNewTarget) {
    Voice v;
    v.turn(v.slide(), 0.f);
    v.turn(v.glide(), 0.2f);  // 48 ms
    v.play({on(0, 60), on(10, 72)}, 64);
    v.idle(4000);
    const long b = v.play({off(0, 60), off(1, 72), on(10, 84), on(20, 72)}, 64);
    EXPECT_EQ(v.at(b + 11, kNote), pitch(84));  // jumped
    v.idle(4000);
    // Down to 72 again, not drifting away from it.
    const long took = passesUntil(v, kNote, pitch(72), b + 21);
    EXPECT_NEAR(took, 2304, 30);
    EXPECT_EQ(v.at((long)v.tap->passes() - 1, kNote), pitch(72));
}

TEST(SD02MCVS, PitchBendRangeRunsFromOneTo77Semitones) {
    Voice v;
    // Bend range knob at 0: one semitone either way; 35 ms smoothing.
    long b = v.play({midi(0, 0xE0, 127, 127)}, 64);
    v.idle(20000);
    EXPECT_NEAR(v.at(b + 1 + 1680, kBend), 0.632f / 120.f, 0.01f / 120.f);
    EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kBend), 1.f / 120.f);
    v.play({midi(0, 0xE0, 0, 0)}, 64);
    v.idle(20000);
    EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kBend), -1.f / 120.f);

    // At the top of the knob 77 semitones; the knob's own change retargets the bend.
    v.turn(v.bendRange(), 1.f);
    v.idle(20000);
    EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kBend), -77.f / 120.f);
    v.play({midi(0, 0xE0, 127, 127)}, 64);
    v.idle(20000);
    EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kBend), 77.f / 120.f);
    // The range follows the square of the knob: at 0.5, 20 semitones.
    v.turn(v.bendRange(), 0.5f);
    v.idle(20000);
    EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kBend), 20.f / 120.f);
    v.play({midi(0, 0xE0, 0, 64)}, 64);  // centre
    v.idle(20000);
    EXPECT_EQ(v.at((long)v.tap->passes() - 1, kBend), 0.f);
}

TEST(SD02MCVS, ClockPulsesAreThirtyPercentOfTheClockIntervalAndResetFollowsTransport) {
    Voice v;
    const long b = v.play({midi(10, 0xF8), on(60, 60), midi(110, 0xF8), midi(120, 0xF8), midi(150, 0xFC),
                           midi(200, 0xFA), midi(210, 0xFC), midi(230, 0xFB)},
                          300);
    // First clock: 11 samples counted since the start, so 3 samples high.
    EXPECT_EQ(v.at(b + 10, kClock), 0.f);
    for (long p = b + 11; p <= b + 13; ++p) EXPECT_EQ(v.at(p, kClock), 1.f) << p;
    EXPECT_EQ(v.at(b + 14, kClock), 0.f);
    // Second: 100 samples apart, but the sample carrying the note does not count: 29.
    EXPECT_EQ(v.at(b + 110, kClock), 0.f);
    EXPECT_EQ(v.at(b + 111, kClock), 1.f);
    // Third arrives while high: stays high and counts 10 from there, so 3 more.
    for (long p = b + 111; p <= b + 123; ++p) EXPECT_EQ(v.at(p, kClock), 1.f) << p;
    EXPECT_EQ(v.at(b + 124, kClock), 0.f);
    // Reset: 0 at first, 1 on stop, 0 on start and continue.
    EXPECT_EQ(v.at(b + 150, kReset), 0.f);
    EXPECT_EQ(v.at(b + 151, kReset), 1.f);
    EXPECT_EQ(v.at(b + 201, kReset), 0.f);
    EXPECT_EQ(v.at(b + 211, kReset), 1.f);
    EXPECT_EQ(v.at(b + 231, kReset), 0.f);

    // A clock interval with a note in it: 99 counted, pulse 29 long.
    Voice w;
    const long c = w.play({midi(10, 0xF8), on(60, 60), midi(110, 0xF8)}, 200);
    EXPECT_EQ(w.at(c + 111 + 28, kClock), 1.f);
    EXPECT_EQ(w.at(c + 111 + 29, kClock), 0.f);
}

TEST(SD02MCVS, AllNotesOffControllersCloseTheGateAndOthersAreIgnored) {
    Voice v;
    v.turn(v.triggerMode(), 0.f);
    const long b = v.play({on(0, 60), on(1, 64), cc(10, 120, 0), cc(11, 121, 0), cc(12, 127, 0), cc(20, 123, 0),
                           off(30, 60), on(40, 67)},
                          64);
    for (long p = b + 2; p <= b + 20; ++p) ASSERT_EQ(v.at(p, kGate), 1.f) << p;
    EXPECT_EQ(v.at(b + 20, kNote), pitch(64));
    EXPECT_EQ(v.at(b + 21, kGate), 0.f);
    EXPECT_EQ(v.at(b + 31, kGate), 0.f);  // the stack went too
    EXPECT_EQ(v.at(b + 41, kGate), 1.f);
    EXPECT_EQ(v.at(b + 41, kNote), pitch(67));
}

TEST(SD02MCVS, SavedRecordHoldsControlsInPanelOrderThenThirteenBytes) {
    Voice a;
    Module* m = a.sd02;
    EXPECT_EQ(m->getVersion(), 1002);
    const auto& kids = m->getChildren();
    ASSERT_EQ(kids.size(), 17u);
    for (size_t i = 0; i < 8; ++i) EXPECT_TRUE(kids[i]->isTypeOf("PatchPoint")) << i;
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(a.out[i]->direction, kJackOutput) << i;
    EXPECT_EQ(a.out[kMidiIn]->direction, kJackInput);
    EXPECT_EQ(a.out[kMidiIn]->signalType, kSignalMidi);
    EXPECT_TRUE(kids[8]->isTypeOf("ModuleKnob") && kids[9]->isTypeOf("ModuleKnob"));
    EXPECT_TRUE(kids[10]->isTypeOf("CVerticalSwitch") && kids[11]->isTypeOf("CVerticalSwitch"));
    for (size_t i = 12; i < 17; ++i) EXPECT_TRUE(kids[i]->isTypeOf("CMovieBitmap")) << i;
    EXPECT_EQ(a.out[kGate]->getViewSize().top + a.out[kGate]->getHeight() / 2, 119);
    EXPECT_EQ(a.bendRange()->getViewSize().top + a.bendRange()->getHeight() / 2, 215);
    EXPECT_EQ(a.slide()->getViewSize().top + a.slide()->getHeight() / 2, 250);
    EXPECT_EQ(m->getStateSize(), 17 * 4 + 13);

    a.turn(a.glide(), 0.3f);
    a.turn(a.bendRange(), 0.6f);
    a.turn(a.slide(), 0.f);
    a.play({cc(0, 81, 1), cc(1, 80, 10), cc(2, 7, 100), cc(3, 1, 50), cc(4, 33, 3)}, 16);
    const auto saved = savedRecord(m);
    EXPECT_EQ(saved[8], 0.3f);
    EXPECT_EQ(saved[9], 0.6f);
    EXPECT_EQ(saved[10], 1.f);
    EXPECT_EQ(saved[11], 0.f);
    const uint8_t* extra = reinterpret_cast<const uint8_t*>(saved.data()) + 68;
    EXPECT_EQ(extra[0], 1);
    EXPECT_EQ(extra[1] | extra[2] << 8 | extra[3] << 16 | extra[4] << 24, 10);
    float f;
    const uint32_t velocityBits = (uint32_t)extra[5] | extra[6] << 8 | extra[7] << 16 | (uint32_t)extra[8] << 24;
    std::memcpy(&f, &velocityBits, 4);
    EXPECT_EQ(f, 100.f * 128.f / 16383.f);
    const uint32_t modBits = (uint32_t)extra[9] | extra[10] << 8 | extra[11] << 16 | (uint32_t)extra[12] << 24;
    std::memcpy(&f, &modBits, 4);
    EXPECT_EQ(f, (50.f * 128.f + 3.f) / 16383.f);

    // Loaded as the current version the record restores sound and the 13 bytes.
    Voice b;
    b.sd02->loadState(reinterpret_cast<const int32_t*>(saved.data()), m->getStateSize(), 1002);
    EXPECT_EQ(b.slide()->getValue(), 0.f);
    EXPECT_EQ(b.glide()->getValue(), 0.3f);
    const long p = b.play({on(0, 67, 127), on(10, 72, 127)}, 64);
    b.idle(30000);
    EXPECT_EQ(b.at(p + 1, kNote), pitch(67));  // slide switch 0: jumps
    EXPECT_FLOAT_EQ(b.at(p + 1, kVelocity), 100.f * 128.f / 16383.f);
    EXPECT_EQ(b.at(p + 10, kGate), 1.f);
    for (long q = p + 11; q < p + 11 + 480; ++q) ASSERT_EQ(b.at(q, kGate), 0.f) << q;  // 10 ms gap restored
    EXPECT_EQ(b.at(p + 11 + 480, kGate), 1.f);
    // Constant-rate glide restored: 5 semitones at a unit per 48000 x 12 x 0.7 samples.
    EXPECT_NEAR(passesUntil(b, kNote, pitch(72), p + 11), 16800, 170);
    EXPECT_FLOAT_EQ(b.at((long)b.tap->passes() - 1, kMod), (50.f * 128.f + 3.f) / 16383.f);  // no controller sent
}

TEST(SD02MCVS, OlderRecordsGetTheLongerGlideAndTheSlideSwitchOn) {
    Voice a;
    a.turn(a.glide(), 0.5f);
    a.turn(a.slide(), 0.f);
    a.play({cc(0, 7, 100)}, 8);
    const auto saved = savedRecord(a.sd02);

    Voice old;
    old.sd02->loadState(reinterpret_cast<const int32_t*>(saved.data()), a.sd02->getStateSize(), 1001);
    EXPECT_EQ(old.slide()->getValue(), 1.f);
    EXPECT_FLOAT_EQ(old.glide()->getValue(), (float)(0.5 * 1.18563110149669));
    // The old law's time, 10 x g^3 seconds: 1.25 s, and from silence it slides.
    const long p = old.play({on(0, 72)}, 64);
    old.idle(70000);
    EXPECT_NEAR(passesUntil(old, kNote, pitch(72), p + 1), 60000, 600);

    // Scaled past the top of the knob, a constant-rate glide is instant, not reversed.
    Voice fast;
    fast.turn(fast.glide(), 0.9f);
    fast.play({cc(0, 81, 1)}, 8);
    const auto fastRecord = savedRecord(fast.sd02);
    Voice fastOld;
    fastOld.sd02->loadState(reinterpret_cast<const int32_t*>(fastRecord.data()), fast.sd02->getStateSize(), 1001);
    const long r = fastOld.play({on(0, 72)}, 64);
    EXPECT_EQ(fastOld.at(r + 1, kNote), pitch(72));

    // A record without the 13 trailing bytes keeps the defaults for them.
    Voice shortRecord;
    shortRecord.sd02->loadState(reinterpret_cast<const int32_t*>(saved.data()), 17 * 4, 1002);
    EXPECT_EQ(shortRecord.slide()->getValue(), 0.f);
    const long q = shortRecord.play({on(0, 60, 127)}, 8);
    EXPECT_EQ(shortRecord.at(q + 1, kVelocity), 1.f);
}

TEST(SD02MCVS, ClockWidthAtConstructionSurvivesHostsWithoutTempo) {
    {
        TimedRig rig;
        hostClock.info.tempo = 200.0;  // 0.3 of a beat: 4320 samples, under the 100 ms cap
        auto* m = static_cast<SD02MCVS*>(rig.add("SD02 MIDI-CV/Sync"));
        EXPECT_EQ(m->clockPulseSamples(), 4320);
        // Oversampling scales it with the rate.
        rig.plugin.setOversampling(1);
        EXPECT_EQ(m->clockPulseSamples(), 8640);
    }
    {
        TimedRig rig;
        hostClock.info.tempo = 0.0;  // 120 BPM instead: 7200, capped at 4800
        auto* m = static_cast<SD02MCVS*>(rig.add("SD02 MIDI-CV/Sync"));
        EXPECT_EQ(m->clockPulseSamples(), 4800);
    }
    {
        TimedRig rig;
        hostClock.info.tempo = std::nan("");  // garbage: 120 BPM as well
        auto* m = static_cast<SD02MCVS*>(rig.add("SD02 MIDI-CV/Sync"));
        EXPECT_EQ(m->clockPulseSamples(), 4800);
    }
    {
        TimedRig rig;
        hostClock.answers = false;
        auto* m = static_cast<SD02MCVS*>(rig.add("SD02 MIDI-CV/Sync"));
        EXPECT_EQ(m->clockPulseSamples(), 4800);
    }
}

TEST(SD02MCVS, ModWheelReachesEachNewValueAfterSettling) {
    Voice v;
    for (int value : {64, 10, 127}) {
        v.play({cc(0, 1, value)}, 64);
        v.idle(20000);
        EXPECT_FLOAT_EQ(v.at((long)v.tap->passes() - 1, kMod), (float)(value * 128) / 16383.f) << value;
    }
}
