// S400 Dual VCA, S401 Multi db VCA/Attenuator and S404 VCA, rendered in the engine.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

struct Expected {
    const char* type;
    int cx, cy, direction;  // direction -1 for controls that are not jacks
};

// The saved record lists the panel's controls in this order, then the two left screws.
void expectLayout(Module* m, const std::vector<Expected>& layout) {
    const std::vector<CControl*> saved = savedControls(m);
    ASSERT_EQ(saved.size(), layout.size() + 2);
    expectPlaces(saved, layout, layout.size());
    EXPECT_EQ(saved[layout.size()]->getViewSize().left, 2);
    EXPECT_EQ(saved[layout.size() + 1]->getViewSize().left, 2);
    EXPECT_EQ(m->getStateSize(), 4 * (int)saved.size());
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
}

// A record stored by an older version reads back unchanged: these classes convert nothing.
void expectOlderRecordLoadsAsIs(Module* m, int olderVersion) {
    std::vector<float> record((size_t)m->getStateSize() / 4);
    for (size_t i = 0; i < record.size(); ++i) record[i] = 0.05f * (float)(i + 1);
    std::vector<int32_t> words(record.size());
    std::memcpy(words.data(), record.data(), record.size() * 4);
    m->loadState(words.data(), (int)words.size() * 4, olderVersion);
    std::vector<float> back(record.size());
    m->saveState(back.data(), (int)back.size() * 4);
    EXPECT_EQ(back, record);
}

// Host inputs 1 and 2 feed the module's two audio inputs; constants feed its CVs.
struct Bench {
    Bench(const char* name, int inA, int inB, float rate = 44100.f) : rig(rate) {
        from = rig.add("SA01 2 From DAW");
        m = rig.add(name);
        rig.cable(jacks(from)[1], jacks(m)[(size_t)inA]);
        rig.cable(jacks(from)[0], jacks(m)[(size_t)inB]);
    }
    AddModule* constant(int jack, float value) {
        AddModule* c = rig.addCustom<AddModule>(value);
        rig.cable(c->out, jacks(m)[(size_t)jack]);
        return c;
    }
    // Renders a few samples of steady input; outputs then hold their settled values.
    void settle(float a, float b, int frames = 8) {
        HostBuffers io(frames);
        std::fill(io.in[0].begin(), io.in[0].end(), a);
        std::fill(io.in[1].begin(), io.in[1].end(), b);
        rig.render(io);
    }
    float out(int jack) { return jacks(m)[(size_t)jack]->outValue; }
    CControl* saved(size_t i) { return savedControls(m)[i]; }

    Rig rig;
    Module* from;
    Module* m;
};

// Clips through `cv`, then calms it and renders one host sample at a time: how many
// host samples the light stays on from the moment the CV changed.
int clipLightSamples(Bench& b, AddModule* cv, float clipping, float calm, float a, float bIn, CControl* led) {
    cv->offset = clipping;
    b.settle(a, bIn, 16);
    EXPECT_EQ(led->getValue(), 1.f);
    cv->offset = calm;
    int lit = 0;
    while (lit < 100000) {
        b.settle(a, bIn, 1);
        if (led->getValue() == 0.f) break;
        ++lit;
    }
    return lit;
}

}  // namespace

// ---- S400 Dual VCA -------------------------------------------------------------------
enum { kS400In1, kS400Cv1, kS400Out1, kS400In2, kS400Cv2, kS400Out2, kS400Led1, kS400Led2 };

TEST(S400DVCA, ControlOrderVersionAndOlderRecords) {
    Rig rig;
    Module* m = rig.add("S400 Dual VCA");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1001);
    expectLayout(m, {{"PatchPoint", 24, 40, 0},
                     {"PatchPoint", 24, 83, 0},
                     {"PatchPoint", 24, 126, 1},
                     {"PatchPoint", 24, 169, 0},
                     {"PatchPoint", 24, 212, 0},
                     {"PatchPoint", 24, 255, 1},
                     {"CMovieBitmap", 37, 107, -1},
                     {"CMovieBitmap", 37, 236, -1}});
    EXPECT_EQ(m->getStateSize(), 40);
    expectOlderRecordLoadsAsIs(m, 1000);
}

