#pragma once

#include "gui/CViewContainer.h"

constexpr int kRowHeight = 291;
constexpr int kRowWidth = 960;
constexpr int kGrid = 12;

// The scrolling area the modules sit in: rows of 291 pixels, 960 wide. Its children
// are the row backgrounds (first) and the modules.
class SynRack : public CViewContainer {
public:
    explicit SynRack(int rows) : CViewContainer(CRect(0, 0, kRowWidth, rows * kRowHeight)) {}
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "SynRack") == 0 || CViewContainer::isTypeOf(s);
    }
    int contentHeight() const { return getHeight(); }

    // Only the part of the rack the window shows takes clicks: what is scrolled
    // under the top bar cannot be reached.
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    // The modules, then the cables over them (SynCables.cpp).
    void draw(CDrawContext* context) override;
};
