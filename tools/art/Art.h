// The art generator's drawing kit: every bitmap the plug-in names, drawn in code with
// cairo and pango at build time. Tests use the same functions the generator does.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <string>
#include <vector>

class CView;
class Module;

namespace art {

// An axis-aligned rectangle in pixels, edges as doubles (text boxes are fractional).
struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    bool inside(const Box& o) const { return x0 >= o.x0 && y0 >= o.y0 && x1 <= o.x1 && y1 <= o.y1; }
    Box grown(double d) const { return {x0 - d, y0 - d, x1 + d, y1 + d}; }
    Box moved(double dx, double dy) const { return {x0 + dx, y0 + dy, x1 + dx, y1 + dy}; }
    Box united(const Box& o) const;
};

// A drawn bitmap: its resource name, size and PNG bytes.
struct Image {
    std::string name;
    int width = 0, height = 0;
    std::vector<unsigned char> png;
};

// An ARGB surface owned for the length of a drawing.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    cairo_t* cr() const { return context; }
    cairo_surface_t* surface() const { return target; }
    int width() const { return w; }
    int height() const { return h; }
    Image toImage(const std::string& name) const;

private:
    int w, h;
    cairo_surface_t* target;
    cairo_t* context;
};

// Text. Only the fonts of the package the install script brings are ever used, so
// the output does not depend on what else a machine has installed.
enum class Face { Regular, Bold };
// False, with the reason in `error`, when the fonts cannot be found.
bool initFonts(std::string* error);
// A layout of `text` at `pixels` size (absolute, not points).
PangoLayout* makeLayout(cairo_t* cr, const std::string& text, double pixels, Face face);
// Ink rectangle of a layout relative to its origin, in pixels.
Box inkBox(PangoLayout* layout);
// Draws the layout so that its ink rectangle's top left lands at (x, y).
void showInkAt(cairo_t* cr, PangoLayout* layout, double x, double y);

// Alpha bounding box (alpha > 0) of one frame of a strip, relative to the frame, or
// of all frames together when frame < 0. Empty when the frame is fully transparent.
Box alphaBox(cairo_surface_t* strip, int frameHeight, int frame = -1);

// Every shared control strip ("minibrute_knob_s.png", "patchpoint1.png", ...).
std::vector<Image> drawControls();
// The editor window's bitmaps (rows, bars, title, buttons, preset display).
std::vector<Image> drawEditorArt();

// Panel layout of one module: where its title and legends go.
struct PlacedLegend {
    const CView* control = nullptr;
    std::string text;
    Box box;               // ink rectangle of the text
    double pixels = 8;     // text size
    bool onPlate = false;  // printed light on an output's dark plate
};
struct PanelLayout {
    int width = 0, height = 0;
    std::vector<Box> titleBoxes;        // ink rectangles of the title lines
    std::vector<Box> bodies;            // what each visible control paints, in panel coordinates
    // At least one per legend the module declares on a visible control: a toggle's
    // "UP/DOWN" legend puts each word by its position.
    std::vector<PlacedLegend> legends;
    std::vector<std::string> unplaced;  // legends that found no free place
};
// Where the drawn part of a control lies on its panel (its strip's visible pixels;
// for jacks, the largest of the strips a jack may be given).
Box controlBody(const CView* control);
PanelLayout layoutPanel(const Module& module);
// The panel bitmap of a module: its name, size, title and legends.
Image drawPanel(const Module& module);
// Panels of every registered module, by name; empty, with `error` set, when a module
// cannot be built or names a bitmap nobody draws. Legends that found no room are
// listed in `problems` (the panel is drawn without them).
// With `previews`, also the panels as previewPanel draws them.
std::vector<Image> drawModulePanels(std::string* error, std::vector<std::string>* problems,
                                    std::vector<Image>* previews = nullptr);

// A panel with every control drawn over it at its current value, as the editor would
// show it: for looking at the art.
Image previewPanel(const Module& module);
// Decodes PNG bytes; null when they are not a PNG. The caller destroys the surface.
cairo_surface_t* decodePng(const std::vector<unsigned char>& png);

// The generated C++ source holding the PNG bytes and the name table.
std::string resourceTableSource(const std::vector<Image>& images);

}  // namespace art
