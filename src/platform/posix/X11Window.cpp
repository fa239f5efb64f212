// The editor window on Linux: an X11 child of the host's window on a display
// connection of its own, so editors of several instances never share Xlib state.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/PlatformWindow.h"

namespace platform {
namespace {

// X errors on our own connections (a host window gone, focus on an unmapped
// window) must not end the host, which is what Xlib's default handler does. Errors
// on other connections go to whatever handler was installed before ours.
std::mutex displaysMutex;
std::vector<Display*> ownDisplays;
XErrorHandler previousHandler = nullptr;
bool handlerInstalled = false;

int onXError(Display* d, XErrorEvent* e) {
    {
        std::lock_guard<std::mutex> g(displaysMutex);
        if (std::find(ownDisplays.begin(), ownDisplays.end(), d) != ownDisplays.end()) return 0;
    }
    return previousHandler ? previousHandler(d, e) : 0;
}

void adoptDisplay(Display* d) {
    std::lock_guard<std::mutex> g(displaysMutex);
    ownDisplays.push_back(d);
    if (!handlerInstalled) {
        previousHandler = XSetErrorHandler(onXError);
        handlerInstalled = true;
    }
}

void dropDisplay(Display* d) {
    std::lock_guard<std::mutex> g(displaysMutex);
    ownDisplays.erase(std::remove(ownDisplays.begin(), ownDisplays.end(), d), ownDisplays.end());
}

long modifiers(unsigned int state) {
    long b = 0;
    if (state & ShiftMask) b |= kShift;
    if (state & ControlMask) b |= kControl;
    if (state & Mod1Mask) b |= kAlt;
    return b;
}

long heldButtons(unsigned int state) {
    long b = modifiers(state);
    if (state & Button1Mask) b |= kLButton;
    if (state & Button2Mask) b |= kMButton;
    if (state & Button3Mask) b |= kRButton;
    return b;
}

long buttonBit(unsigned int button) {
    switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    default: return 0;
    }
}

VstKeyCode translateKey(XKeyEvent& e) {
    char text[8] = {};
    KeySym sym = 0;
    const int n = XLookupString(&e, text, sizeof(text), &sym, nullptr);
    VstKeyCode k;
    k.modifier = modifiers(e.state);
    switch (sym) {
    case XK_BackSpace: k.virt = VKEY_BACK; break;
    case XK_Tab: k.virt = VKEY_TAB; break;
    case XK_Return: k.virt = VKEY_RETURN; break;
    case XK_KP_Enter: k.virt = VKEY_ENTER; break;
    case XK_Escape: k.virt = VKEY_ESCAPE; break;
    case XK_End: k.virt = VKEY_END; break;
    case XK_Home: k.virt = VKEY_HOME; break;
    case XK_Left: k.virt = VKEY_LEFT; break;
    case XK_Up: k.virt = VKEY_UP; break;
    case XK_Right: k.virt = VKEY_RIGHT; break;
    case XK_Down: k.virt = VKEY_DOWN; break;
    case XK_Delete: k.virt = VKEY_DELETE; break;
    case XK_space: k.virt = VKEY_SPACE; k.character = ' '; break;
    default:
        if (n == 1 && (unsigned char)text[0] >= 0x20 && (unsigned char)text[0] != 0x7f)
            k.character = (unsigned char)text[0];
        else if (sym >= 0xa0 && sym <= 0xff)  // Latin-1 keysyms are their code points
            k.character = (uint32_t)sym;
    }
    return k;
}

class X11Window : public PlatformWindow {
public:
    X11Window(Display* d, Window w, WindowListener* l) : display(d), window(w), listener(l) {
        XWindowAttributes a;
        XGetWindowAttributes(display, window, &a);
        visual = a.visual;
        depth = a.depth;
        gc = XCreateGC(display, window, 0, nullptr);
        // Our pixels are 0xRRGGBB in the low 24 bits of a native word: the usual
        // TrueColor layout takes them as they are, anything else is converted.
        directCopy = (depth == 24 || depth == 32) && visual->red_mask == 0xff0000 &&
                     visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    }

    ~X11Window() override {
        XFreeGC(display, gc);
        XDestroyWindow(display, window);
        XSync(display, False);
        dropDisplay(display);
        XCloseDisplay(display);
    }

    void processEvents() override {
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            dispatch(e);
        }
    }

