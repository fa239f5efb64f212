#include <algorithm>

#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

constexpr uint32_t kClock = 0xF8, kStart = 0xFA, kContinue = 0xFB, kStop = 0xFC;

// Jacks of SA03 in saved order: MIDI out, Clock, Reset.
enum { kMidiOut, kClockOut, kResetOut };

struct Source {
    template <class R>
    explicit Source(R& rig) : module(rig.add("SA03 MIDI/Sync From DAW")), out(jacks(module)) {}
    Module* module;
    std::vector<PatchPoint*> out;
};

// (pass, word) of every message on the MIDI output.
std::vector<std::pair<long, uint32_t>> messages(const Tap& tap) {
    std::vector<std::pair<long, uint32_t>> out;
    for (size_t p = 0; p < tap.passes(); ++p)
        if (uint32_t w = tap.wordAt(p, kMidiOut)) out.push_back({(long)p, w});
    return out;
}

std::vector<long> passesOf(const std::vector<std::pair<long, uint32_t>>& msgs, uint32_t w) {
    std::vector<long> out;
    for (auto& m : msgs)
        if (m.second == w) out.push_back(m.first);
    return out;
}

// Passes where the Clock output rises.
std::vector<long> clockEdges(const Tap& tap) {
    std::vector<long> out;
    for (size_t p = 0; p < tap.passes(); ++p)
        if (tap.at(p, kClockOut) == 1.f && (p == 0 || tap.at(p - 1, kClockOut) == 0.f)) out.push_back((long)p);
    return out;
}

}  // namespace

TEST(SA03MSFromDAW, ForwardsHostEventsOnTheirSampleOnePerSampleWithoutTimeInfo) {
    Rig rig;  // a host that answers no time info
    Source sa03(rig);
    auto* sink = rig.addCustom<MidiSink>();
    rig.cable(sa03.out[kMidiOut], sink->midiIn);
    Tap* tap = addTap(rig, sa03.out);
    ASSERT_EQ(sa03.out[kMidiOut]->signalType, kSignalMidi);

    EventList block({midi(5, 0x90, 69, 100), midi(12, 0x91, 60, 90), midi(12, 0x91, 64, 91), midi(12, 0x91, 67, 92),
                     midi(40, 0x80, 69, 0)});
    rig.plugin.processEvents(block.list);
    HostBuffers io(64);
    rig.render(io);

    // The sink hears each word one pass after SA03 sends it (one cable).
    const std::vector<std::pair<int, uint32_t>> expected = {{6, word(0x90, 69, 100)},
                                                            {13, word(0x91, 60, 90)},
                                                            {14, word(0x91, 64, 91)},
                                                            {15, word(0x91, 67, 92)},
                                                            {41, word(0x80, 69)}};
    EXPECT_EQ(sink->received, expected);
    // Without time info the transport reads stopped at the start: Reset high, no clock.
    for (size_t p = 0; p < tap->passes(); ++p) {
        ASSERT_EQ(tap->at(p, kResetOut), 1.f) << p;
        ASSERT_EQ(tap->at(p, kClockOut), 0.f) << p;
    }

    // Events the last block could not send are overdue: they leave first, at once.
    EventList crowded({midi(62, 0x90, 1, 1), midi(62, 0x90, 2, 1), midi(62, 0x90, 3, 1), midi(62, 0x90, 4, 1)});
    rig.plugin.processEvents(crowded.list);
    sink->received.clear();
    rig.render(io);
    EventList next({midi(0, 0x90, 5, 1)});
    rig.plugin.processEvents(next.list);
    rig.render(io);
    const std::vector<std::pair<int, uint32_t>> carried = {{63, word(0x90, 1, 1)},
                                                           {0, word(0x90, 2, 1)},  // after 63 of the last block
                                                           {1, word(0x90, 3, 1)},
                                                           {2, word(0x90, 4, 1)},
                                                           {3, word(0x90, 5, 1)}};
    EXPECT_EQ(sink->received, carried);
}

