// The window around the rack: layout, open and close, the dialog, the author flash.
#include <gtest/gtest.h>

#include "editor/DialogWindow.h"
#include "editor/EditorWindow.h"
#include "editor/SynRack.h"
#include "editor/SynScrollbar.h"
#include "engine/Vantorel.h"
#include "gui/CBitmap.h"
#include "gui/CTextEdit.h"

using editorwindow::Window;

namespace {

const char* bitmapOf(const CView* v) {
    const CBitmap* b = v->isTypeOf("CControl") ? static_cast<const CControl*>(v)->getBackground() : nullptr;
    return b ? b->getName().c_str() : "";
}

TEST(EditorShell, WindowViewsSitWhereTheLayoutPutsThemInTheirOrder) {
    Window w;
    ASSERT_NE(w.frame, nullptr);
    EXPECT_EQ(w.frame->getSystemWindow(), nullptr);
    EXPECT_EQ(w.frame->getViewSize(), CRect(0, 0, kEditorWidth, kEditorHeight));
    EXPECT_TRUE(w.editor.isOpen());

    struct Expected {
        const char* bitmap;
        CRect rect;
    };
    // Top bar controls are centred on the bar, one pixel low: y 3 for 35, 8 for 25.
    const Expected order[] = {
        {"", CRect(25, 40, 985, 40 + 873)},           // rack
        {"topbar2.png", CRect(0, 0, 1010, 40)},
        {"sidebar2.png", CRect(0, 40, 25, 622)},
        {"sidebar2.png", CRect(985, 40, 1010, 622)},
        {"title.png", CRect(425, 3, 584, 38)},
        {"add_row.png", CRect(965, 3, 1000, 38)},
        {"rem_row.png", CRect(927, 3, 962, 38)},
        {"modulemenu.png", CRect(10, 3, 45, 38)},
        {"preset_screen.png", CRect(75, 8, 265, 33)},  // preset name
        {"preset_screen.png", CRect(75, 8, 265, 33)},  // author
        {"preset_stripes.png", CRect(70, 3, 270, 38)},
        {"preset_frame.png", CRect(70, 3, 270, 38)},
        {"presetl.png", CRect(273, 3, 291, 38)},
        {"presetr.png", CRect(290, 3, 308, 38)},
        {"main_menu.png", CRect(311, 3, 346, 38)},
        {"", CRect(989, 44, 1004, 617)},  // scrollbar
    };
    const int n = (int)(sizeof order / sizeof order[0]);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const CView* v = w.frame->getView(i);
        ASSERT_NE(v, nullptr);
        EXPECT_STREQ(bitmapOf(v), order[i].bitmap);
        EXPECT_EQ(v->getViewSize(), order[i].rect);
    }
    EXPECT_EQ(w.frame->getView(0), w.editor.getRack());
    EXPECT_EQ(w.frame->getView(8), w.editor.getPresetNameLabel());
    EXPECT_EQ(w.frame->getView(9), w.editor.getAuthorLabel());
    EXPECT_FALSE(w.editor.getAuthorLabel()->isVisible());
    EXPECT_EQ(w.editor.getPresetNameLabel()->getFontColor(), (CColor{255, 255, 255, 140}));
    EXPECT_EQ(w.editor.getPresetNameLabel()->getBackColor(), (CColor{0, 0, 0, 140}));
    SynScrollbar* bar = w.editor.getScrollbar();
    EXPECT_EQ(w.frame->getView(n - 1), bar);
    EXPECT_EQ(bar->getTag(), 1001);
    EXPECT_EQ(bar->getBackgroundColor(), (CColor{0, 0, 0, 150}));
    // The dialog's backdrop, then the hidden dialog, come last.
    EXPECT_EQ(w.frame->getView(n), w.editor.getDialog()->getBackdrop());
    EXPECT_EQ(w.frame->getView(n + 1), w.editor.getDialog());
    EXPECT_EQ(w.frame->getNbViews(), n + 2);
    EXPECT_FALSE(w.editor.getDialog()->isVisible());

    // A menu button shows its pressed look while the mouse holds it.
    auto* moduleMenu = static_cast<CControl*>(w.frame->getView(7));
    w.down(Window::middleOf(moduleMenu));
    EXPECT_EQ(moduleMenu->getValue(), 1.f);
    w.up(Window::middleOf(moduleMenu));
    EXPECT_EQ(moduleMenu->getValue(), 0.f);
}

