#include "render/VstHost.h"
#include "TestSupport.h"

#include <cstring>

using namespace render;
using testsupport::TempDir;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

TimedMidi noteOn(double seconds, int note) {
    TimedMidi m;
    m.seconds = seconds;
    m.bytes[0] = 0x90;
    m.bytes[1] = uint8_t(note);
    m.bytes[2] = 100;
    m.size = 3;
    return m;
}

double framesToSeconds(int64_t frames) { return double(frames) / kRate; }

// Runs the block loop the host runs and returns (block index, deltaFrames, note) per event.
std::vector<std::tuple<int, int, int>> schedule(const std::vector<TimedMidi>& events,
                                                int64_t totalFrames) {
    std::vector<std::tuple<int, int, int>> got;
    size_t next = 0;
    int block = 0;
    for (int64_t pos = 0; pos < totalFrames; pos += kBlock, ++block) {
        const int n = int(std::min<int64_t>(kBlock, totalFrames - pos));
        for (const vst::VstMidiEvent& e : takeBlockEvents(events, next, pos, n, kRate)) {
            EXPECT_EQ(e.type, vst::kVstMidiType);
            EXPECT_EQ(e.byteSize, int(sizeof(vst::VstMidiEvent)));
            got.emplace_back(block, e.deltaFrames, e.midiData[1]);
        }
    }
    return got;
}

}  // namespace

TEST(Timeline, EventsLandOnTheirFrameWithinTheirBlock) {
    // The last event is out of order: the cursor has moved on, so it is played late, at the
    // start of the block being built, instead of being lost.
    const auto got = schedule({noteOn(0.0, 1), noteOn(framesToSeconds(kBlock * 3 / 2), 2),
                               noteOn(framesToSeconds(kBlock * 2 - 1), 3),
                               noteOn(framesToSeconds(kBlock * 2), 4),
                               noteOn(framesToSeconds(kBlock - 1), 5)},
                              kBlock * 4);
    const std::vector<std::tuple<int, int, int>> want = {
        {0, 0, 1}, {1, kBlock / 2, 2}, {1, kBlock - 1, 3}, {2, 0, 4}, {2, 0, 5}};
    EXPECT_EQ(got, want);
}

TEST(Timeline, SimultaneousEventsKeepTheirOrderAndTheEndDropsTheRest) {
    const double t = framesToSeconds(700);
    const auto got = schedule({noteOn(-1.0, 9), noteOn(t, 10), noteOn(t, 11),
                               noteOn(framesToSeconds(1000), 12), noteOn(1e9, 13)},
                              1000);
    const std::vector<std::tuple<int, int, int>> want = {
        {0, 0, 9}, {1, 700 - kBlock, 10}, {1, 700 - kBlock, 11}};
    EXPECT_EQ(got, want);
}

TEST(Timeline, FrameOfTimeRoundsAndClamps) {
    EXPECT_EQ(frameAt(768.0 / 48000.0, 48000.0), 768);
    EXPECT_EQ(frameAt(0.1, 44100.0), 4410);
    EXPECT_EQ(frameAt(2.3, 48000.0), 110400) << "the product is 110399.99999999999";
    EXPECT_EQ(frameAt(-0.5, 48000.0), 0);
    EXPECT_EQ(frameAt(std::nan(""), 48000.0), 0);
    EXPECT_GT(frameAt(1e300, 48000.0), int64_t(1) << 62);
}

TEST(Timeline, TransportFollowsTempoIn4_4) {
    const vst::VstTimeInfo t = transportAt(48000 * 5 / 2, 48000.0, 120.0, true);
    EXPECT_DOUBLE_EQ(t.samplePos, 120000.0);
    EXPECT_DOUBLE_EQ(t.sampleRate, 48000.0);
    EXPECT_DOUBLE_EQ(t.tempo, 120.0);
    EXPECT_DOUBLE_EQ(t.ppqPos, 5.0);
    EXPECT_DOUBLE_EQ(t.barStartPos, 4.0);
    EXPECT_EQ(t.timeSigNumerator, 4);
    EXPECT_EQ(t.timeSigDenominator, 4);
    const vst::VstInt32 valid = vst::kVstTempoValid | vst::kVstPpqPosValid;
    EXPECT_EQ(t.flags & valid, valid);
    EXPECT_TRUE(t.flags & vst::kVstTransportPlaying);
    EXPECT_FALSE(transportAt(0, 44100.0, 90.0, false).flags & vst::kVstTransportPlaying);
    EXPECT_DOUBLE_EQ(transportAt(44100, 44100.0, 90.0, false).ppqPos, 1.5);
}

// --- Loading ---------------------------------------------------------------------------

