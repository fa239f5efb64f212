#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gui/CReferenceCounter.h"

// Decoded pixels in the drawing backend's own form; only the backend reads them.
class CBitmapPixels {
public:
    virtual ~CBitmapPixels() = default;
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
};

// The backend's PNG decoder: null when the data is not a readable PNG.
std::unique_ptr<CBitmapPixels> decodePngPixels(const uint8_t* data, size_t size);

// A named image of known size. Pixels are attached only when something draws it,
// so panels can be built and laid out in a process that never opens a window.
// The encoded data is the compiled-in resource of that name, or data given here.
// Frames of a strip are stacked vertically.
class CBitmap : public CReferenceCounter {
public:
    CBitmap(std::string name, int width, int height)
        : name(std::move(name)), width(width), height(height) {}
    // Over encoded PNG data of its own (copied); the size is the image's.
    CBitmap(std::string name, const std::vector<uint8_t>& png);

    const std::string& getName() const { return name; }
    int getWidth() const { return width.load(std::memory_order_relaxed); }
    int getHeight() const { return height.load(std::memory_order_relaxed); }

    // Decodes on first use (any thread; bitmaps are shared by every instance).
    // Null when there is no data or it does not decode: the bitmap then draws
    // nothing and keeps its given size.
    CBitmapPixels* getPixels();
    // Replaces the encoded data; the next draw decodes it. Editor thread, before
    // anything draws the bitmap concurrently.
    void setPngData(const std::vector<uint8_t>& png);

private:
    std::string name;
    // A bitmap declared without a size takes the size of its image.
    std::atomic<int> width;
    std::atomic<int> height;
    std::vector<uint8_t> ownData;
    std::mutex decodeMutex;
    std::atomic<bool> decodeTried{false};
    std::unique_ptr<CBitmapPixels> pixels;
};
