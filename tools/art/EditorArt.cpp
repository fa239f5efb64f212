// The editor window's bitmaps: rack rows, bars, title, menu and row buttons, and the
// preset display. Two-state buttons stack normal over pressed.
#include "Art.h"
#include "Paint.h"

namespace art {
namespace {

using namespace palette;

// An empty rack row: a dark recess with a mounting rail along the top and bottom.
Image row(const std::string& name, double tone) {
    Canvas c(960, 291);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, 960, 291);
    fillWith(cr, vertical(0, 291, mix(rack, rgb(0x000000), 0.15 - tone), mix(rack, rgb(0x000000), 0.45 - tone)));
    for (double top : {0.0, 277.0}) {
        cairo_rectangle(cr, 0, top, 960, 14);
        fillWith(cr, vertical(top, top + 14, rgb(0xb8b9bc), rgb(0x6c6e72)));
        cairo_rectangle(cr, 0, top + 13, 960, 1);
        setColour(cr, rgb(0x000000), 0.5);
        cairo_fill(cr);
        // Threaded holes on the 12-pixel grid modules snap to, every fourth one.
        for (int x = 6; x < 960; x += 48) {
            cairo_arc(cr, x, top + 7, 2.6, 0, 2 * kPi);
            setColour(cr, rgb(0x1a1a1c));
            cairo_fill(cr);
        }
    }
    return c.toImage(name);
}

Image bar(const std::string& name, int w, int h, bool horizontal) {
    Canvas c(w, h);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, w, h);
    if (horizontal) fillWith(cr, vertical(0, h, rgb(0x3c3d42), rgb(0x1f2023)));
    else {
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, w, 0);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.14, 0.14, 0.16);
        cairo_pattern_add_color_stop_rgb(p, 0.5, 0.25, 0.25, 0.28);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.12, 0.12, 0.14);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    }
    // A highlight on the lit edge and a dark line on the other.
    setColour(cr, rgb(0xffffff), 0.12);
    if (horizontal) cairo_rectangle(cr, 0, 0, w, 1);
    else cairo_rectangle(cr, 0, 0, 1, h);
    cairo_fill(cr);
    setColour(cr, rgb(0x000000), 0.6);
    if (horizontal) cairo_rectangle(cr, 0, h - 1, w, 1);
    else cairo_rectangle(cr, w - 1, 0, 1, h);
    cairo_fill(cr);
    return c.toImage(name);
}

Image title() {
    Canvas c(159, 35);
    cairo_t* cr = c.cr();
    PangoLayout* l = makeLayout(cr, "VANTOREL", 22, Face::Bold);
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_letter_spacing_new(3 * PANGO_SCALE));
    pango_layout_set_attributes(l, attrs);
    pango_attr_list_unref(attrs);
    const Box ink = inkBox(l);
    const double x = (159 - ink.width()) / 2, y = (35 - ink.height()) / 2 - 1;
    setColour(cr, rgb(0x000000), 0.6);
    showInkAt(cr, l, x + 1, y + 1);
    setColour(cr, rgb(0xeeede8));
    showInkAt(cr, l, x, y);
    g_object_unref(l);
    cairo_rectangle(cr, x, y + ink.height() + 3, ink.width(), 1.5);
    setColour(cr, accent);
    cairo_fill(cr);
    return c.toImage("title.png");
}

// A square dark button face; `pressed` sinks it and lights its symbol.
void buttonFace(cairo_t* cr, double top, double w, double h, bool pressed) {
    roundedRect(cr, 1.5, top + 1.5, w - 3, h - 3, 4);
    fillWith(cr, vertical(top, top + h, pressed ? rgb(0x18181b) : rgb(0x505157), pressed ? rgb(0x34353a) : rgb(0x222326)));
    roundedRect(cr, 1.5, top + 1.5, w - 3, h - 3, 4);
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(0x000000), 0.8);
    cairo_stroke(cr);
}

void symbolColour(cairo_t* cr, bool pressed) { setColour(cr, pressed ? accent : rgb(0xe8e7e2)); }

using Symbol = void (*)(cairo_t*, double cx, double cy);

