#include <cmath>
#include <cstring>

#include "render/VstHost.h"
#include "support/PatchFixture.h"

using namespace vst;

namespace {

class LoadedPlugin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.load(VANTOREL_SO)) << host.error();
        ASSERT_TRUE(host.open(48000, 256)) << host.error();
        fx = host.effect();
    }
    VstIntPtr raw(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f) {
        return fx->dispatcher(fx, opcode, index, value, ptr, opt);
    }
    std::string text(VstInt32 opcode, VstInt32 index = 0) {
        char buf[256] = {};
        raw(opcode, index, 0, buf);
        return buf;
    }
    // A patch built in this process and handed over as the host would: as a chunk.
    void loadPatch(const std::function<void(fixture::Rig&)>& build) {
        fixture::Rig rig;
        build(rig);
        ASSERT_TRUE(host.setChunk(rig.editor.writeChunk()));
    }
    std::vector<std::vector<float>> renderWithInput(const std::vector<float>& left, const std::vector<float>& right) {
        return host.render({}, (int64_t)left.size(), {left, right});
    }

    render::VstHost host;
    AEffect* fx = nullptr;
};

std::vector<float> ramp(int n, float step) {
    std::vector<float> v((size_t)n);
    for (int i = 0; i < n; ++i) v[(size_t)i] = std::sin(0.01f * (float)i) * 0.5f + step;
    return v;
}

}  // namespace

