// The compiled-in bitmaps: every name anyone asks for is there at its size, and the
// strips show what their frames stand for.
#include <cstring>
#include <set>

#include "ArtSupport.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

using namespace arttest;

namespace {

struct Named {
    const char* name;
    int width, height;
};

// The shared control strips and the editor's bitmaps, by name and size.
const Named kShared[] = {
    {"minibrute_knob_s.png", 53, 2597},      {"minibrute_knob_big.png", 79, 7821},
    {"sknobit_gray_13s.png", 37, 481},       {"sknobit_gray_13s_fs.png", 37, 481},
    {"sknobit_gray.png", 37, 1147},          {"sknobit_gray_5s.png", 37, 185},
    {"sknobit_gray_7s2.png", 37, 259},       {"sknobit_gray_11s.png", 37, 407},
    {"patchpoint1.png", 25, 28},             {"patchpoint2.png", 26, 29},
    {"patchpoint3.png", 27, 30},             {"patchpoint4.png", 28, 31},
    {"patchpoint5.png", 25, 28},             {"patchpoint6.png", 26, 29},
    {"patchpoint7.png", 27, 30},             {"patchpoint8.png", 28, 31},
    {"MIDIpp.png", 38, 76},                  {"screw.png", 16, 160},
    {"vert_switch_toggle.png", 40, 80},      {"vert_triple_switch_toggle.png", 40, 120},
    {"led_blue.png", 12, 60},                {"led_red.png", 12, 60},
    {"red_button_small.png", 26, 52},        {"bb_up.png", 20, 40},
    {"bb_down.png", 20, 40},                 {"digits_mid_red.png", 13, 220},
};
const Named kEditor[] = {
    {"1st_row.jpg", 960, 291},         {"2nd_row.jpg", 960, 291},        {"3rd_row.jpg", 960, 291},
    {"topbar2.png", 1010, 40},         {"sidebar2.png", 25, 582},        {"title.png", 159, 35},
    {"add_row.png", 35, 70},           {"rem_row.png", 35, 70},          {"modulemenu.png", 35, 35},
    {"modulemenu_clicked.png", 35, 35}, {"main_menu.png", 35, 35},       {"main_menu_clicked.png", 35, 35},
    {"presetl.png", 18, 70},           {"presetr.png", 18, 70},          {"preset_frame.png", 200, 35},
    {"preset_screen.png", 190, 25},    {"preset_stripes.png", 200, 35},  {"MIDIplug.png", 38, 38},
    {"MIDIplugcon.png", 38, 38},
};

void expectInTable(const std::string& name, int width, int height) {
    SCOPED_TRACE(name);
    const Resource* r = findResource(name.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(pngSize(*r), std::make_pair(width, height));
}

// Angle of the pointer in frame f, in degrees clockwise from twelve o'clock: the
// mean direction of the frame's near-white pixels seen from its centre.
double pointerAngle(const Pixels& strip, int size, int f) {
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int py = f * size + y;
            if (strip.alpha(x, py) > 0.95 && strip.luminance(x, py) > 0.9) {
                sx += x + 0.5 - size / 2.0;
                sy += y + 0.5 - size / 2.0;
                ++n;
            }
        }
    EXPECT_GT(n, 3) << "no pointer in frame " << f;
    return std::atan2(sx, -sy) * 180.0 / 3.14159265358979;
}

double meanLuminance(const Pixels& p, int top, int height) {
    double sum = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = 0; x < p.width(); ++x) sum += p.luminance(x, y) * p.alpha(x, y);
    return sum / (p.width() * height);
}

bool framesEqual(const Pixels& p, int size, int a, int b) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < p.width(); ++x)
            if (p.alpha(x, a * size + y) != p.alpha(x, b * size + y) ||
                p.luminance(x, a * size + y) != p.luminance(x, b * size + y))
                return false;
    return true;
}

}  // namespace

TEST(CompiledArt, EveryBitmapAnyoneNamesIsThereAtItsSize) {
    for (const Named& n : kShared) {
        expectInTable(n.name, n.width, n.height);
        // The size modules lay their controls out with is the size drawn.
        CBitmap* b = SharedBitmaps::get(n.name);
        EXPECT_EQ(b->getWidth(), n.width) << n.name;
        EXPECT_EQ(b->getHeight(), n.height) << n.name;
    }
    for (const Named& n : kEditor) expectInTable(n.name, n.width, n.height);
    std::set<std::string> panels;
    forEachModule([&](Module& m) {
        CBitmap* panel = m.getBackground();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->getWidth(), m.getWidth());
        EXPECT_EQ(panel->getHeight(), m.getHeight());
        expectInTable(panel->getName(), m.getWidth(), m.getHeight());
        panels.insert(panel->getName());
        for (CView* v : m.getChildren())
            if (v->isTypeOf("CControl"))
                if (CBitmap* b = static_cast<CControl*>(v)->getBackground())
                    expectInTable(b->getName(), b->getWidth(), b->getHeight());
    });
    // One panel per class: a class that reused another's name would show its art.
    EXPECT_EQ(panels.size(), ModuleRegistry::all().size());
}