TEST(EditorShell, ClosingAndReopeningKeepsModulesCablesAndSettings) {
    fixture::Rig rig;
    SynEditor& e = rig.editor;
    Module* a = e.createModuleAt("S303 Noise", 0, 0);
    Module* b = e.createModuleAt("S201 VCF", 240, 291);
    ASSERT_TRUE(a && b);
    ASSERT_NE(rig.cable(fixture::jacks(a)[0], fixture::jacks(b)[0]), nullptr);
    e.addRow();
    e.author = "Someone";
    fixture::knobs(b)[0]->setValue(0.25f);
    e.scrollTo(0.5f);
    const std::vector<uint8_t> before = e.writeChunk();

    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(e.open(nullptr));
        CFrame* frame = e.getFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(e.getRack()->isChild(a));
        EXPECT_TRUE(e.getRack()->isChild(b));
        EXPECT_EQ(frame->getView(0), e.getRack());
        e.close();
        EXPECT_FALSE(e.isOpen());
        EXPECT_EQ(e.getFrame(), nullptr);
        // The views outlive the window and belong to nothing in between.
        EXPECT_EQ(e.getRack()->getParentView(), nullptr);
    }
    EXPECT_EQ(e.rowCount, 4);
    EXPECT_EQ(e.cableTotal, 1);
    EXPECT_EQ(e.rackModules.size(), 2);
    EXPECT_EQ(e.scrollPosition(), 0.5f);
    EXPECT_EQ(e.writeChunk(), before);
}

TEST(EditorShell, AChunkSetWhileClosedIsInTheRackBeforeTheFirstDraw) {
    std::vector<uint8_t> chunk;
    {
        fixture::Rig source;
        source.editor.createModuleAt("S303 Noise", 0, 0);
        source.editor.createModuleAt("S310 VCO", 480, 0);
        source.editor.presetPath = source.editor.presetsFolder + "Leads/Glass.vtp";
        chunk = source.editor.writeChunk();
    }
    fixture::Rig target;
    ASSERT_TRUE(target.editor.readChunk(chunk.data(), chunk.size()));
    ASSERT_TRUE(target.editor.open(nullptr));
    int modulesInRack = 0;
    for (CView* v : target.editor.getRack()->getChildren()) modulesInRack += v->isTypeOf("Module") ? 1 : 0;
    EXPECT_EQ(modulesInRack, 2);
    EXPECT_EQ(target.editor.getPresetNameLabel()->getText(), target.editor.presetName);
    EXPECT_FALSE(target.editor.presetName.empty());
    target.editor.close();
}

struct Pressed {
    void* user = nullptr;
    DialogWindow* dialog = nullptr;
    std::vector<int> buttons;
};

void recordPress(void* user, DialogWindow* dialog, int button) {
    auto* p = static_cast<Pressed*>(user);
    p->user = user;
    p->dialog = dialog;
    p->buttons.push_back(button);
}

struct Dialog : ::testing::Test, Window {
    DialogWindow* dialog() { return editor.getDialog(); }
    // A button's middle in window coordinates.
    CPoint buttonMiddle(int i) {
        const CRect& panel = dialog()->getViewSize();
        const CPoint m = middleOf(dialog()->getButton(i));
        return CPoint(m.x + panel.left, m.y + panel.top);
    }
};

