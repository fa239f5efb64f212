#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

// Saved jack order: Pos., Gate, Retrig, EOD, Output.
enum { kPosIn, kGate, kRetrig, kEod, kOut };
// knobs() lists them in panel order, R last.
enum { kPosKnob, kA, kD, kS, kR };

// Host input 1 drives Gate, host input 2 Retrig; host output 1 hears the envelope and
// host output 2 EOD through a unity SA02. Host sample i reaches the envelope's pass
// i + 1 and its result comes out at host sample i + 2.
struct Envelope {
    explicit Envelope(float rate = 44100.f) : rig(rate) {
        Module* from = rig.add("SA01 2 From DAW");
        adsr = rig.add("S500 ADSR");
        Module* sink = rig.add("SA02 2 DAW");
        setKnob(knobs(sink)[0], 1.f);
        setKnob(knobs(sink)[1], 1.f);
        rig.cable(jacks(from)[1], jacks(adsr)[kGate]);
        rig.cable(jacks(from)[0], jacks(adsr)[kRetrig]);
        rig.cable(jacks(adsr)[kOut], jacks(sink)[1]);
        rig.cable(jacks(adsr)[kEod], jacks(sink)[0]);
    }
    void knob(int k, float v) { setKnob(knobs(adsr)[k], v); }
    void straight(bool on) { adsr->control("CVerticalSwitch", 0)->setValue(on ? 1.f : 0.f); }
    // Pos. fed from a constant.
    void pos(float cv) {
        if (!posSource) {
            posSource = rig.addCustom<AddModule>();
            rig.cable(posSource->out, jacks(adsr)[kPosIn]);
        }
        posSource->offset = cv;
    }
    // Renders `frames` samples with the gate given per host sample; `level` and `eod`
    // collect the envelope as the module produced it (pass index = host index - 1).
    void run(int frames, const std::function<float(int)>& gate, const std::function<float(int)>& retrig = nullptr) {
        HostBuffers io(frames);
        for (int i = 0; i < frames; ++i) {
            io.in[0][i] = gate(start + i);
            io.in[1][i] = retrig ? retrig(start + i) : 0.f;
        }
        rig.render(io);
        for (int i = 0; i < frames; ++i) {
            level.push_back(io.out[0][i]);
            eod.push_back(io.out[1][i]);
        }
        start += frames;
    }
    // Output of the envelope's pass n (it sees host input n - 1).
    float y(int n) const { return level[(size_t)n + 1]; }
    float e(int n) const { return eod[(size_t)n + 1]; }
    int firstEod(int from) const {
        for (size_t n = (size_t)from; n + 1 < eod.size(); ++n)
            if (e((int)n) == 1.f) return (int)n;
        return -1;
    }

    Rig rig;
    Module* adsr;
    AddModule* posSource = nullptr;
    std::vector<float> level, eod;
    int start = 0;
};

auto gateFrom(int rise, int fall = 1 << 30) {
    return [=](int i) { return i >= rise && i < fall ? 1.f : 0.f; };
}

float curvedUp(double f) { return (float)(1.0 - (1.0 - f) * (1.0 - f)); }

}  // namespace

