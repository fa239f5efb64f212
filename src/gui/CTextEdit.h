#pragma once

#include "gui/CTextLabel.h"

// A one-line text field. A click gives it the frame's keyboard focus; typing edits
// the text at the caret; Return commits (the listener hears it), Escape restores the
// text it had when editing began. Losing the focus commits too.
class CTextEdit : public CTextLabel {
public:
    CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* text = nullptr);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CTextEdit") == 0 || CTextLabel::isTypeOf(s);
    }

    void setText(const char* text) override;
    void setEditable(bool e) { editable = e; }
    bool isEditable() const { return editable; }
    bool isEditing() const { return editing; }
    // Longest text in bytes that typing may produce.
    void setMaxLength(size_t n) { maxLength = n; }
    size_t getCaret() const { return caret; }

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    bool onKeyDown(VstKeyCode& key) override;
    void takeFocus() override;
    void looseFocus() override;
    void draw(CDrawContext* context) override;

private:
    void endEditing(bool commit);

    bool editable = true;
    bool editing = false;
    size_t caret = 0;
    size_t maxLength = 1024;
    std::string original;
};
