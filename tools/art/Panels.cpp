// Module panels, drawn from the modules' own control declarations: the display name
// at the top, a legend at every control that declares one, outputs on dark plates.
#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "Art.h"
#include "Controls.h"
#include "Paint.h"
#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleRegistry.h"
#include "framework/PatchPoint.h"
#include "gui/CBitmap.h"

namespace art {
namespace {

using namespace palette;

constexpr double kLegendPixels = 8.0;
constexpr double kLegendPad = 1.0;  // clear space between a legend and any control
// Between two legends: closer than this, two labels read as one ("CH" "UP": "CHUP").
constexpr double kLegendSpacing = 4.0;
constexpr double kEdge = 1.0;       // legends stay this far inside the panel

const char* bitmapName(const CView* v) {
    if (!v->isTypeOf("CControl")) return "";
    const CBitmap* b = static_cast<const CControl*>(v)->getBackground();
    return b ? b->getName().c_str() : "";
}

bool isJack(const CView* v) { return v->isTypeOf("PatchPoint"); }

// A scratch surface for measuring text.
cairo_t* measuring() {
    static Canvas scratch(1, 1);
    return scratch.cr();
}

struct TextLine {
    std::string text;
    double pixels;
    Face face;
    Box box;              // ink rectangle where it is drawn
    double condense = 1;  // horizontal scale of the lettering
};

Box measure(const std::string& text, double pixels, Face face) {
    PangoLayout* l = makeLayout(measuring(), text, pixels, face);
    const Box b = inkBox(l);
    g_object_unref(l);
    return b;
}

bool hits(const Box& b, const std::vector<Box>& obstacles, double pad) {
    for (const Box& o : obstacles)
        if (b.overlaps(o.grown(pad))) return true;
    return false;
}

// The widest stretch of [2, width - 2] that the band [y0, y1] leaves free of bodies.
std::pair<double, double> freeSpan(double y0, double y1, int width, const std::vector<Box>& bodies) {
    std::vector<std::pair<double, double>> blocked;
    for (const Box& b : bodies)
        if (b.y0 < y1 && y0 < b.y1) blocked.push_back({b.x0 - 1, b.x1 + 1});
    std::sort(blocked.begin(), blocked.end());
    double bestL = 0, bestR = -1, x = 2;
    for (auto& [l, r] : blocked) {
        if (l > x && l - x > bestR - bestL) bestL = x, bestR = l;
        x = std::max(x, r);
    }
    if (width - 2 - x > bestR - bestL) bestL = x, bestR = width - 2;
    return {bestL, bestR};
}

// The text cut after every character of `ends`, which stays with its piece.
std::vector<std::string> pieces(const std::string& text, const char* ends) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        const size_t next = text.find_first_of(ends, at);
        const size_t end = next == std::string::npos ? text.size() : next + 1;
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// The display name: on one line when it fits, else the catalogue number on top and
// the rest below it, over as few lines and as large as the space allows.
std::vector<TextLine> layoutTitle(const std::string& name, int width, const std::vector<Box>& bodies) {
    const double top = 3, clear = 3;  // the name keeps clear of the screw heads
    for (double px : {10.0, 9.5, 9.0}) {
        const Box ink = measure(name, px, Face::Bold);
        // Centred on the panel, or else between whatever sits beside it.
        auto [l, r] = freeSpan(top - clear, top + ink.height() + clear, width, bodies);
        for (double centre : {width / 2.0, (l + r) / 2}) {
            const double x = std::round(centre - ink.width() / 2);
            const Box at = {x, top, x + ink.width(), top + ink.height()};
            if (at.x0 >= 2 && at.x1 <= width - 2 && !hits(at, bodies, clear)) return {{name, px, Face::Bold, at}};
        }
    }
    const size_t space = name.find(' ');
    const std::string number = name.substr(0, space), rest = space == std::string::npos ? "" : name.substr(space + 1);
    std::vector<TextLine> lines;
    double below = top;
    for (double px : {10.0, 9.0, 8.0, 7.0}) {
        const Box ink = measure(number, px, Face::Bold);
        auto [l, r] = freeSpan(top, top + ink.height(), width, bodies);
        if (r - l < ink.width() && px > 7.0) continue;
        const double x = std::round(l + (r - l - ink.width()) / 2);
        lines.push_back({number, px, Face::Bold, {x, top, x + ink.width(), top + ink.height()}});
        below = top + ink.height();
        break;
    }
    if (rest.empty()) return lines;
    // Below the number and below any screw head in the top corners.
    for (const Box& b : bodies)
        if (b.y0 < 18 && b.y1 < 24) below = std::max(below, b.y1);
    below += 2;
    // Pieces end after a space or a slash ("VCA/" "Attenuator"); a line is its pieces
    // run together, without the last space.
    const std::vector<std::string> words = pieces(rest, " /");
    auto trimmed = [](std::string t) {
        while (!t.empty() && t.back() == ' ') t.pop_back();
        return t;
    };
    // Settings from the most to the least legible: narrower lettering before smaller,
    // and a second line only below 7 pixels.
    std::vector<std::pair<double, double>> settings;  // size, condensing
    for (double condense : {1.0, 0.9, 0.8, 0.72})
        for (double px : {8.0, 7.5, 7.0}) settings.push_back({px, condense});
    for (double px : {6.5, 6.0, 5.5})
        for (double condense : {1.0, 0.9, 0.8}) settings.push_back({px, condense});
    std::vector<TextLine> first;
    for (auto [px, condense] : settings) {
        std::vector<TextLine> wrapped;
        double y = below;
        bool fits = true;
        for (size_t w = 0; w < words.size();) {
            // As many pieces as fit the width; a single piece always goes.
            std::string line = words[w++];
            while (w < words.size() &&
                   measure(trimmed(line + words[w]), px, Face::Bold).width() * condense <= width - 4)
                line += words[w++];
            line = trimmed(line);
            const Box ink = measure(line, px, Face::Bold);
            const double lw = ink.width() * condense, x = std::round((width - lw) / 2);
            const Box at = {x, y, x + lw, y + ink.height()};
            fits = fits && at.x0 >= 1 && at.x1 <= width - 1 && !hits(at, bodies, 1);
            wrapped.push_back({line, px, Face::Bold, at, condense});
            y = std::round(at.y1 + px * 0.3);
        }
        if (px >= 7 && wrapped.size() > 1) fits = false;
        if (fits) {
            lines.insert(lines.end(), wrapped.begin(), wrapped.end());
            return lines;
        }
        if (first.empty()) first = wrapped;
    }
    // Nothing fits: the most legible setting, so the whole name is still there.
    lines.insert(lines.end(), first.begin(), first.end());
    return lines;
}

struct Candidate {
    Box box;
    double cost = std::numeric_limits<double>::infinity();
};

enum Side { kAbove, kBelow, kRight, kLeft };

// The cheapest free place for a text of ink size (w, h) next to body b, on one of
// the sides in `allowed` (bit per Side).
Candidate placeNear(const Box& b, double w, double h, Side preferred, unsigned allowed, const Box& panel,
                    const std::vector<Box>& bodies, const std::vector<Box>& taken) {
    Candidate best;
    const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
    for (Side side : {kAbove, kBelow, kRight, kLeft}) {
        if (!(allowed & (1u << side))) continue;
        // A legend on the other side than its neighbours' reads as theirs: it costs
        // more than a longer way to its own side.
        const double sideCost = side == preferred ? 0 : (side == kAbove || side == kBelow) ? 20 : 8;
        for (int gap = 1; gap <= 16; ++gap)
            for (int shift = -16; shift <= 16; ++shift) {
                Box at;
                if (side == kAbove || side == kBelow) {
                    const double x = std::round(cx - w / 2) + shift;
                    const double y = side == kAbove ? std::floor(b.y0 - gap - h) : std::ceil(b.y1 + gap);
                    at = {x, y, x + w, y + h};
                } else {
                    if (std::abs(shift) > 6) continue;
                    const double x = side == kRight ? std::ceil(b.x1 + gap) : std::floor(b.x0 - gap - w);
                    const double y = std::round(cy - h / 2) + shift;
                    at = {x, y, x + w, y + h};
                }
                const double cost = sideCost + gap + 0.6 * std::abs(shift);
                if (cost >= best.cost) continue;
                if (!at.inside(panel) || hits(at, bodies, kLegendPad) || hits(at, taken, kLegendSpacing)) continue;
                best = {at, cost};
            }
    }
    return best;
}

struct Draft {
    PanelLayout layout;
    std::vector<TextLine> title;
    double cost = 0;
};

constexpr unsigned kAnySide = 0xf;
constexpr double kLegendSizes[] = {kLegendPixels, 7.0};  // the smaller only where 8 px finds no room

// A toggle's legend of one word per position ("HARD/BEND"), upper position first.
std::vector<std::string> positionWords(const CView* v, const std::string& text) {
    const Image* strip = stripImage(bitmapName(v));
    if (!v->isTypeOf("CVerticalSwitch") || !strip || v->getHeight() <= 0) return {};
    std::vector<std::string> words = pieces(text, "/");
    for (std::string& w : words)
        if (!w.empty() && w.back() == '/') w.pop_back();
    const size_t positions = (size_t)(strip->height / v->getHeight());
    return words.size() == positions && positions >= 2 ? words : std::vector<std::string>{};
}

// Places the words (one per side mask) around a body; all or nothing.
bool placeWords(const CView* v, const std::vector<std::string>& words, const std::vector<unsigned>& sides,
                Side preferred, const Box& panel, const std::vector<Box>& bodies, std::vector<Box>& taken,
                std::vector<PlacedLegend>& out, double& cost) {
    for (double px : kLegendSizes) {
        std::vector<Box> trial = taken;
        std::vector<PlacedLegend> placed;
        double sum = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            const Box ink = measure(words[i], px, Face::Bold);
            const Candidate c = placeNear(controlBody(v), ink.width(), ink.height(), preferred, sides[i], panel,
                                          bodies, trial);
            if (std::isinf(c.cost)) break;
            trial.push_back(c.box);
            PlacedLegend l;
            l.control = v;
            l.text = words[i];
            l.box = c.box;
            l.pixels = px;
            l.onPlate = isJack(v) && static_cast<const PatchPoint*>(v)->direction == kJackOutput;
            placed.push_back(l);
            sum += c.cost + (px < kLegendPixels ? 20 : 0);
        }
        if (placed.size() == words.size()) {
            taken = trial;
            out.insert(out.end(), placed.begin(), placed.end());
            cost += sum;
            return true;
        }
    }
    return false;
}

Draft layoutWith(const Module& m, Side preferred) {
    Draft d;
    PanelLayout& p = d.layout;
    p.width = m.getWidth();
    p.height = m.getHeight();
    for (CView* v : m.getChildren()) {
        if (!v->isVisible()) continue;
        const Box b = controlBody(v);
        if (!b.empty()) p.bodies.push_back(b);
    }
    d.title = layoutTitle(m.getName(), p.width, p.bodies);
    for (const TextLine& t : d.title) p.titleBoxes.push_back(t.box);
    std::vector<Box> taken = p.titleBoxes;
    const Box panel = {kEdge, kEdge, p.width - kEdge, p.height - kEdge};
    for (CView* v : m.getChildren()) {
        const std::string& text = m.legendOf(v);
        if (text.empty() || !v->isVisible()) continue;
        const std::vector<std::string> words = positionWords(v, text);
        std::vector<unsigned> sides(words.size(), (1u << kLeft) | (1u << kRight));
        if (!words.empty()) sides.front() = 1u << kAbove, sides.back() = 1u << kBelow;
        if (!words.empty() && placeWords(v, words, sides, preferred, panel, p.bodies, taken, p.legends, d.cost))
            continue;
        if (placeWords(v, {text}, {kAnySide}, preferred, panel, p.bodies, taken, p.legends, d.cost)) continue;
        p.unplaced.push_back(text);
        d.cost += 1000;
    }
    return d;
}

Draft bestLayout(const Module& m) {
    Draft above = layoutWith(m, kAbove), below = layoutWith(m, kBelow);
    return below.cost < above.cost ? below : above;
}

// An output's plate holds its jack and legend; it shrinks rather than darken a
// neighbour's legend.
Box plateFor(const PlacedLegend& l, const Box& body, const std::vector<PlacedLegend>& all) {
    for (double pad : {2.5, 1.5, 0.5}) {
        const Box plate = body.united(l.box).grown(pad);
        bool clear = true;
        for (const PlacedLegend& o : all)
            if (&o != &l && !o.onPlate && plate.overlaps(o.box)) clear = false;
        if (clear) return plate;
    }
    return {};
}

// Kept half a pixel inside the panel, so plates and frames never lose an edge.
Box clamped(const Box& b, int width, int height) {
    return {std::max(b.x0, 0.5), std::max(b.y0, 0.5), std::min(b.x1, width - 0.5), std::min(b.y1, height - 0.5)};
}

void drawText(cairo_t* cr, const std::string& text, double px, Face face, const Box& at, Rgb colour,
              double condense = 1) {
    if (condense == 1) {
        PangoLayout* l = makeLayout(cr, text, px, face);
        setColour(cr, colour);
        showInkAt(cr, l, at.x0, at.y0);
        g_object_unref(l);
        return;
    }
    // Pango lays glyphs out in device space, so condensed lettering is drawn at full
    // width first and then painted narrower.
    const Box ink = measure(text, px, face);
    Canvas full((int)std::ceil(ink.width()) + 2, (int)std::ceil(ink.height()) + 2);
    drawText(full.cr(), text, px, face, {1, 1, 1 + ink.width(), 1 + ink.height()}, colour);
    cairo_save(cr);
    cairo_translate(cr, at.x0 - condense, at.y0 - 1);
    cairo_scale(cr, condense, 1);
    cairo_set_source_surface(cr, full.surface(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

Box controlBody(const CView* v) {
    if (!v->isTypeOf("CControl")) return {};
    const CRect& r = v->getViewSize();
    const std::string name = bitmapName(v);
    if (isJack(v) && name.rfind("patchpoint", 0) == 0) {
        // Any of the eight nuts may be drawn here; the panel is the same for all.
        const int cx = r.left + r.width() / 2, cy = r.top + r.height() / 2;
        Box all;
        for (int variant = 1; variant <= 8; ++variant) {
            const auto [w, h] = jackSize(variant);
            all = all.united(stripBody("patchpoint" + std::to_string(variant) + ".png").moved(cx - w / 2, cy - h / 2));
        }
        return all;
    }
    const Box body = v->isTypeOf("CSpecialDigit") ? Box{} : stripBody(name);
    if (body.empty()) return {(double)r.left, (double)r.top, (double)r.right, (double)r.bottom};
    return body.moved(r.left, r.top);
}

PanelLayout layoutPanel(const Module& m) { return bestLayout(m).layout; }

Image drawPanel(const Module& m) {
    const Draft d = bestLayout(m);
    const PanelLayout& p = d.layout;
    const int w = p.width, h = p.height;
    Canvas c(w, h);
    cairo_t* cr = c.cr();
    // Panel: a soft vertical gradient with a bevelled edge.
    cairo_rectangle(cr, 0, 0, w, h);
    fillWith(cr, vertical(0, h, panelTop, panelBottom));
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(0xffffff), 0.55);
    cairo_move_to(cr, 0.5, h - 1);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, w - 1, 0.5);
    cairo_stroke(cr);
    setColour(cr, rgb(0x000000), 0.35);
    cairo_move_to(cr, w - 0.5, 0.5);
    cairo_line_to(cr, w - 0.5, h - 0.5);
    cairo_line_to(cr, 0.5, h - 0.5);
    cairo_stroke(cr);

    for (const TextLine& t : d.title) drawText(cr, t.text, t.pixels, t.face, t.box, ink, t.condense);

    // Plates and legends. An output's legend is light on its plate; a jack that
    // works both ways gets an outline instead.
    for (const PlacedLegend& l : p.legends) {
        if (!isJack(l.control)) continue;
        const int direction = static_cast<const PatchPoint*>(l.control)->direction;
        const Box body = controlBody(l.control);
        if (direction == kJackOutput) {
            Box area = plateFor(l, body, p.legends);
            if (area.empty()) continue;
            area = clamped(area, w, h);
            roundedRect(cr, area.x0, area.y0, area.width(), area.height(), 3);
            fillWith(cr, vertical(area.y0, area.y1, mix(plate, rgb(0xffffff), 0.08), plate));
        } else if (direction == kJackEither) {
            const Box frame = clamped(body.united(l.box).grown(1.5), w, h);
            roundedRect(cr, frame.x0 + 0.5, frame.y0 + 0.5, frame.width() - 1, frame.height() - 1, 3);
            cairo_set_line_width(cr, 1);
            setColour(cr, plate, 0.55);
            cairo_stroke(cr);
        }
    }
    for (const PlacedLegend& l : p.legends) {
        const bool light = l.onPlate && !plateFor(l, controlBody(l.control), p.legends).empty();
        drawText(cr, l.text, l.pixels, Face::Bold, l.box, light ? plateInk : ink);
    }
    return c.toImage(m.getBackground() ? m.getBackground()->getName() : std::string());
}

Image previewPanel(const Module& m) {
    Canvas c(m.getWidth(), m.getHeight());
    cairo_t* cr = c.cr();
    const Image panel = drawPanel(m);
    cairo_surface_t* bg = decodePng(panel.png);
    cairo_set_source_surface(cr, bg, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(bg);
    for (CView* v : m.getChildren()) {
        const Image* strip = v->isVisible() ? stripImage(bitmapName(v)) : nullptr;
        if (!strip || v->isTypeOf("CSpecialDigit")) continue;
        const CRect& r = v->getViewSize();
        const int frames = std::max(1, strip->height / r.height());
        const float value = static_cast<const CControl*>(v)->getValue();
        const int frame = std::clamp((int)std::lround(value * (frames - 1)), 0, frames - 1);
        cairo_surface_t* s = decodePng(strip->png);
        cairo_save(cr);
        cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        cairo_clip(cr);
        cairo_set_source_surface(cr, s, r.left, r.top - frame * r.height());
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(s);
    }
    return c.toImage(panel.name);
}

std::vector<Image> drawModulePanels(std::string* error, std::vector<std::string>* problems,
                                    std::vector<Image>* previews) {
    std::vector<Image> out;
    std::set<std::string> known;
    for (const Image& i : drawControls()) known.insert(i.name);
    Vantorel plugin(nullptr);
    SynEditor& editor = *plugin.editor;
    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        Module* m = editor.createModuleAt(info.displayName, 0, 0);
        if (!m || !m->getBackground()) {
            if (error) *error = std::string("cannot build the panel of ") + info.displayName;
            return {};
        }
        for (CView* v : m->getChildren()) {
            const std::string name = bitmapName(v);
            if (!name.empty() && !known.count(name)) {
                if (error) *error = std::string(info.displayName) + " names a bitmap nobody draws: " + name;
                return {};
            }
        }
        const PanelLayout layout = layoutPanel(*m);
        for (const std::string& text : layout.unplaced)
            if (problems) problems->push_back(std::string(info.displayName) + ": no room for the legend \"" + text + "\"");
        Image panel = drawPanel(*m);
        if (panel.width != m->getBackground()->getWidth() || panel.height != m->getBackground()->getHeight()) {
            if (error) *error = std::string(info.displayName) + ": panel size differs from its bitmap's";
            return {};
        }
        out.push_back(std::move(panel));
        if (previews) previews->push_back(previewPanel(*m));
        editor.deleteModule(m);
    }
    return out;
}

}  // namespace art
