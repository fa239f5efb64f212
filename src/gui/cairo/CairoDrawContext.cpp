// The Linux drawing backend: every CDrawContext call becomes cairo, text goes
// through pango with fontconfig, bitmaps are decoded by cairo's PNG reader. Nothing
// outside this folder knows cairo.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"

namespace {

class CairoPixels : public CBitmapPixels {
public:
    explicit CairoPixels(cairo_surface_t* s) : surface(s) {}
    ~CairoPixels() override { cairo_surface_destroy(surface); }
    int getWidth() const override { return cairo_image_surface_get_width(surface); }
    int getHeight() const override { return cairo_image_surface_get_height(surface); }
    cairo_surface_t* surface;
};

struct PngReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (length > r->size - r->pos) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendPng(void* closure, const unsigned char* in, unsigned int length) {
    static_cast<std::vector<uint8_t>*>(closure)->insert(static_cast<std::vector<uint8_t>*>(closure)->end(),
                                                         in, in + length);
    return CAIRO_STATUS_SUCCESS;
}

class CairoContext : public COffscreenContext {
public:
    CairoContext(cairo_surface_t* s) : surface(s), cr(cairo_create(s)) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
        clip = CRect(0, 0, getWidth(), getHeight());
    }
    ~CairoContext() override {
        if (layout) g_object_unref(layout);
        if (font) pango_font_description_free(font);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }

    bool ok() const {
        return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
               cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    }

    int getWidth() const override { return cairo_image_surface_get_width(surface); }
    int getHeight() const override { return cairo_image_surface_get_height(surface); }
    int getStride() const override { return cairo_image_surface_get_stride(surface); }
    const uint32_t* getPixels() override {
        cairo_surface_flush(surface);
        return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface));
    }

    bool writePng(const std::string& path) override {
        cairo_surface_flush(surface);
        return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    }
    bool encodePng(std::vector<uint8_t>& out) override {
        out.clear();
        cairo_surface_flush(surface);
        return cairo_surface_write_to_png_stream(surface, appendPng, &out) == CAIRO_STATUS_SUCCESS;
    }

    void setClipRect(const CRect& r) override {
        clip = r;
        cairo_reset_clip(cr);
        cairo_rectangle(cr, r.left, r.top, std::max(0, r.width()), std::max(0, r.height()));
        cairo_clip(cr);
    }

    void drawLine(const CDPoint& from, const CDPoint& to) override {
        cairo_new_path(cr);
        cairo_move_to(cr, px(from.x), py(from.y));
        cairo_line_to(cr, px(to.x), py(to.y));
        stroke();
    }

    void drawRect(const CRect& r, CDrawStyle style) override {
        const double x = r.left + offset.x, y = r.top + offset.y;
        if (style != kDrawStroked) {
            cairo_new_path(cr);
            cairo_rectangle(cr, x, y, r.width(), r.height());
            fill();
        }
        if (style != kDrawFilled) {
            // Half a line inside the rectangle, so a one-pixel frame is crisp.
            const double h = lineWidth * 0.5;
            cairo_new_path(cr);
            cairo_rectangle(cr, x + h, y + h, r.width() - lineWidth, r.height() - lineWidth);
            stroke();
        }
    }

    void drawEllipse(const CRect& r, CDrawStyle style) override {
        if (r.isEmpty()) return;
        cairo_new_path(cr);
        cairo_save(cr);
        cairo_translate(cr, offset.x + (r.left + r.right) * 0.5, offset.y + (r.top + r.bottom) * 0.5);
        cairo_scale(cr, r.width() * 0.5, r.height() * 0.5);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
        if (style != kDrawStroked) {
            if (style == kDrawFilledAndStroked) {
                setSource(fillColor);
                cairo_fill_preserve(cr);
                stroke();
            } else {
                fill();
            }
        } else {
            stroke();
        }
    }

    void drawPolygon(const CDPoint* p, int count, CDrawStyle style) override {
        if (!p || count < 2) return;
        cairo_new_path(cr);
        cairo_move_to(cr, px(p[0].x), py(p[0].y));
        for (int i = 1; i < count; ++i) cairo_line_to(cr, px(p[i].x), py(p[i].y));
        cairo_close_path(cr);
        if (style == kDrawFilled) {
            fill();
        } else if (style == kDrawFilledAndStroked) {
            setSource(fillColor);
            cairo_fill_preserve(cr);
            stroke();
        } else {
            stroke();
        }
    }

    void drawBezier(const CDPoint* p, int count) override {
        if (!p || count < 4) return;
        cairo_new_path(cr);
        cairo_move_to(cr, px(p[0].x), py(p[0].y));
        for (int i = 1; i + 2 < count; i += 3)
            cairo_curve_to(cr, px(p[i].x), py(p[i].y), px(p[i + 1].x), py(p[i + 1].y), px(p[i + 2].x),
                           py(p[i + 2].y));
        stroke();
    }

    void drawString(const char* text, const CRect& r, CHoriTxtAlign align) override {
        if (!text || !*text || r.isEmpty()) return;
        PangoLayout* l = textLayout(text);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(l, &w, &h);
        double x = r.left + offset.x;
        if (align == kCenterText) x += (r.width() - w) * 0.5;
        else if (align == kRightText) x += r.width() - w;
        const double y = r.top + offset.y + (r.height() - h) * 0.5;
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, r.left + offset.x, r.top + offset.y, r.width(), r.height());
        cairo_clip(cr);
        setSource(fontColor);
        cairo_move_to(cr, std::floor(x), std::floor(y));
        pango_cairo_show_layout(cr, l);
        cairo_restore(cr);
    }

    int getStringWidth(const char* text) override {
        if (!text || !*text) return 0;
        int w = 0, h = 0;
        pango_layout_get_pixel_size(textLayout(text), &w, &h);
        return w;
    }

    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& src, float alpha) override {
        if (!bitmap || dest.isEmpty()) return;
        auto* pixels = static_cast<CairoPixels*>(bitmap->getPixels());
        if (!pixels) return;  // no art: nothing to show
        const double x = dest.left + offset.x, y = dest.top + offset.y;
        cairo_set_source_surface(cr, pixels->surface, x - src.x, y - src.y);
        cairo_new_path(cr);
        cairo_rectangle(cr, x, y, dest.width(), dest.height());
        const float a = alpha * globalAlpha;
        if (a >= 1.f) {
            cairo_fill(cr);
        } else {
            cairo_save(cr);
            cairo_clip(cr);
            cairo_paint_with_alpha(cr, std::max(0.f, a));
            cairo_restore(cr);
        }
    }