TEST(HostLoad, ReportsWhyAPluginCannotBeLoaded) {
    TempDir dir;
    VstHost host;
    EXPECT_FALSE(host.load(dir.file("absent.so")));
    EXPECT_NE(host.error().find("absent.so"), std::string::npos) << host.error();
    EXPECT_NE(host.error().find("No such file"), std::string::npos) << host.error();

    const std::string text = dir.file("notes.so");
    testsupport::writeFile(text, "just some text, not an ELF object\n");
    EXPECT_FALSE(host.load(text));
    EXPECT_NE(host.error().find("cannot load plug-in"), std::string::npos) << host.error();

    EXPECT_FALSE(host.load(PROBE_NO_ENTRY_SO));
    EXPECT_NE(host.error().find("no VSTPluginMain or main"), std::string::npos) << host.error();

    EXPECT_FALSE(host.load(PROBE_NULL_EFFECT_SO));
    EXPECT_NE(host.error().find("refused"), std::string::npos) << host.error();

    EXPECT_FALSE(host.load(PROBE_BAD_MAGIC_SO));
    EXPECT_NE(host.error().find("magic"), std::string::npos) << host.error();
    EXPECT_EQ(host.effect(), nullptr);

    EXPECT_FALSE(host.open(kRate, kBlock)) << "nothing loaded";
    EXPECT_TRUE(host.load(PROBE_SO)) << host.error();
    EXPECT_EQ(host.numOutputs(), 5);
}

namespace {

void expectRefusalOfVersionZero(const std::string& path) {
    // Each host answers for itself: a willing one alive beside it must not lend its answer.
    VstHost old, current;
    old.setReportedVersion(0);
    ASSERT_TRUE(current.load(path)) << current.error();
    EXPECT_FALSE(old.load(path)) << path;
    EXPECT_NE(old.error().find("refused"), std::string::npos) << old.error();
}

}  // namespace

TEST(HostLoad, PluginsRefuseAHostAnsweringVersionZero) {
    expectRefusalOfVersionZero(PROBE_SO);
    if (!std::filesystem::exists(NEKOBI_SO)) GTEST_SKIP() << NEKOBI_SO << " not installed";
    expectRefusalOfVersionZero(NEKOBI_SO);
}

TEST(HostLoad, VantorelRefusesAHostAnsweringVersionZero) { expectRefusalOfVersionZero(VANTOREL_SO); }

// --- Driving the probe plug-in ---------------------------------------------------------

class ProbeHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.load(PROBE_SO)) << host.error();
        ASSERT_TRUE(host.open(kRate, kBlock)) << host.error();
    }
    // What the host answers the plug-in, relayed by the probe.
    vst::VstIntPtr ask(vst::VstInt32 opcode, void* ptr = nullptr) {
        return host.dispatch(vst::effVendorSpecific, opcode, 0, ptr);
    }
    VstHost host;
};

TEST_F(ProbeHost, RenderDeliversEventsTransportAndInputSampleExactly) {
    const int64_t frames = 3 * kBlock + 100;  // the last block is a short one
    const std::vector<TimedMidi> events = {
        noteOn(framesToSeconds(kBlock * 2), 62), noteOn(framesToSeconds(kBlock * 3 / 2), 60),
        noteOn(0.0, 64), noteOn(framesToSeconds(frames - 1), 65),
        noteOn(framesToSeconds(frames), 66)};  // one past the end: never played
    std::vector<float> ramp(700);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) * 0.001f;
    host.setTempo(150.0);

    const auto out = host.render(events, frames, {ramp});
    ASSERT_EQ(out.size(), 5u);
    for (const auto& ch : out) ASSERT_EQ(ch.size(), size_t(frames));

    std::vector<float> markers(frames, 0.0f);
    markers[0] = 64;
    markers[kBlock * 3 / 2] = 60;
    markers[kBlock * 2] = 62;
    markers[frames - 1] = 65;
    EXPECT_EQ(out[0], markers) << "-1: processed before resume, -2: event outside its block";
    for (int64_t i = 0; i < frames; ++i) {
        ASSERT_EQ(out[1][i], float(i)) << "samplePos at frame " << i;
        const int64_t blockStart = i / kBlock * kBlock;
        ASSERT_FLOAT_EQ(out[2][i], float(blockStart / kRate * 150.0 / 60.0)) << "ppqPos at " << i;
        ASSERT_EQ(out[3][i], size_t(i) < ramp.size() ? ramp[i] : 0.0f) << "input at " << i;
        ASSERT_EQ(out[4][i], VstHost::kDefaultPrefill) << "stale output buffer at " << i;
    }
}

