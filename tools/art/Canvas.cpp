#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cstring>

#include "Art.h"

namespace art {

Box Box::united(const Box& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

Canvas::Canvas(int width, int height)
    : w(width), h(height), target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      context(cairo_create(target)) {}

Canvas::~Canvas() {
    cairo_destroy(context);
    cairo_surface_destroy(target);
}

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Image Canvas::toImage(const std::string& name) const {
    cairo_surface_flush(target);
    Image img;
    img.name = name;
    img.width = w;
    img.height = h;
    cairo_surface_write_to_png_stream(target, appendBytes, &img.png);
    return img;
}

namespace {

struct PngReader {
    const std::vector<unsigned char>* data;
    size_t at = 0;
};

cairo_status_t readBytes(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (r->at + length > r->data->size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data->data() + r->at, length);
    r->at += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

cairo_surface_t* decodePng(const std::vector<unsigned char>& png) {
    PngReader reader{&png};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readBytes, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

Box alphaBox(cairo_surface_t* strip, int frameHeight, int frame) {
    cairo_surface_flush(strip);
    const int w = cairo_image_surface_get_width(strip), h = cairo_image_surface_get_height(strip);
    const int stride = cairo_image_surface_get_stride(strip);
    const unsigned char* data = cairo_image_surface_get_data(strip);
    const int frames = frameHeight > 0 ? h / frameHeight : 1;
    int minX = w, minY = frameHeight, maxX = -1, maxY = -1;
    for (int f = frame < 0 ? 0 : frame; f < (frame < 0 ? frames : frame + 1); ++f)
        for (int y = 0; y < frameHeight; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(data + (size_t)(f * frameHeight + y) * stride);
            for (int x = 0; x < w; ++x)
                if (row[x] >> 24) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        }
    if (maxX < 0) return {};
    return {(double)minX, (double)minY, (double)maxX + 1, (double)maxY + 1};
}

// ---- fonts ----

namespace {

PangoContext* textContext = nullptr;

// The file fontconfig gives for a pattern, when its family is the one asked for.
std::string fontFile(const char* pattern, const char* family) {
    FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, p, &result);
    FcPatternDestroy(p);
    std::string file;
    FcChar8 *f = nullptr, *fam = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &f) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch &&
        std::strcmp(reinterpret_cast<const char*>(fam), family) == 0)
        file = reinterpret_cast<const char*>(f);
    if (match) FcPatternDestroy(match);
    return file;
}

}  // namespace

bool initFonts(std::string* error) {
    if (textContext) return true;
    const std::string regular = fontFile("DejaVu Sans:style=Book", "DejaVu Sans");
    const std::string bold = fontFile("DejaVu Sans:style=Bold", "DejaVu Sans");
    if (regular.empty() || bold.empty()) {
        if (error) *error = "DejaVu Sans (regular and bold) not found through fontconfig; install fonts-dejavu-core";
        return false;
    }
    // A private configuration that knows these two files and nothing else.
    FcConfig* config = FcConfigCreate();
    if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(regular.c_str())) ||
        !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(bold.c_str()))) {
        if (error) *error = "cannot load " + regular + " or " + bold;
        FcConfigDestroy(config);
        return false;
    }
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
    FcConfigDestroy(config);
    textContext = pango_font_map_create_context(map);
    g_object_unref(map);
    // Fixed rendering options: no hinting, grey antialiasing, unrounded positions.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(textContext, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(textContext, FALSE);
    return true;
}

PangoLayout* makeLayout(cairo_t* cr, const std::string& text, double pixels, Face face) {
    pango_cairo_update_context(cr, textContext);
    PangoLayout* layout = pango_layout_new(textContext);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, "DejaVu Sans");
    pango_font_description_set_weight(d, face == Face::Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(d, pixels * PANGO_SCALE);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

Box inkBox(PangoLayout* layout) {
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    const double s = PANGO_SCALE;
    return {ink.x / s, ink.y / s, (ink.x + ink.width) / s, (ink.y + ink.height) / s};
}

void showInkAt(cairo_t* cr, PangoLayout* layout, double x, double y) {
    const Box ink = inkBox(layout);
    cairo_move_to(cr, x - ink.x0, y - ink.y0);
    pango_cairo_show_layout(cr, layout);
}

}  // namespace art