TEST_F(Dialog, ButtonsSitRightToLeftAndCallBackWithTheirIndexOnlyWhenReleasedInside) {
    Pressed pressed;
    DialogWindow::Content c;
    c.width = 400;
    c.title = "Preset Description";
    c.fieldCount = 2;
    c.fieldLabels[0] = "Enter author name";
    c.fieldTexts[0] = "Someone";
    c.fieldTexts[1] = "fixed";
    c.fieldEnabled[1] = false;
    c.buttonCount = 3;
    c.buttonLabels[0] = "OK";
    c.buttonLabels[1] = "Maybe";
    c.buttonLabels[2] = "Cancel";
    c.backgroundAlpha = 90;
    c.callback = recordPress;
    c.user = &pressed;
    dialog()->show(c);
    ASSERT_TRUE(dialog()->isShowing());

    // L = 22; (3 * 2 + 4) lines high, centred; B = 65.
    EXPECT_EQ(dialog()->getViewSize(), CRect::fromSize(305, 201, 400, 220));
    EXPECT_EQ(dialog()->getTitleLabel()->getViewSize(), CRect(3, 3, 397, 25));
    EXPECT_EQ(dialog()->getField(0)->getViewSize(), CRect(9, 69, 391, 91));
    EXPECT_EQ(dialog()->getField(1)->getViewSize(), CRect(9, 135, 391, 157));
    EXPECT_EQ(dialog()->getButton(2)->getViewSize(), CRect(332, 190, 394, 212));
    EXPECT_EQ(dialog()->getButton(1)->getViewSize(), CRect(267, 190, 329, 212));
    EXPECT_EQ(dialog()->getButton(0)->getViewSize(), CRect(202, 190, 264, 212));
    EXPECT_EQ(dialog()->getButton(1)->getText(), "Maybe");
    EXPECT_TRUE(dialog()->getBackdrop()->isVisible());
    EXPECT_EQ(dialog()->fieldText(0), "Someone");
    EXPECT_FALSE(dialog()->getField(1)->isEditable());
    EXPECT_EQ(dialog()->getField(1)->getFontColor(), (CColor{180, 180, 180, 255}));

    // Typing goes to the first editable field, which has the focus.
    auto type = [&](uint32_t character, int virt = VKEY_NONE) {
        VstKeyCode key;
        key.character = character;
        key.virt = virt;
        return frame->onKeyDown(key);
    };
    EXPECT_TRUE(type(0xE9));
    EXPECT_EQ(dialog()->fieldText(0), "Someone\xC3\xA9");
    // Backspace takes the whole character, not one of its bytes.
    EXPECT_TRUE(type(0, VKEY_BACK));
    EXPECT_TRUE(type('!'));
    EXPECT_EQ(dialog()->fieldText(0), "Someone!");
    // Escape gives back the text editing began with.
    EXPECT_TRUE(type(0, VKEY_ESCAPE));
    EXPECT_EQ(dialog()->fieldText(0), "Someone");

    down(buttonMiddle(1));
    EXPECT_EQ(dialog()->getButton(1)->getBackColor(), DialogWindow::kButtonPressedColor);
    up(buttonMiddle(1));
    EXPECT_EQ(pressed.buttons, std::vector<int>{1});
    EXPECT_EQ(pressed.user, &pressed);
    EXPECT_EQ(pressed.dialog, dialog());
    EXPECT_EQ(dialog()->getButton(1)->getBackColor(), DialogWindow::kButtonColor);

    // Pressed on a button, released off it: nothing.
    down(buttonMiddle(2));
    up(CPoint(buttonMiddle(2).x, buttonMiddle(2).y + 40));
    EXPECT_EQ(pressed.buttons, std::vector<int>{1});
    EXPECT_EQ(dialog()->getButton(2)->getBackColor(), DialogWindow::kButtonColor);
    EXPECT_TRUE(dialog()->isShowing());

    // While it shows, nothing behind it takes a click.
    const float before = editor.scrollPosition();
    click(middleOf(editor.getScrollbar()));
    EXPECT_EQ(editor.scrollPosition(), before);
}

TEST_F(Dialog, MessagesShowInTheDialogAndAnyButtonClosesOneWithoutCallback) {
    dialog()->show(DialogWindow::Content{});
    editor.showMessage("Later Version!!", "first line\nsecond line");
    ASSERT_TRUE(dialog()->isShowing());
    EXPECT_EQ(dialog()->getTitleLabel()->getText(), "Later Version!!");
    EXPECT_EQ(dialog()->getMessageLabel()->getText(), "first line\nsecond line");
    // The earlier content went: two lines of message, one button.
    EXPECT_EQ(dialog()->getButtonCount(), 1);
    EXPECT_EQ(dialog()->getNbViews(), 3);
    EXPECT_EQ(dialog()->getMessageLabel()->getViewSize(), CRect(9, 31, SynEditor::kMessageWidth - 9, 83));
    EXPECT_EQ(dialog()->getViewSize().height(), (int)((1 * 0.68 + 6) * 22));

    click(buttonMiddle(0));
    EXPECT_FALSE(dialog()->isShowing());
    EXPECT_FALSE(dialog()->getBackdrop()->isVisible());
    EXPECT_EQ(dialog()->getNbViews(), 0);
}

uint64_t fakeMs = 0;
uint64_t fakeClock() { return fakeMs; }

struct AuthorFlash : ::testing::Test {
    AuthorFlash() { CVSTGUITimer::setClock(fakeClock); }
    ~AuthorFlash() override { CVSTGUITimer::setClock(nullptr); }
    // Visibility of the author label at each of the given times after opening.
    std::vector<bool> shownAt(const char* author, std::initializer_list<uint64_t> times) {
        fixture::Rig rig;
        rig.editor.author = author;
        fakeMs = 10000;
        rig.editor.open(nullptr);
        std::vector<bool> shown;
        for (uint64_t t : times) {
            fakeMs = 10000 + t;
            rig.editor.idle();
            shown.push_back(rig.editor.getAuthorLabel()->isVisible());
        }
        if (!shown.empty() && shown.back()) {
            EXPECT_EQ(rig.editor.getAuthorLabel()->getText(), author);
        }
        rig.editor.close();
        return shown;
    }
};

TEST_F(AuthorFlash, ShownFiveSecondsAfterOpenForTwoSecondsOnceAndNeverForOneCharacter) {
    EXPECT_EQ(shownAt("ab", {4999, 5000, 6999}), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(shownAt("ab", {5000, 7000, 12000, 14000, 30000}),
              (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(shownAt("a", {5000, 7000, 10000, 20000}), (std::vector<bool>{false, false, false, false}));
}

}  // namespace