private:
    // Coordinates name pixels; a point is the centre of its pixel.
    double px(double x) const { return x + offset.x + 0.5; }
    double py(double y) const { return y + offset.y + 0.5; }

    void setSource(const CColor& c) {
        cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0,
                              c.alpha / 255.0 * globalAlpha);
    }
    void fill() {
        setSource(fillColor);
        cairo_fill(cr);
    }
    void stroke() {
        setSource(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }

    PangoLayout* textLayout(const char* text) {
        if (!layout) layout = pango_cairo_create_layout(cr);
        if (!font || fontSize != layoutSize || fontBold != layoutBold) {
            if (font) pango_font_description_free(font);
            font = pango_font_description_from_string("Sans");
            pango_font_description_set_absolute_size(font, fontSize * PANGO_SCALE);
            pango_font_description_set_weight(font, fontBold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
            pango_layout_set_font_description(layout, font);
            layoutSize = fontSize;
            layoutBold = fontBold;
        }
        pango_layout_set_text(layout, text, -1);
        return layout;
    }

    cairo_surface_t* surface;
    cairo_t* cr;
    PangoLayout* layout = nullptr;
    PangoFontDescription* font = nullptr;
    float layoutSize = 0.f;
    bool layoutBold = false;
};

}  // namespace

std::unique_ptr<COffscreenContext> COffscreenContext::create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    auto ctx = std::make_unique<CairoContext>(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (!ctx->ok()) return nullptr;
    return ctx;
}

std::unique_ptr<CBitmapPixels> decodePngPixels(const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    PngReader reader{data, size, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return std::make_unique<CairoPixels>(s);
}
