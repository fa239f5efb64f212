#include "editor/DialogWindow.h"

#include <algorithm>

#include "gui/CFrame.h"
#include "gui/CTextEdit.h"
#include "gui/CTextLabel.h"

const CColor DialogWindow::kButtonColor{70, 70, 70, 170};
const CColor DialogWindow::kButtonPressedColor{130, 130, 130, 170};

namespace {
const CColor kPanelColor{0, 0, 0, 220};
const CColor kTitleColor{130, 130, 130, 170};
const CColor kFieldColor{70, 70, 70, 170};
const CColor kDisabledText{180, 180, 180, 255};
}  // namespace

// Covers the whole frame while a dialog shows: tints it and keeps every click from
// the views below.
class DialogWindow::Backdrop : public CView {
public:
    explicit Backdrop(const CRect& r) : CView(r) {}
    CMouseEventResult onMouseDown(CPoint&, long) override { return kMouseDownEventHandledButDontNeedMovedOrUpEvents; }
    void draw(CDrawContext* context) override {
        if (context && color.alpha) context->fillRect(size, color);
        dirty = false;
    }
    CColor color{0, 0, 0, 0};
};

DialogWindow::DialogWindow(CFrame* frame) : CViewContainer(CRect()), frame(frame) {
    backdrop = new Backdrop(frame->getViewSize());
    backdrop->setVisible(false);
    frame->addView(backdrop);
    setVisible(false);
}

DialogWindow::~DialogWindow() {
    if (backdrop->getParentView()) backdrop->getParentView()->removeView(backdrop, false);
    backdrop->forget();
}

CTextLabel* DialogWindow::addLabel(const CRect& r, const std::string& text) {
    auto* label = new CTextLabel(r, text.c_str());
    label->setFontSize((float)kFontHeight);
    label->setTransparency(true);
    addView(label);
    return label;
}

void DialogWindow::show(const Content& c) {
    if (showing) closeDialog();
    const int L = kLine;
    const int W = c.width;
    fieldCount = std::clamp(c.fieldCount, 0, kMaxFields);
    buttonCount = std::clamp(c.buttonCount, 1, kMaxButtons);
    const bool hasMessage = !c.message.empty();
    const int lines = std::max(1, c.messageLines);
    const int height = hasMessage ? (int)(((lines - 1) * 0.68 + 3 * fieldCount + 6) * L)
                                  : (3 * fieldCount + 4) * L;
    const CRect& f = frame->getViewSize();
    setViewSize(CRect::fromSize((f.width() - W) / 2, (f.height() - height) / 2, W, height));
    setMouseableArea(getViewSize());

    titleLabel = addLabel(CRect(3, 3, W - 3, 3 + L), c.title);
    titleLabel->setTransparency(false);
    titleLabel->setBackColor(kTitleColor);

    // Each block starts 2 lines below the top of the last line laid out so far.
    int lastLine = 3;
    if (hasMessage) {
        const CRect r(9, 3 + 2 * L - 8 * lines, W - 9, 3 + 2 * L + lines * (L - 4));
        messageLabel = addLabel(r, c.message);
        messageLabel->setHoriAlign(c.messageAlign);
        lastLine = r.bottom - L;
    }
    for (int i = 0; i < fieldCount; ++i) {
        const int top = lastLine + 2 * L;
        fieldLabels[i] = addLabel(CRect(9, top, W - 9, top + L), c.fieldLabels[i]);
        fieldLabels[i]->setHoriAlign(kLeftText);
        auto* edit = new CTextEdit(CRect(9, top + L, W - 9, top + 2 * L), nullptr, -1, c.fieldTexts[i].c_str());
        edit->setFontSize((float)kFontHeight);
        edit->setBackColor(kFieldColor);
        edit->setEditable(c.fieldEnabled[i]);
        if (!c.fieldEnabled[i]) edit->setFontColor(kDisabledText);
        addView(edit);
        fields[i] = edit;
        lastLine = top + L;
    }
    const int buttonTop = lastLine + (int)(2.5 * L);
    const int B = (int)((W - 6) * 0.5 / 3);
    for (int i = 0; i < buttonCount; ++i) {
        const int shift = (buttonCount - 1 - i) * B;
        CTextLabel* b = addLabel(CRect(W - B - 3 - shift, buttonTop, W - 6 - shift, buttonTop + L), c.buttonLabels[i]);
        b->setTransparency(false);
        b->setBackColor(kButtonColor);
        buttons[i] = b;
    }
    callback = c.callback;
    user = c.user;
    pressedButton = -1;

    backdrop->color = CColor{0, 0, 0, (uint8_t)std::clamp(c.backgroundAlpha, 0, 255)};
    backdrop->setVisible(true);
    setVisible(true);
    showing = true;
    for (int i = 0; i < fieldCount; ++i)
        if (fields[i]->isEditable()) {
            frame->setFocusView(fields[i]);
            break;
        }
    frame->invalid();
}

void DialogWindow::closeDialog() {
    // A field being edited gives its focus back before it goes.
    if (CView* focus = frame->getFocusView())
        if (isChild(focus)) frame->setFocusView(nullptr);
    removeAll(true);
    titleLabel = messageLabel = nullptr;
    std::fill(std::begin(fieldLabels), std::end(fieldLabels), nullptr);
    std::fill(std::begin(fields), std::end(fields), nullptr);
    std::fill(std::begin(buttons), std::end(buttons), nullptr);
    fieldCount = buttonCount = 0;
    pressedButton = -1;
    callback = nullptr;
    user = nullptr;
    showing = false;
    backdrop->setVisible(false);
    setVisible(false);
    frame->invalid();
}

std::string DialogWindow::fieldText(int i) const {
    const CTextEdit* e = getField(i);
    return e ? e->getText() : std::string();
}

CMouseEventResult DialogWindow::onMouseDown(CPoint& where, long buttons) {
    for (int i = 0; i < buttonCount; ++i)
        if (this->buttons[i]->getViewSize().pointInside(where)) {
            if (!(buttons & kLButton)) return kMouseEventHandled;
            pressedButton = i;
            this->buttons[i]->setBackColor(kButtonPressedColor);
            this->buttons[i]->invalid();
            return kMouseEventHandled;
        }
    CViewContainer::onMouseDown(where, buttons);
    // The panel is modal: nothing behind it hears a click on it.
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult DialogWindow::onMouseMoved(CPoint&, long) { return kMouseEventHandled; }

CMouseEventResult DialogWindow::onMouseUp(CPoint& where, long) {
    const int i = pressedButton;
    pressedButton = -1;
    if (i < 0 || i >= buttonCount) return kMouseEventHandled;
    buttons[i]->setBackColor(kButtonColor);
    buttons[i]->invalid();
    if (!buttons[i]->getViewSize().pointInside(where)) return kMouseEventHandled;
    // The callback may show new content or close: nothing of this one is used after it.
    if (callback) callback(user, this, i);
    else closeDialog();
    return kMouseEventHandled;
}

void DialogWindow::draw(CDrawContext* context) {
    if (context) context->fillRect(size, kPanelColor);
    CViewContainer::draw(context);
}

CView* DialogWindow::getBackdrop() const { return backdrop; }
