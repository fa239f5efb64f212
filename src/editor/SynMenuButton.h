#pragma once

#include "gui/CBitmap.h"
#include "gui/CControl.h"

// A bitmap button that opens a menu: value 1 (and the pressed look) while the mouse
// holds it, the listener told on press and on release.
class SynMenuButton : public CControl {
public:
    SynMenuButton(const CRect& size, CControlListener* listener, CBitmap* normal, CBitmap* pressed)
        : CControl(size, listener, -1, normal), pressed(pressed) {
        if (pressed) pressed->remember();
    }
    ~SynMenuButton() override {
        if (pressed) pressed->forget();
    }
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "SynMenuButton") == 0 || CControl::isTypeOf(s);
    }

    CMouseEventResult onMouseDown(CPoint&, long buttons) override {
        if (!(buttons & kLButton)) return kMouseEventNotHandled;
        setValue(1.f);
        invalid();
        valueChanged();
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint&, long) override {
        setValue(0.f);
        invalid();
        valueChanged();
        return kMouseEventHandled;
    }
    void draw(CDrawContext* context) override {
        CBitmap* shown = getValue() >= 0.5f && pressed ? pressed : background;
        if (context && shown) context->drawBitmap(shown, size, CPoint());
        dirty = false;
    }

private:
    CBitmap* pressed;
};
