// The factory library as a host plays it: every preset handed to the built plug-in
// as a chunk and rendered with one phrase, then measured.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/ModuleRegistry.h"
#include "presets/PresetReader.h"
#include "render/MidiFile.h"
#include "render/VstHost.h"
#include "support/HostMessages.h"

namespace fs = std::filesystem;
using render::TimedMidi;

namespace {

constexpr double kRate = 48000.0;
// A host loads a preset before it plays: the phrase starts after a short lead-in.
constexpr double kLeadIn = 0.25;
constexpr double kPhraseSeconds = 6.75;

std::vector<std::string> factoryPresets() {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(PRESETS_DIR))
        if (e.is_regular_file() && e.path().extension() == ".vtp")
            out.push_back(fs::relative(e.path(), PRESETS_DIR).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint8_t> fileBytes(const std::string& relative) {
    std::ifstream in(std::string(PRESETS_DIR) + "/" + relative, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> chunkOf(const std::string& relative) { return fixture::chunkOf(relative, fileBytes(relative)); }

using fixture::midi;

// Four seconds of the demo bass line, then an A minor chord held for a second and a
// half, and a second of tail.
std::vector<TimedMidi> phrase() {
    render::MidiSequence line;
    std::string error;
    EXPECT_TRUE(render::readMidiFile(DEMO_MIDI, line, error)) << error;
    std::vector<TimedMidi> events;
    for (TimedMidi m : line.events)
        if (m.seconds < 4.0) {
            m.seconds += kLeadIn;
            events.push_back(m);
        }
    for (uint8_t note : {57, 60, 64}) events.push_back(midi(kLeadIn + 4.0, 0x90, note, 100));
    for (uint8_t note : {57, 60, 64}) events.push_back(midi(kLeadIn + 5.5, 0x80, note, 0));
    return events;
}

// What effect and routing presets hear: plucked tones on every host input, a new
// pluck every half second, each input at its own pitch.
std::vector<std::vector<float>> hostInputs() {
    std::vector<std::vector<float>> in(10, std::vector<float>((size_t)(kPhraseSeconds * kRate)));
    for (size_t k = 0; k < in.size(); ++k) {
        const double hz = 110.0 * std::pow(2.0, (double)k * 7.0 / 12.0);
        for (size_t i = 0; i < in[k].size(); ++i) {
            const double t = (double)i / kRate, local = std::fmod(t, 0.5);
            double s = 0;
            for (int h = 1; h <= 4; ++h) s += std::sin(2.0 * M_PI * hz * h * t) / h;
            in[k][i] = (float)(0.45 * std::exp(-6.0 * local) * s);
        }
    }
    return in;
}


struct Measure {
    float peak = 0.f;
    double rms = 0, mean = 0;
    bool finite = true;
};

Measure measure(const std::vector<float>& x) {
    Measure m;
    for (size_t i = 0; i < x.size(); ++i) {
        const float v = x[i];
        if (!std::isfinite(v)) m.finite = false;
        m.peak = std::max(m.peak, std::fabs(v));
        m.rms += (double)v * v;
        m.mean += v;
    }
    m.rms = std::sqrt(m.rms / (double)x.size());
    m.mean /= (double)x.size();
    return m;
}

TEST(FactoryLibrary, EveryPresetPlaysThePhraseAtAMatchedLevel) {
    const std::vector<std::string> presets = factoryPresets();
    ASSERT_GE(presets.size(), 24u);
    render::VstHost host;
    ASSERT_TRUE(host.load(VANTOREL_SO)) << host.error();
    ASSERT_TRUE(host.open(kRate, 256)) << host.error();
    const auto events = phrase();
    const auto inputs = hostInputs();
    std::set<std::string> categories;
    for (const std::string& p : presets) {
        SCOPED_TRACE(p);
        categories.insert(fs::path(p).parent_path().string());
        ASSERT_TRUE(host.setChunk(chunkOf(p)));
        const auto out = host.render(events, (int64_t)(kPhraseSeconds * kRate), inputs);
        for (int ch = 0; ch < 2; ++ch) {
            const Measure m = measure(out[(size_t)ch]);
            EXPECT_TRUE(m.finite) << "output " << ch + 1;
            EXPECT_GE(m.peak, 0.3f) << "output " << ch + 1;
            EXPECT_LE(m.peak, 1.f) << "output " << ch + 1;
            EXPECT_GT(m.rms, 0.02) << "output " << ch + 1;
            // Audio, not an offset: the mean over the phrase stays near zero.
            EXPECT_LT(std::fabs(m.mean), 0.02) << "output " << ch + 1;
        }
    }
    for (const char* c : {"Bass", "Leads", "Pads", "Drums", "Sequences", "Effects", "Utilities"})
        EXPECT_TRUE(categories.count(c)) << c;
}

// Strongest period between 0.4 and 25 ms: the first autocorrelation peak within 15 % of
// the largest, so that a harmonic-rich tone reports its fundamental.
double pitchOf(const std::vector<float>& x, double from, double to) {
    const size_t a = (size_t)(from * kRate), b = (size_t)(to * kRate);
    std::vector<double> ac(1200, 0.0);
    double best = 0;
    for (size_t lag = 20; lag < ac.size(); ++lag) {
        for (size_t i = a; i + lag < b; ++i) ac[lag] += (double)x[i] * x[i + lag];
        best = std::max(best, ac[lag]);
    }
    for (size_t lag = 21; lag + 1 < ac.size(); ++lag)
        if (ac[lag] > 0.85 * best && ac[lag] >= ac[lag - 1] && ac[lag] >= ac[lag + 1]) return kRate / (double)lag;
    return 0.0;
}

double peakOf(const std::vector<float>& x, double from, double to) {
    float p = 0.f;
    for (size_t i = (size_t)(from * kRate); i < (size_t)(to * kRate); ++i) p = std::max(p, std::fabs(x[i]));
    return p;
}

class FactorySound : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.load(VANTOREL_SO)) << host.error();
        ASSERT_TRUE(host.open(kRate, 256)) << host.error();
    }
    render::VstHost host;
};

TEST_F(FactorySound, PitchedPresetsPlayTheNoteTheyAreGiven) {
    ASSERT_TRUE(host.setChunk(chunkOf("Utilities/Tuning Reference.vtp")));
    auto out = host.render({}, (int64_t)kRate);
    EXPECT_NEAR(pitchOf(out[0], 0.2, 0.8), 440.0, 2.0);
    // A2 (110 Hz): the bass's lowest partial is the sine an octave below its saws.
    ASSERT_TRUE(host.setChunk(chunkOf("Bass/Sub Sine Bass.vtp")));
    out = host.render({midi(0.1, 0x90, 45, 100), midi(0.9, 0x80, 45, 0)}, (int64_t)kRate);
    EXPECT_NEAR(pitchOf(out[0], 0.3, 0.8), 55.0, 1.5);
    // Leads sound an octave above the key; the portamento lead first glides there.
    struct Lead {
        const char* preset;
        double from, to;
    };
    for (const Lead& lead : {Lead{"Leads/Plucked Gate Lead.vtp", 0.12, 0.25}, Lead{"Drums/Wood Pings.vtp", 0.12, 0.25},
                             Lead{"Leads/Portamento Lead.vtp", 0.35, 0.6}}) {
        ASSERT_TRUE(host.setChunk(chunkOf(lead.preset)));
        out = host.render({midi(0.1, 0x90, 57, 100), midi(0.9, 0x80, 57, 0)}, (int64_t)kRate);
        EXPECT_NEAR(pitchOf(out[0], lead.from, lead.to), 440.0, 8.0) << lead.preset;
    }
}

TEST_F(FactorySound, ArpeggioStepsThroughRootFifthOctaveAndTwelfthOnSixteenths) {
    ASSERT_TRUE(host.setChunk(chunkOf("Sequences/Switch Arpeggio.vtp")));
    const auto out = host.render({midi(0.0, 0x90, 57, 100)}, (int64_t)(3.0 * kRate));
    // Sixteenths at 120 BPM last 0.125 s; measure the middle of each step.
    std::vector<double> steps;
    for (int k = 8; k < 16; ++k) steps.push_back(pitchOf(out[0], k * 0.125 + 0.01, k * 0.125 + 0.09));
    const double intervals[4] = {440.0, 659.26, 880.0, 1318.5};
    int first = -1;
    for (int i = 0; i < 4; ++i)
        if (std::fabs(steps[0] - intervals[i]) < intervals[i] * 0.02) first = i;
    ASSERT_GE(first, 0) << steps[0];
    for (size_t k = 0; k < steps.size(); ++k)
        EXPECT_NEAR(steps[k], intervals[(first + k) % 4], intervals[(first + k) % 4] * 0.02) << k;
}

TEST_F(FactorySound, HostInputEffectsKeepTheirSides) {
    // Input 1 only: Stereo Balance sends it to output 1 alone.
    std::vector<std::vector<float>> in = hostInputs();
    std::fill(in[1].begin(), in[1].end(), 0.f);
    ASSERT_TRUE(host.setChunk(chunkOf("Utilities/Stereo Balance.vtp")));
    auto out = host.render({}, (int64_t)kRate, in);
    EXPECT_GT(peakOf(out[0], 0.0, 1.0), 0.3);
    EXPECT_EQ(peakOf(out[1], 0.0, 1.0), 0.0);
    // Auto Pan, once its clock is measured, swings fully to one side on each beat and
    // to the other on the next.
    ASSERT_TRUE(host.setChunk(chunkOf("Effects/Auto Pan FX.vtp")));
    std::vector<std::vector<float>> steady(1, std::vector<float>((size_t)(6 * kRate), 0.f));
    for (size_t i = 0; i < steady[0].size(); ++i) steady[0][i] = 0.5f * (float)std::sin(2 * M_PI * 220.0 * i / kRate);
    out = host.render({}, (int64_t)(6 * kRate), steady);
    for (int beat = 6; beat < 11; ++beat) {
        const double t = beat * 0.5;
        const double left = peakOf(out[0], t - 0.03, t + 0.03), right = peakOf(out[1], t - 0.03, t + 0.03);
        SCOPED_TRACE(beat);
        EXPECT_GT(std::max(left, right), 0.25);  // 0.5 in, gain 2 x 0.5 x 0.77^2
        EXPECT_LT(std::min(left, right), 0.05);
        if (beat > 6) {
            EXPECT_EQ(left > right, (beat % 2) == 1) << "sides do not alternate";
        }
    }
}

TEST(FactoryLibrary, TogetherThePresetsUseEveryModuleAndSayHowToPlayThem) {
    std::map<std::string, int> uses;
    for (const ModuleClassInfo& info : ModuleRegistry::all()) uses[info.displayName] = 0;
    ASSERT_EQ(uses.size(), 39u);
    for (const std::string& p : factoryPresets()) {
        SCOPED_TRACE(p);
        const std::vector<uint8_t> bytes = fileBytes(p);
        ParsedPatch patch;
        ASSERT_EQ(parsePatch(bytes.data(), bytes.size(), false, patch), ParseResult::ok);
        EXPECT_GE(patch.author.size(), 2u);
        EXPECT_GE(patch.description.size(), 40u);
        for (const ParsedModule& m : patch.modules) {
            ASSERT_NE(m.moduleClass, nullptr) << m.name;
            ++uses[m.name];
        }
    }
    for (const auto& [name, count] : uses) EXPECT_GT(count, 0) << name << " is in no factory preset";
}

// A fresh build's library, browsed as the preset buttons do: every factory preset is
// reached once, in menu order, and loads without a complaint.
TEST(FactoryLibrary, NextStepsThroughTheWholeLibraryAndLoadsEveryPreset) {
    Vantorel plugin(nullptr);
    SynEditor& editor = *plugin.editor;
    editor.presetsFolder = std::string(PRESETS_DIR) + "/";
    std::vector<std::string> visited;
    while (editor.stepPreset(1)) {
        visited.push_back(fs::relative(editor.presetPath, PRESETS_DIR).string());
        EXPECT_GT(editor.rackModules.size(), 1) << visited.back();
        EXPECT_EQ(editor.presetName, fs::path(visited.back()).stem().string());
    }
    EXPECT_TRUE(editor.lastMessageTitle.empty()) << editor.lastMessageText;
    std::vector<std::string> sorted = visited;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, factoryPresets());
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited.front(), "Bass/Filter Envelope Bass.vtp");  // folders and names alphabetical
}

}  // namespace
