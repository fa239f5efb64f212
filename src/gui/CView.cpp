#include "gui/CView.h"

#include "gui/CFrame.h"

CFrame* CView::getFrame() const {
    const CView* v = this;
    while (v->getParentView()) v = v->getParentView();
    return v->isTypeOf("CFrame") ? static_cast<CFrame*>(const_cast<CView*>(v)) : nullptr;
}
