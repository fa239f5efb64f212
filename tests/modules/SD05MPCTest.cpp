// SD05 MIDI Poly Chainer: host MIDI through a probe into the chainer, a sink on each
// patched output recording every word that reaches it and on which host sample.
#include <map>

#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kMidiIn, kOut1 };  // outputs follow as kOut1 + voice

struct Chain {
    explicit Chain(std::vector<int> outputs) {
        probe = rig.addCustom<MidiProbe>();
        sd05 = rig.add("SD05 MIDI Poly Chainer");
        rig.cable(probe->midiOut, jacks(sd05)[kMidiIn], 7);
        for (int o : outputs) connect(o);
    }
    void connect(int voice) {
        sinks[voice] = rig.addCustom<MidiSink>();
        cables[voice] = rig.cable(jacks(sd05)[(size_t)(kOut1 + voice)], sinks[voice]->midiIn, 7);
    }
    // One block with these events, one per sample from its deltaFrames on.
    void play(std::vector<vst::VstMidiEvent> events, int frames = 64) {
        probe->pending.clear();
        EventList list(std::move(events));
        rig.plugin.processEvents(list.list);
        HostBuffers io(frames);
        rig.render(io);
    }
    // Words the voice's output delivered since the last call.
    std::vector<uint32_t> took(int voice) {
        std::vector<uint32_t> w;
        for (auto& r : sinks.at(voice)->received) w.push_back(r.second);
        sinks.at(voice)->received.clear();
        return w;
    }
    void press(CControl* button, int times = 1) {
        for (int i = 0; i < times; ++i) {
            button->setValue(1.f);
            button->valueChanged();
            button->setValue(0.f);
            button->valueChanged();
        }
    }
    CControl* up() { return sd05->control("CKickButton", 0); }
    CControl* down() { return sd05->control("CKickButton", 1); }
    CControl* channel() { return sd05->control("CSpecialDigit", 0); }
    CControl* led(int voice) { return sd05->control("CMovieBitmap", 9 + voice); }  // jacks come first

    Rig rig{48000.f};
    MidiProbe* probe;
    Module* sd05;
    std::map<int, MidiSink*> sinks;
    std::map<int, Cable*> cables;
};

using Words = std::vector<uint32_t>;
uint32_t on(int note, int ch = 0) { return word(0x90 | ch, note, 100); }
uint32_t off(int note, int ch = 0) { return word(0x80 | ch, note, 0); }
vst::VstMidiEvent ev(int d, uint32_t w) { return midi(d, w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF); }

}  // namespace

TEST(SD05MPC, ControlOrder) {
    Rig rig;
    Module* m = rig.add("SD05 MIDI Poly Chainer");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Place { const char* type; int cx, cy; };
    std::vector<Place> layout = {{"PatchPoint", 23, 60}};
    const int x[2] = {23, 72}, y[4] = {106, 152, 198, 244};
    for (int v = 0; v < 8; ++v) layout.push_back({"PatchPoint", x[v / 4], y[v % 4]});
    for (int v = 0; v < 8; ++v) layout.push_back({"CMovieBitmap", x[v / 4] + 16, y[v % 4] + 16});
    layout.push_back({"CKickButton", 84, 52});
    layout.push_back({"CKickButton", 84, 68});
    layout.push_back({"CSpecialDigit", 61, 60});
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), layout.size() + 2);  // then the two left screws
    for (size_t i = 0; i < layout.size(); ++i) {
        SCOPED_TRACE(i);
        const CRect& r = saved[i]->getViewSize();
        EXPECT_TRUE(saved[i]->isTypeOf(layout[i].type));
        EXPECT_EQ((r.left + r.right) / 2, layout[i].cx);
        EXPECT_EQ((r.top + r.bottom) / 2, layout[i].cy);
        if (i <= 8) {
            EXPECT_EQ(static_cast<PatchPoint*>(saved[i])->signalType, kSignalMidi);
            EXPECT_EQ(static_cast<PatchPoint*>(saved[i])->direction, i == 0 ? kJackInput : kJackOutput);
        }
    }
    EXPECT_EQ(saved[layout.size()]->getViewSize().left, 2);
    EXPECT_EQ(saved.back()->getViewSize().left, 2);
    EXPECT_EQ(saved[layout.size() - 1]->getViewSize(), CRect(48, 49, 74, 71));
}

