// The editor window on Windows: a child of the host's window, on the host's GUI
// thread. The host's message loop calls our window procedure; the procedure only
// records what happened, and processEvents (from the editor's idle) hands it to the
// frame. So the frame is entered from one place only, never while it draws, and
// never from inside a call it made itself (SetCapture, SetFocus and painting all send
// messages synchronously).
#include <windows.h>
#include <ole2.h>
#include <windowsx.h>

#include <vector>

#include "platform/PlatformWindow.h"

namespace platform {
namespace {

HINSTANCE ownModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &m);
    return m;
}

const wchar_t kClassName[] = L"VantorelEditorWindow";

// The class is registered while a window of ours exists and unregistered after the
// last one: Windows keeps a DLL's classes after the DLL is unloaded, and a class that
// outlived us would point a reloaded copy at a window procedure no longer there.
// Editor windows are made and destroyed on the GUI thread only.
int classUsers = 0;

LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);

bool useClass() {
    if (classUsers == 0) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = ownModule();
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    ++classUsers;
    return true;
}

void dropClass() {
    if (--classUsers == 0) UnregisterClassW(kClassName, ownModule());
}

long modifiers(WPARAM keys) {
    long b = 0;
    if (keys & MK_SHIFT) b |= kShift;
    if (keys & MK_CONTROL) b |= kControl;
    if (GetKeyState(VK_MENU) < 0) b |= kAlt;
    return b;
}

long heldButtons(WPARAM keys) {
    long b = modifiers(keys);
    if (keys & MK_LBUTTON) b |= kLButton;
    if (keys & MK_MBUTTON) b |= kMButton;
    if (keys & MK_RBUTTON) b |= kRButton;
    return b;
}

long keyModifiers() {
    long b = 0;
    if (GetKeyState(VK_SHIFT) < 0) b |= kShift;
    if (GetKeyState(VK_CONTROL) < 0) b |= kControl;
    if (GetKeyState(VK_MENU) < 0) b |= kAlt;
    return b;
}

// Keys without a character, as the Linux window maps them; characters arrive with
// WM_CHAR. Space is both, as on Linux.
int virtualKey(WPARAM vk, LPARAM flags) {
    switch (vk) {
    case VK_BACK: return VKEY_BACK;
    case VK_TAB: return VKEY_TAB;
    case VK_RETURN: return (flags & (1 << 24)) ? VKEY_ENTER : VKEY_RETURN;  // keypad Enter is extended
    case VK_ESCAPE: return VKEY_ESCAPE;
    case VK_END: return VKEY_END;
    case VK_HOME: return VKEY_HOME;
    case VK_LEFT: return VKEY_LEFT;
    case VK_UP: return VKEY_UP;
    case VK_RIGHT: return VKEY_RIGHT;
    case VK_DOWN: return VKEY_DOWN;
    case VK_DELETE: return VKEY_DELETE;
    case VK_SPACE: return VKEY_SPACE;
    default: return VKEY_NONE;
    }
}

struct Event {
    enum Kind { down, up, moved, key, exposed } kind;
    explicit Event(Kind k) : kind(k) {}
    CPoint where;
    long buttons = 0;
    VstKeyCode keyCode;
    CRect area;
};

// A host that stops idling (editor hidden behind another window, say) must not make
// us hoard its mouse moves: consecutive moves are merged, and past this many
// events the oldest go.
constexpr size_t kMaxQueued = 1024;

class Win32Window : public PlatformWindow {
public:
    Win32Window(WindowListener* l, int w, int h, bool oleStarted)
        : listener(l), width(w), height(h), oleStarted(oleStarted) {}