TEST(SA03MSFromDAW, RingGrowsWithoutLosingOrReorderingEvents) {
    Rig rig;
    Source sa03(rig);
    auto* sink = rig.addCustom<MidiSink>();
    rig.cable(sa03.out[kMidiOut], sink->midiIn);
    auto tagged = [](int i) { return midi(0, 0x90, i % 128, 1 + i / 128); };
    std::vector<uint32_t> sent;
    auto sendRange = [&](int from, int to) {
        std::vector<vst::VstMidiEvent> evs;
        for (int i = from; i < to; ++i) {
            evs.push_back(tagged(i));
            sent.push_back(word(0x90, i % 128, 1 + i / 128));
        }
        EventList list(evs);
        rig.plugin.processEvents(list.list);
    };
    // Fill past the initial 150 entries with the unread part wrapped around the end.
    HostBuffers io100(100), io10(10), io512(512);
    sendRange(0, 100);
    rig.render(io100);
    sendRange(100, 160);
    rig.render(io10);
    sendRange(160, 280);
    rig.render(io512);
    std::vector<uint32_t> got;
    for (auto& r : sink->received) got.push_back(r.second);
    EXPECT_EQ(got, sent);
}

TEST(SA03MSFromDAW, AtFourTimesOversamplingEventsLeaveOnTheHostSampleTheyName) {
    Rig rig;
    rig.plugin.setOversampling(2);
    ASSERT_EQ(rig.plugin.oversampleFactor, 4);
    Source sa03(rig);
    Tap* tap = addTap(rig, sa03.out);
    EventList block({midi(5, 0x90, 69, 100), midi(20, 0x90, 60, 1), midi(20, 0x90, 64, 2), midi(20, 0x90, 67, 3)});
    rig.plugin.processEvents(block.list);
    HostBuffers io(32);
    rig.render(io);

    const auto msgs = messages(*tap);
    ASSERT_EQ(msgs.size(), 4u);
    // First pass of host sample 5, then three consecutive passes from host sample 20.
    EXPECT_EQ(msgs[0], std::make_pair(5L * 4, word(0x90, 69, 100)));
    EXPECT_EQ(msgs[1], std::make_pair(20L * 4, word(0x90, 60, 1)));
    EXPECT_EQ(msgs[2], std::make_pair(20L * 4 + 1, word(0x90, 64, 2)));
    EXPECT_EQ(msgs[3], std::make_pair(20L * 4 + 2, word(0x90, 67, 3)));
    EXPECT_EQ(tap->hostSamples[5 * 4], 5);
    EXPECT_EQ(tap->hostSamples[20 * 4 + 2], 20);
}

TEST(SA03MSFromDAW, TransportStartStopContinueAndReturnToStart) {
    TimedRig rig;
    Source sa03(rig);
    Tap* tap = addTap(rig, sa03.out);
    const int block = 512;

    rig.render(block);  // stopped at 0
    EXPECT_TRUE(messages(*tap).empty());
    EXPECT_EQ(tap->at(block - 1, kResetOut), 1.f);

    // Play from 0 for 60 blocks (30720 samples, 1.28 quarters at 120 BPM).
    rig.setPlaying(true);
    for (int b = 0; b < 60; ++b) rig.render(block);
    auto msgs = messages(*tap);
    ASSERT_GE(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], std::make_pair((long)block, kStart));  // first sample of the block
    EXPECT_EQ(msgs[1], std::make_pair((long)block + 1, kClock));  // the tick it displaced
    EXPECT_EQ(tap->at(block, kResetOut), 0.f);
    EXPECT_EQ(tap->at(block - 1, kResetOut), 1.f);
    // The next quarter note: 24000 samples later at 120 BPM and 48 kHz.
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_NEAR(msgs[2].first, block + 24000, 1);
    EXPECT_EQ(msgs[2].second, kClock);
    // Clock pulses: one per quarter, 30 % of a beat long.
    const auto edges = clockEdges(*tap);
    ASSERT_EQ(edges.size(), 2u);
    EXPECT_EQ(edges[0], block);
    EXPECT_NEAR(edges[1], block + 24000, 1);
    const long fall = tap->find(kClockOut, [](float v) { return v == 0.f; }, (size_t)edges[0]);
    EXPECT_NEAR(fall - edges[0], 7200, 1);

    // Stop away from the start: Reset 0.2, no message.
    size_t mark = tap->passes();
    rig.setPlaying(false);
    rig.render(block);
    EXPECT_FLOAT_EQ(tap->at(mark, kResetOut), 0.2f);
    EXPECT_EQ(messages(*tap).size(), 3u);

    // Play again from there: continue, and no tick until the next quarter note.
    mark = tap->passes();
    rig.setPlaying(true);
    rig.render(block);
    msgs = messages(*tap);
    ASSERT_EQ(msgs.size(), 4u);
    EXPECT_EQ(msgs[3], std::make_pair((long)mark, kContinue));
    EXPECT_EQ(tap->at(mark, kResetOut), 0.f);

    // Stopped and moved back to 0: Reset 1 and a stop message.
    mark = tap->passes();
    rig.setPlaying(false);
    hostClock.info.ppqPos = 0.0;
    rig.render(block);
    msgs = messages(*tap);
    ASSERT_EQ(msgs.size(), 5u);
    EXPECT_EQ(msgs[4], std::make_pair((long)mark, kStop));
    EXPECT_EQ(tap->at(mark, kResetOut), 1.f);
}