TEST(S400DVCA, LinearGainWithTwoCvsAndPanningWithOne) {
    Bench b("S400 Dual VCA", kS400In1, kS400In2);
    AddModule* cv1 = b.constant(kS400Cv1, 0.5f);
    b.settle(0.3f, -0.7f);
    EXPECT_FLOAT_EQ(b.out(kS400Out1), 0.3f);  // 0.5 is unity
    EXPECT_EQ(b.out(kS400Out2), 0.f);
    cv1->offset = 0.25f;
    b.settle(0.3f, -0.7f);
    EXPECT_FLOAT_EQ(b.out(kS400Out1), 0.15f);
    // CV 2 unpatched: a negative CV 1 opens channel 2 and closes channel 1.
    cv1->offset = -0.5f;
    b.settle(0.3f, -0.7f);
    EXPECT_EQ(b.out(kS400Out1), 0.f);
    EXPECT_FLOAT_EQ(b.out(kS400Out2), -0.7f);
    cv1->offset = -0.125f;
    b.settle(0.3f, -0.7f);
    EXPECT_FLOAT_EQ(b.out(kS400Out2), -0.175f);

    // With a cable on CV 2, even at 0 V, each CV drives its own channel only.
    AddModule* cv2 = b.constant(kS400Cv2, 0.f);
    cv1->offset = -0.5f;
    b.settle(0.3f, -0.7f);
    EXPECT_EQ(b.out(kS400Out1), 0.f);
    EXPECT_EQ(b.out(kS400Out2), 0.f);
    cv1->offset = 0.75f;
    cv2->offset = 0.25f;
    b.settle(0.3f, -0.7f);
    EXPECT_FLOAT_EQ(b.out(kS400Out1), 0.45f);
    EXPECT_FLOAT_EQ(b.out(kS400Out2), -0.35f);

    b.rig.editor.disconnectJack(jacks(b.m)[kS400Cv2]);
    cv1->offset = -1.f;
    b.settle(0.3f, -0.7f);
    EXPECT_FLOAT_EQ(b.out(kS400Out2), -1.4f);
}

TEST(S400DVCA, ClipsAtFourAndLightsTheClippedChannelsLed) {
    Bench b("S400 Dual VCA", kS400In1, kS400In2);
    AddModule* cv1 = b.constant(kS400Cv1, 3.f);
    b.settle(1.f, 1.f);
    EXPECT_EQ(b.out(kS400Out1), 4.f);  // 1 x 2 x 3 = 6
    EXPECT_EQ(b.saved(kS400Led1)->getValue(), 1.f);
    EXPECT_EQ(b.saved(kS400Led2)->getValue(), 0.f);
    b.settle(-1.f, 1.f);
    EXPECT_EQ(b.out(kS400Out1), -4.f);
    cv1->offset = 1.99f;  // 3.98: just inside
    b.settle(1.f, 1.f);
    EXPECT_FLOAT_EQ(b.out(kS400Out1), 3.98f);

    Bench other("S400 Dual VCA", kS400In1, kS400In2);
    other.constant(kS400Cv1, -3.f);
    other.settle(1.f, -1.f);
    EXPECT_EQ(other.out(kS400Out2), -4.f);
    EXPECT_EQ(other.saved(kS400Led1)->getValue(), 0.f);
    EXPECT_EQ(other.saved(kS400Led2)->getValue(), 1.f);
}

TEST(S400DVCA, ClipLightHolds200msAtTheModulesOwnRate) {
    {
        Bench b("S400 Dual VCA", kS400In1, kS400In2);
        AddModule* cv1 = b.constant(kS400Cv1, 0.f);
        EXPECT_EQ(clipLightSamples(b, cv1, 3.f, 0.25f, 1.f, 0.f, b.saved(kS400Led1)), 8820);
        // A new host rate: 200 ms is now 9600 samples.
        b.rig.plugin.setSampleRate(48000.f);
        EXPECT_EQ(clipLightSamples(b, cv1, 3.f, 0.25f, 1.f, 0.f, b.saved(kS400Led1)), 9600);
    }
    {
        // Four passes per host sample: still 8820 host samples, not a quarter of them.
        Bench b("S400 Dual VCA", kS400In1, kS400In2);
        b.rig.plugin.setOversampling(2);
        AddModule* cv1 = b.constant(kS400Cv1, 0.f);
        EXPECT_EQ(clipLightSamples(b, cv1, -3.f, -0.25f, 0.f, 1.f, b.saved(kS400Led2)), 8820);
    }
}