void plusSymbol(cairo_t* cr, double cx, double cy) {
    cairo_rectangle(cr, cx - 7, cy - 1.5, 14, 3);
    cairo_rectangle(cr, cx - 1.5, cy - 7, 3, 14);
    cairo_fill(cr);
}
void minusSymbol(cairo_t* cr, double cx, double cy) {
    cairo_rectangle(cr, cx - 7, cy - 1.5, 14, 3);
    cairo_fill(cr);
}
void modulesSymbol(cairo_t* cr, double cx, double cy) {
    for (int i = 0; i < 3; ++i) cairo_rectangle(cr, cx - 9 + i * 6.5, cy - 7, 4.5, 14);
    cairo_fill(cr);
}
void menuSymbol(cairo_t* cr, double cx, double cy) {
    for (int i = -1; i <= 1; ++i) cairo_rectangle(cr, cx - 8, cy + i * 5.5 - 1.25, 16, 2.5);
    cairo_fill(cr);
}
void leftSymbol(cairo_t* cr, double cx, double cy) {
    cairo_move_to(cr, cx + 3, cy - 6);
    cairo_line_to(cr, cx + 3, cy + 6);
    cairo_line_to(cr, cx - 4, cy);
    cairo_close_path(cr);
    cairo_fill(cr);
}
void rightSymbol(cairo_t* cr, double cx, double cy) {
    cairo_move_to(cr, cx - 3, cy - 6);
    cairo_line_to(cr, cx - 3, cy + 6);
    cairo_line_to(cr, cx + 4, cy);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// One button state (h pixels) or two stacked (2 h), the symbol centred.
Image button(const std::string& name, int w, int h, int states, Symbol symbol, bool pressedOnly = false) {
    Canvas c(w, h * states);
    for (int s = 0; s < states; ++s) {
        const bool pressed = pressedOnly || s == 1;
        buttonFace(c.cr(), s * h, w, h, pressed);
        symbolColour(c.cr(), pressed);
        symbol(c.cr(), w / 2.0, s * h + h / 2.0 + (pressed ? 0.5 : 0));
    }
    return c.toImage(name);
}

Image presetFrame() {
    Canvas c(200, 35);
    cairo_t* cr = c.cr();
    // The menu is drawn over the name and author labels, so the bezel leaves its
    // window clear for the screen behind it.
    roundedRect(cr, 0.5, 0.5, 199, 34, 5);
    cairo_rectangle(cr, 5, 5, 190, 25);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    fillWith(cr, vertical(0, 35, rgb(0x4a4b50), rgb(0x1a1a1d)));
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_rectangle(cr, 4.5, 4.5, 191, 26);
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(0x08090a), 1.0);
    cairo_stroke(cr);
    return c.toImage("preset_frame.png");
}

Image presetScreen() {
    Canvas c(190, 25);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, 190, 25);
    fillWith(cr, vertical(0, 25, rgb(0x14202a), rgb(0x0a1016)));
    return c.toImage("preset_screen.png");
}

// Glass over the preset display: a faint highlight on the upper half and fine scan
// lines; the rest stays clear so the name shows through.
Image presetStripes() {
    Canvas c(200, 35);
    cairo_t* cr = c.cr();
    roundedRect(cr, 5, 5, 190, 12, 3);
    fillWith(cr, vertical(5, 17, rgb(0xffffff), rgb(0xffffff), 0.07));
    for (int y = 6; y < 30; y += 3) {
        cairo_rectangle(cr, 6, y, 188, 1);
        setColour(cr, rgb(0x000000), 0.12);
        cairo_fill(cr);
    }
    return c.toImage("preset_stripes.png");
}

}  // namespace

std::vector<Image> drawEditorArt() {
    std::vector<Image> out;
    // Stored as PNG data under the names the editor asks for.
    out.push_back(row("1st_row.jpg", 0.0));
    out.push_back(row("2nd_row.jpg", 0.04));
    out.push_back(row("3rd_row.jpg", 0.08));
    out.push_back(bar("topbar2.png", 1010, 40, true));
    out.push_back(bar("sidebar2.png", 25, 582, false));
    out.push_back(title());
    out.push_back(button("add_row.png", 35, 35, 2, plusSymbol));
    out.push_back(button("rem_row.png", 35, 35, 2, minusSymbol));
    out.push_back(button("modulemenu.png", 35, 35, 1, modulesSymbol));
    out.push_back(button("modulemenu_clicked.png", 35, 35, 1, modulesSymbol, true));
    out.push_back(button("main_menu.png", 35, 35, 1, menuSymbol));
    out.push_back(button("main_menu_clicked.png", 35, 35, 1, menuSymbol, true));
    out.push_back(button("presetl.png", 18, 35, 2, leftSymbol));
    out.push_back(button("presetr.png", 18, 35, 2, rightSymbol));
    out.push_back(presetFrame());
    out.push_back(presetScreen());
    out.push_back(presetStripes());
    return out;
}

}  // namespace art