TEST(S500ADSR, AtAllKnobsZeroTheAttackIs50AndTheDecay90SamplesAt44100InBothShapes) {
    for (bool straight : {true, false}) {
        SCOPED_TRACE(straight ? "straight" : "curved");
        Envelope env;
        env.straight(straight);
        const int g = 10;  // the gate is high from host sample 10: the trigger is pass 11
        env.run(400, gateFrom(g));
        const int t = g + 1;
        EXPECT_EQ(env.y(t), 0.f);  // the trigger pass keeps the level
        for (int j = 1; j <= 50; ++j) {
            const double f = j / 50.0;
            ASSERT_NEAR(env.y(t + j), straight ? f : curvedUp(f), 1e-6) << "attack " << j;
            ASSERT_EQ(env.e(t + j), 0.f);
        }
        EXPECT_EQ(env.y(t + 50), 1.f);
        for (int q = 1; q <= 90; ++q) {
            const double f = q / 90.0;
            ASSERT_NEAR(env.y(t + 50 + q), straight ? 1.0 - f : (1.0 - f) * (1.0 - f), 1e-6) << "decay " << q;
        }
        // Sustain (0) with EOD from the sample after the decay on, while the gate holds.
        EXPECT_EQ(env.firstEod(0), t + 141);
        for (int n = t + 141; n < 398; ++n) ASSERT_EQ(env.e(n), 1.f) << n;
        EXPECT_EQ(env.y(397), 0.f);
    }

    // The limits follow the sample rate: twice the rate, twice the samples.
    Envelope fast(44100.f);
    fast.rig.plugin.setSampleRate(88200.f);
    fast.straight(true);
    fast.run(400, gateFrom(0));
    EXPECT_EQ(fast.y(1 + 100), 1.f);
    EXPECT_LT(fast.y(1 + 99), 1.f);
    EXPECT_EQ(fast.firstEod(0), 1 + 281);
}

TEST(S500ADSR, TimeKnobsAreCubicFromTheMinimumTo22Seconds) {
    Envelope env;
    env.straight(true);
    env.knob(kA, 0.1f);  // 0.001 * (970200 - 50) + 50 = 1020.15 samples
    env.knob(kD, 0.2f);  // 0.008 * (970200 - 90) + 90 = 7850.88
    env.knob(kS, 0.5f);
    env.knob(kR, 0.1f);  // 0.001 * (970200 - 90) + 90 = 1060.11
    const int fall = 10000;
    env.run(12000, gateFrom(0, fall));
    const int t = 1;
    const double ta = 1020.15, td = 7850.88;
    EXPECT_NEAR(env.y(t + 1020), 1020.0 / ta, 1e-5);
    EXPECT_NEAR(env.y(t + 1021), 1.0 - 0.5 * (1021.0 - ta) / td, 1e-5);  // the decay has begun
    EXPECT_GT(env.y(t + 1021), env.y(t + 1022));
    // The decay runs while the position is within TA + TD = 8871.03.
    EXPECT_EQ(env.firstEod(0), t + 8872);
    EXPECT_EQ(env.y(fall - 1), 0.5f);

    // Release: the falling edge holds for a sample, then 1060 samples down to 0.
    const int r = fall + 1;
    EXPECT_EQ(env.y(r), 0.5f);
    EXPECT_EQ(env.e(r), 1.f);  // EOD too holds through the falling-edge sample
    EXPECT_EQ(env.e(r + 1), 0.f);
    EXPECT_GT(env.y(r + 1060), 0.f);
    EXPECT_EQ(env.y(r + 1061), 0.f);
    EXPECT_EQ(env.y(r + 1500), 0.f);
}

TEST(S500ADSR, ReleaseFollowsTheChosenShapeFromTheLevelAtTheFall) {
    for (bool straight : {true, false}) {
        SCOPED_TRACE(straight ? "straight" : "curved");
        Envelope env;
        env.straight(straight);
        env.knob(kS, 0.6f);
        // Falls in the middle of the decay, so the release starts from that level.
        env.run(300, gateFrom(0, 100));
        const float from = env.y(100);
        EXPECT_GT(from, 0.6f);
        EXPECT_LT(from, 1.f);
        EXPECT_EQ(env.y(101), from);
        for (int j = 1; j <= 90; ++j) {
            const double f = 1.0 - j / 90.0;
            ASSERT_NEAR(env.y(101 + j), (straight ? f : f * f) * from, 1e-6) << j;
            ASSERT_EQ(env.e(101 + j), 0.f);
        }
        EXPECT_EQ(env.y(101 + 91), 0.f);
    }
}

