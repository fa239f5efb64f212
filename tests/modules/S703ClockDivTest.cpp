// S703 Clock Divider driven by a clock source in the engine, read on every pass.
#include <algorithm>

#include "HostMidiRig.h"

using namespace hostmidi;

namespace {

constexpr long kPeriod = 4;  // passes per clock cycle, high for the first half

class Clock : public Module {
public:
    explicit Clock(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { out = addJack(20, 60, kJackOutput); }
    void process() override { out->outValue = t++ % kPeriod < kPeriod / 2 ? 1.f : 0.f; }
    PatchPoint* out;
    long t = 0;
};

struct Divider {
    Divider() {
        clock = rig.addCustom<Clock>();
        m = rig.add("S703 Clock Divider");
        rig.cable(clock->out, jacks(m)[0]);
        std::vector<PatchPoint*> outs;
        for (size_t k = 1; k <= 6; ++k) outs.push_back(jacks(m)[k]);
        tap = addTap(rig, outs);
    }
    void setN(int n) {
        m->knob(0)->setValue((float)(n - 1) / 4.f);
        rig.editor.valueChanged(m->knob(0));
    }
    void edges(long count) {
        HostBuffers io((int)(count * kPeriod));
        rig.render(io);
    }
    Rig rig;
    Clock* clock;
    Module* m;
    Tap* tap;
};

// Level of an output with divisor d after `e` edges since its counters were reset.
float expected(long e, long d) { return e >= d && (e - d) % d < d / 2 ? 1.f : 0.f; }

// Every pass from `from` on: the clock edge of cycle c reaches the divider one pass
// after the clock writes it, so pass p has seen (p - 1) / kPeriod + 1 edges.
void expectDivisions(const Divider& s, int n, size_t from, long edgesBefore = 0) {
    for (size_t p = from; p < s.tap->passes(); ++p) {
        const long e = (long)(p - 1) / kPeriod + 1 - edgesBefore;
        for (size_t k = 0; k < 6; ++k) {
            const float want = expected(e, (long)n << (k + 1));
            if (s.tap->at(p, k) != want) {
                ADD_FAILURE() << "n " << n << " output " << k << " pass " << p << " edge " << e;
                return;
            }
        }
    }
}

}  // namespace

TEST(S703ClockDiv, ControlOrderAndRecord) {
    Rig rig;
    Module* m = rig.add("S703 Clock Divider");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1001);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Expected { const char* type; int cx, cy, direction; };
    std::vector<Expected> layout = {{"PatchPoint", 31, 40, 0}, {"ModuleKnob", 30, 74, -1}};
    for (int k = 0; k < 6; ++k) layout.push_back({"PatchPoint", 31, 107 + 31 * k, 1});
    for (int k = 0; k < 6; ++k) layout.push_back({"CMovieBitmap", 9, 105 + 31 * k, -1});
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), layout.size() + 2);  // and two screws
    expectPlaces(saved, layout, layout.size());
    EXPECT_TRUE(m->knob(0)->stepped);
    EXPECT_EQ(m->getStateSize(), 4 * 16 + 24);
}

// Output k is a square wave of n * 2^(k+1) edges, first high on its last edge of the
// first cycle; with n = 1 the /2n output is high on edges 2 and 4, low on 3.
TEST(S703ClockDiv, DividerPeriods) {
    for (int n = 1; n <= 5; ++n) {
        Divider s;
        s.setN(n);
        s.edges(2 * 64 * n + 5);
        expectDivisions(s, n, 1);
    }
    Divider one;
    one.edges(4);
    EXPECT_EQ(one.tap->at(1 * kPeriod + 1, 0), 1.f);  // edge 2
    EXPECT_EQ(one.tap->at(1 * kPeriod, 0), 0.f);      // the pass before it
    EXPECT_EQ(one.tap->at(2 * kPeriod + 1, 0), 0.f);  // edge 3
    EXPECT_EQ(one.tap->at(3 * kPeriod + 1, 0), 1.f);  // edge 4
}

TEST(S703ClockDiv, TurningNRestartsEveryOutput) {
    Divider s;
    s.edges(70);  // /2n .. /64n all high
    for (size_t k = 0; k < 6; ++k) ASSERT_EQ(s.m->jack((int)k + 1)->outValue, expected(70, 2L << k));
    s.setN(3);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(s.m->jack((int)k + 1)->outValue, 0.f);
    const size_t from = s.tap->passes();
    s.edges(400);
    expectDivisions(s, 3, from, 70);
}

// The counters travel with the preset: a patch read back from a chunk mid-count
// continues sample for sample with the one it was written from.
TEST(S703ClockDiv, PresetKeepsThePhase) {
    auto build = [](Rig& r) {
        Module* from = r.add("SA11 Audio/CV From DAW");
        Module* div = r.add("S703 Clock Divider");
        Module* to = r.add("SA12 Audio/CV To DAW");
        r.cable(jacks(from)[5], jacks(div)[0]);  // host input 1
        for (size_t k = 0; k < 6; ++k) r.cable(jacks(div)[k + 1], jacks(to)[k]);
        return div;
    };
    auto clocked = [](int edges) {
        HostBuffers io(edges * (int)kPeriod);
        for (size_t i = 0; i < io.in[0].size(); ++i) io.in[0][i] = (long)i % kPeriod < kPeriod / 2 ? 1.f : 0.f;
        return io;
    };
    Rig a;
    Module* div = build(a);
    setKnob(div->knob(0), 0.25f);
    a.editor.valueChanged(div->knob(0));
    HostBuffers first = clocked(37);
    a.render(first);
    const std::vector<uint8_t> chunk = a.editor.writeChunk();
    Rig b;
    ASSERT_TRUE(b.editor.readChunk(chunk.data(), chunk.size()));
    HostBuffers ra = clocked(300), rb = clocked(300);
    a.render(ra);
    b.render(rb);
    int changes = 0;
    for (size_t ch = 0; ch < kNumOutputs; ++ch) {
        // Sample 0 is what the cables into the host bridge held, and cables start empty.
        EXPECT_TRUE(std::equal(ra.out[ch].begin() + 1, ra.out[ch].end(), rb.out[ch].begin() + 1)) << "output " << ch;
        for (size_t i = 1; i < ra.out[ch].size(); ++i) changes += ra.out[ch][i] != ra.out[ch][i - 1];
    }
    EXPECT_GT(changes, 100);
}

// A record of version 1000, or one with damaged counters, starts counting afresh.
TEST(S703ClockDiv, OldOrDamagedRecordsRestart) {
    Divider a;
    a.setN(2);
    a.edges(37);
    std::vector<float> record = savedRecord(a.m);

    Divider old;
    old.m->loadState(reinterpret_cast<const int32_t*>(record.data()), a.m->getStateSize(), 1000);
    EXPECT_EQ(old.m->knob(0)->steppedValue, 0.25f);
    old.edges(300);
    expectDivisions(old, 2, 1);

    const int32_t bad[6] = {0, -5, 1, 1, 1, 1 << 30};
    std::memcpy(record.data() + 16, bad, sizeof bad);
    Divider c;
    c.m->loadState(reinterpret_cast<const int32_t*>(record.data()), a.m->getStateSize(), 1001);
    c.edges(300);
    expectDivisions(c, 2, 1);
}
