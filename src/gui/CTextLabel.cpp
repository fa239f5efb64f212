#include "gui/CTextLabel.h"

#include <vector>

#include "gui/CBitmap.h"

CTextLabel::CTextLabel(const CRect& size, const char* text, CBitmap* background)
    : CControl(size, nullptr, -1, background), text(text ? text : "") {}

void CTextLabel::setText(const char* t) {
    const std::string next = t ? t : "";
    if (next == text) return;
    text = next;
    setDirty();
}

void CTextLabel::drawBackground(CDrawContext* context) {
    if (transparent) return;
    if (background) context->drawBitmap(background, size, CPoint());
    else context->fillRect(size, backColor);
}

void CTextLabel::drawText(CDrawContext* context, const std::string& shown) {
    std::vector<std::string> lines(1);
    for (char c : shown) {
        if (c == '\n') lines.emplace_back();
        else lines.back() += c;
    }
    context->setFontColor(fontColor);
    context->setFont(fontSize);
    const int n = (int)lines.size();
    for (int i = 0; i < n; ++i) {
        // Integer slices that add up to the whole height.
        const int top = size.top + size.height() * i / n;
        const int bottom = size.top + size.height() * (i + 1) / n;
        context->drawString(lines[(size_t)i].c_str(), CRect(size.left + 2, top, size.right - 2, bottom), horiAlign);
    }
}

void CTextLabel::draw(CDrawContext* context) {
    if (context) {
        drawBackground(context);
        drawText(context, text);
    }
    dirty = false;
}
