#include "gui/COffscreenContext.h"

CColor COffscreenContext::getPixel(int x, int y) {
    if (x < 0 || y < 0 || x >= getWidth() || y >= getHeight()) return CColor{0, 0, 0, 0};
    const uint8_t* row = reinterpret_cast<const uint8_t*>(getPixels()) + (size_t)y * (size_t)getStride();
    const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    const uint32_t a = p >> 24;
    auto un = [a](uint32_t c) { return (uint8_t)(a ? (c * 255 + a / 2) / a : 0); };
    return CColor{un((p >> 16) & 0xff), un((p >> 8) & 0xff), un(p & 0xff), (uint8_t)a};
}
