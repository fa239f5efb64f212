// Small painting helpers shared by the control, editor and panel art.
#pragma once

#include <cairo.h>

#include <cmath>

namespace art {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

inline Rgb rgb(unsigned hex) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
}
inline void setColour(cairo_t* cr, Rgb c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }
inline Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The palette of the whole rack.
namespace palette {
const Rgb panelTop = rgb(0xdcdad4), panelBottom = rgb(0xc9c6bf);
const Rgb ink = rgb(0x1c1c1e);           // legends on the panel
const Rgb plate = rgb(0x2b2c30);         // output plates
const Rgb plateInk = rgb(0xf0efe9);      // legends on a plate
const Rgb accent = rgb(0xd88a1c);        // value arcs, rules
const Rgb knobLight = rgb(0x54555a), knobDark = rgb(0x141416);
const Rgb greyLight = rgb(0xa8a8aa), greyDark = rgb(0x5a5b5f);
const Rgb metalLight = rgb(0xe4e4e2), metalDark = rgb(0x85878b);
const Rgb rack = rgb(0x26272b);
}  // namespace palette

// A linear gradient from top to bottom of [y0, y1].
inline cairo_pattern_t* vertical(double y0, double y1, Rgb top, Rgb bottom, double alpha = 1.0) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, alpha);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, alpha);
    return p;
}

inline void fillWith(cairo_t* cr, cairo_pattern_t* p) {
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A soft round shadow: a radial fade around (cx, cy).
inline void softShadow(cairo_t* cr, double cx, double cy, double radius, double spread, double alpha) {
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, radius * 0.6, cx, cy, radius + spread);
    cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, alpha);
    cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0);
    cairo_arc(cr, cx, cy, radius + spread, 0, 2 * kPi);
    fillWith(cr, p);
}

// A disc lit from the top left.
inline void litDisc(cairo_t* cr, double cx, double cy, double r, Rgb light, Rgb dark) {
    cairo_pattern_t* p = cairo_pattern_create_linear(cx - r, cy - r, cx + r, cy + r);
    cairo_pattern_add_color_stop_rgb(p, 0, light.r, light.g, light.b);
    cairo_pattern_add_color_stop_rgb(p, 1, dark.r, dark.g, dark.b);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    fillWith(cr, p);
}

// Knob and switch angles: 0 at twelve o'clock, clockwise, in radians for cairo.
inline double dialAngle(double degreesFromTop) { return (degreesFromTop - 90.0) * kPi / 180.0; }

}  // namespace art