    bool make(HWND parent) {
        if (!useClass()) return false;
        classHeld = true;
        hwnd = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                               0, width, height, parent, nullptr, ownModule(), this);
        if (!hwnd) return false;
        // The pixels last shown, so the window repaints itself without the frame.
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;  // top-down, as our images are
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        shadow = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &shadowBits, nullptr, 0);
        shadowDC = CreateCompatibleDC(nullptr);
        if (!shadow || !shadowDC || !shadowBits) return false;
        oldBitmap = SelectObject(shadowDC, shadow);
        return true;
    }

    ~Win32Window() override {
        if (hwnd) {
            if (GetCapture() == hwnd) ReleaseCapture();
            // Null when the host destroyed its window (and ours with it) first.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            DestroyWindow(hwnd);
        }
        if (shadowDC) {
            if (oldBitmap) SelectObject(shadowDC, oldBitmap);
            DeleteDC(shadowDC);
        }
        if (shadow) DeleteObject(shadow);
        if (classHeld) dropClass();
        if (oleStarted) OleUninitialize();
    }

    void processEvents() override {
        if (delivering) return;  // a listener idling from inside an event
        delivering = true;
        while (!queue.empty()) {
            std::vector<Event> now;
            now.swap(queue);
            for (const Event& e : now) deliver(e);
        }
        delivering = false;
    }

    void present(const uint32_t* pixels, int stride, int w, int h, const CRect& area) override {
        const CRect clipped = area.intersect(CRect(0, 0, std::min(w, width), std::min(h, height)));
        if (clipped.isEmpty() || !pixels || !shadowBits) return;
        GdiFlush();  // GDI may still be reading the shadow for an earlier copy
        auto* to = static_cast<uint32_t*>(shadowBits);
        for (int y = clipped.top; y < clipped.bottom; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) +
                                                                (size_t)y * (size_t)stride);
            std::copy(row + clipped.left, row + clipped.right, to + (size_t)y * (size_t)width + clipped.left);
        }
        shown = true;
        if (!hwnd) return;
        HDC dc = GetDC(hwnd);
        if (!dc) return;
        BitBlt(dc, clipped.left, clipped.top, clipped.width(), clipped.height(), shadowDC, clipped.left,
               clipped.top, SRCCOPY);
        ReleaseDC(hwnd, dc);
    }

    void setMouseCapture(bool on) override {
        captureWanted = on;
        if (!hwnd) return;
        if (on) SetCapture(hwnd);
        else if (GetCapture() == hwnd && !buttonsHeld) ReleaseCapture();
    }

    void takeFocus() override {
        if (hwnd && IsWindowVisible(hwnd)) SetFocus(hwnd);
    }

    uintptr_t nativeHandle() const override { return (uintptr_t)hwnd; }

    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            const CRect area(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
            if (shown) {
                BitBlt(dc, area.left, area.top, area.width(), area.height(), shadowDC, area.left, area.top,
                       SRCCOPY);
            } else if (!area.isEmpty()) {
                Event e(Event::exposed);
                e.area = area;
                push(e);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;  // everything is painted over: no flash of background
        case WM_LBUTTONDOWN: return mouse(Event::down, kLButton, wp, lp);
        case WM_MBUTTONDOWN: return mouse(Event::down, kMButton, wp, lp);
        case WM_RBUTTONDOWN: return mouse(Event::down, kRButton, wp, lp);
        case WM_LBUTTONUP: return mouse(Event::up, kLButton, wp, lp);
        case WM_MBUTTONUP: return mouse(Event::up, kMButton, wp, lp);
        case WM_RBUTTONUP: return mouse(Event::up, kRButton, wp, lp);
        case WM_MOUSEMOVE: {
            Event e(Event::moved);
            e.where = CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            e.buttons = heldButtons(wp);
            if (!queue.empty() && queue.back().kind == Event::moved && queue.back().buttons == e.buttons)
                queue.back().where = e.where;
            else
                push(e);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if ((HWND)lp != hwnd) {
                buttonsHeld = 0;
                captureWanted = false;
            }
            return 0;
        case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB;
        case WM_KEYDOWN: {
            const int virt = virtualKey(wp, lp);
            if (virt == VKEY_NONE) break;
            Event e(Event::key);
            e.keyCode.virt = virt;
            e.keyCode.modifier = keyModifiers();
            if (virt == VKEY_SPACE) e.keyCode.character = ' ';
            push(e);
            return 0;
        }
        case WM_CHAR: {
            uint32_t c = (uint32_t)wp;
            if (c >= 0xd800 && c < 0xdc00) {  // first half of a pair: wait for the second
                highSurrogate = c;
                return 0;
            }
            if (c >= 0xdc00 && c < 0xe000) {
                if (!highSurrogate) return 0;
                c = 0x10000 + ((highSurrogate - 0xd800) << 10) + (c - 0xdc00);
            }
            highSurrogate = 0;
            // Control characters and space came with their key already.
            if (c <= 0x20 || c == 0x7f) return 0;
            Event e(Event::key);
            e.keyCode.character = c;
            e.keyCode.modifier = keyModifiers();
            push(e);
            return 0;
        }
        case WM_NCDESTROY: {
            // The host's window went first, taking ours.
            const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
            hwnd = nullptr;
            return r;
        }
        default: break;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    HWND hwnd = nullptr;

private:
    LRESULT mouse(Event::Kind kind, long bit, WPARAM wp, LPARAM lp) {
        Event e{kind};
        e.where = CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        // As on Linux: a press carries every button now held, a release the button let go.
        e.buttons = kind == Event::down ? heldButtons(wp) | bit : modifiers(wp) | bit;
        // While a button is held the mouse stays ours, so a drag that leaves the window
        // still ends here.
        if (kind == Event::down) {
            buttonsHeld |= bit;
            if (GetCapture() != hwnd) SetCapture(hwnd);
        } else {
            buttonsHeld &= ~bit;
            if (!buttonsHeld && !captureWanted && GetCapture() == hwnd) ReleaseCapture();
        }
        push(e);
        return 0;
    }

    void push(const Event& e) {
        if (queue.size() >= kMaxQueued) queue.erase(queue.begin());
        queue.push_back(e);
    }

    void deliver(const Event& e) {
        switch (e.kind) {
        case Event::down: listener->windowMouseDown(e.where, e.buttons); break;
        case Event::up: listener->windowMouseUp(e.where, e.buttons); break;
        case Event::moved: listener->windowMouseMoved(e.where, e.buttons); break;
        case Event::key: listener->windowKeyDown(e.keyCode); break;
        case Event::exposed: listener->windowExposed(e.area); break;
        }
    }

    WindowListener* listener;
    int width, height;
    bool oleStarted;
    bool classHeld = false;
    HBITMAP shadow = nullptr;
    HDC shadowDC = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    void* shadowBits = nullptr;
    bool shown = false;
    std::vector<Event> queue;
    bool delivering = false;
    long buttonsHeld = 0;
    bool captureWanted = false;
    uint32_t highSurrogate = 0;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* w = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        w->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    }
    auto* w = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return w->handle(msg, wp, lp);
}

}  // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::create(void* parent, int width, int height,
                                                       WindowListener* listener) {
    if (!parent || !listener || width <= 0 || height <= 0 || !IsWindow((HWND)parent)) return nullptr;
    // Drag and drop and the clipboard want OLE on the editor's thread; a thread the
    // host set up otherwise (RPC_E_CHANGED_MODE) keeps what it has and is not undone.
    const bool ole = SUCCEEDED(OleInitialize(nullptr));
    auto w = std::make_unique<Win32Window>(listener, width, height, ole);
    if (!w->make((HWND)parent)) return nullptr;
    return w;
}

}  // namespace platform
