#pragma once

#include <string>

#include "gui/CReferenceCounter.h"

// A named image of known size. Pixels are attached only when something draws it,
// so panels can be built and laid out in a process that never opens a window.
class CBitmap : public CReferenceCounter {
public:
    CBitmap(std::string name, int width, int height)
        : name(std::move(name)), width(width), height(height) {}

    const std::string& getName() const { return name; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }

private:
    std::string name;
    int width;
    int height;
};
