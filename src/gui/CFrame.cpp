#include "gui/CFrame.h"

#include "gui/COffscreenContext.h"
#include "gui/CVSTGUITimer.h"

CFrame::CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor)
    : CViewContainer(size), systemWindow(systemWindow), editor(editor) {
    if (systemWindow) window = platform::PlatformWindow::create(systemWindow, size.width(), size.height(), this);
}

// The window goes before the views (the container's destructor releases them), so no
// event can reach a view being destroyed.
CFrame::~CFrame() { window.reset(); }

void CFrame::setMouseCapture(bool on) {
    mouseCaptured = on;
    if (window) window->setMouseCapture(on);
}

void CFrame::idle() {
    if (window) window->processEvents();
    if (CVSTGUITimer::nextDeadline() <= CVSTGUITimer::now()) CVSTGUITimer::pumpTimers();
    redrawDirty();
}

bool CFrame::ensureBackBuffer() {
    if (!backBuffer) backBuffer = COffscreenContext::create(size.width(), size.height());
    return backBuffer != nullptr;
}

void CFrame::draw(CDrawContext* context) {
    dirty = false;
    if (!context) return;
    // The frame is the surface: its own corner is the origin whatever its size says.
    const CRect clip = context->getClipRect().intersect(CRect(0, 0, size.width(), size.height()));
    if (clip.isEmpty()) return;
    context->setClipRect(clip);
    context->fillRect(CRect(0, 0, size.width(), size.height()), CColor{0, 0, 0, 255});
    if (background) context->drawBitmap(background, CRect(0, 0, size.width(), size.height()), CPoint());
    drawChildren(context, CPoint(0, 0), clip);
    context->setOffset(CPoint());
}

CRect CFrame::redrawDirty() {
    const CRect whole(0, 0, size.width(), size.height());
    collectDirtyRect(dirtyRect, CPoint(-size.left, -size.top), whole);
    const CRect area = dirtyRect.intersect(whole);
    clearDirtyRect();
    if (area.isEmpty() || !ensureBackBuffer()) return CRect();
    backBuffer->setOffset(CPoint());
    backBuffer->setClipRect(area);
    draw(backBuffer.get());
    if (window)
        window->present(backBuffer->getPixels(), backBuffer->getStride(), backBuffer->getWidth(),
                        backBuffer->getHeight(), area);
    return area;
}

COffscreenContext* CFrame::renderOffscreen() {
    invalidateFrameRect(size);
    redrawDirty();
    return backBuffer.get();
}

bool CFrame::renderToPng(const std::string& path) {
    COffscreenContext* image = renderOffscreen();
    return image && image->writePng(path);
}

void CFrame::windowMouseDown(const CPoint& where, long buttons) {
    CPoint p = where;
    onMouseDown(p, buttons);
}

void CFrame::windowMouseUp(const CPoint& where, long buttons) {
    CPoint p = where;
    onMouseUp(p, buttons);
}

void CFrame::windowMouseMoved(const CPoint& where, long buttons) {
    CPoint p = where;
    onMouseMoved(p, buttons);
}

void CFrame::windowKeyDown(const VstKeyCode& key) {
    VstKeyCode k = key;
    onKeyDown(k);
}

void CFrame::windowExposed(const CRect& area) {
    // Already painted pixels are shown again as they are; only a frame never
    // painted needs drawing first.
    if (backBuffer && !isDirty()) {
        window->present(backBuffer->getPixels(), backBuffer->getStride(), backBuffer->getWidth(),
                        backBuffer->getHeight(), area);
    } else {
        invalidateFrameRect(area);
    }
}