TEST(CompiledArt, NamesMatchWithoutRegardToCaseAndUnknownOnesMiss) {
    const Resource* exact = findResource("S310VCO.png");
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(findResource("s310vco.PNG"), exact);
    EXPECT_EQ(findResource("S310VCO.pn"), nullptr);
    EXPECT_EQ(findResource(""), nullptr);
    EXPECT_EQ(findResource(nullptr), nullptr);
    size_t count = 0;
    const Resource* all = allResources(&count);
    std::set<std::string> lower;
    for (size_t i = 0; i < count; ++i) {
        std::string n = all[i].name;
        for (char& c : n) c = (char)std::tolower((unsigned char)c);
        EXPECT_TRUE(lower.insert(n).second) << "two resources differ only in case: " << all[i].name;
        EXPECT_NE(pngSize(all[i]).first, -1) << all[i].name << " is not PNG data";
    }
}

TEST(CompiledArt, KnobPointersTurnFromMinimumToMaximumFrameByFrame) {
    struct Knob {
        const char* name;
        int size, frames;
    };
    const Knob knobs[] = {{"minibrute_knob_s.png", 53, 49},   {"minibrute_knob_big.png", 79, 99},
                          {"sknobit_gray.png", 37, 31},        {"sknobit_gray_13s.png", 37, 13},
                          {"sknobit_gray_5s.png", 37, 5},      {"sknobit_gray_11s.png", 37, 11}};
    for (const Knob& k : knobs) {
        SCOPED_TRACE(k.name);
        const Pixels strip(k.name);
        ASSERT_TRUE(strip.ok());
        const int size = k.size, frames = k.frames;
        ASSERT_EQ(strip.height(), size * frames);
        // Frame 0 is the minimum, the middle frame (odd counts all) points up, the
        // last the maximum.
        ASSERT_EQ(frames % 2, 1);
        EXPECT_NEAR(pointerAngle(strip, size, 0), -135, 8);
        EXPECT_NEAR(pointerAngle(strip, size, frames / 2), 0, 8);
        EXPECT_NEAR(pointerAngle(strip, size, frames - 1), 135, 8);
        double previous = -1000;
        for (int f = 0; f < frames; ++f) {
            const double a = pointerAngle(strip, size, f);
            EXPECT_GT(a, previous) << "frame " << f;
            previous = a;
        }
        for (int f = 1; f < frames; ++f) EXPECT_FALSE(framesEqual(strip, size, f - 1, f)) << "frame " << f;
    }
}

TEST(CompiledArt, LightsGrowBrighterAndSwitchLeversMoveDown) {
    for (const char* name : {"led_blue.png", "led_red.png"}) {
        SCOPED_TRACE(name);
        const Pixels led(name);
        ASSERT_TRUE(led.ok());
        for (int f = 1; f < 5; ++f) EXPECT_GT(meanLuminance(led, f * 12, 12), meanLuminance(led, (f - 1) * 12, 12) + 0.01);
    }
    for (int positions : {2, 3}) {
        const Pixels sw(positions == 2 ? "vert_switch_toggle.png" : "vert_triple_switch_toggle.png");
        ASSERT_TRUE(sw.ok());
        // The lever's chrome (brighter than the nut): it goes down with the value.
        double previous = -1;
        for (int f = 0; f < positions; ++f) {
            double sy = 0;
            int n = 0;
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x)
                    if (sw.alpha(x, f * 40 + y) > 0.9 && sw.luminance(x, f * 40 + y) > 0.92) {
                        sy += y;
                        ++n;
                    }
            ASSERT_GT(n, 0);
            EXPECT_GT(sy / n, previous + 1.5) << positions << " positions, frame " << f;
            previous = sy / n;
        }
    }
    const Pixels midi("MIDIpp.png");
    ASSERT_TRUE(midi.ok());
    EXPECT_FALSE(framesEqual(midi, 38, 0, 1));
}

TEST(CompiledArt, DigitStripRunsFromZeroToNine) {
    const Pixels digits("digits_mid_red.png");
    ASSERT_TRUE(digits.ok());
    // Lit segments per digit of a seven-segment display, 0 to 9.
    const int segments[10] = {6, 2, 5, 5, 4, 5, 6, 3, 7, 6};
    double lit[10];
    for (int d = 0; d < 10; ++d) {
        int n = 0;
        for (int y = 0; y < 22; ++y)
            for (int x = 0; x < 13; ++x)
                if (digits.channel(x, d * 22 + y, 0) > 0.7) ++n;
        lit[d] = n;
    }
    // Lit area in proportion to the segment count: 1 the least, 8 the most.
    for (int d = 0; d < 10; ++d)
        for (int e = 0; e < 10; ++e) {
            if (segments[d] >= segments[e]) continue;
            EXPECT_LT(lit[d], lit[e]) << d << " against " << e;
        }
}
