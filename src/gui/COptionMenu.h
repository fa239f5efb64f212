#pragma once

#include <string>
#include <vector>

#include "gui/CControl.h"

class CFrame;

// A pop-up menu drawn inside the frame: entries, separators, check marks, disabled
// entries and sub-menus. A menu opens at a point of the frame with popup(); a click
// on an entry chooses it, a click anywhere else or Escape closes the whole menu.
// Choosing entry i of a menu (root or sub-menu) sets that menu's value and last
// result to i and tells its listener (the root's when it has none) valueChanged with
// that menu, after the menu has closed.
//
// A sub-menu added with addEntry(submenu, title) is remembered by its parent and
// released with it. Editor thread only.
class COptionMenu : public CControl {
public:
    enum Style { kNoStyle = 0, kCheckStyle = 1 << 0 };
    enum ItemFlags { kMenuItemNormal = 0, kMenuItemDisabled = 1 << 0, kMenuItemChecked = 1 << 1 };

    COptionMenu(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background = nullptr,
                CBitmap* backgroundWhenClicked = nullptr, int32_t style = kNoStyle);
    ~COptionMenu() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "COptionMenu") == 0 || CControl::isTypeOf(s);
    }

    // Entries. `index` -1 appends; otherwise the entry is inserted there. Returns the
    // false when the index is out of range.
    bool addEntry(const char* title, int index = -1, int itemFlags = kMenuItemNormal);
    bool addEntry(COptionMenu* submenu, const char* title);
    bool addSeparator(int index = -1);
    bool removeEntry(int index);
    void removeAllEntry();
    int getNbEntries() const { return (int)entries.size(); }
    // Title of an entry (null out of range; "" for a separator).
    const char* getEntry(int index) const;
    bool isSeparator(int index) const;
    COptionMenu* getSubMenu(int index) const;

    bool checkEntry(int index, bool checked = true);
    bool setCheck(int index, bool checked = true) { return checkEntry(index, checked); }
    // Checks `index` and clears every other mark: the one-choice look of option menus.
    bool checkEntryAlone(int index);
    bool isCheckEntry(int index) const;
    bool setEntryDisabled(int index, bool disabled = true);
    bool isEntryDisabled(int index) const;

    int32_t getStyle() const { return style; }
    // The current entry is the value; in check style it carries the only mark.
    void setCurrent(int index);
    int getCurrent() const { return (int)getValue(); }
    // The entry last chosen in this menu (-1 before any choice).
    int getLastResult() const { return lastResult; }
    // The menu (this one or a sub-menu) the last choice of this root was made in.
    COptionMenu* getLastItemMenu(int& indexInMenu) const;

    // Opens at `where` (frame coordinates), moved in as needed to fit the frame. An
    // open menu of the same frame is closed first. False without a frame or entries.
    bool popup(CFrame* frame, const CPoint& where);
    void closePopup();
    bool isPopupOpen() const;
    // The deepest menu of the open chain (this one when no sub-menu is open; null
    // when closed), and where an entry of an open menu lies in frame coordinates
    // (empty when that menu is not showing).
    COptionMenu* getOpenSubMenu() const;
    CRect entryRect(int index) const;
    CRect popupRect() const { return panel; }

    // As a control in a view tree: a left click opens the menu below it.
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    void draw(CDrawContext* context) override;

    static constexpr int kEntryHeight = 18;
    static constexpr int kSeparatorHeight = 7;
    static constexpr int kFontSize = 12;

private:
    struct Entry {
        std::string title;
        COptionMenu* submenu = nullptr;
        bool separator = false;
        bool checked = false;
        bool disabled = false;
    };
    class Popup;
    friend class Popup;

    bool validIndex(int index) const { return index >= 0 && index < (int)entries.size(); }
    bool insertEntry(Entry e, int index);
    // Lays the panel out with its top-left as near `where` as the bounds allow.
    void layoutPanel(const CPoint& where, const CRect& bounds);
    int entryAt(const CPoint& framePoint) const;
    void drawPanel(CDrawContext* context) const;
    void choose(int index);

    std::vector<Entry> entries;
    CBitmap* backgroundWhenClicked;
    int32_t style;
    int lastResult = -1;
    COptionMenu* lastMenu = nullptr;
    int lastMenuIndex = -1;
    // While showing: the panel in frame coordinates, the root of the chain and the
    // sub-menu open beside this one.
    CRect panel;
    COptionMenu* root = nullptr;
    COptionMenu* openChild = nullptr;
    Popup* popupView = nullptr;
};
