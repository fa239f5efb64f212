#include "gui/CBitmap.h"

#include "resources/Resources.h"

CBitmap::CBitmap(std::string name, const std::vector<uint8_t>& png)
    : name(std::move(name)), width(0), height(0), ownData(png) {
    getPixels();
}

CBitmapPixels* CBitmap::getPixels() {
    if (decodeTried.load(std::memory_order_acquire)) return pixels.get();
    std::lock_guard<std::mutex> g(decodeMutex);
    if (decodeTried.load(std::memory_order_relaxed)) return pixels.get();
    if (!ownData.empty()) {
        pixels = decodePngPixels(ownData.data(), ownData.size());
    } else if (const Resource* r = findResource(name.c_str())) {
        pixels = decodePngPixels(r->data, r->size);
    }
    if (pixels && (getWidth() <= 0 || getHeight() <= 0)) {
        width.store(pixels->getWidth(), std::memory_order_relaxed);
        height.store(pixels->getHeight(), std::memory_order_relaxed);
    }
    decodeTried.store(true, std::memory_order_release);
    return pixels.get();
}

void CBitmap::setPngData(const std::vector<uint8_t>& png) {
    std::lock_guard<std::mutex> g(decodeMutex);
    ownData = png;
    pixels.reset();
    decodeTried.store(false, std::memory_order_release);
}