TEST_F(ProbeHost, PrefillAndTimeInfoCanBeChangedLikeOtherHosts) {
    host.setPrefill(true, -7.5f);
    host.setProvideTimeInfo(false);
    const auto out = host.render({}, kBlock + 3);
    ASSERT_EQ(out.size(), 5u);
    for (size_t i = 0; i < out[1].size(); ++i) {
        ASSERT_EQ(out[1][i], -1.0f) << "time info was handed out";
        ASSERT_EQ(out[4][i], -7.5f);
    }
    EXPECT_EQ(ask(vst::audioMasterGetTime), 0);
}

TEST_F(ProbeHost, AnswersThePluginsQuestions) {
    EXPECT_EQ(ask(vst::audioMasterVersion), 2400);
    EXPECT_EQ(ask(vst::audioMasterWantMidi), 1);
    EXPECT_EQ(ask(vst::audioMasterGetSampleRate), 48000);
    EXPECT_EQ(ask(vst::audioMasterGetBlockSize), kBlock);
    EXPECT_EQ(ask(vst::audioMasterCurrentId), vst::fourCC('P', 'r', 'b', 'e'));
    char name[vst::kVstMaxProductStrLen];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(ask(vst::audioMasterGetProductString, name), 1);
    EXPECT_STREQ(name, "vantorel-render");
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(ask(vst::audioMasterGetVendorString, name), 1);
    EXPECT_STREQ(name, "Vantorel");
    char timeInfo[] = "sendVstTimeInfo", events[] = "sendVstEvents", window[] = "sizeWindow";
    EXPECT_EQ(ask(vst::audioMasterCanDo, timeInfo), 1);
    EXPECT_EQ(ask(vst::audioMasterCanDo, events), 1);
    EXPECT_EQ(ask(vst::audioMasterCanDo, window), -1);
    EXPECT_EQ(ask(vst::audioMasterIOChanged), 0);
    EXPECT_EQ(ask(9999), 0);

    host.setPlaying(false);
    host.setTempo(90.0);
    host.setPosition(96000);
    const auto* t = reinterpret_cast<const vst::VstTimeInfo*>(ask(vst::audioMasterGetTime));
    ASSERT_NE(t, nullptr);
    EXPECT_DOUBLE_EQ(t->ppqPos, 3.0);
    EXPECT_FALSE(t->flags & vst::kVstTransportPlaying);
}

TEST_F(ProbeHost, ChunksParametersAndAutomationRoundTrip) {
    const std::vector<uint8_t> state = {'P', 'R', 'B', 0, 255, 7, 0};
    ASSERT_TRUE(host.setChunk(state)) << host.error();
    EXPECT_EQ(host.getChunk(), state);
    EXPECT_FALSE(host.setChunk({'X', 'Y', 'Z', 1}));
    EXPECT_NE(host.error().find("rejected"), std::string::npos);
    EXPECT_FALSE(host.setChunk({}));
    EXPECT_EQ(host.getChunk(), state) << "a rejected chunk must leave the state alone";

    host.setParameter(2, 0.7f);
    EXPECT_FLOAT_EQ(host.getParameter(2), 0.7f);
    host.setParameter(4, 1.0f);  // out of range: the probe aborts if it gets through
    host.setParameter(-1, 1.0f);
    EXPECT_EQ(host.getParameter(99), 0.0f);

    host.dispatch(vst::effSetProgram, 0, 3);
    host.dispatch(vst::effSetProgram, 0, 5);
    ASSERT_EQ(host.automation().size(), 2u);
    EXPECT_EQ(host.automation()[0].first, 1);
    EXPECT_FLOAT_EQ(host.automation()[0].second, 0.3f);
    EXPECT_FLOAT_EQ(host.automation()[1].second, 0.5f);
}

TEST_F(ProbeHost, ProcessRefusesBlocksLongerThanAnnounced) {
    std::vector<float> in(kBlock * 2), bufs[5];
    std::vector<float*> outs;
    for (auto& b : bufs) {
        b.assign(kBlock * 2, 0.0f);
        outs.push_back(b.data());
    }
    float* ins[] = {in.data()};
    EXPECT_FALSE(host.process(ins, outs.data(), kBlock + 1));
    EXPECT_EQ(bufs[4][0], 0.0f) << "the plug-in must not have been called";
    EXPECT_TRUE(host.process(ins, outs.data(), kBlock));
    EXPECT_EQ(bufs[4][kBlock - 1], VstHost::kDefaultPrefill);
    EXPECT_EQ(bufs[4][kBlock], 0.0f);

    host.close();
    EXPECT_EQ(host.effect(), nullptr);
    EXPECT_FALSE(host.process(ins, outs.data(), kBlock));
    EXPECT_TRUE(host.render({}, 10).empty());
}
