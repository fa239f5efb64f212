// A small Windows host for the editor: loads the plug-in DLL, optionally gives it a
// chunk, opens the editor in a top-level window of its own, pumps messages and idles
// it as a host does, captures the window to PNG, closes and reopens the editor,
// captures again and checks that the patch came through unchanged.
//
//   vantorel-editor-host.exe <plug-in.dll> <first.png> <second.png> [chunk-file [clicked.png]]
//
// With clicked.png, the editor is opened once more, clicked on its module menu button
// through the window's own messages, and captured with the menu open.
// Exits 0 when everything worked; otherwise prints one line saying what failed.
#include "gui/gdiplus/PngEncoder.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vst/aeffect.h"

using namespace vst;

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return 48000;
    case audioMasterGetBlockSize: return 512;
    case audioMasterGetCurrentProcessLevel: return 1;  // the GUI thread
    case audioMasterGetVendorString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "Vantorel tests");
        return 1;
    case audioMasterGetProductString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "Editor host");
        return 1;
    case audioMasterGetVendorVersion: return 1;
    default: return 0;  // no time info, no automation, can do nothing special
    }
}

int fail(const std::string& why) {
    std::printf("FAIL: %s\n", why.c_str());
    std::fflush(stdout);
    return 1;
}

std::string utf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? (size_t)n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

bool readFile(const wchar_t* path, std::vector<uint8_t>& out) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) return false;
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// The client area as the screen shows it: copied from the window's DC into a
// top-down 32-bit DIB, saved opaque.
bool capture(HWND window, int width, int height, const wchar_t* path, std::string& why) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        why = "no memory for the capture";
        return false;
    }
    HDC screen = GetDC(window);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, dib);
    const BOOL copied = BitBlt(mem, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(window, screen);
    bool ok = false;
    if (!copied) {
        why = "BitBlt from the window failed";
    } else {
        auto* p = static_cast<uint32_t*>(bits);
        for (size_t i = 0; i < (size_t)width * (size_t)height; ++i) p[i] |= 0xff000000u;
        CLSID clsid;
        Gdiplus::Bitmap image(width, height, width * 4, PixelFormat32bppARGB, static_cast<BYTE*>(bits));
        if (!gdiplus::pngEncoder(clsid)) why = "no PNG encoder";
        else if (image.Save(path, &clsid, nullptr) != Gdiplus::Ok) why = "cannot write " + utf8(path);
        else ok = true;
    }
    DeleteObject(dib);
    return ok;
}

// Messages dispatched and the editor idled for about `ms` milliseconds, as a host's
// GUI loop does.
void pump(AEffect* fx, DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    while ((LONG)(until - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        fx->dispatcher(fx, effEditIdle, 0, 0, nullptr, 0.f);
        Sleep(15);
    }
}

std::vector<uint8_t> chunkOf(AEffect* fx) {
    void* data = nullptr;
    const VstIntPtr size = fx->dispatcher(fx, effGetChunk, 0, 0, &data, 0.f);
    if (size <= 0 || !data) return {};
    return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

LRESULT CALLBACK hostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(w, msg, wp, lp);
}

int run(int argc, wchar_t** argv) {
    if (argc < 4)
        return fail("usage: vantorel-editor-host <plug-in.dll> <first.png> <second.png> [chunk-file [clicked.png]]");
    HMODULE dll = LoadLibraryW(argv[1]);
    if (!dll) return fail("cannot load " + utf8(argv[1]) + " (error " + std::to_string(GetLastError()) + ")");
    using Entry = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, "VSTPluginMain")));
    if (!entry) return fail("no VSTPluginMain export");
    AEffect* fx = entry(hostCallback);
    if (!fx || fx->magic != kEffectMagic) return fail("VSTPluginMain gave no plug-in");
    fx->dispatcher(fx, effOpen, 0, 0, nullptr, 0.f);
    fx->dispatcher(fx, effSetSampleRate, 0, 0, nullptr, 48000.f);
    fx->dispatcher(fx, effSetBlockSize, 0, 512, nullptr, 0.f);
    fx->dispatcher(fx, effMainsChanged, 0, 1, nullptr, 0.f);
    if (!(fx->flags & effFlagsHasEditor)) return fail("the plug-in says it has no editor");

    if (argc > 4) {
        std::vector<uint8_t> chunk;
        if (!readFile(argv[4], chunk) || chunk.empty()) return fail("cannot read " + utf8(argv[4]));
        if (!fx->dispatcher(fx, effSetChunk, 0, (VstIntPtr)chunk.size(), chunk.data(), 0.f))
            return fail("the plug-in refused the chunk");
    }

    ERect* rect = nullptr;
    if (!fx->dispatcher(fx, effEditGetRect, 0, 0, &rect, 0.f) || !rect) return fail("effEditGetRect gave no size");
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0) return fail("effEditGetRect gave an empty rectangle");

    WNDCLASSW wc{};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantorelTestHost";
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    RegisterClassW(&wc);
    RECT outer{0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowW(L"VantorelTestHost", L"Vantorel editor host", WS_OVERLAPPEDWINDOW, 0, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (!window) return fail("cannot create the host window");
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    const std::vector<uint8_t> before = chunkOf(fx);
    if (before.empty()) return fail("effGetChunk gave nothing before the editor opened");
    for (int round = 0; round < 2; ++round) {
        if (!fx->dispatcher(fx, effEditOpen, 0, 0, window, 0.f)) return fail("effEditOpen failed");
        if (!GetWindow(window, GW_CHILD)) return fail("the editor made no child window");
        pump(fx, 1000);
        std::string why;
        if (!capture(window, width, height, argv[2 + round], why)) return fail(why);
        fx->dispatcher(fx, effEditClose, 0, 0, nullptr, 0.f);
        pump(fx, 50);
        if (GetWindow(window, GW_CHILD)) return fail("the editor's window outlived effEditClose");
    }
    const std::vector<uint8_t> after = chunkOf(fx);
    if (after != before)
        return fail("the chunk changed across editor open and close (" + std::to_string(before.size()) + " -> " +
                    std::to_string(after.size()) + " bytes)");

    if (argc > 5) {
        if (!fx->dispatcher(fx, effEditOpen, 0, 0, window, 0.f)) return fail("effEditOpen failed the third time");
        pump(fx, 300);
        HWND editor = GetWindow(window, GW_CHILD);
        PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(27, 20));
        PostMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(27, 20));
        pump(fx, 500);
        std::string why;
        if (!capture(window, width, height, argv[5], why)) return fail(why);
        fx->dispatcher(fx, effEditClose, 0, 0, nullptr, 0.f);
    }

    DestroyWindow(window);
    fx->dispatcher(fx, effMainsChanged, 0, 0, nullptr, 0.f);
    fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.f);
    FreeLibrary(dll);
    std::printf("OK %dx%d, chunk %u bytes\n", width, height, (unsigned)before.size());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return fail("GDI+ did not start");
    const int rc = run(argc, argv);
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
