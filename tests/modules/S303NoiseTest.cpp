#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "framework/Random.h"
#include "modules/S303Noise.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kRadio, kWhite, kPink };

// Records whichever outputs are cabled to it, one value per pass.
class Listener : public Module {
public:
    explicit Listener(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (auto& j : in) j = addJack(20, 60, kJackInput);
        for (auto& v : values) v.reserve(1 << 18);
    }
    void process() override {
        for (int k = 0; k < 3; ++k) values[k].push_back(in[k]->inValue);
    }
    PatchPoint* in[3];
    std::vector<float> values[3];
};

struct Bench {
    explicit Bench(std::initializer_list<int> outputs) {
        noise = rig.add("S303 Noise");
        ear = rig.addCustom<Listener>();
        for (int o : outputs) rig.cable(jacks(noise)[o], ear->in[o]);
    }
    // The tests reseed the shared generator; later tests get it back as it was.
    ~Bench() { randomSeed = savedSeed; }
    // The first pass hears the jacks' initial zeros through the cable; drop it.
    void run(int frames) {
        HostBuffers io(frames + 1);
        rig.render(io);
        for (auto& v : ear->values)
            if (!v.empty()) v.erase(v.begin());
    }
    uint32_t savedSeed = randomSeed;
    Rig rig;
    Module* noise;
    Listener* ear;
};

}  // namespace

TEST(S303Noise, ControlsAreSavedInPanelOrder) {
    Bench b({});
    Module* m = b.noise;
    EXPECT_EQ(m->getStateSize(), (1 + 3 + 2) * 4);  // knob, jacks, the left screw pair
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_EQ(m->getNameLen(), 10);
    EXPECT_EQ(m->getWidth(), 48);
    const int centres[4][2] = {{24, 73}, {23, 124}, {23, 199}, {23, 252}};
    const auto& kids = m->getChildren();
    for (int i = 0; i < 4; ++i) {
        const CRect r = kids[(size_t)i]->getViewSize();
        EXPECT_NEAR((r.left + r.right) / 2.0, centres[i][0], 0.5) << "control " << i + 1;
        EXPECT_NEAR((r.top + r.bottom) / 2.0, centres[i][1], 0.5) << "control " << i + 1;
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("ModuleKnob"), i == 0);
    }
    for (int j = 0; j < 3; ++j) EXPECT_EQ(jacks(m)[j]->direction, kJackOutput);
    EXPECT_FLOAT_EQ(knobs(m)[0]->getValue(), 0.5f);
}

TEST(S303Noise, WhiteIsUniformAndFollowsTheSharedSequence) {
    Bench b({kWhite});
    randomSeed = 12345;
    const int n = 200000;
    b.run(n);
    const auto& w = b.ear->values[kWhite];
    ASSERT_EQ(w.size(), (size_t)n);
    uint32_t seed = 12345;
    double sum = 0, squares = 0;
    int bins[10] = {};
    for (int i = 0; i < n; ++i) {
        seed = (uint32_t)(((uint64_t)seed * 16807u) & 0x7fffffffu);
        ASSERT_EQ(w[(size_t)i], (float)(seed * 4.656612873077393e-10 * 2.0 - 1.0)) << i;
        ASSERT_TRUE(w[(size_t)i] >= -1.f && w[(size_t)i] < 1.f);
        sum += w[(size_t)i];
        squares += w[(size_t)i] * w[(size_t)i];
        ++bins[std::min(9, (int)((w[(size_t)i] + 1.f) * 5.f))];
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(squares / n, 1.0 / 3, 0.01);
    for (int k : bins) EXPECT_NEAR(k / (double)n, 0.1, 0.005);
}

TEST(S303Noise, OneDrawPerSampleWhateverIsPatched) {
    Bench b({kPink});
    randomSeed = 777;
    b.run(999);  // 1000 passes
    uint32_t seed = 777;
    for (int i = 0; i < 1000; ++i) seed = (uint32_t)(((uint64_t)seed * 16807u) & 0x7fffffffu);
    EXPECT_EQ(randomSeed, seed);
}

TEST(S303Noise, PinkIsAOnePoleLowPassWithGainFiveAtDc) {
    Bench b({kWhite, kPink});
    const int size = 4096, segments = 48;
    b.run(size * segments);
    const auto& w = b.ear->values[kWhite];
    const auto& p = b.ear->values[kPink];
    // Transfer estimate from the cross spectrum at a few bins, averaged over segments.
    for (int bin : {1, 64, 512, 2048}) {
        std::complex<double> cross = 0;
        double power = 0;
        for (int s = 0; s < segments; ++s) {
            std::complex<double> W = 0, P = 0;
            for (int i = 0; i < size; ++i) {
                const auto z = std::polar(1.0, -2 * M_PI * bin * i / size);
                W += (double)w[(size_t)(s * size + i)] * z;
                P += (double)p[(size_t)(s * size + i)] * z;
            }
            cross += P * std::conj(W);
            power += std::norm(W);
        }
        // 0.3 x 0.5 / (1 - 0.97 z^-1): 5 at DC.
        const double expected = 0.15 / std::abs(1.0 - 0.97 * std::polar(1.0, -2 * M_PI * bin / size));
        EXPECT_NEAR(std::abs(cross / power), expected, 0.03 * expected) << "bin " << bin;
    }
}

TEST(S303Noise, RadioStaysWithinItsClip) {
    for (float k : {0.f, 0.5f, 1.f}) {
        Bench b({kRadio});
        setKnob(knobs(b.noise)[0], k);
        b.run(48000);
        int clipped = 0;
        for (float y : b.ear->values[kRadio]) {
            ASSERT_TRUE(y >= -1.f && y <= 1.f) << y;
            clipped += std::fabs(y) == 1.f;
        }
        // The pink state swings the second-order term past unity, so every setting
        // meets the clip at exactly +-1 now and then.
        EXPECT_GT(clipped, 100) << k;
    }
}
