// The Windows drawing backend: shapes and text are drawn by GDI+ into an image in
// our own memory, PNG data is decoded and encoded by GDI+'s codecs. Nothing outside
// this folder knows GDI+.
//
// Pixels stay in plain memory (premultiplied 0xAARRGGBB words, as on Linux), never
// in GDI+ objects that outlive a call: a decoded bitmap is only memory, so shared
// bitmaps may be released at any time, even after the last context has shut GDI+
// down again.
#include "gui/gdiplus/PngEncoder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"
#include "platform/win32/Utf.h"

namespace {

// GDI+ is started on first use and stopped when its last user goes, never from
// DllMain (the loader lock would deadlock its start-up). Every object that holds
// GDI+ objects, or a call that makes them, holds a reference meanwhile.
class GdiplusUse {
public:
    GdiplusUse() {
        std::lock_guard<std::mutex> g(mutex());
        if (users()++ == 0) {
            Gdiplus::GdiplusStartupInput input;
            if (Gdiplus::GdiplusStartup(&token(), &input, nullptr) != Gdiplus::Ok) token() = 0;
        }
        ok = token() != 0;
    }
    ~GdiplusUse() {
        std::lock_guard<std::mutex> g(mutex());
        if (--users() == 0 && token()) {
            Gdiplus::GdiplusShutdown(token());
            token() = 0;
        }
    }
    GdiplusUse(const GdiplusUse&) = delete;
    GdiplusUse& operator=(const GdiplusUse&) = delete;
    bool ok = false;

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static int& users() {
        static int n = 0;
        return n;
    }
    static ULONG_PTR& token() {
        static ULONG_PTR t = 0;
        return t;
    }
};

// c * a / 255, rounded, as the Linux backend's pixel arithmetic does it.
inline uint32_t mul255(uint32_t c, uint32_t a) {
    const uint32_t t = c * a + 0x80;
    return ((t >> 8) + t) >> 8;
}

// Largest side we accept from a PNG header; a resource is never near it, and it keeps
// width * height * 4 far from overflow on 32-bit builds.
constexpr int kMaxSide = 16384;

// Premultiplied 0xAARRGGBB rows in our own memory.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> words;
    uint32_t* row(int y) { return words.data() + (size_t)y * (size_t)width; }
    const uint32_t* row(int y) const { return words.data() + (size_t)y * (size_t)width; }
};

class GdiplusPixels : public CBitmapPixels {
public:
    int getWidth() const override { return image.width; }
    int getHeight() const override { return image.height; }
    Image image;
};

// A stream over a copy of the bytes, for GDI+'s decoders and encoders.
IStream* memoryStream(const uint8_t* data, size_t size) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!mem) return nullptr;
    if (size) {
        void* p = GlobalLock(mem);
        if (!p) {
            GlobalFree(mem);
            return nullptr;
        }
        std::memcpy(p, data, size);
        GlobalUnlock(mem);
    }
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(mem, TRUE, &stream) != S_OK) {
        GlobalFree(mem);
        return nullptr;
    }
    return stream;
}

// The encoder is handed straight (not premultiplied) ARGB, which every PNG encoder
// takes as it is, so a half-transparent pixel comes back as it was drawn.
bool encodeImage(const Image& image, std::vector<uint8_t>& out) {
    out.clear();
    GdiplusUse use;
    if (!use.ok || image.width <= 0 || image.height <= 0) return false;
    std::vector<uint32_t> straight(image.words.size());
    for (size_t i = 0; i < straight.size(); ++i) {
        const uint32_t p = image.words[i], a = p >> 24;
        auto un = [a](uint32_t c) { return a ? std::min<uint32_t>(255, (c * 255 + a / 2) / a) : 0u; };
        straight[i] = (a << 24) | (un((p >> 16) & 0xff) << 16) | (un((p >> 8) & 0xff) << 8) | un(p & 0xff);
    }
    CLSID clsid;
    if (!gdiplus::pngEncoder(clsid)) return false;
    IStream* stream = memoryStream(nullptr, 0);
    if (!stream) return false;
    bool ok = false;
    {
        Gdiplus::Bitmap bitmap(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                               reinterpret_cast<BYTE*>(straight.data()));
        ok = bitmap.GetLastStatus() == Gdiplus::Ok && bitmap.Save(stream, &clsid, nullptr) == Gdiplus::Ok;
    }
    HGLOBAL mem = nullptr;
    if (ok && GetHGlobalFromStream(stream, &mem) == S_OK) {
        STATSTG st{};
        ok = stream->Stat(&st, STATFLAG_NONAME) == S_OK;
        const size_t size = ok ? (size_t)st.cbSize.QuadPart : 0;
        const void* p = ok ? GlobalLock(mem) : nullptr;
        if (p) {
            out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
            GlobalUnlock(mem);
        }
        ok = p != nullptr && !out.empty();
    } else {
        ok = false;
    }
    stream->Release();
    return ok;
}

