#pragma once

#include <cstdint>
#include <memory>

#include "gui/CGraphicsTypes.h"

namespace platform {

// What the window hands to its owner. Mouse positions are in window (frame)
// coordinates; buttons carry the CButtonState bits of the buttons held and the
// modifiers. Called only from inside PlatformWindow::processEvents.
class WindowListener {
public:
    virtual ~WindowListener() = default;
    virtual void windowMouseDown(const CPoint& where, long buttons) = 0;
    virtual void windowMouseUp(const CPoint& where, long buttons) = 0;
    virtual void windowMouseMoved(const CPoint& where, long buttons) = 0;
    virtual void windowKeyDown(const VstKeyCode& key) = 0;
    // Part of the window lost its pixels and must be shown again.
    virtual void windowExposed(const CRect& area) = 0;
};

// The editor's child window inside the host's window: events in, pixels out.
// One per open editor; it uses no thread of its own and never blocks.
class PlatformWindow {
public:
    // A child of the host's window `parent` (an X11 Window id on Linux), or null
    // when there is no display or the parent is not a window.
    static std::unique_ptr<PlatformWindow> create(void* parent, int width, int height,
                                                  WindowListener* listener);
    virtual ~PlatformWindow() = default;

    // Hands every event already queued to the listener; returns at once when none is.
    virtual void processEvents() = 0;
    // Copies the rectangle `area` of an image of 0xAARRGGBB words (rows of `stride`
    // bytes, size width x height) to the same place in the window.
    virtual void present(const uint32_t* pixels, int stride, int width, int height,
                         const CRect& area) = 0;
    // While on, the mouse stays with this window even outside it.
    virtual void setMouseCapture(bool on) = 0;
    virtual void takeFocus() = 0;
    // The native window handle (X11 Window id).
    virtual uintptr_t nativeHandle() const = 0;
};

}  // namespace platform
