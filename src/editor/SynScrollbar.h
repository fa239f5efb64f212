#pragma once

#include "gui/CScrollbar.h"

// The rack's scrollbar: value 0 shows the top of the rack, 1 its bottom; its scroll
// size is the rack's content height.
class SynScrollbar : public CScrollbar {
public:
    static constexpr int32_t kTag = 1001;

    SynScrollbar(const CRect& size, CControlListener* listener, int contentHeight, int visibleHeight)
        : CScrollbar(size, listener, kTag, kVertical, contentHeight, visibleHeight) {
        setBackgroundColor(CColor{0, 0, 0, 150});
    }
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "SynScrollbar") == 0 || CScrollbar::isTypeOf(s);
    }
};