TEST_F(LoadedPlugin, ReportsItsFixedProperties) {
    EXPECT_EQ(fx->magic, kEffectMagic);
    EXPECT_EQ(fx->numInputs, 10);
    EXPECT_EQ(fx->numOutputs, 12);
    EXPECT_EQ(fx->numParams, 1000);
    EXPECT_EQ(fx->numPrograms, 1);
    EXPECT_EQ(fx->flags & 0x110, 0x110);             // synth, replacing
    EXPECT_EQ(fx->flags & effFlagsProgramChunks, effFlagsProgramChunks);
    EXPECT_EQ(fx->flags & effFlagsHasEditor, effFlagsHasEditor);
    EXPECT_EQ(fx->uniqueID, fourCC('V', 'n', 'T', 'l'));
    EXPECT_NE(fx->processReplacing, nullptr);
    EXPECT_EQ(text(effGetEffectName), "Vantorel");
    EXPECT_EQ(text(effGetVendorString), "Kestrelmark");
    EXPECT_EQ(text(effGetProductString), "Modular Synth");
    EXPECT_EQ(raw(effGetVendorVersion), 22);
    EXPECT_EQ(raw(effGetVstVersion), 2400);
    EXPECT_EQ(raw(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(raw(effGetNumMidiInputChannels), 16);
    EXPECT_EQ(raw(effGetNumMidiOutputChannels), 16);
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo", "sendVstMidiEvent",
                            "sendVstMidiEvents"})
        EXPECT_EQ(raw(effCanDo, 0, 0, (void*)yes), 1) << yes;
    EXPECT_EQ(raw(effCanDo, 0, 0, (void*)"receiveVstSysexEvent"), -1);
    EXPECT_EQ(raw(effCanDo, 0, 0, (void*)""), -1);
    EXPECT_EQ(text(effGetParamName, 0), "P0");
    EXPECT_EQ(text(effGetParamName, 7), "P7");
    EXPECT_EQ(text(effGetParamName, 999), "P999");
    EXPECT_EQ(text(effGetParamName, 1000), "");
    EXPECT_EQ(text(effGetParamName, -5), "");

    ERect* rect = nullptr;
    EXPECT_EQ(raw(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 1010);
    EXPECT_EQ(rect->bottom - rect->top, 622);
}

TEST_F(LoadedPlugin, PinsAreNamedAndOutOfRangeOnesRefused) {
    VstPinProperties p{};
    const char* inputs[] = {"In L", "In R", "In 3", "In 4", "In 5", "In 6", "In 7", "In 8", "In 9", "In 10"};
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(raw(effGetInputProperties, i, 0, &p), 1);
        EXPECT_STREQ(p.label, inputs[i]);
        EXPECT_EQ(p.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    ASSERT_EQ(raw(effGetOutputProperties, 0, 0, &p), 1);
    EXPECT_STREQ(p.label, "Out L");
    ASSERT_EQ(raw(effGetOutputProperties, 11, 0, &p), 1);
    EXPECT_STREQ(p.label, "Out 12");
    EXPECT_EQ(raw(effGetInputProperties, 10, 0, &p), 0);
    EXPECT_EQ(raw(effGetOutputProperties, 12, 0, &p), 0);
    EXPECT_EQ(raw(effGetOutputProperties, -1, 0, &p), 0);
    EXPECT_EQ(raw(effGetOutputProperties, 3, 0, nullptr), 0);
    // Parameters outside 0..999 are ignored and read 0, straight through the record.
    fx->setParameter(fx, 1000, 0.5f);
    fx->setParameter(fx, -1, 0.5f);
    EXPECT_EQ(fx->getParameter(fx, 1000), 0.f);
    EXPECT_EQ(fx->getParameter(fx, 17), 0.f);
}

TEST_F(LoadedPlugin, EmptyRackIsExactSilenceOnEveryOutput) {
    const auto out = host.render({}, 48000, {ramp(48000, 0.2f), ramp(48000, -0.1f)});
    ASSERT_EQ(out.size(), 12u);
    for (size_t k = 0; k < out.size(); ++k)
        for (float v : out[k]) ASSERT_EQ(v, 0.f) << "output " << k + 1;
    // A block of no samples is answered like any other.
    float* none[12] = {};
    EXPECT_TRUE(host.process(none, none, 0));
    // A fresh editor's chunk: ".vtp", a NUL, then the 54-byte empty patch.
    std::vector<uint8_t> expected = {'.', 'v', 't', 'p', 0};
    auto int32 = [&](int32_t v) {
        for (int b = 0; b < 4; ++b) expected.push_back((uint8_t)(v >> (8 * b)));
    };
    for (int32_t v : {22, 24, 3, 0, 1, 1, 0, 0, 1}) int32(v);
    expected.push_back(0);
    int32(1);
    expected.push_back(0);
    for (int32_t v : {8, 0, 12}) int32(v);
    EXPECT_EQ(host.getChunk(), expected);
}

TEST_F(LoadedPlugin, HostAudioThroughTheBridgesFollowsTheGainLaws) {
    loadPatch([](fixture::Rig& rig) {
        Module* from = rig.editor.createModule("SA01 2 From DAW");
        Module* out = rig.editor.createModule("SA02 2 DAW");
        rig.cable(fixture::jacks(from)[1], fixture::jacks(out)[1]);
        rig.cable(fixture::jacks(from)[0], fixture::jacks(out)[0]);
    });
    const std::vector<float> left = ramp(2048, 0.1f), right = ramp(2048, -0.3f);
    auto out = renderWithInput(left, right);
    EXPECT_EQ(out[0][0], 0.f);
    for (size_t i = 1; i < left.size(); ++i) {
        ASSERT_FLOAT_EQ(out[0][i], 0.25f * left[i - 1]) << i;
        ASSERT_FLOAT_EQ(out[1][i], 0.25f * right[i - 1]) << i;
    }
    for (size_t k = 2; k < 12; ++k) EXPECT_EQ(out[k][100], 0.f);

    // The knobs are host parameters 0 (right) and 1 (left): full gain on the left.
    host.setParameter(1, 1.f);
    EXPECT_EQ(host.getParameter(1), 1.f);
    const std::vector<float> steady(16000, 0.5f);
    out = renderWithInput(steady, steady);
    EXPECT_LT(out[0][1000], 0.45f);         // still smoothing 20 ms in
    EXPECT_EQ(out[0].back(), 0.5f);         // unity after seven smoothing times
    EXPECT_EQ(out[1].back(), 0.125f);       // the right knob stayed at its default

    loadPatch([](fixture::Rig& rig) {
        Module* from = rig.editor.createModule("SA01 2 From DAW");
        Module* amp = rig.editor.createModule("SA05 2 DAW 12db Amplifier");
        rig.cable(fixture::jacks(from)[1], fixture::jacks(amp)[1]);
    });
    out = renderWithInput(left, right);
    for (size_t i = 1; i < left.size(); ++i) ASSERT_FLOAT_EQ(out[0][i], left[i - 1]);
    for (float v : out[1]) ASSERT_EQ(v, 0.f);
}

TEST_F(LoadedPlugin, ChunkSetWithTheWindowClosedPlaysAndComesBackUnchanged) {
    std::vector<uint8_t> chunk;
    {
        fixture::Rig rig;
        Module* from = rig.editor.createModule("SA01 2 From DAW");
        Module* amp = rig.editor.createModule("SA05 2 DAW 12db Amplifier");
        fixture::setKnob(fixture::knobs(amp)[1], 0.25f);
        rig.cable(fixture::jacks(from)[1], fixture::jacks(amp)[1]);
        rig.plugin.setOversampling(1);
        rig.editor.author = "Test";
        chunk = rig.editor.writeChunk();
    }
    ASSERT_TRUE(host.setChunk(chunk));
    auto out = renderWithInput(std::vector<float>(4800, 0.5f), std::vector<float>(4800, 0.f));
    EXPECT_NEAR(out[0].back(), 0.5f * 4.f * 0.25f * 0.25f, 1e-4f);  // through the 2X decimator
    EXPECT_EQ(host.getChunk(), chunk);
    EXPECT_FALSE(host.setChunk({}));
    std::vector<uint8_t> later = chunk;
    later[5] = 23;
    EXPECT_FALSE(host.setChunk(later));
    EXPECT_EQ(host.getChunk(), chunk);
}