TEST(SA03MSFromDAW, ContinuingExactlyOnATickSendsThatTickAtOnce) {
    TimedRig rig;
    Source sa03(rig);
    setKnob(knobs(sa03.module)[0], 0.f);  // 24 ticks per quarter
    Tap* tap = addTap(rig, sa03.out);
    rig.setPlaying(true);
    rig.render(512);
    rig.setPlaying(false);
    rig.render(512);
    hostClock.info.ppqPos = 2.0;  // tick 48, moved there while stopped
    rig.render(512);
    const size_t mark = tap->passes();
    rig.setPlaying(true);
    rig.render(512);
    const auto msgs = messages(*tap);
    ASSERT_GE(msgs.size(), 2u);
    const std::vector<std::pair<long, uint32_t>> resumed(msgs.end() - 2, msgs.end());
    const std::vector<std::pair<long, uint32_t>> expected = {{(long)mark, kContinue}, {(long)mark + 1, kClock}};
    EXPECT_EQ(resumed, expected);
    EXPECT_EQ(tap->at(mark, kClockOut), 1.f);
    EXPECT_EQ(tap->at(mark - 1, kClockOut), 0.f);
}

// A host looping back into the tick before sends that tick at once (the clock line
// being low), then waits out the pulse and the rest of the tick as it counts.
TEST(SA03MSFromDAW, LoopingBackIntoTheLastTickSendsItAtOnce) {
    TimedRig rig;
    Source sa03(rig);
    setKnob(knobs(sa03.module)[0], 0.f);  // 24 ticks per quarter: 1000 samples at 120 BPM
    Tap* tap = addTap(rig, sa03.out);
    const int block = 512;
    rig.render(block);
    rig.setPlaying(true);
    for (int b = 0; b < 5; ++b) rig.render(block);  // to 560 samples into tick 2
    hostClock.info.ppqPos = 1900.0 / 24000.0;      // back to 900 samples into tick 1
    for (int b = 0; b < 3; ++b) rig.render(block);
    const auto clocks = passesOf(messages(*tap), kClock);
    ASSERT_EQ(clocks.size(), 5u);
    EXPECT_EQ(clocks[0], block + 1);  // displaced by the start message
    EXPECT_NEAR(clocks[1], block + 1000, 1);
    EXPECT_NEAR(clocks[2], block + 2000, 1);
    EXPECT_EQ(clocks[3], 6 * block);
    // Tick 2 again 100 samples on falls in the pulse; tick 3 comes 1100 samples on.
    EXPECT_NEAR(clocks[4], 6 * block + 1100, 1);
    EXPECT_EQ(clockEdges(*tap).back(), clocks[4]);
}