class GdiplusContext : public COffscreenContext {
public:
    GdiplusContext(int w, int h) {
        image.width = w;
        image.height = h;
        image.words.assign((size_t)w * (size_t)h, 0u);
        if (!use.ok) return;
        bitmap = std::make_unique<Gdiplus::Bitmap>(w, h, w * 4, PixelFormat32bppPARGB,
                                                   reinterpret_cast<BYTE*>(image.words.data()));
        if (bitmap->GetLastStatus() != Gdiplus::Ok) return;
        graphics = std::make_unique<Gdiplus::Graphics>(bitmap.get());
        if (graphics->GetLastStatus() != Gdiplus::Ok) return;
        graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        // Grey-scale antialiasing: sub-pixel colour fringes would show on the
        // transparent image and wherever it is composed.
        graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
        clip = CRect(0, 0, w, h);
    }
    ~GdiplusContext() override {
        font.reset();
        graphics.reset();
        bitmap.reset();
    }

    bool ok() const { return graphics && graphics->GetLastStatus() == Gdiplus::Ok; }

    int getWidth() const override { return image.width; }
    int getHeight() const override { return image.height; }
    int getStride() const override { return image.width * 4; }
    const uint32_t* getPixels() override {
        sync();
        return image.words.data();
    }

    bool writePng(const std::string& path) override {
        std::vector<uint8_t> png;
        if (!encodePng(png)) return false;
        FILE* f = _wfopen(platform::widen(path).c_str(), L"wb");
        if (!f) return false;
        const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
        return std::fclose(f) == 0 && written;
    }
    bool encodePng(std::vector<uint8_t>& out) override {
        sync();
        return encodeImage(image, out);
    }

    void setClipRect(const CRect& r) override {
        clip = r;
        graphics->SetClip(Gdiplus::Rect(r.left, r.top, std::max(0, r.width()), std::max(0, r.height())));
    }

    void drawLine(const CDPoint& from, const CDPoint& to) override {
        Gdiplus::Pen pen(colour(frameColor), lineWidth);
        graphics->DrawLine(&pen, pt(from), pt(to));
    }

    void drawRect(const CRect& r, CDrawStyle style) override {
        const float x = edge(r.left + offset.x), y = edge(r.top + offset.y);
        if (style != kDrawStroked) {
            Gdiplus::SolidBrush brush(colour(fillColor));
            graphics->FillRectangle(&brush, x, y, float(r.width()), float(r.height()));
        }
        if (style != kDrawFilled) {
            // Half a line inside the rectangle, so a one-pixel frame is crisp.
            const float h = lineWidth * 0.5f;
            Gdiplus::Pen pen(colour(frameColor), lineWidth);
            graphics->DrawRectangle(&pen, x + h, y + h, float(r.width()) - lineWidth, float(r.height()) - lineWidth);
        }
    }

    void drawEllipse(const CRect& r, CDrawStyle style) override {
        if (r.isEmpty()) return;
        const Gdiplus::RectF box(edge(r.left + offset.x), edge(r.top + offset.y), float(r.width()),
                                 float(r.height()));
        if (style != kDrawStroked) {
            Gdiplus::SolidBrush brush(colour(fillColor));
            graphics->FillEllipse(&brush, box);
        }
        if (style != kDrawFilled) {
            Gdiplus::Pen pen(colour(frameColor), lineWidth);
            graphics->DrawEllipse(&pen, box);
        }
    }

