// The shared control strips: knobs, jacks, switches, lights, buttons, screws, digits.
// Frames are stacked top to bottom; frame i of an n-frame control shows the value
// i / (n - 1), so the toolkit's frame = value x (frames - 1) picks the right one.
#include <algorithm>
#include <map>

#include "Art.h"
#include "Controls.h"
#include "Paint.h"

namespace art {
namespace {

using namespace palette;

struct KnobStyle {
    double body;    // radius of the knob itself
    double ring;    // radius of the value arc or of the tick ring
    double width;   // arc width
    bool grey;      // light grey cap (the small knob family) instead of black
    int ticks;      // 0: continuous with a value arc; n: n positions with tick marks
    bool centreMark;
};

constexpr double kSweep = 270.0;  // degrees from minimum to maximum

void drawKnobFrame(cairo_t* cr, double size, double top, double value, const KnobStyle& s) {
    const double cx = size / 2, cy = top + size / 2;
    const double a = -kSweep / 2 + kSweep * value;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    if (s.ticks == 0) {
        // Track, then the value from the minimum up to here.
        cairo_set_line_width(cr, s.width);
        setColour(cr, rgb(0x2c2c2e), 0.35);
        cairo_arc(cr, cx, cy, s.ring, dialAngle(-kSweep / 2), dialAngle(kSweep / 2));
        cairo_stroke(cr);
        if (value > 0) {
            setColour(cr, accent);
            cairo_arc(cr, cx, cy, s.ring, dialAngle(-kSweep / 2), dialAngle(a));
            cairo_stroke(cr);
        }
    } else {
        // A tick at every position; the current one lit.
        for (int i = 0; i < s.ticks; ++i) {
            const double t = dialAngle(-kSweep / 2 + kSweep * i / (s.ticks - 1));
            const bool current = std::lround(value * (s.ticks - 1)) == i;
            const bool major = s.centreMark && i == s.ticks / 2;
            const double r0 = s.ring - (major ? 2.2 : 1.4), r1 = s.ring + 1.2;
            cairo_set_line_width(cr, current ? 1.8 : 1.2);
            if (current) setColour(cr, accent);
            else setColour(cr, rgb(0x303034), major ? 0.95 : 0.7);
            cairo_move_to(cr, cx + r0 * std::cos(t), cy + r0 * std::sin(t));
            cairo_line_to(cr, cx + r1 * std::cos(t), cy + r1 * std::sin(t));
            cairo_stroke(cr);
        }
    }
    // Shadow below the knob, then the knob: a skirt, a cap lit from the top left.
    softShadow(cr, cx + 0.4, cy + 1.4, s.body, 0.9, 0.55);
    const Rgb light = s.grey ? greyLight : knobLight, dark = s.grey ? greyDark : knobDark;
    litDisc(cr, cx, cy, s.body, light, dark);
    cairo_set_line_width(cr, 0.8);
    setColour(cr, rgb(0x0c0c0d), 0.8);
    cairo_arc(cr, cx, cy, s.body - 0.4, 0, 2 * kPi);
    cairo_stroke(cr);
    litDisc(cr, cx, cy, s.body * 0.74, mix(dark, light, 0.35), mix(light, dark, 0.25));
    // Pointer: the only near-white pixels of the frame.
    const double t = dialAngle(a);
    cairo_set_line_width(cr, s.body > 16 ? 3.0 : s.body > 11 ? 2.2 : 1.8);
    cairo_set_source_rgb(cr, 0.97, 0.97, 0.95);
    cairo_move_to(cr, cx + s.body * 0.22 * std::cos(t), cy + s.body * 0.22 * std::sin(t));
    cairo_line_to(cr, cx + s.body * 0.88 * std::cos(t), cy + s.body * 0.88 * std::sin(t));
    cairo_stroke(cr);
}

Canvas* knobStrip(int size, int frames, const KnobStyle& s) {
    auto* c = new Canvas(size, size * frames);
    for (int i = 0; i < frames; ++i) drawKnobFrame(c->cr(), size, (double)i * size, frames > 1 ? (double)i / (frames - 1) : 0, s);
    return c;
}

void hexagon(cairo_t* cr, double cx, double cy, double r, double rotation) {
    for (int k = 0; k < 6; ++k) {
        const double t = rotation + k * kPi / 3;
        if (k == 0) cairo_move_to(cr, cx + r * std::cos(t), cy + r * std::sin(t));
        else cairo_line_to(cr, cx + r * std::cos(t), cy + r * std::sin(t));
    }
    cairo_close_path(cr);
}

// A jack socket: hex nut, bushing and hole; the eight variants turn and tint the nut.
Canvas* jack(int w, int h, int variant) {
    auto* c = new Canvas(w, h);
    cairo_t* cr = c->cr();
    // Nuts are smaller than their bitmaps, which leaves room for legends between
    // jacks on closely spaced panels; the larger bitmaps get slightly larger nuts.
    const double cx = w / 2.0, cy = h / 2.0 - 0.5;
    const double r = 9.3 + 0.1 * (variant % 4);
    softShadow(cr, cx + 0.3, cy + 1.0, r * 0.9, 0.6, 0.5);
    const double tint = 0.06 * (variant % 4) - 0.08;
    hexagon(cr, cx, cy, r, (variant * 7.0 + 4.0) * kPi / 180.0);
    cairo_pattern_t* p = cairo_pattern_create_linear(cx - r, cy - r, cx + r, cy + r);
    const Rgb l = mix(metalLight, rgb(0xffffff), tint > 0 ? tint : 0), d = mix(metalDark, rgb(0x000000), tint < 0 ? -tint : 0);
    cairo_pattern_add_color_stop_rgb(p, 0, l.r, l.g, l.b);
    cairo_pattern_add_color_stop_rgb(p, 1, d.r, d.g, d.b);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 0.8);
    setColour(cr, rgb(0x3a3b3e), 0.9);
    cairo_stroke(cr);
    litDisc(cr, cx, cy, r * 0.64, rgb(0x9c9ea2), rgb(0xd8d9db));
    litDisc(cr, cx, cy, r * 0.42, rgb(0x050505), rgb(0x2a2a2c));
    return c;
}

// Five-pin round socket; the pins show only while no plug covers them.
void midiSocket(cairo_t* cr, double cx, double cy, bool plugged) {
    softShadow(cr, cx, cy + 1.5, 16.5, 1.0, 0.5);
    litDisc(cr, cx, cy, 17, metalLight, metalDark);
    litDisc(cr, cx, cy, 14.2, rgb(0x2a2a2c), rgb(0x0a0a0b));
    if (plugged) return;
    for (int k = 0; k < 5; ++k) {
        const double t = dialAngle(-90.0 + 45.0 * k);
        litDisc(cr, cx + 7.5 * std::cos(t), cy + 7.5 * std::sin(t), 1.5, rgb(0x000000), rgb(0x5a5a5c));
    }
    cairo_rectangle(cr, cx - 1.5, cy + 10, 3, 3.5);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
}

void midiPlug(cairo_t* cr, double cx, double cy, bool lit) {
    softShadow(cr, cx, cy + 1.5, 13.5, 1.2, 0.6);
    litDisc(cr, cx, cy, 13.5, rgb(0x4a4b50), rgb(0x151517));
    // Grip ribs around the plug body.
    cairo_set_line_width(cr, 1.0);
    for (int k = 0; k < 12; ++k) {
        const double t = k * kPi / 6;
        setColour(cr, rgb(0x000000), 0.45);
        cairo_move_to(cr, cx + 10.5 * std::cos(t), cy + 10.5 * std::sin(t));
        cairo_line_to(cr, cx + 13.2 * std::cos(t), cy + 13.2 * std::sin(t));
        cairo_stroke(cr);
    }
    litDisc(cr, cx, cy, 9, rgb(0x303136), rgb(0x1a1a1d));
    cairo_set_line_width(cr, 2.0);
    setColour(cr, lit ? rgb(0x50d070) : accent);
    cairo_arc(cr, cx, cy, 6.5, 0, 2 * kPi);
    cairo_stroke(cr);
}

Canvas* screw() {
    auto* c = new Canvas(16, 160);
    cairo_t* cr = c->cr();
    for (int i = 0; i < 10; ++i) {
        const double cx = 8, cy = i * 16 + 8;
        softShadow(cr, cx + 0.3, cy + 1.0, 6.0, 1.2, 0.5);
        litDisc(cr, cx, cy, 6.2, metalLight, metalDark);
        litDisc(cr, cx, cy, 5.0, rgb(0xc9cacd), rgb(0x9a9ca0));
        // The slot turns 18 degrees a frame: ten frames cover half a turn.
        const double t = i * 18.0 * kPi / 180.0;
        cairo_set_line_width(cr, 1.8);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        setColour(cr, rgb(0x2a2b2e));
        cairo_move_to(cr, cx - 4.6 * std::cos(t), cy - 4.6 * std::sin(t));
        cairo_line_to(cr, cx + 4.6 * std::cos(t), cy + 4.6 * std::sin(t));
        cairo_stroke(cr);
    }
    return c;
}

// A bat-handle toggle. Position 0 points up; the last position points down.
Canvas* toggle(int positions) {
    auto* c = new Canvas(40, 40 * positions);
    cairo_t* cr = c->cr();
    for (int i = 0; i < positions; ++i) {
        const double cx = 20, cy = i * 40 + 20;
        softShadow(cr, cx, cy + 1.2, 6.8, 0.8, 0.5);
        hexagon(cr, cx, cy, 6.8, kPi / 6);
        fillWith(cr, vertical(cy - 6.8, cy + 6.8, metalLight, metalDark));
        litDisc(cr, cx, cy, 4.4, rgb(0x8e9094), rgb(0xe0e1e3));
        const double dir = positions == 1 ? 0 : -1.0 + 2.0 * i / (positions - 1);  // -1 up, 0 centre, 1 down
        const double tipY = cy + dir * 9.5;
        if (dir != 0) {
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            // Shadow of the lever on the panel.
            cairo_set_line_width(cr, 4.0);
            setColour(cr, rgb(0x000000), 0.25);
            cairo_move_to(cr, cx + 1, cy + 1.5);
            cairo_line_to(cr, cx + 1, tipY + 1.5);
            cairo_stroke(cr);
            cairo_pattern_t* p = cairo_pattern_create_linear(cx - 3, 0, cx + 3, 0);
            cairo_pattern_add_color_stop_rgb(p, 0, 0.62, 0.63, 0.65);
            cairo_pattern_add_color_stop_rgb(p, 0.4, 0.95, 0.95, 0.94);
            cairo_pattern_add_color_stop_rgb(p, 1, 0.45, 0.46, 0.48);
            cairo_set_source(cr, p);
            cairo_set_line_width(cr, 3.4);
            cairo_move_to(cr, cx, cy);
            cairo_line_to(cr, cx, tipY);
            cairo_stroke(cr);
            cairo_pattern_destroy(p);
        }
        if (dir != 0) {
            litDisc(cr, cx, tipY, 3.2, rgb(0xf4f4f2), rgb(0x7c7e82));
            continue;
        }
        // Pointing straight out: the round end of the bat, lit in its middle.
        cairo_pattern_t* end = cairo_pattern_create_radial(cx - 0.6, cy - 0.6, 0.3, cx, cy, 4.2);
        cairo_pattern_add_color_stop_rgb(end, 0, 1, 1, 1);
        cairo_pattern_add_color_stop_rgb(end, 1, 0.5, 0.51, 0.53);
        cairo_arc(cr, cx, cy, 4.2, 0, 2 * kPi);
        fillWith(cr, end);
    }
    return c;
}

Canvas* led(Rgb dim, Rgb bright) {
    auto* c = new Canvas(12, 60);
    cairo_t* cr = c->cr();
    for (int i = 0; i < 5; ++i) {
        const double cx = 6, cy = i * 12 + 6, k = i / 4.0;
        litDisc(cr, cx, cy, 5.6, rgb(0x6a6b6f), rgb(0x1d1d20));  // bezel
        const Rgb core = mix(dim, bright, k);
        if (i > 0) {
            cairo_pattern_t* glow = cairo_pattern_create_radial(cx, cy, 2, cx, cy, 6);
            cairo_pattern_add_color_stop_rgba(glow, 0, bright.r, bright.g, bright.b, 0.6 * k);
            cairo_pattern_add_color_stop_rgba(glow, 1, bright.r, bright.g, bright.b, 0);
            cairo_arc(cr, cx, cy, 6, 0, 2 * kPi);
            fillWith(cr, glow);
        }
        cairo_pattern_t* dome = cairo_pattern_create_radial(cx - 1.2, cy - 1.2, 0.5, cx, cy, 4.4);
        const Rgb hi = mix(core, rgb(0xffffff), 0.25 + 0.45 * k);
        cairo_pattern_add_color_stop_rgb(dome, 0, hi.r, hi.g, hi.b);
        cairo_pattern_add_color_stop_rgb(dome, 1, core.r, core.g, core.b);
        cairo_arc(cr, cx, cy, 4.2, 0, 2 * kPi);
        fillWith(cr, dome);
    }
    return c;
}

// Frame 0 up, frame 1 pressed (and lit, for a latching button).
Canvas* redButton() {
    auto* c = new Canvas(26, 52);
    cairo_t* cr = c->cr();
    for (int i = 0; i < 2; ++i) {
        const double cx = 13, cy = i * 26 + 13, press = i;
        softShadow(cr, cx, cy + 1.5, 11, 1.0, 0.5);
        litDisc(cr, cx, cy, 11.2, rgb(0x5e5f63), rgb(0x18181a));
        litDisc(cr, cx, cy, 9.4, rgb(0x0e0e10), rgb(0x3a3a3e));
        const Rgb cap = i ? rgb(0xf0402a) : rgb(0xb52418);
        litDisc(cr, cx, cy + press * 0.6, 8.0 - press * 0.5, mix(cap, rgb(0xffffff), 0.3), mix(cap, rgb(0x000000), 0.35));
    }
    return c;
}

Canvas* arrowButton(bool up) {
    auto* c = new Canvas(20, 40);
    cairo_t* cr = c->cr();
    for (int i = 0; i < 2; ++i) {
        const double top = i * 20;
        // 16 pixels of face: the up and down buttons sit 16 pixels apart.
        roundedRect(cr, 2, top + 2, 16, 16, 3);
        fillWith(cr, vertical(top, top + 20, i ? rgb(0x1c1c1f) : rgb(0x4a4b50), i ? rgb(0x3a3b40) : rgb(0x1e1e21)));
        const double cy = top + 10 + i * 0.6, d = up ? -1 : 1;
        cairo_move_to(cr, 10 - 4.5, cy - d * 2.5);
        cairo_line_to(cr, 10 + 4.5, cy - d * 2.5);
        cairo_line_to(cr, 10, cy + d * 3.5);
        cairo_close_path(cr);
        setColour(cr, i ? accent : rgb(0xe6e5e0));
        cairo_fill(cr);
    }
    return c;
}

// Seven-segment digits 0 to 9, top to bottom, 13 x 22 each.
Canvas* digits() {
    static const unsigned char segments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    auto* c = new Canvas(13, 220);
    cairo_t* cr = c->cr();
    for (int d = 0; d < 10; ++d) {
        const double top = d * 22;
        cairo_rectangle(cr, 0, top, 13, 22);
        cairo_set_source_rgb(cr, 0.09, 0.02, 0.02);
        cairo_fill(cr);
        // Segments a..g as lines: a top, b top right, c bottom right, d bottom, e bottom left, f top left, g middle.
        const double l = 3.0, r = 10.0, t = top + 3.0, m = top + 11.0, b = top + 19.0;
        const double seg[7][4] = {{l, t, r, t}, {r, t, r, m}, {r, m, r, b}, {l, b, r, b}, {l, m, l, b}, {l, t, l, m}, {l, m, r, m}};
        cairo_set_line_width(cr, 1.9);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        for (int s = 0; s < 7; ++s) {
            const bool on = (segments[d] >> s) & 1;
            if (on) cairo_set_source_rgb(cr, 1.0, 0.2, 0.12);
            else cairo_set_source_rgb(cr, 0.25, 0.05, 0.05);
            cairo_move_to(cr, seg[s][0] + (seg[s][1] == seg[s][3] ? 1.0 : 0), seg[s][1] + (seg[s][0] == seg[s][2] ? 1.0 : 0));
            cairo_line_to(cr, seg[s][2] - (seg[s][1] == seg[s][3] ? 1.0 : 0), seg[s][3] - (seg[s][0] == seg[s][2] ? 1.0 : 0));
            cairo_stroke(cr);
        }
    }
    return c;
}

struct Strip {
    Image image;
    Box body;  // visible pixels of all frames together, relative to one frame
};

std::map<std::string, Strip> drawStrips() {
    std::map<std::string, Strip> out;
    auto add = [&out](const std::string& name, Canvas* c, int frameHeight) {
        out[name] = {c->toImage(name), alphaBox(c->surface(), frameHeight)};
        delete c;
    };
    add("minibrute_knob_s.png", knobStrip(53, 49, {12.5, 15.6, 2.4, false, 0, false}), 53);
    add("minibrute_knob_big.png", knobStrip(79, 99, {20.5, 24.5, 3.2, false, 0, false}), 79);
    add("sknobit_gray.png", knobStrip(37, 31, {8.5, 10.8, 1.8, true, 0, false}), 37);
    add("sknobit_gray_13s.png", knobStrip(37, 13, {8.5, 10.7, 0, true, 13, false}), 37);
    add("sknobit_gray_13s_fs.png", knobStrip(37, 13, {8.5, 10.7, 0, true, 13, true}), 37);
    add("sknobit_gray_5s.png", knobStrip(37, 5, {8.5, 10.7, 0, true, 5, false}), 37);
    add("sknobit_gray_7s2.png", knobStrip(37, 7, {8.5, 10.7, 0, true, 7, false}), 37);
    add("sknobit_gray_11s.png", knobStrip(37, 11, {8.5, 10.7, 0, true, 11, false}), 37);
    for (int v = 1; v <= 8; ++v) {
        const auto size = jackSize(v);
        add("patchpoint" + std::to_string(v) + ".png", jack(size.first, size.second, v), size.second);
    }
    auto* midi = new Canvas(38, 76);
    midiSocket(midi->cr(), 19, 19, false);
    midiSocket(midi->cr(), 19, 57, true);
    midiPlug(midi->cr(), 19, 57, false);
    add("MIDIpp.png", midi, 38);
    add("screw.png", screw(), 16);
    add("vert_switch_toggle.png", toggle(2), 40);
    add("vert_triple_switch_toggle.png", toggle(3), 40);
    add("led_blue.png", led(rgb(0x0c1a38), rgb(0x58b4ff)), 12);
    add("led_red.png", led(rgb(0x3a0c0a), rgb(0xff4a30)), 12);
    add("red_button_small.png", redButton(), 26);
    add("bb_up.png", arrowButton(true), 20);
    add("bb_down.png", arrowButton(false), 20);
    add("digits_mid_red.png", digits(), 22);
    for (bool lit : {false, true}) {
        auto* plug = new Canvas(38, 38);
        midiPlug(plug->cr(), 19, 19, lit);
        add(lit ? "MIDIplugcon.png" : "MIDIplug.png", plug, 38);
    }
    return out;
}

const std::map<std::string, Strip>& strips() {
    static const std::map<std::string, Strip> all = drawStrips();
    return all;
}

}  // namespace

std::pair<int, int> jackSize(int variant) {
    const int step = (variant - 1) % 4;
    return {25 + step, 28 + step};
}

Box stripBody(const std::string& name) {
    auto it = strips().find(name);
    return it == strips().end() ? Box{} : it->second.body;
}

const Image* stripImage(const std::string& name) {
    auto it = strips().find(name);
    return it == strips().end() ? nullptr : &it->second.image;
}

std::vector<Image> drawControls() {
    std::vector<Image> out;
    for (const auto& kv : strips()) out.push_back(kv.second.image);
    return out;
}

}  // namespace art