TEST(SA03MSFromDAW, DivisorSetsTicksPerQuarterAndSyncOffSendsNoTransportMessages) {
    struct Case {
        float knob;
        int ticks;
    };
    for (Case c : {Case{0.f, 24}, Case{0.25f, 8}, Case{0.5f, 4}, Case{0.75f, 2}}) {
        TimedRig rig;
        Source sa03(rig);
        setKnob(knobs(sa03.module)[0], c.knob);
        Tap* tap = addTap(rig, sa03.out);
        rig.setPlaying(true);
        for (int b = 0; b < 94; ++b) rig.render(512);  // 48128 samples: two quarters and a bit
        const auto clocks = passesOf(messages(*tap), kClock);
        ASSERT_EQ(clocks.size(), (size_t)(2 * c.ticks + 1)) << c.ticks;
        const double interval = 24000.0 / c.ticks;
        EXPECT_EQ(clocks[0], 1);  // displaced by the start message
        for (size_t i = 1; i < clocks.size(); ++i)
            EXPECT_NEAR(clocks[i], (double)i * interval, 1.0) << c.ticks << " tick " << i;
        const auto edges = clockEdges(*tap);
        ASSERT_GE(edges.size(), 2u);
        const long fall = tap->find(kClockOut, [](float v) { return v == 0.f; }, (size_t)edges[1]);
        EXPECT_NEAR(fall - edges[1], 0.3 * interval, 1.0) << c.ticks;
    }

    // Sync off (lower position): the Clock output still follows the transport, but
    // no clock or transport message is sent; host events still are.
    TimedRig rig;
    Source sa03(rig);
    CControl* sync = nullptr;
    for (CView* v : sa03.module->getChildren())
        if (v->isTypeOf("CVerticalSwitch")) sync = static_cast<CControl*>(v);
    ASSERT_NE(sync, nullptr);
    sync->setValue(1.f);
    Tap* tap = addTap(rig, sa03.out);
    rig.setPlaying(true);
    EventList notes({midi(3, 0x90, 60, 100)});
    rig.plugin.processEvents(notes.list);
    for (int b = 0; b < 50; ++b) rig.render(512);
    rig.setPlaying(false);
    rig.render(512);
    const auto msgs = messages(*tap);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0], std::make_pair(3L, word(0x90, 60, 100)));
    EXPECT_EQ(clockEdges(*tap).size(), 2u);
}

TEST(SA03MSFromDAW, HostWithoutTempoOrAnswerKeepsTheLastTempoAndReadsAsStopped) {
    TimedRig rig;
    hostClock.info.tempo = 0.0;  // a host that reports no tempo at all; the song runs at 120
    Source sa03(rig);
    Tap* tap = addTap(rig, sa03.out);
    rig.setPlaying(true);
    for (int b = 0; b < 50; ++b) {
        rig.render(512);
        hostClock.info.ppqPos += 512.0 / 24000.0;
    }
    const auto clocks = passesOf(messages(*tap), kClock);
    ASSERT_EQ(clocks.size(), 2u);
    EXPECT_NEAR(clocks[1], 24000, 1);
    EXPECT_EQ(clockEdges(*tap).size(), 2u);

    // No answer at all: the transport reads stopped at the start.
    const size_t mark = tap->passes();
    hostClock.answers = false;
    rig.render(512);
    rig.render(512);
    EXPECT_EQ(tap->at(mark, kResetOut), 1.f);
    EXPECT_EQ(tap->at(mark + 1023, kResetOut), 1.f);
    const auto msgs = messages(*tap);
    EXPECT_EQ(msgs.back(), std::make_pair((long)mark, kStop));
}

TEST(SA03MSFromDAW, SavedRecordListsControlsInPanelOrder) {
    Rig rig;
    Module* m = rig.add("SA03 MIDI/Sync From DAW");
    EXPECT_TRUE(m->isAlwaysOnByDefault());
    EXPECT_NE(m->processIndex, -1);
    EXPECT_EQ(m->getVersion(), 1000);
    const auto& kids = m->getChildren();
    ASSERT_EQ(kids.size(), 10u);
    const char* types[] = {"PatchPoint", "CMovieBitmap", "CVerticalSwitch", "ModuleKnob", "PatchPoint",
                           "CMovieBitmap", "PatchPoint", "CMovieBitmap", "CMovieBitmap", "CMovieBitmap"};
    for (size_t i = 0; i < kids.size(); ++i) EXPECT_TRUE(kids[i]->isTypeOf(types[i])) << i;
    auto j = jacks(m);
    EXPECT_EQ(j[kMidiOut]->signalType, kSignalMidi);
    EXPECT_EQ(j[kMidiOut]->direction, kJackOutput);
    EXPECT_EQ(j[kClockOut]->signalType, kSignalAudio);
    EXPECT_EQ(j[kClockOut]->getViewSize().top + j[kClockOut]->getHeight() / 2, 199);
    EXPECT_EQ(j[kResetOut]->getViewSize().top + j[kResetOut]->getHeight() / 2, 252);
    EXPECT_EQ(knobs(m)[0]->getValue(), 1.f);

    static_cast<CControl*>(kids[2])->setValue(1.f);
    knobs(m)[0]->setValue(0.25f);
    EXPECT_EQ(m->getStateSize(), 40);
    const auto saved = savedRecord(m);
    EXPECT_EQ(saved[2], 1.f);
    EXPECT_EQ(saved[3], 0.25f);
}
