#pragma once

#include <memory>
#include <string>

#include "gui/CViewContainer.h"
#include "platform/PlatformWindow.h"

class AEffGUIEditor;
class COffscreenContext;

// Root of a view tree. It exists with or without a platform window; the window is
// attached only while the host shows the editor. Mouse events arrive here in frame
// coordinates and are routed down the tree; keys go to the focus view.
//
// Drawing: views mark themselves dirty (any thread: lights are set by the audio
// thread) or invalidate rectangles (editor thread); idle() gathers both into the
// dirty region and repaints only that, into a back buffer the window shows.
class CFrame : public CViewContainer, private platform::WindowListener {
public:
    // With a parent window (the host's), the frame makes its own child window in
    // it; without one (or when the window cannot be made) it is headless.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor);
    ~CFrame() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CFrame") == 0 || CViewContainer::isTypeOf(s);
    }
    AEffGUIEditor* getEditor() const { return editor; }
    void* getSystemWindow() const { return systemWindow; }
    // The frame's own platform window (null when headless).
    platform::PlatformWindow* getPlatformWindow() const { return window.get(); }

    // Area waiting for redraw, in frame coordinates (empty when nothing is dirty).
    virtual void invalidateFrameRect(const CRect& r) { dirtyRect = dirtyRect.unite(r.intersect(size)); }
    const CRect& getDirtyRect() const { return dirtyRect; }
    void clearDirtyRect() { dirtyRect = CRect(); }

    // Editor thread, called by the host's idle: hands queued window events to the
    // views, fires due timers and repaints the dirty region. Returns at once when
    // there is nothing to do; never blocks.
    void idle();
    // Repaints the dirty region now (views marked dirty included) and shows it;
    // returns the area painted (empty when nothing was dirty).
    CRect redrawDirty();
    // The whole tree drawn with no window or display involved: into the back buffer
    // (returned; owned by the frame) or into a PNG file.
    COffscreenContext* renderOffscreen();
    bool renderToPng(const std::string& path);
    // The back buffer as last painted (null before the first paint).
    COffscreenContext* getBackBuffer() const { return backBuffer.get(); }

    void draw(CDrawContext* context) override;

    // Keyboard focus: the view that receives keys first (null for none).
    void setFocusView(CView* v) {
        if (v == focusView) return;
        CView* old = focusView;
        focusView = v;
        if (old) old->looseFocus();
        if (v) v->takeFocus();
    }
    CView* getFocusView() const { return focusView; }
    bool onKeyDown(VstKeyCode& key) override { return focusView && focusView->onKeyDown(key); }
    // Asks for the keyboard of the host's window system for the frame's window.
    void takeWindowFocus() {
        if (window) window->takeFocus();
    }

    // Mouse capture for the platform window: while on, moves and the release arrive
    // even outside the window. Without a window it only records the state.
    virtual void setMouseCapture(bool on);
    bool hasMouseCapture() const { return mouseCaptured; }


    bool removeView(CView* view, bool withForget = true) override {
        if (view == focusView) setFocusView(nullptr);
        return CViewContainer::removeView(view, withForget);
    }

protected:
    void* systemWindow;
    AEffGUIEditor* editor;
    CRect dirtyRect;
    CView* focusView = nullptr;
    bool mouseCaptured = false;

private:
    void windowMouseDown(const CPoint& where, long buttons) override;
    void windowMouseUp(const CPoint& where, long buttons) override;
    void windowMouseMoved(const CPoint& where, long buttons) override;
    void windowKeyDown(const VstKeyCode& key) override;
    void windowExposed(const CRect& area) override;
    bool ensureBackBuffer();

    std::unique_ptr<platform::PlatformWindow> window;
    std::unique_ptr<COffscreenContext> backBuffer;
};