TEST(S500ADSR, RetriggersContinueTheAttackFromThePresentLevelInBothShapes) {
    for (bool straight : {true, false}) {
        SCOPED_TRACE(straight ? "straight" : "curved");
        // The next attack value after restarting at level y0 on a 50-sample attack.
        auto resumed = [&](float y0) {
            return straight ? y0 + 1.0 / 50.0 : 1.0 - std::pow(std::sqrt(1.0 - y0) - 1.0 / 50.0, 2.0);
        };
        auto checkResume = [&](Envelope& env, int trigger, bool eodBefore) {
            const float y0 = env.y(trigger - 1);
            EXPECT_EQ(env.e(trigger - 1), eodBefore ? 1.f : 0.f);
            EXPECT_EQ(env.y(trigger), y0);  // no jump, no restart from 0
            EXPECT_EQ(env.e(trigger), 0.f);
            EXPECT_NEAR(env.y(trigger + 1), resumed(y0), 2e-6);
            // Only the rest of the attack is played: it peaks well before 50 samples.
            int peak = trigger;
            while (env.y(peak + 1) > env.y(peak)) ++peak;
            EXPECT_NEAR(env.y(peak), 1.f, 0.03f);
            return peak - trigger;
        };

        // Retrig rising edge in the decay; the input then stays high without retriggering.
        Envelope decay;
        decay.straight(straight);
        decay.knob(kS, 0.5f);
        decay.run(600, gateFrom(0), [](int i) { return i >= 100 ? 1.f : 0.f; });
        const int rest = checkResume(decay, 101, false);
        EXPECT_LT(rest, 45);
        EXPECT_GT(decay.firstEod(101), 101 + rest);

        // From the sustain: EOD drops on the trigger sample.
        Envelope sustain;
        sustain.straight(straight);
        sustain.knob(kS, 0.5f);
        sustain.run(600, gateFrom(0), [](int i) { return i >= 300 && i < 305 ? 1.f : 0.f; });
        EXPECT_EQ(sustain.y(300), 0.5f);
        checkResume(sustain, 301, true);

        // A gate that rises again during the release.
        Envelope release;
        release.straight(straight);
        release.knob(kS, 0.8f);
        release.run(600, [](int i) { return i < 200 || i >= 230 ? 1.f : 0.f; });
        EXPECT_LT(release.y(230), 0.8f);
        EXPECT_GT(release.y(230), 0.1f);
        checkResume(release, 231, false);
    }
}

TEST(S500ADSR, TrigButtonPlaysAsAGateWhileHeld) {
    Envelope byGate, byButton;
    for (Envelope* env : {&byGate, &byButton}) {
        env->knob(kS, 0.4f);
        env->knob(kR, 0.05f);
    }
    byGate.run(400, [](int i) { return i < 200 ? 1.25f : 0.f; });
    auto* button = byButton.adsr->control("CKickButton", 0);
    ASSERT_NE(button, nullptr);
    button->setValue(1.f);
    byButton.run(200, [](int) { return 0.f; });
    button->setValue(0.f);
    byButton.run(200, [](int) { return 0.f; });
    // The button is read directly; the gate arrives through a cable one pass later.
    for (int n = 0; n < 397; ++n) ASSERT_EQ(byButton.y(n), byGate.y(n + 1)) << n;
    EXPECT_EQ(byGate.y(150), 0.4f);
    EXPECT_EQ(byButton.e(150), 1.f);
    EXPECT_LT(byButton.y(300), 0.4f);
}

