// An editor window opened without a platform window, driven by synthesized mouse
// events in window coordinates, as the window would deliver them.
#pragma once

#include "editor/SynEditor.h"
#include "editor/SynFrame.h"
#include "support/PatchFixture.h"

namespace editorwindow {

struct Window : fixture::Rig {
    explicit Window(vst::audioMasterCallback host = nullptr) : Rig(48000.f, host) {
        EXPECT_TRUE(editor.open(nullptr));
        frame = editor.getSynFrame();
    }
    ~Window() { editor.close(); }

    void down(CPoint p, long buttons = kLButton) { frame->onMouseDown(p, buttons); }
    void move(CPoint p, long buttons = kLButton) { frame->onMouseMoved(p, buttons); }
    void up(CPoint p, long buttons = kLButton) { frame->onMouseUp(p, buttons); }
    void click(CPoint p, long buttons = kLButton) {
        down(p, buttons);
        up(p, buttons);
    }
    // The window point over a rack point, at the current scroll position.
    CPoint atRack(int x, int y) const { return CPoint(x + kSideBarWidth, y + editor.rackTop()); }
    // The window point at the middle of a view placed directly in the window.
    static CPoint middleOf(const CView* v) {
        const CRect& r = v->getViewSize();
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    SynFrame* frame = nullptr;
};

}  // namespace editorwindow
