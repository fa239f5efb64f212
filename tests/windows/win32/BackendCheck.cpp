// The Windows platform pieces checked where they run: drawing into memory images,
// the editor's child window fed with real window messages, the Open/Save dialogs
// answered and closed as a user would. No test framework builds for Windows here,
// so each check prints one line on failure and the exit code counts them.
//
//   vantorel-backend-check.exe draw|window|chooser <scratch folder>
#include <windows.h>
#include <dlgs.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"
#include "platform/FileChooser.h"
#include "platform/PlatformWindow.h"
#include "platform/win32/Utf.h"
#include "support/LitPixels.h"

namespace {

int failures = 0;

void check(bool ok, const char* what, const std::string& detail = std::string()) {
    if (ok) return;
    ++failures;
    std::printf("FAIL: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

std::string str(const CColor& c) {
    return "(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + "," +
           std::to_string(c.alpha) + ")";
}

bool alike(const CColor& a, const CColor& b, int tolerance = 2) {
    auto d = [](int x, int y) { return std::abs(x - y); };
    return d(a.red, b.red) <= tolerance && d(a.green, b.green) <= tolerance && d(a.blue, b.blue) <= tolerance &&
           d(a.alpha, b.alpha) <= tolerance;
}

void checkColour(COffscreenContext& img, int x, int y, const CColor& want, const char* what) {
    const CColor got = img.getPixel(x, y);
    check(alike(got, want), what, "at " + std::to_string(x) + "," + std::to_string(y) + " got " + str(got) +
                                     " want " + str(want));
}

constexpr CColor kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kWhite{255, 255, 255, 255},
    kBlack{0, 0, 0, 255}, kClear{0, 0, 0, 0};

CBitmap* solid(int w, int h, const CColor& c) {
    auto img = COffscreenContext::create(w, h);
    img->fillRect(CRect(0, 0, w, h), c);
    std::vector<uint8_t> png;
    check(img->encodePng(png), "a solid image encodes as PNG");
    return new CBitmap("check", png);
}

// The lit pixels' bounding box (alpha above half).
CRect litBox(COffscreenContext& img) {
    CRect box;
    for (int y = 0; y < img.getHeight(); ++y)
        for (int x = 0; x < img.getWidth(); ++x)
            if (img.getPixel(x, y).alpha > 127) box = box.unite(CRect(x, y, x + 1, y + 1));
    return box;
}

void drawChecks(const std::string& folder) {
    check(COffscreenContext::create(0, 10) == nullptr, "no image of width 0");
    check(COffscreenContext::create(10, -1) == nullptr, "no image of negative height");
    {
        auto img = COffscreenContext::create(7, 3);
        check(img && img->getStride() >= 7 * 4, "stride holds a row");
        check(img && img->getPixels()[0] == 0 && img->getPixels()[20] == 0, "a new image is transparent");
        img->fillRect(CRect(0, 0, 1, 1), CColor{255, 0, 0, 128});
        const uint32_t p = img->getPixels()[0];
        check((p >> 24) == 128 && ((p >> 16) & 0xff) == 128 && (p & 0xffff) == 0,
              "pixels are premultiplied 0xAARRGGBB", std::to_string(p));
    }
    {
        // Pixel (x, y) is the square x..x+1: edges of filled rectangles are exact and a
        // one-pixel line through the centres of a row lights that row only.
        auto img = COffscreenContext::create(20, 20);
        img->fillRect(CRect(2, 2, 8, 8), kWhite);
        checkColour(*img, 2, 2, kWhite, "filled rectangle's first pixel");
        checkColour(*img, 7, 7, kWhite, "filled rectangle's last pixel");
        checkColour(*img, 1, 2, kClear, "nothing left of a filled rectangle");
        checkColour(*img, 8, 7, kClear, "nothing right of a filled rectangle (right edge is outside)");
        checkColour(*img, 5, 8, kClear, "nothing below a filled rectangle");
        img->setFrameColor(kRed);
        img->setLineWidth(1.f);
        img->drawLine(CDPoint(10, 15), CDPoint(18, 15));
        checkColour(*img, 14, 15, kRed, "a line lights the row it names");
        check(img->getPixel(14, 14).alpha < 40 && img->getPixel(14, 16).alpha < 40,
              "a one-pixel line stays in its row", str(img->getPixel(14, 14)) + " " + str(img->getPixel(14, 16)));
    }
    {
        auto img = COffscreenContext::create(20, 20);
        img->setFrameColor(kWhite);
        img->drawRect(CRect(2, 2, 12, 12));
        checkColour(*img, 2, 6, kWhite, "a stroked rectangle's left edge is inside it");
        checkColour(*img, 11, 6, kWhite, "a stroked rectangle's right edge is inside it");
        checkColour(*img, 6, 6, kClear, "a stroked rectangle is hollow");
        checkColour(*img, 12, 6, kClear, "nothing beyond a stroked rectangle");
    }
    {
        auto img = COffscreenContext::create(20, 20);
        img->setFillColor(kGreen);
        img->drawEllipse(CRect(0, 0, 20, 20), kDrawFilled);
        checkColour(*img, 10, 10, kGreen, "a filled ellipse's centre");
        checkColour(*img, 1, 1, kClear, "a filled ellipse leaves its corners");
        const CDPoint triangle[] = {{0, 0}, {19, 0}, {0, 19}};
        auto tri = COffscreenContext::create(20, 20);
        tri->setFillColor(kRed);
        tri->drawPolygon(triangle, 3, kDrawFilled);
        checkColour(*tri, 3, 3, kRed, "inside a filled triangle");
        checkColour(*tri, 16, 16, kClear, "outside a filled triangle");
        // A curve bowing down: its lowest point is below the straight line between its ends.
        auto curve = COffscreenContext::create(40, 40);
        curve->setFrameColor(kWhite);
        curve->setLineWidth(3.f);
        const CDPoint bow[] = {{2, 5}, {10, 35}, {30, 35}, {38, 5}};
        curve->drawBezier(bow, 4);
        check(curve->getPixel(20, 5).alpha == 0, "a curve is not its chord");
        const CRect box = litBox(*curve);
        check(box.bottom >= 26 && box.bottom <= 30 && box.left <= 3 && box.right >= 37,
              "a curve reaches its ends and sags to its control points",
              std::to_string(box.left) + "," + std::to_string(box.top) + "," + std::to_string(box.right) + "," +
                  std::to_string(box.bottom));
    }
    {
        // Blending: a half-transparent fill, a bitmap at half alpha, global alpha, a
        // PNG's own alpha.
        auto img = COffscreenContext::create(40, 10);
        img->fillRect(CRect(0, 0, 40, 10), kWhite);
        img->fillRect(CRect(0, 0, 10, 10), CColor{255, 0, 0, 128});
        CBitmap* red = solid(10, 10, kRed);
        img->drawBitmap(red, CRect(10, 0, 20, 10), CPoint(), 0.5f);
        img->setGlobalAlpha(0.25f);
        img->fillRect(CRect(20, 0, 30, 10), kBlack);
        img->setGlobalAlpha(1.f);
        CBitmap* glass = solid(10, 10, CColor{0, 0, 255, 64});
        img->drawBitmap(glass, CRect(30, 0, 40, 10), CPoint());
        checkColour(*img, 5, 5, CColor{255, 127, 127, 255}, "half-transparent fill");
        checkColour(*img, 15, 5, CColor{255, 127, 127, 255}, "bitmap drawn at half alpha");
        checkColour(*img, 25, 5, CColor{191, 191, 191, 255}, "global alpha");
        checkColour(*img, 35, 5, CColor{191, 191, 255, 255}, "a PNG keeps its own alpha");
        red->forget();
        glass->forget();
    }
    {
        // A strip drawn from an offset into it, cut by the clip and the surface's offset.
        auto art = COffscreenContext::create(4, 8);
        art->fillRect(CRect(0, 0, 4, 4), kRed);
        art->fillRect(CRect(0, 4, 4, 8), kGreen);
        std::vector<uint8_t> png;
        check(art->encodePng(png), "a strip encodes");
        CBitmap strip("strip", png);
        check(strip.getWidth() == 4 && strip.getHeight() == 8, "a decoded PNG has its size");
        auto img = COffscreenContext::create(30, 30);
        img->setOffset(CPoint(10, 10));
        img->setClipRect(CRect(0, 0, 12, 30));
        img->drawBitmap(&strip, CRect(0, 0, 4, 4), CPoint(0, 4));
        checkColour(*img, 10, 10, kGreen, "the second frame of a strip");
        checkColour(*img, 11, 13, kGreen, "the second frame of a strip, clipped");
        checkColour(*img, 12, 12, kClear, "clipped off");
        checkColour(*img, 10, 14, kClear, "no more than the frame asked for");
        img->fillRect(CRect(0, 0, 10, 10), kRed);
        checkColour(*img, 11, 19, kRed, "the offset moves fills");
        checkColour(*img, 15, 15, kClear, "the clip cuts fills");
        // No data, or data that is no image, draws nothing and does not crash.
        CBitmap none("no-such-resource.png", 53, 97);
        img->setClipRect(CRect(0, 0, 30, 30));
        img->drawBitmap(&none, CRect(0, 0, 20, 20), CPoint());
        check(none.getPixels() == nullptr && none.getWidth() == 53, "a bitmap without data keeps its size");
        CBitmap junk("junk", std::vector<uint8_t>{0x89, 'P', 'N'});
        check(junk.getPixels() == nullptr, "three bytes are no PNG");
        std::vector<uint8_t> cut(png.begin(), png.begin() + (std::ptrdiff_t)png.size() / 2);
        CBitmap half("half", cut);
        img->drawBitmap(&half, CRect(0, 0, 4, 4), CPoint());  // decoded or not, it must not crash
    }
    {
        // Round trip through PNG keeps a half-transparent colour.
        auto img = COffscreenContext::create(3, 3);
        img->fillRect(CRect(0, 0, 3, 3), CColor{40, 200, 90, 100});
        std::vector<uint8_t> png;
        check(img->encodePng(png) && png.size() > 8 && png[1] == 'P' && png[2] == 'N', "encodes a PNG");
        CBitmap back("back", png);
        auto out = COffscreenContext::create(3, 3);
        out->drawBitmap(&back, CRect(0, 0, 3, 3), CPoint());
        checkColour(*out, 1, 1, CColor{40, 200, 90, 100}, "a PNG round trip keeps colour and alpha");
    }
    {
        auto img = COffscreenContext::create(120, 30);
        img->setFontColor(kWhite);
        img->setFont(14.f);
        const int shortWidth = img->getStringWidth("Hi");
        const int longWidth = img->getStringWidth("Hi there, rack");
        check(shortWidth > 4 && longWidth > shortWidth * 3, "text is measured",
              std::to_string(shortWidth) + " " + std::to_string(longWidth));
        img->setFont(14.f, true);
        check(img->getStringWidth("Hi there, rack") > longWidth, "bold text is wider");
        img->setFont(14.f);
        img->drawString("Hi there, rack", CRect(10, 5, 60, 25), kLeftText);
        const fixture::LitCount lit = fixture::litPixels(*img, CRect(10, 5, 60, 25));
        check(lit.inside > 30, "text is drawn");
        check(lit.outside == 0, "text is clipped to its rectangle", std::to_string(lit.outside) + " pixels outside");
        // Centred both ways, and flush right.
        for (CHoriTxtAlign align : {kCenterText, kRightText}) {
            auto t = COffscreenContext::create(120, 40);
            t->setFontColor(kWhite);
            t->setFont(12.f);
            t->drawString("Voice", CRect(0, 0, 120, 40), align);
            const CRect box = litBox(*t);
            const int mid = (box.top + box.bottom) / 2;
            check(!box.isEmpty() && mid >= 17 && mid <= 23, "text is centred vertically", std::to_string(mid));
            if (align == kCenterText) {
                const int c = (box.left + box.right) / 2;
                check(c >= 56 && c <= 64, "centred text", std::to_string(c));
            } else {
                check(box.right >= 114 && box.left > 60, "right-aligned text", std::to_string(box.right));
            }
        }
    }
    {
        auto img = COffscreenContext::create(5, 4);
        img->fillRect(CRect(0, 0, 5, 4), kRed);
        const std::string path = folder + "/backend-check.png";
        check(img->writePng(path), "writes a PNG file");
        check(!img->writePng("no/such/folder/x.png"), "a PNG in a missing folder is a failure");
    }
}

// What the window handed over, in order.
struct Recorder : platform::WindowListener {
    struct Got {
        char kind;
        CPoint where;
        long buttons;
        VstKeyCode key;
        CRect area;
    };
    std::vector<Got> got;
    platform::PlatformWindow* window = nullptr;
    int depth = 0, deepest = 0;
    void add(const Got& g) {
        ++depth;
        deepest = std::max(deepest, depth);
        got.push_back(g);
        if (window) window->processEvents();  // an event handler that idles
        --depth;
    }
    void windowMouseDown(const CPoint& p, long b) override { add({'d', p, b, {}, {}}); }
    void windowMouseUp(const CPoint& p, long b) override { add({'u', p, b, {}, {}}); }
    void windowMouseMoved(const CPoint& p, long b) override { add({'m', p, b, {}, {}}); }
    void windowKeyDown(const VstKeyCode& k) override { add({'k', {}, 0, k, {}}); }
    void windowExposed(const CRect& a) override { add({'e', {}, 0, {}, a}); }
};

void pumpMessages() {
    MSG msg;
    for (int round = 0; round < 3; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

HWND hostWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantorelCheckHost";
    RegisterClassW(&wc);
    // Away from the pointer, so no real mouse move lands among the posted ones.
    SetCursorPos(0, 0);
    HWND w = CreateWindowW(L"VantorelCheckHost", L"check host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 400,
                           300, nullptr, nullptr, wc.hInstance, nullptr);
    pumpMessages();
    return w;
}

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

void windowChecks() {
    Recorder rec;
    check(platform::PlatformWindow::create((void*)(uintptr_t)0x7ffff0, 100, 100, &rec) == nullptr,
          "no window inside something that is not a window");
    HWND host = hostWindow();
    check(host != nullptr, "the check's host window");
    {
        auto win = platform::PlatformWindow::create(host, 200, 100, &rec);
        check(win != nullptr, "a child window of the host's");
        if (!win) return;
        HWND w = (HWND)win->nativeHandle();
        check(IsWindow(w) && GetParent(w) == host && (GetWindowLongW(w, GWL_STYLE) & WS_CHILD),
              "the native handle is our child window");
        // OLE is on for the thread while the window is open.
        const HRESULT again = OleInitialize(nullptr);
        check(again == S_FALSE, "OLE is initialised on the editor's thread");
        if (SUCCEEDED(again)) OleUninitialize();

        // Nothing reaches the listener from the window procedure; the first paint of a
        // window with nothing to show asks for the area.
        pumpMessages();
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(30, 40));
        pumpMessages();
        check(GetCapture() == w, "a pressed button keeps the mouse with the window");
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, at(35, 41));
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, at(-5, 120));  // dragged out of the window
        PostMessageW(w, WM_LBUTTONUP, 0, at(-6, 121));
        PostMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, at(7, 8));
        PostMessageW(w, WM_RBUTTONUP, MK_CONTROL, at(7, 8));
        PostMessageW(w, WM_KEYDOWN, VK_LEFT, 1);
        PostMessageW(w, WM_KEYDOWN, VK_RETURN, 1 | (1 << 24));  // keypad Enter
        PostMessageW(w, WM_CHAR, 0x0d, 1);                      // its character: already given
        PostMessageW(w, WM_CHAR, L'a', 1);
        PostMessageW(w, WM_CHAR, 0xd83c, 1);  // U+1F3B9 as a surrogate pair
        PostMessageW(w, WM_CHAR, 0xdfb9, 1);
        pumpMessages();
        check(rec.got.empty(), "the window procedure does not call the listener",
              std::to_string(rec.got.size()) + " events");
        check(GetCapture() != w, "the capture ends with the last button");
        rec.window = win.get();
        win->processEvents();
        rec.window = nullptr;
        check(rec.deepest == 1, "an event handler that idles is not re-entered");
        std::string kinds;
        for (const auto& g : rec.got) kinds += g.kind;
        // The exposure may come first or not at all (it was painted before any event).
        if (!kinds.empty() && kinds[0] == 'e') {
            check(rec.got[0].area.right >= 200 && rec.got[0].area.bottom >= 100, "the first paint asks for all");
            rec.got.erase(rec.got.begin());
            kinds.erase(0, 1);
        }
        check(kinds == "dmudukkkk", "events in order, consecutive moves merged", kinds);
        if (kinds == "dmudukkkk") {
            const auto& g = rec.got;
            check(g[0].where == CPoint(30, 40) && g[0].buttons == (kLButton | kShift), "left press with shift",
                  std::to_string(g[0].buttons));
            check(g[1].where == CPoint(-5, 120) && g[1].buttons == kLButton, "a drag outside keeps coming");
            check(g[2].where == CPoint(-6, 121) && g[2].buttons == kLButton, "the release names its button");
            check(g[3].buttons == (kRButton | kControl) && g[4].buttons == (kRButton | kControl),
                  "right button with control");
            check(g[5].key.virt == VKEY_LEFT && g[5].key.character == 0, "arrow key");
            check(g[6].key.virt == VKEY_ENTER, "keypad Enter");
            check(g[7].key.character == 'a' && g[7].key.virt == VKEY_NONE, "a character");
            check(g[8].key.character == 0x1f3b9, "a character beyond the first plane",
                  std::to_string(g[8].key.character));
        }
        rec.got.clear();

        // Pixels shown, then shown again by the window itself when it is repainted.
        std::vector<uint32_t> image(200 * 100, 0xff00c000u);
        for (int x = 0; x < 200; ++x) image[50 * 200 + x] = 0xff0000ffu;  // a blue row at y 50
        win->present(image.data(), 200 * 4, 200, 100, CRect(0, 0, 200, 100));
        HDC dc = GetDC(w);
        check(GetPixel(dc, 10, 10) == RGB(0, 0xc0, 0), "presented pixels are on the window",
              std::to_string(GetPixel(dc, 10, 10)));
        check(GetPixel(dc, 10, 50) == RGB(0, 0, 0xff), "rows are not flipped");
        ReleaseDC(w, dc);
        std::vector<uint32_t> red(200 * 100, 0xffff0000u);
        win->present(red.data(), 200 * 4, 200, 100, CRect(100, 0, 300, 100));  // half inside
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
        pumpMessages();
        dc = GetDC(w);
        check(GetPixel(dc, 10, 10) == RGB(0, 0xc0, 0) && GetPixel(dc, 150, 10) == RGB(0xff, 0, 0),
              "a repaint shows what was presented, only where it was presented");
        ReleaseDC(w, dc);
        win->processEvents();
        check(rec.got.empty(), "a repaint of shown pixels needs no drawing");

        win->setMouseCapture(true);
        check(GetCapture() == w, "capture on");
        win->setMouseCapture(false);
        check(GetCapture() != w, "capture off");
        win->takeFocus();
        check(GetFocus() == w, "the window takes the keyboard");
    }
    check(OleInitialize(nullptr) == S_OK, "OLE is undone when the window closes");
    OleUninitialize();
    {
        // Two at once, closed in any order, and again after: the class comes and goes.
        auto a = platform::PlatformWindow::create(host, 50, 50, &rec);
        auto b = platform::PlatformWindow::create(host, 50, 50, &rec);
        check(a && b, "two windows at once");
        a.reset();
        auto c = platform::PlatformWindow::create(host, 50, 50, &rec);
        check(c != nullptr, "a window after another closed");
        b.reset();
        c.reset();
        auto d = platform::PlatformWindow::create(host, 50, 50, &rec);
        check(d != nullptr, "a window after all closed");
        // The host's window goes first, taking ours; closing ours after is harmless.
        DestroyWindow(host);
        pumpMessages();
        d->processEvents();
        d->setMouseCapture(true);
        d->takeFocus();
        std::vector<uint32_t> px(50 * 50, 0xff000000u);
        d->present(px.data(), 200, 50, 50, CRect(0, 0, 50, 50));
        d.reset();
    }
}