TEST(S500ADSR, PosInputScalesTheRunningTimeOfTheStage) {
    Envelope twice;
    twice.knob(kPosKnob, 1.f);
    twice.straight(true);
    twice.pos(1.f);  // Pos. x Pos = 1: twice as fast
    twice.run(300, gateFrom(10));
    EXPECT_EQ(twice.y(11 + 25), 1.f);
    EXPECT_NEAR(twice.y(11 + 24), 48.0 / 50.0, 1e-6);
    EXPECT_EQ(twice.firstEod(0), 11 + 1 + 25 + 45);

    Envelope half;
    half.knob(kPosKnob, 0.5f);
    half.straight(true);
    half.pos(-1.f);  // -0.5: half as fast
    half.run(400, gateFrom(10));
    EXPECT_EQ(half.y(11 + 100), 1.f);
    EXPECT_EQ(half.firstEod(0), 11 + 1 + 100 + 180);

    // Below -1 the clock runs backwards and the attack goes below 0.
    for (bool straight : {true, false}) {
        Envelope reversed;
        reversed.knob(kPosKnob, 1.f);
        reversed.straight(straight);
        reversed.pos(-2.f);
        reversed.run(100, gateFrom(10));
        EXPECT_LT(reversed.y(40), 0.f);
        EXPECT_LT(reversed.y(41), reversed.y(40));
    }

    // A reversed release climbs above 1; a curved retrigger from there has no attack
    // left to play and goes on with the decay (never a NaN clock stuck in sustain).
    Envelope above;
    above.knob(kPosKnob, 1.f);
    above.knob(kS, 0.5f);
    above.run(300, gateFrom(0));
    above.pos(-2.f);
    above.run(100, [](int) { return 0.f; });
    EXPECT_GT(above.y(398), 2.f);
    above.pos(0.f);
    above.run(200, gateFrom(0));
    const int t = 401;
    EXPECT_EQ(above.e(t), 0.f);
    EXPECT_NEAR(above.y(t + 1), (1.0 - 1.0 / 90.0) * (1.0 - 1.0 / 90.0) * 0.5 + 0.5, 1e-6);
    EXPECT_EQ(above.firstEod(t), t + 91);
}

TEST(S500ADSR, SustainFollowsItsKnobAndFullSustainHoldsOneThroughTheDecay) {
    Envelope env;
    env.knob(kS, 0.5f);
    env.run(300, gateFrom(0));
    EXPECT_EQ(env.y(298), 0.5f);
    knobs(env.adsr)[kS]->setValue(0.25f);  // moved by hand: smoothed, not snapped
    env.run(10000, gateFrom(0));
    EXPECT_LT(env.y(301), 0.5f);
    EXPECT_GT(env.y(301), 0.49f);
    EXPECT_EQ(env.y(10298), 0.25f);
    EXPECT_EQ(env.e(10298), 1.f);

    Envelope full;
    full.straight(true);
    full.knob(kS, 1.f);
    full.run(300, gateFrom(0));
    for (int n = 1 + 50; n <= 1 + 140; ++n) ASSERT_EQ(full.y(n), 1.f) << n;
    EXPECT_EQ(full.e(1 + 140), 0.f);
    EXPECT_EQ(full.firstEod(0), 1 + 141);
}

TEST(S500ADSR, LongStagesAtHighRatesStillEnd) {
    // 22 s at 768 kHz is more samples than a float can count one by one (2^24).
    Envelope env(768000.f);
    env.straight(true);
    env.knob(kA, 1.f);
    const int attack = 768000 * 22, decay = 1567;  // 768000 / 490 = 1567.3
    const int total = attack + decay + 64;
    HostBuffers io(1 << 16);
    std::fill(io.in[0].begin(), io.in[0].end(), 1.f);
    int eodAt = -1;
    for (int done = 0; done < total && eodAt < 0; done += io.frames) {
        env.rig.render(io);
        for (int i = 0; i < io.frames && eodAt < 0; ++i)
            if (io.out[1][i] == 1.f) eodAt = done + i;
    }
    // Pass n comes out at host sample n + 1; the trigger is pass 1.
    ASSERT_GT(eodAt, 0) << "the attack never ended";
    EXPECT_NEAR(eodAt - 1, 1 + attack + decay + 1, 2);
}

