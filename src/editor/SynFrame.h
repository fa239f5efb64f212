#pragma once

#include "gui/CFrame.h"
#include "gui/CVSTGUITimer.h"

class SynEditor;
class SynFrame;

// A GUI timer whose firing goes to the frame's timer handler.
class SynTimer : public CVSTGUITimer {
public:
    SynTimer(SynFrame* frame, uint32_t intervalMs);
};

// The editor window's root view. Besides the ordinary routing it hands mouse events
// to the module hanging on the mouse, falls back to the cable colour menu for a right
// click nothing took, and runs the editor's three timers.
class SynFrame : public CFrame {
public:
    SynFrame(const CRect& size, void* parentWindow, SynEditor* editor);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "SynFrame") == 0 || CFrame::isTypeOf(s);
    }

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    void onTimer(CVSTGUITimer* timer);

    SynEditor* getSynEditor() const { return synEditor; }

    static constexpr uint32_t kAutoScrollMs = 50;
    static constexpr uint32_t kAuthorDelayMs = 5000;
    static constexpr uint32_t kAuthorShownMs = 2000;

    // A: cable drag auto-scroll; B: module drag auto-scroll; C: author flash.
    CVSTGUITimer timerA;
    SynTimer timerB;
    SynTimer timerC;
    // Where the mouse was last seen by a drag, in rack coordinates.
    CPoint lastPoint;

private:
    SynEditor* synEditor;
};
