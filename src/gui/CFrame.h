#pragma once

#include "gui/CVSTGUITimer.h"
#include "gui/CViewContainer.h"

class AEffGUIEditor;

// Root of a view tree. It exists with or without a platform window; the window is
// attached only while the host shows the editor. Mouse events arrive here in frame
// coordinates and are routed down the tree; keys go to the focus view.
class CFrame : public CViewContainer {
public:
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor)
        : CViewContainer(size), systemWindow(systemWindow), editor(editor) {}

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CFrame") == 0 || CViewContainer::isTypeOf(s);
    }
    AEffGUIEditor* getEditor() const { return editor; }
    void* getSystemWindow() const { return systemWindow; }

    // Area waiting for redraw, in frame coordinates (empty when nothing is dirty).
    virtual void invalidateFrameRect(const CRect& r) { dirtyRect = dirtyRect.unite(r.intersect(size)); }
    const CRect& getDirtyRect() const { return dirtyRect; }
    void clearDirtyRect() { dirtyRect = CRect(); }

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

    // Mouse capture for the platform window: while on, moves and the release arrive
    // even outside the window. Without a window it only records the state.
    virtual void setMouseCapture(bool on) { mouseCaptured = on; }
    bool hasMouseCapture() const { return mouseCaptured; }

    // The host's idle: fires due timers (the window's events and redraw join here).
    void idle() { CVSTGUITimer::pumpTimers(); }

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
};
