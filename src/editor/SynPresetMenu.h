#pragma once

#include "gui/COptionMenu.h"

class PresetMenu;

// One level of the preset menu: the pop-up face of one level of the preset library's
// tree. Folders are sub-menus (first), presets are entries titled without ".vtp",
// and the check marks are the library's, along the current selection's chain.
// Each level knows its parent and the index of its own entry there.
class SynOptionMenu : public COptionMenu {
public:
    SynOptionMenu(CControlListener* listener, const PresetMenu* source, SynOptionMenu* parent, int indexInParent);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "SynOptionMenu") == 0 || COptionMenu::isTypeOf(s);
    }

    // The library level this menu shows; valid until the library is rescanned.
    const PresetMenu* getSource() const { return source; }
    SynOptionMenu* getParentMenu() const { return parentMenu; }
    int getIndexInParent() const { return indexInParent; }
    // The sub-menu of a folder entry (null for a preset or out of range).
    SynOptionMenu* getPresetSubMenu(int index) const;

    // The whole tree below a library level, marks included. The caller owns the root.
    static SynOptionMenu* build(CControlListener* listener, const PresetMenu& level,
                                SynOptionMenu* parent = nullptr, int indexInParent = -1);

private:
    const PresetMenu* source;
    SynOptionMenu* parentMenu;
    int indexInParent;
};
