// Pop-up menus, the editor's menus and what their entries set, driven by mouse events.
#include <gtest/gtest.h>

#include "editor/EditorWindow.h"
#include "gui/COptionMenu.h"

using editorwindow::Window;

namespace {

struct Recorder : CControlListener {
    void valueChanged(CControl* c) override {
        menus.push_back(static_cast<COptionMenu*>(c));
        values.push_back((int)c->getValue());
    }
    std::vector<COptionMenu*> menus;
    std::vector<int> values;
};

CPoint middle(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

struct PopupMenu : ::testing::Test {
    PopupMenu() : frame(CRect(0, 0, 400, 300), nullptr, nullptr) {
        menu = new COptionMenu(CRect(), &recorder, -1);
        sub = new COptionMenu(CRect(), nullptr, -1, nullptr, nullptr, COptionMenu::kCheckStyle);
        menu->addEntry("First");
        menu->addSeparator();
        menu->addEntry("Greyed", -1, COptionMenu::kMenuItemDisabled);
        menu->addEntry(sub, "More");
        sub->addEntry("A");
        sub->addEntry("B");
        sub->addEntry("C");
        sub->forget();  // the parent keeps it
    }
    ~PopupMenu() override { menu->forget(); }
    void click(CPoint p) { frame.onMouseDown(p, kLButton); frame.onMouseUp(p, kLButton); }

    CFrame frame;
    Recorder recorder;
    COptionMenu* menu;
    COptionMenu* sub;
};

TEST_F(PopupMenu, SubMenuChoiceReachesTheRootListenerWithTheSubMenuAndItsIndex) {
    ASSERT_TRUE(menu->popup(&frame, CPoint(390, 290)));
    // Moved in to fit the frame.
    EXPECT_LE(menu->popupRect().right, 400);
    EXPECT_LE(menu->popupRect().bottom, 300);
    // The separator is thinner than an entry, so later entries move up by the difference.
    EXPECT_EQ(menu->entryRect(2).top - menu->entryRect(0).top,
              COptionMenu::kEntryHeight + COptionMenu::kSeparatorHeight);

    click(middle(menu->entryRect(2)));  // disabled: nothing happens
    EXPECT_TRUE(menu->isPopupOpen());
    click(middle(menu->entryRect(3)));
    ASSERT_EQ(menu->getOpenSubMenu(), sub);
    // No room on the right: it opens to the left of its parent.
    EXPECT_LE(sub->popupRect().right, menu->popupRect().left + 2);
    click(middle(sub->entryRect(2)));

    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(frame.getNbViews(), 0);
    ASSERT_EQ(recorder.menus.size(), 1u);
    EXPECT_EQ(recorder.menus[0], sub);
    EXPECT_EQ(recorder.values[0], 2);
    EXPECT_EQ(sub->getLastResult(), 2);
    int idx = -1;
    EXPECT_EQ(menu->getLastItemMenu(idx), sub);
    EXPECT_EQ(idx, 2);

    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    click(middle(menu->entryRect(0)));
    ASSERT_EQ(recorder.menus.size(), 2u);
    EXPECT_EQ(recorder.menus[1], menu);
    EXPECT_EQ(recorder.values[1], 0);
}

TEST_F(PopupMenu, AClickOutsideOrEscapeClosesWithoutAChoiceAndGivesTheFocusBack) {
    CView* field = new CView(CRect(300, 200, 350, 220));
    frame.addView(field);
    frame.setFocusView(field);
    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    click(middle(menu->entryRect(3)));
    ASSERT_TRUE(sub->isPopupOpen());
    click(CPoint(320, 210));  // on the view below: swallowed
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_FALSE(sub->isPopupOpen());
    EXPECT_EQ(frame.getFocusView(), field);

    ASSERT_TRUE(menu->popup(&frame, CPoint(10, 10)));
    VstKeyCode other;
    other.character = 'x';
    EXPECT_FALSE(frame.onKeyDown(other));
    VstKeyCode escape;
    escape.virt = VKEY_ESCAPE;
    EXPECT_TRUE(frame.onKeyDown(escape));
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_TRUE(recorder.menus.empty());
    EXPECT_EQ(frame.getNbViews(), 1);
}

TEST_F(PopupMenu, CheckStyleKeepsOneMarkAndInsertedEntriesShiftTheOthers) {
    sub->setCurrent(1);
    EXPECT_TRUE(sub->isCheckEntry(1));
    sub->setCurrent(2);
    EXPECT_FALSE(sub->isCheckEntry(1));
    EXPECT_TRUE(sub->isCheckEntry(2));
    EXPECT_EQ(sub->getCurrent(), 2);
    sub->setCurrent(7);  // out of range: unchanged
    EXPECT_EQ(sub->getCurrent(), 2);

    EXPECT_TRUE(menu->addEntry("Zero", 0));
    EXPECT_STREQ(menu->getEntry(1), "First");
    EXPECT_EQ(menu->getSubMenu(4), sub);
    EXPECT_TRUE(menu->isSeparator(2));
    EXPECT_TRUE(menu->isEntryDisabled(3));
    EXPECT_FALSE(menu->addEntry("Far", 9));
    EXPECT_EQ(menu->getEntry(9), nullptr);
}

}  // namespace
