// Reading the compiled-in bitmaps back as pixels, and building every module.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Art.h"
#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleRegistry.h"
#include "resources/Resources.h"

namespace arttest {

// Width and height from a PNG's header, or {-1, -1} when the bytes are no PNG.
inline std::pair<int, int> pngSize(const Resource& r) {
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (r.size < 24 || std::memcmp(r.data, sig, 8) != 0 || std::memcmp(r.data + 12, "IHDR", 4) != 0) return {-1, -1};
    auto be32 = [&](size_t at) {
        return (int)((unsigned)r.data[at] << 24 | (unsigned)r.data[at + 1] << 16 | (unsigned)r.data[at + 2] << 8 |
                     (unsigned)r.data[at + 3]);
    };
    return {be32(16), be32(20)};
}

// A decoded compiled-in bitmap with straight (not premultiplied) channels 0..1.
class Pixels {
public:
    explicit Pixels(const char* name) {
        const Resource* r = findResource(name);
        if (!r) return;
        surface = art::decodePng(std::vector<unsigned char>(r->data, r->data + r->size));
        if (!surface) return;
        w = cairo_image_surface_get_width(surface);
        h = cairo_image_surface_get_height(surface);
    }
    ~Pixels() {
        if (surface) cairo_surface_destroy(surface);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;
    bool ok() const { return surface != nullptr; }
    int width() const { return w; }
    int height() const { return h; }
    double alpha(int x, int y) const { return (word(x, y) >> 24) / 255.0; }
    // Channel c (0 red, 1 green, 2 blue) of a pixel, un-premultiplied.
    double channel(int x, int y, int c) const {
        const uint32_t p = word(x, y);
        const double a = (p >> 24) / 255.0;
        return a == 0 ? 0 : ((p >> (16 - 8 * c)) & 0xff) / 255.0 / a;
    }
    double luminance(int x, int y) const {
        return 0.2126 * channel(x, y, 0) + 0.7152 * channel(x, y, 1) + 0.0722 * channel(x, y, 2);
    }

private:
    uint32_t word(int x, int y) const {
        const unsigned char* d = cairo_image_surface_get_data(surface);
        return reinterpret_cast<const uint32_t*>(d + (size_t)y * cairo_image_surface_get_stride(surface))[x];
    }
    cairo_surface_t* surface = nullptr;
    int w = 0, h = 0;
};

// Every registered module, built as the editor builds it, handed to `visit` in turn.
inline void forEachModule(const std::function<void(Module&)>& visit) {
    Vantorel plugin(nullptr);
    SynEditor& editor = *plugin.editor;
    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        SCOPED_TRACE(info.displayName);
        Module* m = editor.createModuleAt(info.displayName, 0, 0);
        ASSERT_NE(m, nullptr);
        visit(*m);
        editor.deleteModule(m);
    }
}

// Fonts are needed for anything that lays text out.
inline void needFonts() {
    std::string error;
    ASSERT_TRUE(art::initFonts(&error)) << error;
}

}  // namespace arttest