TEST(SD05MPC, NotesTakeFreeVoicesInRotationForOneSample) {
    Chain c({0, 1, 2, 3});
    c.play({ev(5, on(60))});
    // Probe on sample 5, chainer on 6, sink on 7; the chainer starts after voice 0.
    ASSERT_EQ(c.sinks[1]->received.size(), 1u);
    EXPECT_EQ(c.sinks[1]->received[0], std::make_pair(7, on(60)));
    EXPECT_EQ(c.led(1)->getValue(), 1.f);
    EXPECT_EQ(c.led(0)->getValue(), 0.f);
    c.took(1);
    c.play({ev(0, on(64)), ev(0, on(67))});
    EXPECT_EQ(c.took(2), Words{on(64)});
    EXPECT_EQ(c.took(3), Words{on(67)});
    // Releasing the middle note reaches only the voice that plays it.
    c.play({ev(0, off(64))});
    EXPECT_EQ(c.took(2), Words{off(64)});
    for (int v : {0, 1, 3}) EXPECT_TRUE(c.took(v).empty()) << v;
    // Next: voice 0 (free after the last used one), then the freed voice 2.
    c.play({ev(0, on(70)), ev(0, on(72))});
    EXPECT_EQ(c.took(0), Words{on(70)});
    EXPECT_EQ(c.took(2), Words{on(72)});
    // All four busy: the voice after the last used one takes a second note.
    c.play({ev(0, on(74))});
    EXPECT_EQ(c.took(3), Words{on(74)});
    // Both its notes still end there; velocity-0 note-ons count as note-offs.
    c.play({ev(0, word(0x90, 67, 0)), ev(0, off(74)), ev(0, word(0xA0, 60, 30)), ev(0, off(60))});
    EXPECT_EQ(c.took(3), (Words{word(0x90, 67, 0), off(74)}));
    EXPECT_EQ(c.took(1), (Words{word(0xA0, 60, 30), off(60)}));
    // A note-off for a note nobody holds goes nowhere, nor does one on another channel.
    c.play({ev(0, off(70, 1)), ev(0, off(61))});
    for (int v = 0; v < 4; ++v) EXPECT_TRUE(c.took(v).empty()) << v;
}

TEST(SD05MPC, VoiceCountFollowsTheHighestPatchedOutput) {
    Chain c({2});
    // Voices 0 and 1 take notes too, with nobody listening.
    c.play({ev(0, on(60)), ev(0, on(62)), ev(0, on(64)), ev(0, on(65))});
    EXPECT_EQ(c.took(2), Words{on(62)});
    c.connect(0);
    c.rig.editor.removeCable(c.cables[2]);
    // Only voice 0 is left: every note goes there.
    c.play({ev(0, on(67)), ev(0, on(69))});
    EXPECT_EQ(c.took(0), (Words{on(67), on(69)}));
    EXPECT_EQ(c.led(2)->getValue(), 0.f);
}

TEST(SD05MPC, ChannelFilterDropsOtherChannelsButNotReleases) {
    Chain c({0, 1});
    c.play({ev(0, on(60))});  // channel 1, to voice 1
    EXPECT_EQ(c.took(1), Words{on(60)});
    c.press(c.down());
    EXPECT_EQ(c.channel()->getValue(), 0.f);
    c.press(c.up(), 2);
    EXPECT_EQ(c.channel()->getValue(), 2.f);
    c.play({ev(0, on(62)), ev(0, word(0xB0, 1, 64)), ev(0, word(0xE0, 0, 64)), ev(0, word(0xC0, 5))});
    EXPECT_TRUE(c.took(0).empty());
    EXPECT_TRUE(c.took(1).empty());
    c.play({ev(0, off(60)), ev(0, on(62, 1)), ev(0, word(0xB1, 1, 64))});
    EXPECT_EQ(c.took(1), (Words{off(60), word(0xB1, 1, 64)}));
    EXPECT_EQ(c.took(0), (Words{on(62, 1), word(0xB1, 1, 64)}));
    c.press(c.up(), 20);
    EXPECT_EQ(c.channel()->getValue(), 16.f);
}

TEST(SD05MPC, OtherMessagesGoToEveryVoiceAndAllNotesOffForgetsHeldNotes) {
    Chain c({0, 1, 3});
    c.play({ev(0, on(60)), ev(0, on(62))});
    for (int v : {0, 1, 3}) c.took(v);
    const Words all = {word(0xB0, 1, 64), 0xF8, word(0xD0, 40), 0xFA, word(0xB0, 123, 0)};
    std::vector<vst::VstMidiEvent> events;
    for (uint32_t w : all) events.push_back(ev(0, w));
    c.play(events);
    for (int v : {0, 1, 3}) {
        SCOPED_TRACE(v);
        EXPECT_EQ(c.took(v), all);
        EXPECT_EQ(c.led(v)->getValue(), 1.f);
    }
    // The held notes were forgotten: their note-offs reach nobody.
    c.play({ev(0, off(60)), ev(0, off(62))});
    for (int v : {0, 1, 3}) EXPECT_TRUE(c.took(v).empty()) << v;
    // Lights go dark 100 ms (4800 host samples) after the last message.
    c.play({}, 4700);
    EXPECT_EQ(c.led(0)->getValue(), 1.f);
    c.play({}, 200);
    EXPECT_EQ(c.led(0)->getValue(), 0.f);
}