// ---- S401 Multi db VCA/Attenuator ----------------------------------------------------
// Jack indices; in the saved record the gain knob comes first, so a jack's slot is one more.
enum { kS401Cv, kS401In1, kS401Out1, kS401In2, kS401Out2 };
constexpr size_t kS401Gain = 0, kS401Led1 = 6, kS401Led2 = 7;

TEST(S401VCAAtn, ControlOrderSteppedKnobAndOlderRecords) {
    Rig rig;
    Module* m = rig.add("S401 Multi db VCA/Attenuator");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    expectLayout(m, {{"ModuleKnob", 24, 44, -1},
                     {"PatchPoint", 24, 83, 0},
                     {"PatchPoint", 24, 126, 0},
                     {"PatchPoint", 24, 169, 1},
                     {"PatchPoint", 24, 212, 0},
                     {"PatchPoint", 24, 255, 1},
                     {"CMovieBitmap", 37, 150, -1},
                     {"CMovieBitmap", 37, 236, -1}});
    ModuleKnob* gain = knobs(m)[0];
    EXPECT_TRUE(gain->stepped);
    EXPECT_EQ(gain->getNumSubPixmaps(), 5);
    EXPECT_EQ(gain->getValue(), 0.5f);
    expectOlderRecordLoadsAsIs(m, 999);
}

TEST(S401VCAAtn, FiveGainStepsTimesThePositiveCv) {
    Bench b("S401 Multi db VCA/Attenuator", kS401In1, kS401In2);
    ModuleKnob* gain = knobs(b.m)[0];
    // Default: 0 dB, so CV 0.5 halves the input.
    AddModule* cv = b.constant(kS401Cv, 0.5f);
    b.settle(0.2f, -0.3f);
    EXPECT_FLOAT_EQ(b.out(kS401Out1), 0.1f);
    EXPECT_FLOAT_EQ(b.out(kS401Out2), -0.15f);

    // Knob values as the user leaves them; steps are truncated, not rounded.
    const std::pair<float, float> steps[] = {{0.f, 0.25f},  {0.25f, 0.5f}, {0.5f, 1.f}, {0.75f, 2.f},
                                             {1.f, 4.f},    {0.54f, 1.f},  {0.99f, 2.f}, {0.24f, 0.25f}};
    for (auto [value, factor] : steps) {
        SCOPED_TRACE(value);
        gain->setValue(value);
        b.rig.editor.valueChanged(gain);
        b.settle(0.2f, -0.3f);
        EXPECT_FLOAT_EQ(b.out(kS401Out1), 0.5f * factor * 0.2f);
        EXPECT_FLOAT_EQ(b.out(kS401Out2), 0.5f * factor * -0.3f);
    }

    // Zero and negative CV close both channels.
    for (float c : {0.f, -0.5f}) {
        cv->offset = c;
        b.settle(0.2f, -0.3f);
        EXPECT_EQ(b.out(kS401Out1), 0.f);
        EXPECT_EQ(b.out(kS401Out2), 0.f);
    }
    // So does an unpatched CV.
    cv->offset = 1.f;
    b.settle(0.2f, -0.3f);
    EXPECT_NE(b.out(kS401Out1), 0.f);
    b.rig.editor.disconnectJack(jacks(b.m)[kS401Cv]);
    b.settle(0.2f, -0.3f);
    EXPECT_EQ(b.out(kS401Out1), 0.f);
    EXPECT_EQ(b.out(kS401Out2), 0.f);
}