    void drawPolygon(const CDPoint* p, int count, CDrawStyle style) override {
        if (!p || count < 2) return;
        std::vector<Gdiplus::PointF> points;
        for (int i = 0; i < count; ++i) points.push_back(pt(p[i]));
        if (style != kDrawStroked) {
            Gdiplus::SolidBrush brush(colour(fillColor));
            graphics->FillPolygon(&brush, points.data(), count);
        }
        if (style != kDrawFilled) {
            Gdiplus::Pen pen(colour(frameColor), lineWidth);
            graphics->DrawPolygon(&pen, points.data(), count);
        }
    }

    void drawBezier(const CDPoint* p, int count) override {
        if (!p || count < 4) return;
        // Whole segments only: a start point and three points for each.
        const int used = 1 + (count - 1) / 3 * 3;
        std::vector<Gdiplus::PointF> points;
        for (int i = 0; i < used; ++i) points.push_back(pt(p[i]));
        Gdiplus::Pen pen(colour(frameColor), lineWidth);
        graphics->DrawBeziers(&pen, points.data(), used);
    }

    void drawString(const char* text, const CRect& r, CHoriTxtAlign align) override {
        if (!text || !*text || r.isEmpty()) return;
        const std::wstring wide = platform::widen(text);
        Gdiplus::Font* f = currentFont();
        if (!f) return;
        const Gdiplus::RectF box(edge(r.left + offset.x), edge(r.top + offset.y), float(r.width()),
                                 float(r.height()));
        Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
        format.SetAlignment(align == kCenterText   ? Gdiplus::StringAlignmentCenter
                            : align == kRightText ? Gdiplus::StringAlignmentFar
                                                  : Gdiplus::StringAlignmentNear);
        format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        // Clipped to its rectangle as well as to the context's clip.
        Gdiplus::Region saved;
        graphics->GetClip(&saved);
        graphics->IntersectClip(box);
        Gdiplus::SolidBrush brush(colour(fontColor));
        graphics->DrawString(wide.c_str(), (INT)wide.size(), f, box, &format, &brush);
        graphics->SetClip(&saved);
    }

    int getStringWidth(const char* text) override {
        if (!text || !*text) return 0;
        const std::wstring wide = platform::widen(text);
        Gdiplus::Font* f = currentFont();
        if (!f) return 0;
        Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
        format.SetFormatFlags(format.GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
        Gdiplus::RectF box;
        graphics->MeasureString(wide.c_str(), (INT)wide.size(), f, Gdiplus::PointF(0, 0), &format, &box);
        return (int)std::ceil(box.Width);
    }

    // A plain copy with alpha, done here rather than by GDI+: it is exact, the same
    // on every GDI+ implementation, and the panels are nothing but such copies.
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& src, float alpha) override {
        if (!bitmap || dest.isEmpty()) return;
        auto* pixels = static_cast<GdiplusPixels*>(bitmap->getPixels());
        if (!pixels) return;  // no art: nothing to show
        const float a = std::min(1.f, std::max(0.f, alpha * globalAlpha));
        const uint32_t scale = (uint32_t)std::lround(a * 255.f);
        if (scale == 0) return;
        const Image& from = pixels->image;
        CRect to = dest;
        to.offset(offset.x, offset.y);
        // Source pixels beyond the bitmap are transparent: nothing is drawn there.
        const int dx = src.x - to.left, dy = src.y - to.top;
        to = to.intersect(clip).intersect(CRect(0, 0, image.width, image.height))
                 .intersect(CRect(-dx, -dy, from.width - dx, from.height - dy));
        if (to.isEmpty()) return;
        sync();
        for (int y = to.top; y < to.bottom; ++y) {
            const uint32_t* s = from.row(y + dy) + (to.left + dx);
            uint32_t* d = image.row(y) + to.left;
            for (int x = 0; x < to.width(); ++x) {
                uint32_t p = s[x];
                if (scale < 255)
                    p = (mul255(p >> 24, scale) << 24) | (mul255((p >> 16) & 0xff, scale) << 16) |
                        (mul255((p >> 8) & 0xff, scale) << 8) | mul255(p & 0xff, scale);
                const uint32_t sa = p >> 24;
                if (sa == 255) {
                    d[x] = p;
                } else if (sa || p) {
                    const uint32_t keep = 255 - sa, q = d[x];
                    d[x] = ((sa + mul255(q >> 24, keep)) << 24) |
                           ((((p >> 16) & 0xff) + mul255((q >> 16) & 0xff, keep)) << 16) |
                           ((((p >> 8) & 0xff) + mul255((q >> 8) & 0xff, keep)) << 8) |
                           ((p & 0xff) + mul255(q & 0xff, keep));
                }
            }
        }
    }

private:
    // Coordinates name pixels; a point is the centre of its pixel. GDI+ puts pixel
    // centres on whole coordinates (its default offset mode, the one every
    // implementation honours), so a pixel's edges lie half a unit either side.
    Gdiplus::PointF pt(const CDPoint& p) const {
        return Gdiplus::PointF(float(p.x + offset.x), float(p.y + offset.y));
    }
    static float edge(int x) { return float(x) - 0.5f; }
    Gdiplus::Color colour(const CColor& c) const {
        const float a = std::min(1.f, std::max(0.f, globalAlpha)) * float(c.alpha);
        return Gdiplus::Color((BYTE)std::lround(a), c.red, c.green, c.blue);
    }
    // GDI+ writes into our memory; whatever it still holds is written out before we
    // read or write the pixels ourselves.
    void sync() {
        if (graphics) graphics->Flush(Gdiplus::FlushIntentionSync);
    }

