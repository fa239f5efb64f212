#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/CDrawContext.h"

// A drawing context over an image in memory: the frame's back buffer, offscreen
// snapshots, tests and benchmarks. The drawing backend provides it; pixels are
// 32-bit 0xAARRGGBB words with the colour premultiplied by alpha.
class COffscreenContext : public CDrawContext {
public:
    // A new image of that size, cleared to transparent black. Null when the size is
    // not positive or no memory is left.
    static std::unique_ptr<COffscreenContext> create(int width, int height);

    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // Rows of getStride() bytes; valid as long as the context.
    virtual const uint32_t* getPixels() = 0;
    virtual int getStride() const = 0;
    // One pixel with its colour unpremultiplied (transparent outside the image).
    CColor getPixel(int x, int y);

    // The image as PNG, to a file or to memory; false when encoding fails.
    virtual bool writePng(const std::string& path) = 0;
    virtual bool encodePng(std::vector<uint8_t>& out) = 0;
};