TEST(S401VCAAtn, GainFollowsHostAutomationAndPresetLoads) {
    Bench b("S401 Multi db VCA/Attenuator", kS401In1, kS401In2);
    ModuleKnob* gain = knobs(b.m)[0];
    b.constant(kS401Cv, 0.5f);
    // The host writes the value without any controlChanged.
    b.rig.plugin.setParameter(gain->getTag(), 1.f);
    b.settle(0.2f, 0.f);
    EXPECT_FLOAT_EQ(b.out(kS401Out1), 0.4f);

    std::vector<float> record((size_t)b.m->getStateSize() / 4);
    b.m->saveState(record.data(), (int)record.size() * 4);
    record[kS401Gain] = 0.3f;  // the step of 0.25: -6 dB
    std::vector<int32_t> words(record.size());
    std::memcpy(words.data(), record.data(), record.size() * 4);
    b.m->loadState(words.data(), (int)words.size() * 4, 1000);
    EXPECT_EQ(gain->smoothedValue, 0.25);
    b.settle(0.2f, 0.f);
    EXPECT_FLOAT_EQ(b.out(kS401Out1), 0.05f);

    // Out-of-range values from a damaged preset stay on the table's ends; NaN is the default step.
    for (auto [value, factor] : {std::pair<float, float>{7.f, 4.f}, {-3.f, 0.25f}, {std::nanf(""), 1.f}}) {
        record[kS401Gain] = value;
        std::memcpy(words.data(), record.data(), record.size() * 4);
        b.m->loadState(words.data(), (int)words.size() * 4, 1000);
        b.settle(0.2f, 0.f);
        EXPECT_FLOAT_EQ(b.out(kS401Out1), 0.5f * factor * 0.2f) << value;
    }
}

TEST(S401VCAAtn, ClipsEachChannelWithItsOwnLightAndHold) {
    Bench b("S401 Multi db VCA/Attenuator", kS401In1, kS401In2);
    setKnob(knobs(b.m)[0], 1.f);
    b.rig.editor.valueChanged(knobs(b.m)[0]);
    AddModule* cv = b.constant(kS401Cv, 1.f);
    b.settle(1.5f, 0.5f);  // 6 and 2
    EXPECT_EQ(b.out(kS401Out1), 4.f);
    EXPECT_EQ(b.out(kS401Out2), 2.f);
    EXPECT_EQ(b.saved(kS401Led1)->getValue(), 1.f);
    EXPECT_EQ(b.saved(kS401Led2)->getValue(), 0.f);
    b.settle(0.f, -1.5f);
    EXPECT_EQ(b.out(kS401Out2), -4.f);
    EXPECT_EQ(b.saved(kS401Led2)->getValue(), 1.f);
    EXPECT_EQ(clipLightSamples(b, cv, 1.f, 0.1f, 0.f, -1.5f, b.saved(kS401Led2)), 8820);
}

// ---- S404 VCA ------------------------------------------------------------------------
enum { kS404In1, kS404In2, kS404Cv, kS404XFade, kS404Mix, kS404Out1, kS404Out2 };
enum { kLevel1, kLevel2, kCvAmount, kAmp };
constexpr size_t kS404Response = 11, kS404Led = 12;

TEST(S404VCA, ControlOrderVersionAndOlderRecords) {
    Rig rig;
    Module* m = rig.add("S404 VCA");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1001);
    expectLayout(m, {{"PatchPoint", 17, 58, 0},
                     {"PatchPoint", 17, 101, 0},
                     {"PatchPoint", 17, 144, 0},
                     {"PatchPoint", 17, 187, 0},
                     {"PatchPoint", 17, 230, 1},
                     {"PatchPoint", 48, 230, 1},
                     {"PatchPoint", 79, 230, 1},
                     {"ModuleKnob", 62, 55, -1},
                     {"ModuleKnob", 62, 98, -1},
                     {"ModuleKnob", 62, 141, -1},
                     {"ModuleKnob", 62, 184, -1},
                     {"CVerticalSwitch", 36, 256, -1},
                     {"CMovieBitmap", 67, 262, -1}});
    const std::vector<ModuleKnob*> k = knobs(m);
    EXPECT_EQ(k[kLevel1]->getValue(), 0.5f);
    EXPECT_EQ(k[kLevel2]->getValue(), 0.5f);
    EXPECT_EQ(k[kCvAmount]->getValue(), 0.f);
    EXPECT_EQ(k[kAmp]->getValue(), 0.f);
    EXPECT_EQ(static_cast<CVerticalSwitch*>(savedControls(m)[kS404Response])->getNumPositions(), 3);
    expectOlderRecordLoadsAsIs(m, 1000);
}

