#include <cmath>
#include <functional>

#include "framework/ClipLight.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

ModuleKnob* freeKnob(int frames, float rate) {
    return new ModuleKnob(CRect(0, 0, 37, 37), nullptr, kTagNoParameter, frames, 37, nullptr, rate);
}

std::vector<std::pair<int, float>> automated;

vst::VstIntPtr recordingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr,
                             void*, float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterAutomate) automated.push_back({index, opt});
    return 0;
}

}  // namespace

TEST(Knobs, SmoothingCoversSixtyThreePercentInTheSmoothingTimeThenSnaps) {
    ModuleKnob* k = freeKnob(49, 48000.f);
    EXPECT_FLOAT_EQ(k->smoothDivisor, 1680.f);
    k->setValue(1.f);
    int steps = 0;
    for (; steps < 1680; ++steps) k->smoothToValue();
    EXPECT_NEAR(k->smoothedValue, 0.632, 0.002);
    while (k->smoothedValue != 1.0 && steps < 100000) {
        const double before = k->smoothedValue;
        k->smoothToValue();
        ++steps;
        if (k->smoothedValue != 1.0) {
            ASSERT_GE(1.0 - before, 0.000999);
        }
    }
    EXPECT_EQ(k->smoothedValue, 1.0);
    EXPECT_NEAR(steps, 11600, 120);  // about seven smoothing times
    k->forget();
}

// Skipping a knob at rest is only sound if every way of giving it a new target wakes
// it: a move, a new step, a hand-written smoothed value, a move during a group's step.
TEST(Knobs, KnobsAtRestWakeForEveryNewTarget) {
    ModuleKnob* k = freeKnob(5, 48000.f);
    auto settle = [](ModuleKnob* knob, bool step) {
        for (int i = 0; i < 20000 && !knob->atRest(); ++i) step ? knob->smoothToStep() : knob->smoothToValue();
        return knob->atRest();
    };
    k->setValue(0.5f);
    ASSERT_TRUE(settle(k, false));
    EXPECT_EQ(k->smoothedValue, 0.5);

    k->setValue(0.9f);
    EXPECT_FALSE(k->atRest());
    k->smoothToValue();
    EXPECT_EQ(k->smoothedValue, 0.5 + (double)((0.9f - 0.5f) / 1680.f));

    k->snap();
    ASSERT_TRUE(settle(k, false));
    k->smoothedValue = 0.0;  // written by hand, then announced
    k->touched();
    k->smoothToValue();
    EXPECT_EQ(k->smoothedValue, (double)(0.9f / 1680.f));

    k->setStepped(true);  // 0.9 on five frames: step 0.75
    ASSERT_TRUE(settle(k, true));
    EXPECT_EQ(k->smoothedValue, 0.75);
    k->setInverseBitmap(true);
    k->updateStepped();  // inverted: trunc(0.1 * 4) / 4 = 0
    ASSERT_TRUE(settle(k, true));
    EXPECT_EQ(k->smoothedValue, 0.0);

    // A group wakes for any move; one that lands after the knob's own step keeps the
    // group awake for the next pass.
    ModuleKnob* other = freeKnob(49, 48000.f);
    other->setValue(0.5f);
    KnobWatch watch;
    auto pass = [&](const std::function<void()>& during) {
        if (!watch.moving()) return false;
        k->smoothToStep();
        other->smoothToValue();
        if (during) during();
        watch.settle(k, other);
        return true;
    };
    while (pass(nullptr)) {
    }
    EXPECT_FALSE(pass(nullptr));
    EXPECT_EQ(other->smoothedValue, 0.5);
    other->setValue(0.5f);  // the same value still wakes the group once
    EXPECT_TRUE(pass([&] { other->setValue(0.25f); }));
    EXPECT_TRUE(pass(nullptr));
    EXPECT_LT(other->smoothedValue, 0.5);
    k->forget();
    other->forget();
}

TEST(Knobs, SteppedKnobsTruncateToTheirFrames) {
    ModuleKnob* k13 = freeKnob(13, 48000.f);
    k13->setStepped(true);
    k13->setValue(0.5f);
    EXPECT_EQ(k13->steppedValue, 0.5f);
    k13->setValue(0.54f);
    EXPECT_EQ(k13->steppedValue, 0.5f);
    k13->setValue(1.f);
    EXPECT_EQ(k13->steppedValue, 1.f);
    ModuleKnob* k5 = freeKnob(5, 48000.f);
    k5->setStepped(true);
    k5->setValue(0.99f);
    EXPECT_EQ(k5->steppedValue, 0.75f);
    k5->setInverseBitmap(true);
    k5->updateStepped();
    EXPECT_EQ(k5->steppedValue, 0.f);
    k5->smoothedValue = 1.0;
    k5->setValue(0.f);  // inverted: full
    for (int i = 0; i < 20000; ++i) k5->smoothToStep();
    EXPECT_EQ(k5->smoothedValue, 1.0);
    k13->forget();
    k5->forget();
}