TEST(S500ADSR, ControlsAreSavedInPanelOrderWithRLast) {
    Rig rig;
    Module* m = rig.add("S500 ADSR");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    EXPECT_EQ(m->getNameLen(), 9);
    struct Expected {
        const char* type;
        int cx, cy, direction;
    };
    const Expected layout[] = {
        {"ModuleKnob", 62, 55, -1},        {"ModuleKnob", 62, 98, -1},  {"ModuleKnob", 62, 141, -1},
        {"ModuleKnob", 62, 184, -1},       {"PatchPoint", 17, 58, 0},   {"PatchPoint", 17, 101, 0},
        {"PatchPoint", 17, 144, 0},        {"PatchPoint", 17, 187, 1},  {"PatchPoint", 17, 230, 1},
        {"CVerticalSwitch", 36, 256, -1},  {"CKickButton", 61, 261, -1}, {"ModuleKnob", 62, 227, -1},
    };
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), 12u + 2u);  // and the left pair of screws
    expectPlaces(saved, layout, 12);
    EXPECT_EQ(saved[12]->getViewSize().left, 2);
    EXPECT_EQ(m->getStateSize(), 4 * 14);
    // Host parameters in creation order: R took the fifth although it is added last.
    const int tags[] = {0, 1, 2, 3, 4, 5, 6};
    const size_t at[] = {0, 1, 2, 3, 11, 9, 10};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(saved[at[i]]->getTag(), tags[i]) << i;
    EXPECT_EQ(rig.editor.paramControls[4], saved[11]);

    // Record slot 11 is the release time: 0.1 plays a 1060-sample release.
    Envelope env;
    std::vector<float> record((size_t)env.adsr->getStateSize() / 4);
    env.adsr->saveState(record.data(), (int)record.size() * 4);
    record[3] = 0.5f;  // S
    record[9] = 1.f;   // straight
    record[11] = 0.1f;
    std::vector<int32_t> words(record.size());
    std::memcpy(words.data(), record.data(), record.size() * 4);
    env.adsr->loadState(words.data(), (int)words.size() * 4, 1000);
    env.run(2000, gateFrom(0, 500));
    EXPECT_GT(env.y(501 + 1060), 0.f);
    EXPECT_EQ(env.y(501 + 1061), 0.f);
    EXPECT_NEAR(env.y(501 + 530), 0.5f * env.y(501), 1e-4);  // straight: half way, half level
}

// Module by module the envelope runs its own block loop, which takes held stretches
// several passes at once; an SA01 cabled into the patch makes it run pass by pass.
// Both give the same levels, bit for bit, through attack, decay cut short, release
// and a retrigger before the release ends, in both shapes.
TEST(S500ADSR, BlockLoopMatchesPassByPassInBothShapes) {
    for (bool straight : {false, true}) {
        std::vector<float> got[2];
        for (int passByPass = 0; passByPass < 2; ++passByPass) {
            Rig rig(44100.f);
            BlockWave* gate = rig.addCustom<BlockWave>();
            gate->fn = [](long i) { return i % 6000 < 5000 ? 1.f : 0.f; };
            Module* adsr = rig.add("S500 ADSR");
            Module* sink = rig.add("SA02 2 DAW");
            if (passByPass) rig.cable(jacks(rig.add("SA01 2 From DAW"))[0], jacks(sink)[0]);
            setKnob(knobs(sink)[1], 1.f);
            setKnob(knobs(adsr)[kA], 0.1f);  // 1020.15 samples
            setKnob(knobs(adsr)[kD], 0.2f);  // 7850.88
            setKnob(knobs(adsr)[kS], 0.5f);
            setKnob(knobs(adsr)[kR], 0.1f);  // 1060.11
            adsr->control("CVerticalSwitch", 0)->setValue(straight ? 1.f : 0.f);
            rig.cable(gate->out, jacks(adsr)[kGate]);
            rig.cable(jacks(adsr)[kOut], jacks(sink)[1]);
            for (int b = 0; b < 50; ++b) {
                HostBuffers io(501);
                rig.render(io);
                got[passByPass].insert(got[passByPass].end(), io.out[0].begin(), io.out[0].end());
            }
        }
        SCOPED_TRACE(straight);
        EXPECT_GT(*std::max_element(got[0].begin(), got[0].end()), 0.99f);
        EXPECT_TRUE(got[0] == got[1]);
    }
}