TEST(S404VCA, SilentFromTheMenuAndTwentyAtFullAmp) {
    Bench b("S404 VCA", kS404In1, kS404In2);
    b.settle(0.5f, 0.5f);
    EXPECT_EQ(b.out(kS404Out1), 0.f);
    EXPECT_EQ(b.out(kS404Out2), 0.f);
    EXPECT_EQ(b.out(kS404Mix), 0.f);
    setKnob(knobs(b.m)[kAmp], 1.f);
    b.settle(0.1f, -0.05f);
    EXPECT_FLOAT_EQ(b.out(kS404Out1), 1.f);  // 0.1 x level 0.5 x 20
    EXPECT_FLOAT_EQ(b.out(kS404Out2), -0.5f);
}

TEST(S404VCA, LinearExponentialAndLogarithmicResponses) {
    struct Case {
        float response, cv, amount, amp, gain;
    };
    const Case cases[] = {
        {0.f, 0.5f, 1.f, 0.f, 10.f},    {0.f, -0.25f, 1.f, 1.f, 15.f},  {0.f, 0.5f, 0.5f, 0.5f, 10.f},
        {0.5f, 0.5f, 1.f, 0.f, 5.f},    {0.5f, -0.5f, 1.f, 1.f, 15.f},  {0.5f, -0.5f, 1.f, 0.f, 0.f},
        {0.5f, 0.5f, 0.5f, 0.5f, 7.5f}, {1.f, 0.5f, 1.f, 0.f, 15.f},    {1.f, -0.5f, 1.f, 1.f, 5.f},
        {1.f, 0.25f, 1.f, 0.f, 8.75f},  {1.f, -0.25f, 1.f, 0.f, 0.f},   {0.75f, 0.5f, 1.f, 0.f, 5.f},
    };
    Bench b("S404 VCA", kS404In1, kS404In2);
    AddModule* cv = b.constant(kS404Cv, 0.f);
    setKnob(knobs(b.m)[kLevel1], 1.f);
    setKnob(knobs(b.m)[kLevel2], 0.25f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.response << " cv " << c.cv << " k " << c.amount << " a " << c.amp);
        b.saved(kS404Response)->setValue(c.response);
        setKnob(knobs(b.m)[kCvAmount], c.amount);
        setKnob(knobs(b.m)[kAmp], c.amp);
        cv->offset = c.cv;
        b.settle(0.1f, 0.2f);
        EXPECT_NEAR(b.out(kS404Out1), 0.1f * c.gain, 1e-6f);
        EXPECT_NEAR(b.out(kS404Out2), 0.05f * c.gain, 1e-6f);
    }
}

TEST(S404VCA, CrossfadeMixesTheClippedOutputs) {
    Bench b("S404 VCA", kS404In1, kS404In2);
    setKnob(knobs(b.m)[kLevel1], 1.f);
    setKnob(knobs(b.m)[kAmp], std::sqrt(0.5f));  // gain 10
    AddModule* xfade = b.constant(kS404XFade, 0.f);
    const std::pair<float, float> mixes[] = {{0.f, 1.25f}, {1.f, 1.5f}, {-1.f, 1.f}, {0.5f, 1.375f}, {3.f, 2.f}};
    for (auto [x, mix] : mixes) {
        xfade->offset = x;
        b.settle(0.1f, 0.3f);  // Out 1 = 1, Out 2 = 1.5
        ASSERT_NEAR(b.out(kS404Out1), 1.f, 1e-5f);
        ASSERT_NEAR(b.out(kS404Out2), 1.5f, 1e-5f);
        EXPECT_NEAR(b.out(kS404Mix), mix, 1e-5f) << x;
    }

    // 20 x 1 and 20 x -0.5 clip to 4 and -4 before they are mixed.
    setKnob(knobs(b.m)[kAmp], 1.f);
    xfade->offset = 0.5f;
    b.settle(1.f, -1.f);
    EXPECT_EQ(b.out(kS404Out1), 4.f);
    EXPECT_EQ(b.out(kS404Out2), -4.f);
    EXPECT_FLOAT_EQ(b.out(kS404Mix), -2.f);  // 0.75 x -4 + 0.25 x 4
    EXPECT_EQ(b.saved(kS404Led)->getValue(), 1.f);
}