    void present(const uint32_t* pixels, int stride, int width, int height, const CRect& area) override {
        const CRect clipped = area.intersect(CRect(0, 0, width, height));
        if (clipped.isEmpty() || !pixels) return;
        const int x = clipped.left, y = clipped.top, w = clipped.width(), h = clipped.height();
        if (directCopy) {
            XImage* img = XCreateImage(display, visual, depth, ZPixmap, 0,
                                       reinterpret_cast<char*>(const_cast<uint32_t*>(pixels)), width,
                                       height, 32, stride);
            if (!img) return;
            img->byte_order = LSBFirst;  // native little-endian words
            img->bitmap_bit_order = LSBFirst;
            XPutImage(display, window, gc, img, x, y, x, y, (unsigned)w, (unsigned)h);
            img->data = nullptr;  // the pixels are not ours to free
            XDestroyImage(img);
        } else {
            presentConverted(pixels, stride, x, y, w, h);
        }
        XFlush(display);
    }

    void setMouseCapture(bool on) override {
        if (on)
            XGrabPointer(display, window, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                         GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        else
            XUngrabPointer(display, CurrentTime);
        XFlush(display);
    }

    void takeFocus() override {
        XWindowAttributes a;
        // Focus on a window that is not viewable is an error.
        if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable)
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XFlush(display);
    }

    uintptr_t nativeHandle() const override { return (uintptr_t)window; }

private:
    void dispatch(XEvent& e) {
        switch (e.type) {
        case Expose:
            listener->windowExposed(CRect::fromSize(e.xexpose.x, e.xexpose.y, e.xexpose.width,
                                                    e.xexpose.height));
            break;
        case ButtonPress: {
            const long bit = buttonBit(e.xbutton.button);
            if (!bit) break;  // wheel steps
            listener->windowMouseDown(CPoint(e.xbutton.x, e.xbutton.y), heldButtons(e.xbutton.state) | bit);
            break;
        }
        case ButtonRelease: {
            const long bit = buttonBit(e.xbutton.button);
            if (!bit) break;
            listener->windowMouseUp(CPoint(e.xbutton.x, e.xbutton.y), modifiers(e.xbutton.state) | bit);
            break;
        }
        case MotionNotify:
            listener->windowMouseMoved(CPoint(e.xmotion.x, e.xmotion.y), heldButtons(e.xmotion.state));
            break;
        case KeyPress:
            listener->windowKeyDown(translateKey(e.xkey));
            break;
        default: break;
        }
    }

    static int shiftOf(unsigned long mask) {
        int s = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++s;
        }
        return s;
    }
    static unsigned long scaled(uint32_t c8, unsigned long mask) {
        const unsigned long m = mask >> shiftOf(mask);
        return ((c8 * m + 127) / 255) << shiftOf(mask);
    }

    void presentConverted(const uint32_t* pixels, int stride, int left, int top, int w, int h) {
        XImage* img = XCreateImage(display, visual, depth, ZPixmap, 0, nullptr, (unsigned)w, (unsigned)h, 32, 0);
        if (!img) return;
        img->data = static_cast<char*>(malloc((size_t)img->bytes_per_line * (size_t)h));
        if (!img->data) {
            XDestroyImage(img);
            return;
        }
        for (int y = 0; y < h; ++y) {
            const uint32_t* row =
                reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) + (size_t)(y + top) * stride);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = row[x + left];
                XPutPixel(img, x, y,
                          scaled((p >> 16) & 0xff, visual->red_mask) | scaled((p >> 8) & 0xff, visual->green_mask) |
                              scaled(p & 0xff, visual->blue_mask));
            }
        }
        XPutImage(display, window, gc, img, 0, 0, left, top, (unsigned)w, (unsigned)h);
        XDestroyImage(img);
    }

    Display* display;
    Window window;
    WindowListener* listener;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc;
    bool directCopy = false;
};

}  // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::create(void* parent, int width, int height,
                                                       WindowListener* listener) {
    if (!parent || !listener || width <= 0 || height <= 0) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    adoptDisplay(display);
    const Window parentWindow = (Window)(uintptr_t)parent;
    XWindowAttributes pa;
    if (!XGetWindowAttributes(display, parentWindow, &pa)) {
        dropDisplay(display);
        XCloseDisplay(display);
        return nullptr;
    }
    XSetWindowAttributes attrs{};
    attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       KeyPressMask | StructureNotifyMask;
    attrs.background_pixel = BlackPixel(display, DefaultScreen(display));
    const Window w = XCreateWindow(display, parentWindow, 0, 0, (unsigned)width, (unsigned)height, 0,
                                   CopyFromParent, InputOutput, CopyFromParent,
                                   CWEventMask | CWBackPixel, &attrs);
    XMapWindow(display, w);
    XSync(display, False);
    XWindowAttributes a;
    if (!w || !XGetWindowAttributes(display, w, &a)) {
        dropDisplay(display);
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<X11Window>(display, w, listener);
}

}  // namespace platform