    Gdiplus::Font* currentFont() {
        if (!font || fontSize != madeSize || fontBold != madeBold) {
            font.reset();
            const int style = fontBold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular;
            for (const wchar_t* family : {L"Tahoma", L"Arial", L"Liberation Sans", L"DejaVu Sans"}) {
                Gdiplus::FontFamily f(family);
                if (f.GetLastStatus() != Gdiplus::Ok || !f.IsAvailable()) continue;
                font = std::make_unique<Gdiplus::Font>(&f, fontSize, style, Gdiplus::UnitPixel);
                if (font->GetLastStatus() == Gdiplus::Ok) break;
                font.reset();
            }
            if (!font) {
                font = std::make_unique<Gdiplus::Font>(Gdiplus::FontFamily::GenericSansSerif(), fontSize, style,
                                                       Gdiplus::UnitPixel);
                if (font->GetLastStatus() != Gdiplus::Ok) font.reset();
            }
            madeSize = fontSize;
            madeBold = fontBold;
        }
        return font.get();
    }

    GdiplusUse use;
    Image image;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    std::unique_ptr<Gdiplus::Graphics> graphics;
    std::unique_ptr<Gdiplus::Font> font;
    float madeSize = 0.f;
    bool madeBold = false;
};

}  // namespace

std::unique_ptr<COffscreenContext> COffscreenContext::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    try {
        auto ctx = std::make_unique<GdiplusContext>(width, height);
        if (!ctx->ok()) return nullptr;
        return ctx;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<CBitmapPixels> decodePngPixels(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > 0x7fffffff) return nullptr;
    GdiplusUse use;
    if (!use.ok) return nullptr;
    IStream* stream = memoryStream(data, size);
    if (!stream) return nullptr;
    std::unique_ptr<GdiplusPixels> out;
    {
        Gdiplus::Bitmap decoded(stream);
        const int w = (int)decoded.GetWidth(), h = (int)decoded.GetHeight();
        if (decoded.GetLastStatus() == Gdiplus::Ok && w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide) {
            // Straight ARGB from the decoder, premultiplied here with the same rounding as
            // everything else we draw.
            Gdiplus::BitmapData locked{};
            Gdiplus::Rect all(0, 0, w, h);
            if (decoded.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &locked) == Gdiplus::Ok) {
                out = std::make_unique<GdiplusPixels>();
                out->image.width = w;
                out->image.height = h;
                out->image.words.resize((size_t)w * (size_t)h);
                for (int y = 0; y < h; ++y) {
                    const auto* s = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.Scan0) +
                                                                      (ptrdiff_t)y * locked.Stride);
                    uint32_t* d = out->image.row(y);
                    for (int x = 0; x < w; ++x) {
                        const uint32_t p = s[x], a = p >> 24;
                        d[x] = a == 255 ? p
                                        : (a << 24) | (mul255((p >> 16) & 0xff, a) << 16) |
                                              (mul255((p >> 8) & 0xff, a) << 8) | mul255(p & 0xff, a);
                    }
                }
                decoded.UnlockBits(&locked);
            }
        }
    }
    stream->Release();
    return out;
}