TEST(S404VCA, OneClipLightForBothChannelsHeld200msAtTheModulesOwnRate) {
    for (int oversampling : {0, 3}) {
        SCOPED_TRACE(oversampling);
        Bench b("S404 VCA", kS404In1, kS404In2);
        b.rig.plugin.setOversampling(oversampling);
        setKnob(knobs(b.m)[kCvAmount], 1.f);
        AddModule* cv = b.constant(kS404Cv, 0.f);
        // Channel 2 alone clips: 1 x 0.5 x 20 = 10.
        EXPECT_EQ(clipLightSamples(b, cv, 1.f, 0.05f, 0.f, 1.f, b.saved(kS404Led)), 8820);
    }
}

// One channel at the linear response, rendered in blocks, where the block loop takes
// several passes at once: every sample as the pass formula gives it, shut where the
// CV leaves no gain, clipped at exactly 4, and the light's hold counted pass for pass.
TEST(S404VCA, OneChannelInBlocksFollowsThePassFormulaAndHoldsTheLight) {
    Rig rig(44100.f);
    BlockWave* in = rig.addCustom<BlockWave>();
    BlockWave* control = rig.addCustom<BlockWave>();
    Module* vca = rig.add("S404 VCA");
    Module* sink = rig.add("SA02 2 DAW");
    setKnob(knobs(sink)[1], 1.f);
    setKnob(knobs(vca)[kLevel1], 0.7f);
    setKnob(knobs(vca)[kCvAmount], 0.9f);
    setKnob(knobs(vca)[kAmp], 0.1f);
    rig.cable(in->out, jacks(vca)[kS404In1]);
    rig.cable(control->out, jacks(vca)[kS404Cv]);
    rig.cable(jacks(vca)[kS404Out1], jacks(sink)[1]);  // host output 1
    const double l1 = knobs(vca)[kLevel1]->smoothedValue, k = knobs(vca)[kCvAmount]->smoothedValue;
    const double a = knobs(vca)[kAmp]->smoothedValue;
    auto x = [](long i) { return i == 1033 ? 1.f : i == 1037 ? -1.f : 0.3f * std::sin(0.05f * (float)i); };
    auto cv = [](long i) { return 0.3f + 0.4f * std::sin(0.031f * (float)i); };
    in->fn = x;
    control->fn = cv;
    auto expected = [&](int i) {
        const float gain = (float)(((double)cv(i) * k + a * a) * 20.0);
        if (!(gain > 0.f)) return 0.f;
        return std::clamp((float)((double)x(i) * l1 * (double)gain), -4.f, 4.f);
    };
    CControl* led = savedControls(vca)[kS404Led];
    int done = 0, shut = 0;
    auto render = [&](int frames) {
        HostBuffers io(frames);
        rig.render(io);
        // Wave pass i reaches the VCA's pass i + 1 and comes out at host sample i + 2.
        int wrong = 0;
        for (int i = 0; i < frames; ++i) {
            const int n = done + i;
            if (n < 2) continue;
            if (io.out[0][(size_t)i] != expected(n - 2) && wrong++ == 0)
                ADD_FAILURE() << "host sample " << n << ": " << io.out[0][(size_t)i] << ", not " << expected(n - 2);
            shut += expected(n - 2) == 0.f;
        }
        done += frames;
    };
    render(1100);
    EXPECT_EQ(led->getValue(), 1.f);
    // The last clip is wave pass 1037, the VCA's pass 1038; the light goes out on the
    // 8820th pass after it.
    while (done + 512 <= 1038 + 8820) render(512);
    render(1038 + 8820 - done);
    EXPECT_EQ(led->getValue(), 1.f);
    render(1);
    EXPECT_EQ(led->getValue(), 0.f);
    EXPECT_GT(shut, 100);
}
