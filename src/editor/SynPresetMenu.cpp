// The preset menu: the library's tree as cascading pop-up menus, and its choices.
#include "editor/SynPresetMenu.h"

#include "editor/SynEditor.h"
#include "editor/SynFrame.h"
#include "editor/SynMenuButton.h"
#include "presets/PresetLibrary.h"

SynOptionMenu::SynOptionMenu(CControlListener* listener, const PresetMenu* source, SynOptionMenu* parent,
                             int indexInParent)
    : COptionMenu(CRect(), listener, -1), source(source), parentMenu(parent), indexInParent(indexInParent) {}

SynOptionMenu* SynOptionMenu::getPresetSubMenu(int index) const {
    COptionMenu* sub = getSubMenu(index);
    return sub && sub->isTypeOf("SynOptionMenu") ? static_cast<SynOptionMenu*>(sub) : nullptr;
}

SynOptionMenu* SynOptionMenu::build(CControlListener* listener, const PresetMenu& level, SynOptionMenu* parent,
                                    int indexInParent) {
    auto* menu = new SynOptionMenu(listener, &level, parent, indexInParent);
    for (int i = 0; i < level.size(); ++i) {
        const std::string& title = level.entry(i).title;
        if (level.isFolder(i)) {
            SynOptionMenu* sub = build(listener, *level.submenu(i), menu, i);
            menu->addEntry(sub, title.c_str());
            sub->forget();  // held by its parent
        } else {
            menu->addEntry(title.c_str());
        }
        if (level.isChecked(i)) menu->checkEntry(i);
    }
    return menu;
}

// Built afresh at each opening, so it shows the library as it is now: saves and
// opens may have added entries and moved the marks since the last look.
void SynEditor::openPresetMenu() {
    if (!frame) return;
    releasePresetMenu();
    presetRootMenu = SynOptionMenu::build(this, presetLibrary().root());
    presetRootMenu->popup(frame, CPoint(presetMenu->getViewSize().left, presetMenu->getViewSize().bottom));
}

void SynEditor::releasePresetMenu() {
    if (!presetRootMenu) return;
    presetRootMenu->closePopup();
    presetRootMenu->forget();
    presetRootMenu = nullptr;
}

bool SynEditor::presetMenuChosen(COptionMenu* control, int index) {
    if (!control->isTypeOf("SynOptionMenu")) return false;
    auto* menu = static_cast<SynOptionMenu*>(control);
    const PresetMenu* level = menu->getSource();
    // The menu mirrors the tree it was built from; an entry that no longer matches
    // (the library changed while it showed) is not loaded in its place.
    const char* title = menu->getEntry(index);
    if (!level || index < 0 || index >= level->size() || level->isFolder(index) || !title ||
        level->entry(index).title != title)
        return true;
    loadLibraryEntry(level, index);
    return true;
}
