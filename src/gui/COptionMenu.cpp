#include "gui/COptionMenu.h"

#include <algorithm>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

namespace {
const CColor kPanelColor{40, 40, 44, 240};
const CColor kBorderColor{120, 120, 128, 255};
const CColor kTextColor{235, 235, 235, 255};
const CColor kDisabledColor{120, 120, 120, 255};
const CColor kOpenEntryColor{80, 90, 120, 255};
// Room left of the text for the check mark, right of it for the sub-menu arrow.
constexpr int kCheckColumn = 18;
constexpr int kArrowColumn = 16;
// Text width is estimated from the character count: the layout must not depend on
// whether a drawing backend is present.
constexpr int kCharWidth = 7;
constexpr int kMinWidth = 80;
}  // namespace

// Covers the whole frame while a menu shows: draws the open panels and takes every
// click, so a click outside a panel closes the menu instead of reaching the views below.
class COptionMenu::Popup : public CView {
public:
    Popup(COptionMenu* root, const CRect& frameSize) : CView(frameSize), root(root) {}

    void draw(CDrawContext* context) override {
        dirty = false;
        if (!context) return;
        for (const COptionMenu* m = root; m; m = m->openChild) m->drawPanel(context);
    }

    CMouseEventResult onMouseDown(CPoint& where, long) override {
        COptionMenu* hit = nullptr;
        for (COptionMenu* m = root; m; m = m->openChild)
            if (m->panel.pointInside(where)) hit = m;
        if (!hit) {
            root->closePopup();
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        const int i = hit->entryAt(where);
        if (i < 0) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        const Entry& e = hit->entries[(size_t)i];
        if (e.separator || e.disabled) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        if (e.submenu) {
            openSubMenu(hit, i);
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        hit->choose(i);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

    // Hovering over a sub-menu entry opens it, when the window reports plain moves.
    CMouseEventResult onMouseMoved(CPoint& where, long) override {
        COptionMenu* hit = nullptr;
        for (COptionMenu* m = root; m; m = m->openChild)
            if (m->panel.pointInside(where)) hit = m;
        if (!hit) return kMouseEventHandled;
        const int i = hit->entryAt(where);
        if (i >= 0 && hit->entries[(size_t)i].submenu && !hit->entries[(size_t)i].disabled)
            openSubMenu(hit, i);
        return kMouseEventHandled;
    }

    bool onKeyDown(VstKeyCode& key) override {
        if (key.virt != VKEY_ESCAPE) return false;
        root->closePopup();
        return true;
    }

    void openSubMenu(COptionMenu* parentMenu, int index) {
        COptionMenu* sub = parentMenu->entries[(size_t)index].submenu;
        if (parentMenu->openChild == sub) return;
        closeChildren(parentMenu);
        if (sub->entries.empty()) return;
        const CRect at = parentMenu->entryRect(index);
        sub->root = root;
        sub->layoutPanel(CPoint(parentMenu->panel.right - 2, at.top - 1), size);
        // No room on the right: the sub-menu opens to the left of its parent.
        if (sub->panel.left < parentMenu->panel.right - 2)
            sub->layoutPanel(CPoint(parentMenu->panel.left - sub->panel.width() + 2, at.top - 1), size);
        parentMenu->openChild = sub;
        invalidRect(sub->panel);
        invalidRect(parentMenu->panel);
    }

    void closeChildren(COptionMenu* m) {
        for (COptionMenu* c = m->openChild; c; c = c->openChild) {
            invalidRect(c->panel);
            c->panel = CRect();
            c->root = nullptr;
        }
        COptionMenu* c = m->openChild;
        m->openChild = nullptr;
        while (c) {
            COptionMenu* next = c->openChild;
            c->openChild = nullptr;
            c = next;
        }
    }

    COptionMenu* root;
    CView* previousFocus = nullptr;
};

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                         CBitmap* backgroundWhenClicked, int32_t style)
    : CControl(size, listener, tag, background), backgroundWhenClicked(backgroundWhenClicked), style(style) {
    if (backgroundWhenClicked) backgroundWhenClicked->remember();
    setMin(0.f);
    setMax(0.f);
}

COptionMenu::~COptionMenu() {
    closePopup();
    removeAllEntry();
    // Last: closing (also from removeAllEntry) still reads the popup view.
    if (popupView) popupView->forget();
    popupView = nullptr;
    if (backgroundWhenClicked) backgroundWhenClicked->forget();
}

bool COptionMenu::insertEntry(Entry e, int index) {
    if (index == -1) index = (int)entries.size();
    if (index < 0 || index > (int)entries.size()) return false;
    if (e.submenu) e.submenu->remember();
    entries.insert(entries.begin() + index, std::move(e));
    setMax((float)std::max(0, (int)entries.size() - 1));
    return true;
}

bool COptionMenu::addEntry(const char* title, int index, int itemFlags) {
    Entry e;
    e.title = title ? title : "";
    e.disabled = (itemFlags & kMenuItemDisabled) != 0;
    e.checked = (itemFlags & kMenuItemChecked) != 0;
    return insertEntry(std::move(e), index);
}

bool COptionMenu::addEntry(COptionMenu* submenu, const char* title) {
    if (!submenu || submenu == this) return false;
    Entry e;
    e.title = title ? title : "";
    e.submenu = submenu;
    return insertEntry(std::move(e), -1);
}

bool COptionMenu::addSeparator(int index) {
    Entry e;
    e.separator = true;
    return insertEntry(std::move(e), index);
}

bool COptionMenu::removeEntry(int index) {
    if (!validIndex(index)) return false;
    closePopup();
    if (COptionMenu* sub = entries[(size_t)index].submenu) sub->forget();
    entries.erase(entries.begin() + index);
    setMax((float)std::max(0, (int)entries.size() - 1));
    return true;
}

void COptionMenu::removeAllEntry() {
    closePopup();
    for (Entry& e : entries)
        if (e.submenu) e.submenu->forget();
    entries.clear();
    setMax(0.f);
}

const char* COptionMenu::getEntry(int index) const {
    return validIndex(index) ? entries[(size_t)index].title.c_str() : nullptr;
}

bool COptionMenu::isSeparator(int index) const { return validIndex(index) && entries[(size_t)index].separator; }

COptionMenu* COptionMenu::getSubMenu(int index) const {
    return validIndex(index) ? entries[(size_t)index].submenu : nullptr;
}

bool COptionMenu::checkEntry(int index, bool checked) {
    if (!validIndex(index)) return false;
    entries[(size_t)index].checked = checked;
    return true;
}

bool COptionMenu::checkEntryAlone(int index) {
    for (int i = 0; i < (int)entries.size(); ++i) entries[(size_t)i].checked = i == index;
    return validIndex(index);
}

bool COptionMenu::isCheckEntry(int index) const { return validIndex(index) && entries[(size_t)index].checked; }

bool COptionMenu::setEntryDisabled(int index, bool disabled) {
    if (!validIndex(index)) return false;
    entries[(size_t)index].disabled = disabled;
    return true;
}

bool COptionMenu::isEntryDisabled(int index) const { return validIndex(index) && entries[(size_t)index].disabled; }

void COptionMenu::setCurrent(int index) {
    if (!validIndex(index)) return;
    setValue((float)index);
    if (style & kCheckStyle) checkEntryAlone(index);
}

COptionMenu* COptionMenu::getLastItemMenu(int& indexInMenu) const {
    indexInMenu = lastMenuIndex;
    return lastMenu;
}

void COptionMenu::layoutPanel(const CPoint& where, const CRect& bounds) {
    int width = kMinWidth, height = 2;
    for (const Entry& e : entries) {
        width = std::max(width, kCheckColumn + kCharWidth * (int)e.title.size() + kArrowColumn);
        height += e.separator ? kSeparatorHeight : kEntryHeight;
    }
    const int x = std::clamp(where.x, bounds.left, std::max(bounds.left, bounds.right - width));
    const int y = std::clamp(where.y, bounds.top, std::max(bounds.top, bounds.bottom - height));
    panel = CRect::fromSize(x, y, width, height);
}

CRect COptionMenu::entryRect(int index) const {
    if (!validIndex(index) || panel.isEmpty()) return CRect();
    int top = panel.top + 1;
    for (int i = 0; i < index; ++i) top += entries[(size_t)i].separator ? kSeparatorHeight : kEntryHeight;
    const int h = entries[(size_t)index].separator ? kSeparatorHeight : kEntryHeight;
    return CRect(panel.left + 1, top, panel.right - 1, top + h);
}

int COptionMenu::entryAt(const CPoint& p) const {
    for (int i = 0; i < (int)entries.size(); ++i)
        if (entryRect(i).pointInside(p)) return i;
    return -1;
}

bool COptionMenu::popup(CFrame* frame, const CPoint& where) {
    closePopup();
    if (!frame || entries.empty()) return false;
    if (!popupView) popupView = new Popup(this, CRect(0, 0, frame->getWidth(), frame->getHeight()));
    popupView->setViewSize(CRect(0, 0, frame->getWidth(), frame->getHeight()));
    root = this;
    layoutPanel(where, CRect(0, 0, frame->getWidth(), frame->getHeight()));
    frame->addView(popupView);
    popupView->previousFocus = frame->getFocusView();
    frame->setFocusView(popupView);
    popupView->invalidRect(panel);
    return true;
}

void COptionMenu::closePopup() {
    if (!popupView) return;
    popupView->closeChildren(this);
    if (CViewContainer* parent = popupView->getParentView()) {
        CFrame* frame = popupView->getFrame();
        CView* focus = popupView->previousFocus;
        popupView->invalidRect(panel);
        parent->removeView(popupView, false);
        // The focus goes back where it was, unless that view left the frame meanwhile.
        if (frame && focus && frame->isChild(focus)) frame->setFocusView(focus);
    }
    popupView->previousFocus = nullptr;
    panel = CRect();
    root = nullptr;
}

bool COptionMenu::isPopupOpen() const {
    const COptionMenu* r = root ? root : this;
    return r->popupView && r->popupView->getParentView();
}

COptionMenu* COptionMenu::getOpenSubMenu() const {
    if (!isPopupOpen()) return nullptr;
    const COptionMenu* m = this;
    while (m->openChild) m = m->openChild;
    return const_cast<COptionMenu*>(m);
}

void COptionMenu::choose(int index) {
    COptionMenu* top = root ? root : this;
    // Closed first: the listener may open another menu or a dialog.
    top->closePopup();
    lastResult = index;
    top->lastMenu = this;
    top->lastMenuIndex = index;
    setValue((float)index);
    if (CControlListener* l = listener ? listener : top->listener) l->valueChanged(this);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    CPoint below(size.left, size.bottom);
    localToFrame(below);
    popup(getFrame(), below);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COptionMenu::draw(CDrawContext* context) {
    dirty = false;
    CBitmap* shown = isPopupOpen() && backgroundWhenClicked ? backgroundWhenClicked : background;
    if (context && shown) context->drawBitmap(shown, size, CPoint());
}

void COptionMenu::drawPanel(CDrawContext* context) const {
    if (panel.isEmpty()) return;
    context->fillRect(panel, kPanelColor);
    context->setFrameColor(kBorderColor);
    context->setLineWidth(1.f);
    context->drawRect(panel, kDrawStroked);
    context->setFont((float)kFontSize);
    for (int i = 0; i < (int)entries.size(); ++i) {
        const Entry& e = entries[(size_t)i];
        const CRect r = entryRect(i);
        if (e.separator) {
            const double y = r.top + r.height() / 2 + 0.5;
            context->setFrameColor(kBorderColor);
            context->drawLine(CDPoint(r.left + 4, y), CDPoint(r.right - 4, y));
            continue;
        }
        if (e.submenu && e.submenu == openChild) context->fillRect(r, kOpenEntryColor);
        const CColor ink = e.disabled ? kDisabledColor : kTextColor;
        context->setFontColor(ink);
        context->drawString(e.title.c_str(), CRect(r.left + kCheckColumn, r.top, r.right - kArrowColumn, r.bottom),
                            kLeftText);
        context->setFrameColor(ink);
        context->setLineWidth(1.5f);
        if (e.checked) {
            const double cx = r.left + 5, cy = r.top + r.height() / 2.0;
            context->drawLine(CDPoint(cx, cy), CDPoint(cx + 3, cy + 4));
            context->drawLine(CDPoint(cx + 3, cy + 4), CDPoint(cx + 9, cy - 4));
        }
        if (e.submenu) {
            const double cy = r.top + r.height() / 2.0, x = r.right - 10;
            const CDPoint arrow[] = {CDPoint(x, cy - 4), CDPoint(x + 5, cy), CDPoint(x, cy + 4)};
            context->setFillColor(ink);
            context->drawPolygon(arrow, 3, kDrawFilled);
        }
        context->setLineWidth(1.f);
    }
}
