#pragma once

#include <string>

#include "gui/CControl.h"

// Static text on a filled (or transparent) background. Text with line breaks is
// drawn one line per equal slice of the height.
class CTextLabel : public CControl {
public:
    explicit CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CTextLabel") == 0 || CControl::isTypeOf(s);
    }

    virtual void setText(const char* text);
    const std::string& getText() const { return text; }

    void setFontColor(const CColor& c) { fontColor = c; setDirty(); }
    const CColor& getFontColor() const { return fontColor; }
    void setBackColor(const CColor& c) { backColor = c; setDirty(); }
    const CColor& getBackColor() const { return backColor; }
    void setFontSize(float px) { fontSize = px; setDirty(); }
    float getFontSize() const { return fontSize; }
    void setHoriAlign(CHoriTxtAlign a) { horiAlign = a; setDirty(); }
    CHoriTxtAlign getHoriAlign() const { return horiAlign; }

    void draw(CDrawContext* context) override;

protected:
    void drawBackground(CDrawContext* context);
    void drawText(CDrawContext* context, const std::string& shown);

    std::string text;
    CColor fontColor{255, 255, 255, 255};
    CColor backColor{0, 0, 0, 255};
    float fontSize = 12.f;
    CHoriTxtAlign horiAlign = kCenterText;
};