TEST(Knobs, CopyPasteMovesValuesWithoutAutomationOrNotification) {
    automated.clear();
    Vantorel plugin(recordingHost);
    SynEditor& editor = *plugin.editor;
    Module* a = editor.createModule("SA02 2 DAW");
    Module* b = editor.createModule("SA05 2 DAW 12db Amplifier");
    editor.pasteKnob(knobs(a)[0]);  // nothing copied yet
    EXPECT_EQ(knobs(a)[0]->getValue(), 0.f);
    knobs(a)[1]->setValue(0.3f);
    editor.copyKnob(knobs(a)[1]);
    editor.pasteKnob(knobs(b)[0]);
    EXPECT_EQ(knobs(b)[0]->getValue(), 0.3f);
    EXPECT_TRUE(automated.empty());

    // A user move is reported to the host under the knob's parameter index, and the
    // host's own writes are ignored while the editor handles it.
    knobs(b)[1]->setValue(0.6f);
    knobs(b)[1]->valueChanged();
    ASSERT_EQ(automated.size(), 1u);
    EXPECT_EQ(automated[0].first, knobs(b)[1]->getTag());
    EXPECT_FLOAT_EQ(automated[0].second, 0.6f);
}

TEST(SharedRandom, ParkMillerSequenceAndUniformScale) {
    const uint32_t saved = randomSeed;
    randomSeed = 1;
    EXPECT_EQ(nextRandomSeed(), 16807u);
    EXPECT_EQ(nextRandomSeed(), 282475249u);
    EXPECT_EQ(nextRandomSeed(), 1622647863u);  // the product is cut to 31 bits, not reduced mod 2^31-1
    EXPECT_EQ(nextRandomSeed(), 947787489u);
    EXPECT_DOUBLE_EQ(nextRandom(), 1578110407.0 / 2147483648.0);
    // Cable colours stay within 1..6 and use them all.
    std::vector<int> seen(8, 0);
    for (int i = 0; i < 600; ++i) ++seen[(size_t)Patch::randomCableColour()];
    EXPECT_EQ(seen[0], 0);
    EXPECT_EQ(seen[7], 0);
    for (int c = 1; c <= 6; ++c) EXPECT_GT(seen[(size_t)c], 50) << c;
    randomSeed = saved;
}

TEST(SharedTables, NoteFrequenciesByRepeatedMultiplication) {
    Vantorel plugin(nullptr);
    EXPECT_EQ(noteFrequency[0], (float)8.175798915636872);
    EXPECT_NEAR(noteFrequency[69], 440.f, 0.001f);
    EXPECT_NEAR(noteFrequency[60], 261.6256f, 0.001f);
    double f = 8.175798915636872;
    for (int n = 0; n < 127; ++n) f *= 1.059463094359;
    EXPECT_EQ(noteFrequency[127], (float)f);
}

TEST(SharedTables, BitmapsLoadOnFirstOpenAndStayForOtherInstances) {
    Vantorel first(nullptr), second(nullptr);
    const int generation = SharedBitmaps::loadGeneration();
    first.open();
    second.open();
    EXPECT_EQ(SharedBitmaps::loadGeneration(), generation + 1);
    first.close();
    first.close();  // a second close from the same instance gives nothing back
    EXPECT_TRUE(SharedBitmaps::isLoaded());
    EXPECT_EQ(SharedBitmaps::get("minibrute_knob_s.png")->getHeight(), 2597);
    second.close();
    EXPECT_FALSE(SharedBitmaps::isLoaded());
}

TEST(ClipLights, LimitAtFourHoldTheLightAndNeverPassNaN) {
    CMovieBitmap* led = new CMovieBitmap(CRect(0, 0, 12, 12), nullptr, kTagNoParameter, 5, 12, nullptr);
    ClipLight clip;
    clip.attach(led);
    clip.setSampleRate(1000.f);  // a 200-sample hold
    EXPECT_EQ(clip.limit(3.5f), 3.5f);
    EXPECT_EQ(led->getValue(), 0.f);
    EXPECT_EQ(clip.limit(std::nanf("")), 0.f);
    EXPECT_EQ(clip.limit(-9.f), -4.f);
    EXPECT_EQ(led->getValue(), 1.f);
    for (int i = 0; i < 200; ++i) clip.tick();
    EXPECT_EQ(led->getValue(), 1.f);
    clip.tick();
    EXPECT_EQ(led->getValue(), 0.f);
    led->forget();
}
