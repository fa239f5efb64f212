#pragma once

#include <string>

#include "gui/CViewContainer.h"

class CFrame;
class CTextLabel;
class CTextEdit;

// The editor's in-window dialog for messages and text entry: a panel centred in the
// frame over a backdrop that covers (and blocks) everything else.
class DialogWindow : public CViewContainer {
public:
    // Told which button was pressed; without one, any button closes the dialog.
    using Callback = void (*)(void* user, DialogWindow* dialog, int button);

    static constexpr int kMaxFields = 4;
    static constexpr int kMaxButtons = 4;
    static constexpr int kFontHeight = 14;
    // One line of the layout.
    static constexpr int kLine = (int)(kFontHeight * 1.6);

    // Adds its (hidden) backdrop to the frame; the dialog itself starts hidden.
    explicit DialogWindow(CFrame* frame);
    ~DialogWindow() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "DialogWindow") == 0 || CViewContainer::isTypeOf(s);
    }

    struct Content {
        int width = 400;
        std::string title;
        std::string message;  // empty: no message
        int messageLines = 1;
        CHoriTxtAlign messageAlign = kCenterText;
        int fieldCount = 0;
        std::string fieldLabels[kMaxFields];
        std::string fieldTexts[kMaxFields];
        bool fieldEnabled[kMaxFields] = {true, true, true, true};
        int buttonCount = 1;
        std::string buttonLabels[kMaxButtons];
        int backgroundAlpha = 0;
        Callback callback = nullptr;
        void* user = nullptr;
    };
    // Showing while already showing replaces the previous content.
    void show(const Content& content);
    void closeDialog();
    bool isShowing() const { return showing; }

    int getFieldCount() const { return fieldCount; }
    int getButtonCount() const { return buttonCount; }
    CTextEdit* getField(int i) const { return i >= 0 && i < fieldCount ? fields[i] : nullptr; }
    CTextLabel* getButton(int i) const { return i >= 0 && i < buttonCount ? buttons[i] : nullptr; }
    CTextLabel* getTitleLabel() const { return titleLabel; }
    CTextLabel* getMessageLabel() const { return messageLabel; }
    CView* getBackdrop() const;
    // The text a field holds now (empty for a field that does not exist).
    std::string fieldText(int i) const;

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    void draw(CDrawContext* context) override;

    static const CColor kButtonColor;
    static const CColor kButtonPressedColor;

private:
    CTextLabel* addLabel(const CRect& r, const std::string& text);

    CFrame* frame;
    class Backdrop;
    Backdrop* backdrop;
    CTextLabel* titleLabel = nullptr;
    CTextLabel* messageLabel = nullptr;
    CTextLabel* fieldLabels[kMaxFields] = {};
    CTextEdit* fields[kMaxFields] = {};
    CTextLabel* buttons[kMaxButtons] = {};
    int fieldCount = 0;
    int buttonCount = 0;
    int pressedButton = -1;
    bool showing = false;
    Callback callback = nullptr;
    void* user = nullptr;
};
