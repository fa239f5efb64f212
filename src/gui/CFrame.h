#pragma once

#include "gui/CViewContainer.h"

class AEffGUIEditor;

// Root of a view tree. It exists with or without a platform window; the window is
// attached only while the host shows the editor.
class CFrame : public CViewContainer {
public:
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor)
        : CViewContainer(size), systemWindow(systemWindow), editor(editor) {}

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CFrame") == 0 || CViewContainer::isTypeOf(s);
    }
    AEffGUIEditor* getEditor() const { return editor; }
    void* getSystemWindow() const { return systemWindow; }

private:
    void* systemWindow;
    AEffGUIEditor* editor;
};