// The dialog of this process with that title, once it shows (null after `ms`).
HWND findDialog(const wchar_t* title, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        HWND w = FindWindowW(L"#32770", title);
        if (w && IsWindowVisible(w)) return w;
        Sleep(20);
    }
    return nullptr;
}

bool gone(const wchar_t* title) {
    for (int waited = 0; waited < 2000; waited += 20) {
        if (!FindWindowW(L"#32770", title)) return true;
        Sleep(20);
    }
    return false;
}

// Types a file name into the dialog and presses its OK button, as a user would.
void answer(HWND dialog, const std::wstring& name) {
    HWND field = GetDlgItem(dialog, cmb13);
    if (!field) field = GetDlgItem(dialog, edt1);
    HWND edit = field ? FindWindowExW(field, nullptr, L"Edit", nullptr) : nullptr;
    SendMessageW(edit ? edit : field, WM_SETTEXT, 0, (LPARAM)name.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

platform::FileChooser::State await(platform::FileChooser& chooser, int ms) {
    for (int waited = 0; waited < ms && chooser.poll() == platform::FileChooser::State::running; waited += 20)
        Sleep(20);
    return chooser.state();
}

void chooserChecks(const std::string& folder) {
    using platform::FileChooser;
    using State = FileChooser::State;
    check(!FileChooser::findProgram().empty(), "the dialogs are always there");
    const std::string existing = folder + "/Mono Voice.vtp";
    FILE* f = _wfopen(platform::widen(existing).c_str(), L"wb");
    if (f) std::fclose(f);

    FileChooser::Request r;
    r.filterName = "Vantorel Preset";
    r.extension = "vtp";
    r.folder = folder;
    {
        FileChooser chooser;
        r.mode = FileChooser::Mode::open;
        r.title = "Check Open";
        check(chooser.start(r) && chooser.state() == State::running, "start returns at once, running");
        check(!chooser.start(r), "one dialog at a time");
        HWND dialog = findDialog(L"Check Open", 10000);
        check(dialog != nullptr, "the Open dialog shows with its title");
        check(chooser.poll() == State::running, "still running while the dialog shows");
        if (dialog) answer(dialog, L"Mono Voice.vtp");
        check(await(chooser, 10000) == State::chosen, "a chosen file is reported");
        check(chooser.path() == existing, "the chosen path is in the starting folder", chooser.path());
    }
    {
        FileChooser chooser;
        r.mode = FileChooser::Mode::save;
        r.title = "Check Save";
        check(chooser.start(r), "a Save dialog starts");
        HWND dialog = findDialog(L"Check Save", 10000);
        check(dialog != nullptr, "the Save dialog shows with its title");
        if (dialog) answer(dialog, L"New Patch");
        check(await(chooser, 10000) == State::chosen, "a name to save under is reported");
        check(chooser.path() == folder + "/New Patch.vtp", "saving adds the preset extension", chooser.path());
    }
    {
        FileChooser chooser;
        r.mode = FileChooser::Mode::open;
        r.title = "Check Cancel";
        check(chooser.start(r), "another Open dialog starts");
        HWND dialog = findDialog(L"Check Cancel", 10000);
        if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        check(await(chooser, 10000) == State::cancelled && chooser.path().empty(), "Cancel is reported");
    }
    {
        FileChooser chooser;
        r.title = "Check Closed";
        check(chooser.start(r), "a dialog to close from outside");
        check(findDialog(L"Check Closed", 10000) != nullptr, "it shows");
        chooser.cancel();
        check(chooser.state() == State::cancelled, "cancel leaves it cancelled");
        check(gone(L"Check Closed"), "cancel closes the dialog");
        check(chooser.start(r), "a chooser can start again after cancel");
        chooser.cancel();  // at once, perhaps before the dialog is up
        check(gone(L"Check Closed"), "cancel right after start closes the dialog too");
    }
    {
        auto chooser = std::make_unique<FileChooser>();
        r.title = "Check Owner Gone";
        chooser->start(r);
        findDialog(L"Check Owner Gone", 10000);
        chooser.reset();  // returns only once the dialog and its thread are gone
        check(!FindWindowW(L"#32770", L"Check Owner Gone"), "a chooser's end closes its dialog");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    std::string folder = argc > 2 ? platform::narrow(argv[2]) : std::string(".");
    for (char& c : folder)
        if (c == '\\') c = '/';  // as the program's paths are
    if (what == L"draw") drawChecks(folder);
    else if (what == L"window") windowChecks();
    else if (what == L"chooser") chooserChecks(folder);
    else {
        std::printf("usage: vantorel-backend-check draw|window|chooser [scratch folder]\n");
        return 2;
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
