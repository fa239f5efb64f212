#include "gui/CTextEdit.h"

#include "gui/CFrame.h"

namespace {

bool isContinuation(char c) { return ((unsigned char)c & 0xC0) == 0x80; }

std::string utf8(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += (char)cp;
    } else if (cp < 0x800) {
        s += (char)(0xC0 | (cp >> 6));
        s += (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += (char)(0xE0 | (cp >> 12));
        s += (char)(0x80 | ((cp >> 6) & 0x3F));
        s += (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        s += (char)(0xF0 | (cp >> 18));
        s += (char)(0x80 | ((cp >> 12) & 0x3F));
        s += (char)(0x80 | ((cp >> 6) & 0x3F));
        s += (char)(0x80 | (cp & 0x3F));
    }
    return s;
}

}  // namespace

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* text)
    : CTextLabel(size, text) {
    this->listener = listener;
    this->tag = tag;
    horiAlign = kLeftText;
}

void CTextEdit::setText(const char* t) {
    CTextLabel::setText(t);
    if (caret > text.size()) caret = text.size();
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, long buttons) {
    if (!editable || !(buttons & kLButton)) return kMouseEventNotHandled;
    if (CFrame* frame = getFrame()) frame->setFocusView(this);
    else takeFocus();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus() {
    if (!editable || editing) return;
    editing = true;
    original = text;
    caret = text.size();
    setDirty();
}

void CTextEdit::looseFocus() { endEditing(true); }

void CTextEdit::endEditing(bool commit) {
    if (!editing) return;
    editing = false;
    if (!commit) text = original;
    setDirty();
    if (CFrame* frame = getFrame())
        if (frame->getFocusView() == this) frame->setFocusView(nullptr);
    if (commit && text != original) valueChanged();
}

bool CTextEdit::onKeyDown(VstKeyCode& key) {
    if (!editing) return false;
    switch (key.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER: endEditing(true); return true;
    case VKEY_ESCAPE: endEditing(false); return true;
    case VKEY_LEFT:
        while (caret > 0 && isContinuation(text[--caret])) {}
        break;
    case VKEY_RIGHT:
        if (caret < text.size())
            while (++caret < text.size() && isContinuation(text[caret])) {}
        break;
    case VKEY_HOME: caret = 0; break;
    case VKEY_END: caret = text.size(); break;
    case VKEY_BACK:
        if (caret > 0) {
            size_t from = caret;
            while (from > 0 && isContinuation(text[--from])) {}
            text.erase(from, caret - from);
            caret = from;
        }
        break;
    case VKEY_DELETE:
        if (caret < text.size()) {
            size_t to = caret + 1;
            while (to < text.size() && isContinuation(text[to])) ++to;
            text.erase(caret, to - caret);
        }
        break;
    default: {
        // Control characters (and a space sent only as a virtual key) are not text.
        uint32_t cp = key.character ? key.character : (key.virt == VKEY_SPACE ? ' ' : 0);
        if (cp < 0x20 || cp == 0x7F) return false;
        const std::string bytes = utf8(cp);
        if (bytes.empty() || text.size() + bytes.size() > maxLength) return true;
        text.insert(caret, bytes);
        caret += bytes.size();
        break;
    }
    }
    setDirty();
    invalid();
    return true;
}

void CTextEdit::draw(CDrawContext* context) {
    if (context) {
        drawBackground(context);
        drawText(context, text);
        if (editing) {
            const int x = size.left + 2 + context->getStringWidth(text.substr(0, caret).c_str());
            context->setFrameColor(fontColor);
            context->setLineWidth(1.f);
            context->drawLine(CDPoint(x + 0.5, size.top + 3), CDPoint(x + 0.5, size.bottom - 3));
        }
    }
    dirty = false;
}
