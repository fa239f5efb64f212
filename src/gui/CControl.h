#pragma once

#include <atomic>
#include <cstdint>

#include "gui/CView.h"

class CBitmap;
class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
};

// A view with a value. The value is one 32-bit float that the GUI thread writes and
// the audio thread reads without a lock, hence relaxed atomic access.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    ~CControl() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CControl") == 0 || CView::isTypeOf(s);
    }

    virtual void setValue(float v) {
        value.store(v, std::memory_order_relaxed);
        setDirty();
    }
    float getValue() const { return value.load(std::memory_order_relaxed); }
    void setMin(float v) { vmin = v; }
    void setMax(float v) { vmax = v; }
    float getMin() const { return vmin; }
    float getMax() const { return vmax; }
    void setDefaultValue(float v) { vdefault = v; }
    float getDefaultValue() const { return vdefault; }
    // Clamp the value into [min, max].
    void bounceValue() {
        float v = getValue();
        if (v > vmax) setValue(vmax);
        else if (v < vmin) setValue(vmin);
    }

    void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* l) { listener = l; }
    CBitmap* getBackground() const { return background; }

    virtual void valueChanged() {
        if (listener) listener->valueChanged(this);
    }
    // The value's place between min and max, 0 to 1 (0 for NaN or an empty range).
    float getValueNormalized() const;

protected:
    // Frame `frame` of the background strip (frames `frameHeight` apart, starting at
    // `origin` in the bitmap) over the control's rectangle.
    void drawStripFrame(CDrawContext* context, const CPoint& origin, int frame, int frameHeight) const;

    CControlListener* listener;
    int32_t tag;
    std::atomic<float> value{0.f};
    float vmin = 0.f;
    float vmax = 1.f;
    float vdefault = 0.5f;
    CBitmap* background;
};

// Shows one frame of a vertical strip; the frame follows the value.
class CMovieBitmap : public CControl {
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
                 int heightOfOneImage, CBitmap* background, CPoint offset = CPoint());
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CMovieBitmap") == 0 || CControl::isTypeOf(s);
    }
    int getNumSubPixmaps() const { return subPixmaps; }
    int getHeightOfOneImage() const { return heightOfOneImage; }
    int currentFrame() const;
    void draw(CDrawContext* context) override;

protected:
    int subPixmaps;
    int heightOfOneImage;
    CPoint offset;
};

// A knob dragged with the mouse; the zoom factor makes movement finer while Shift is held.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CKnob") == 0 || CControl::isTypeOf(s);
    }
    void setZoomFactor(float z) { zoomFactor = z; }
    float getZoomFactor() const { return zoomFactor; }

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    // The background, and a handle line showing the value.
    void draw(CDrawContext* context) override;
    void setHandleColor(const CColor& c) { handleColor = c; }

protected:
    float zoomFactor = 1.5f;
    CColor handleColor{255, 255, 255, 255};
    CPoint firstPoint;
    float startValue = 0.f;
    long lastButtons = 0;
    bool tracking = false;
};

class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
              int heightOfOneImage, CBitmap* background, CPoint offset = CPoint());
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CAnimKnob") == 0 || CKnob::isTypeOf(s);
    }
    int getNumSubPixmaps() const { return subPixmaps; }
    int getHeightOfOneImage() const { return heightOfOneImage; }
    void setInverseBitmap(bool b) { inverseBitmap = b; }
    bool getInverseBitmap() const { return inverseBitmap; }
    // Frame of the strip the value shows.
    int currentFrame() const;
    void draw(CDrawContext* context) override;

protected:
    int subPixmaps;
    int heightOfOneImage;
    CPoint offset;
    bool inverseBitmap = false;
};

// A switch whose positions are stacked vertically; a click picks the position under it.
class CVerticalSwitch : public CControl {
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
                    int heightOfOneImage, int iMaxPositions, CBitmap* background,
                    CPoint offset = CPoint());
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CVerticalSwitch") == 0 || CControl::isTypeOf(s);
    }
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    int getNumPositions() const { return iMaxPositions; }
    int currentFrame() const;
    void draw(CDrawContext* context) override;

protected:
    void followMouse(const CPoint& where);

    int subPixmaps;
    int heightOfOneImage;
    int iMaxPositions;
    CPoint offset;
};

class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "COnOffButton") == 0 || CControl::isTypeOf(s);
    }
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    void draw(CDrawContext* context) override;
};

// Momentary: 1 while pressed, 0 on release.
class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CKickButton") == 0 || CControl::isTypeOf(s);
    }
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    void draw(CDrawContext* context) override;

private:
    bool pressed = false;
};

// A row of digits from a digit strip; the value is the whole number shown.
class CSpecialDigit : public CControl {
public:
    CSpecialDigit(const CRect& size, CControlListener* listener, int32_t tag, int dwPos,
                  int iNumbers, int* xpos, int* ypos, int width, int height, CBitmap* background);
    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CSpecialDigit") == 0 || CControl::isTypeOf(s);
    }
    int getNumbers() const { return iNumbers; }
    // Digit shown at position i (0 = most significant).
    int digitAt(int i) const;
    // Each digit from the strip (ten frames of the digit size) at its own position.
    void draw(CDrawContext* context) override;

protected:
    int iNumbers;
    int xpos[7];
    int ypos[7];
    int digitWidth;
    int digitHeight;
};
