// The editor in a real X11 window: a small host makes its own window under Xvfb,
// opens the editor in it through the VST dispatcher, pumps effEditIdle, clicks and
// drags with xdotool and reads the screen back. Skipped when Xvfb cannot start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"
#include "render/VstHost.h"
#include "vst/AEffGUIEditor.h"
#include "vst/AudioEffect.h"
#include "GuiKit.h"
#include "support/Xvfb.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace guikit;
using namespace vst;
using fixture::haveTool;
using fixture::Xvfb;

namespace {

// Takes the keyboard when clicked, as a text field does, and keeps what is typed.
class KeyCatcher : public Swatch {
public:
    using Swatch::Swatch;
    CMouseEventResult onMouseDown(CPoint&, long) override {
        getFrame()->setFocusView(this);
        getFrame()->takeWindowFocus();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    bool onKeyDown(VstKeyCode& k) override {
        if (k.character) typed += (char)k.character;
        if (k.virt == VKEY_RETURN) typed += "<ret>";
        return true;
    }
    std::string typed;
};

// A plug-in of the test's own whose editor is a frame with a few toolkit views.
// Like the real editor, it keeps its views across open and close.
class ToyEditor : public AEffGUIEditor {
public:
    explicit ToyEditor(AudioEffect* fx) : AEffGUIEditor(fx) {
        rect = ERect{0, 0, 622, 1010};
        panel = new Swatch(CRect(0, 0, 1010, 622), CColor{60, 60, 90, 255});
        CBitmap* two = strip(40, 40, {kRed, kGreen});
        button = new COnOffButton(CRect::fromSize(200, 150, 40, 40), nullptr, 0, two);
        two->forget();
        CBitmap* five = strip(50, 50, {kBlack, kRed, kGreen, kBlue, kWhite});
        knob = new CAnimKnob(CRect::fromSize(500, 300, 50, 50), nullptr, 1, 5, 50, five);
        five->forget();
        CBitmap* led = strip(20, 20, {kBlue, kWhite});
        light = new CMovieBitmap(CRect::fromSize(700, 100, 20, 20), nullptr, 2, 2, 20, led);
        led->forget();
        keys = new KeyCatcher(CRect::fromSize(700, 400, 100, 30), kYellow);
    }
    ~ToyEditor() override {
        close();
        for (CView* v : views()) v->forget();
    }
    std::vector<CView*> views() const { return {panel, button, knob, light, keys}; }
    bool open(void* parent) override {
        frame = new CFrame(CRect(0, 0, 1010, 622), parent, this);
        if (!frame->getPlatformWindow()) {
            frame->forget();
            frame = nullptr;
            return false;
        }
        AEffGUIEditor::open(parent);
        for (CView* v : views()) frame->addView(v);
        return true;
    }
    void close() override {
        if (!frame) return;
        frame->removeAll(false);
        frame->forget();
        frame = nullptr;
        AEffGUIEditor::close();
    }
    CView* panel;
    COnOffButton* button;
    CAnimKnob* knob;
    CMovieBitmap* light;  // written by the audio thread
    KeyCatcher* keys;
};

class ToyEffect : public AudioEffect {
public:
    ToyEffect() : AudioEffect(nullptr, 1, 0) { setEditor(toy = new ToyEditor(this)); }
    ~ToyEffect() override { delete toy; }
    // Blinks the light every 20 blocks, as a module lights its LED: a plain value
    // write, no lock, no invalidation.
    void processReplacing(float**, float** out, VstInt32 n) override {
        for (int c = 0; c < 2; ++c) std::fill(out[c], out[c] + n, 0.f);
        toy->light->setValue((float)((++blocks / 20) % 2));
    }
    ToyEditor* toy;
    int blocks = 0;
};

// The host's audio thread: blocks one after another until stopped.
class AudioThread {
public:
    explicit AudioThread(AEffect* fx)
        : thread([this, fx] {
              std::vector<std::vector<float>> buffers(24, std::vector<float>(64));
              std::vector<float*> ins, outs;
              for (int i = 0; i < 24; ++i) (i < 12 ? ins : outs).push_back(buffers[(size_t)i].data());
              while (!stop) {
                  fx->processReplacing(fx, ins.data(), outs.data(), 64);
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              }
          }) {}
    ~AudioThread() {
        stop = true;
        thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

// The host side: a top-level window and the editor of `fx` inside it, reached only
// through the dispatcher.
class EditorHost {
public:
    EditorHost(AEffect* fx, int x) : fx(fx) {
        display = XOpenDisplay(nullptr);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), x, 0, 1010, 622, 0, 0,
                                     WhitePixel(display, DefaultScreen(display)));
        XMapWindow(display, parent);
        XSync(display, False);
    }
    ~EditorHost() {
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    VstIntPtr dispatch(VstInt32 op, void* ptr = nullptr) { return fx->dispatcher(fx, op, 0, 0, ptr, 0.f); }
    bool open() { return dispatch(effEditOpen, (void*)(uintptr_t)parent) != 0; }
    void close() { dispatch(effEditClose); }
    void idle() { dispatch(effEditIdle); }
    int children() {
        Window root, par, *kids = nullptr;
        unsigned n = 0;
        XQueryTree(display, parent, &root, &par, &kids, &n);
        if (kids) XFree(kids);
        return (int)n;
    }
    // 0xRRGGBB at (x, y) of the host window as the screen shows it.
    unsigned long pixel(int x, int y) {
        XImage* img = XGetImage(display, parent, x, y, 1, 1, AllPlanes, ZPixmap);
        unsigned long p = XGetPixel(img, 0, 0) & 0xffffff;
        XDestroyImage(img);
        return p;
    }
    std::set<unsigned long> colours(int step = 7) {
        XImage* img = XGetImage(display, parent, 0, 0, 1010, 622, AllPlanes, ZPixmap);
        std::set<unsigned long> out;
        for (int y = 0; y < 622; y += step)
            for (int x = 0; x < 1010; x += step) out.insert(XGetPixel(img, x, y) & 0xffffff);
        XDestroyImage(img);
        return out;
    }
    // The editor covers the whole (white) host window with more than one colour.
    void expectEditorPainted() {
        EXPECT_NE(pixel(0, 0), 0xffffffu);
        EXPECT_NE(pixel(1009, 621), 0xffffffu);
        EXPECT_NE(pixel(505, 311), 0xffffffu);
        EXPECT_GE(colours().size(), 2u) << "not a flat image";
    }
    // Idles until the pixel shows `want`, as a host idles; false when it never does.
    bool idleUntil(int x, int y, unsigned long want) {
        for (int i = 0; i < 300; ++i) {
            idle();
            if (pixel(x, y) == want) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void xdotool(const std::string& args) {
        const std::string cmd = "xdotool " + args + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    std::string win() const { return std::to_string(parent); }

    AEffect* fx;
    Display* display;
    Window parent;
};

constexpr unsigned long kPanel = 0x3c3c5a, kRedPx = 0xff0000, kGreenPx = 0x00ff00, kBluePx = 0x0000ff,
                        kWhitePx = 0xffffff;

class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTool("Xvfb") || !haveTool("xdotool")) {
            GTEST_SKIP() << "Xvfb or xdotool not installed";
        }
        if (!server.start()) {
            GTEST_SKIP() << "Xvfb did not start";
        }
    }
    Xvfb server;
};

}  // namespace

TEST_F(RealWindow, EditorOpensClicksDragsClosesAndReopens) {
    ToyEffect fx;
    EditorHost host(fx.getAeffect(), 0);
    ERect* r = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, &r), 1);
    EXPECT_EQ(r->right - r->left, 1010);
    EXPECT_EQ(r->bottom - r->top, 622);

    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.children(), 1);
    ASSERT_TRUE(host.idleUntil(220, 170, kRedPx)) << "the first idle paints the editor";
    EXPECT_EQ(host.pixel(5, 5), kPanel);
    EXPECT_GE(host.colours().size(), 3u) << "not a flat image";

    // A click on the button turns it on; only the button's pixels change.
    host.xdotool("mousemove --window " + host.win() + " 220 170 click 1");
    ASSERT_TRUE(host.idleUntil(220, 170, kGreenPx));
    EXPECT_EQ(fx.toy->button->getValue(), 1.f);
    EXPECT_EQ(host.pixel(199, 170), kPanel);
    EXPECT_EQ(host.pixel(240, 170), kPanel);
    EXPECT_EQ(host.pixel(525, 325), 0u) << "knob untouched at frame 0";

    // A drag of 100 pixels up turns the knob half way: frame 2 of 5.
    host.xdotool("mousemove --window " + host.win() + " 525 325 mousedown 1");
    host.xdotool("mousemove --window " + host.win() + " 525 275");
    host.xdotool("mousemove --window " + host.win() + " 525 225 mouseup 1");
    ASSERT_TRUE(host.idleUntil(525, 325, kGreenPx));
    EXPECT_NEAR(fx.toy->knob->getValue(), 0.5f, 1e-5);

    // Clicked, the key catcher takes the keyboard; typed keys reach it.
    host.xdotool("mousemove --window " + host.win() + " 750 415 click 1");
    for (int i = 0; i < 10; ++i) host.idle();
    host.xdotool("type --delay 20 'Hi 7'");
    host.xdotool("key Return");
    for (int i = 0; i < 300 && fx.toy->keys->typed.size() < 9; ++i) {
        host.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(fx.toy->keys->typed, "Hi 7<ret>");

    // Closing takes the window away; reopening shows the same state again.
    host.close();
    XSync(host.display, False);
    EXPECT_EQ(host.children(), 0);
    host.idle();  // idle with the window closed is harmless
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.children(), 1);
    EXPECT_TRUE(host.idleUntil(220, 170, kGreenPx));
    EXPECT_TRUE(host.idleUntil(525, 325, kGreenPx));
    host.close();
}

TEST_F(RealWindow, TwoInstancesOpenAtOnceAndCloseInAnyOrder) {
    ToyEffect a, b;
    EditorHost hostA(a.getAeffect(), 0), hostB(b.getAeffect(), 1100);
    ASSERT_TRUE(hostA.open());
    ASSERT_TRUE(hostB.open());
    ASSERT_TRUE(hostA.idleUntil(220, 170, kRedPx));
    ASSERT_TRUE(hostB.idleUntil(220, 170, kRedPx));
    // A click in B's window reaches B only.
    hostB.xdotool("mousemove --window " + hostB.win() + " 220 170 click 1");
    ASSERT_TRUE(hostB.idleUntil(220, 170, kGreenPx));
    hostA.idle();
    EXPECT_EQ(a.toy->button->getValue(), 0.f);
    EXPECT_EQ(hostA.pixel(220, 170), kRedPx);
    // Closing the first leaves the second working.
    hostA.close();
    hostB.xdotool("mousemove --window " + hostB.win() + " 220 170 click 1");
    EXPECT_TRUE(hostB.idleUntil(220, 170, kRedPx));
    hostB.close();
    // A parent that is no window gives no editor, and no crash.
    EXPECT_FALSE(hostA.dispatch(effEditOpen, (void*)(uintptr_t)0x7ffffff));
}

TEST_F(RealWindow, LightsTheAudioThreadWritesAreShownByIdle) {
    ToyEffect fx;
    EditorHost host(fx.getAeffect(), 0);
    ASSERT_TRUE(host.open());
    {
        AudioThread audio(fx.getAeffect());
        // The light blinks while the editor only idles: both looks show up in turn.
        for (int blink = 0; blink < 3; ++blink) {
            SCOPED_TRACE(blink);
            ASSERT_TRUE(host.idleUntil(710, 110, kWhitePx));
            ASSERT_TRUE(host.idleUntil(710, 110, kBluePx));
        }
        // Closing and reopening while audio runs.
        host.close();
        ASSERT_TRUE(host.open());
        ASSERT_TRUE(host.idleUntil(710, 110, kWhitePx));
    }
    host.close();
}

TEST_F(RealWindow, HostWindowDestroyedBeforeTheEditorCloses) {
    ToyEffect fx;
    auto host = std::make_unique<EditorHost>(fx.getAeffect(), 0);
    ASSERT_TRUE(host->open());
    host->idle();
    // Some hosts tear their window down first; the editor's window goes with it and
    // the late close must not take the host down.
    XDestroyWindow(host->display, host->parent);
    XSync(host->display, False);
    host->idle();
    host->close();
    host->parent = XCreateSimpleWindow(host->display, DefaultRootWindow(host->display), 0, 0, 1010, 622, 0, 0, 0);
    XMapWindow(host->display, host->parent);
    XSync(host->display, False);
    ASSERT_TRUE(host->open());
    EXPECT_TRUE(host->idleUntil(220, 170, kRedPx));
    host->close();
}

// The plug-in itself, loaded the way a host loads it.
TEST_F(RealWindow, PluginEditorThroughTheDispatcher) {
    render::VstHost plugin;
    ASSERT_TRUE(plugin.load(VANTOREL_SO)) << plugin.error();
    ASSERT_TRUE(plugin.open(48000.0, 512)) << plugin.error();
    EditorHost host(plugin.effect(), 0);
    ERect* r = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, &r), 1);
    EXPECT_EQ(r->right - r->left, 1010);
    EXPECT_EQ(r->bottom - r->top, 622);
    ASSERT_TRUE(host.open());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(host.children(), 1);
        for (int i = 0; i < 20; ++i) host.idle();
        host.expectEditorPainted();
        host.close();
        XSync(host.display, False);
        EXPECT_EQ(host.children(), 0);
        if (round == 0) {
            ASSERT_TRUE(host.open());
        }
    }
}

// The plug-in object of this build, its editor opened through the dispatcher while
// another thread renders audio the whole time (the race check under ThreadSanitizer).
TEST_F(RealWindow, PluginObjectEditorWhileAudioRenders) {
    Vantorel plugin(nullptr);
    plugin.open();
    plugin.setSampleRate(48000.f);
    // Running modules, so the audio thread writes their lights while the editor draws.
    for (auto [name, x] : {std::pair<const char*, int>{"S515 VCLFO", 0}, {"S500 ADSR", 120}, {"S310 VCO", 240}})
        plugin.editor->setAlwaysOn(plugin.editor->createModuleAt(name, x, 0), true);
    EditorHost host(plugin.getAeffect(), 0);
    AudioThread audio(plugin.getAeffect());
    ASSERT_TRUE(host.open());
    // The add-row button at the top bar's right end, clicked as a musician would.
    host.xdotool("mousemove --window " + host.win() + " 982 21 click 1");
    for (int i = 0; i < 200 && plugin.editor->rowCount != 4; ++i) {
        host.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(plugin.editor->rowCount, 4);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 30; ++i) {
            host.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        host.expectEditorPainted();
        host.close();
        ASSERT_TRUE(host.open());
        EXPECT_EQ(plugin.editor->rowCount, 4);
        EXPECT_EQ(plugin.editor->rackModules.size(), 3);
    }
    host.close();
}

namespace {

// The pixels of a window rectangle, for before/after comparisons.
std::vector<unsigned long> area(Display* d, ::Window w, const CRect& r) {
    XImage* img = XGetImage(d, w, r.left, r.top, (unsigned)r.width(), (unsigned)r.height(), AllPlanes, ZPixmap);
    std::vector<unsigned long> out;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) out.push_back(XGetPixel(img, x, y) & 0xffffff);
    XDestroyImage(img);
    return out;
}

}  // namespace

// The module menu and the cable colour menu open and close on real clicks; the screen
// shows them and shows the rack again after.
TEST_F(RealWindow, MenusOpenAndCloseOnRealClicks) {
    Vantorel plugin(nullptr);
    plugin.open();
    plugin.setSampleRate(48000.f);
    EditorHost host(plugin.getAeffect(), 0);
    ASSERT_TRUE(host.open());
    SynEditor* editor = plugin.editor;
    auto idleFor = [&](int rounds, const std::function<bool()>& done) {
        for (int i = 0; i < rounds && !done(); ++i) {
            host.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (int i = 0; i < 10; ++i) host.idle();
        XSync(host.display, False);
    };
    idleFor(20, [] { return false; });

    // Below the module-menu button, where its pop-up appears.
    const CRect menuArea(12, 60, 120, 180);
    const auto before = area(host.display, host.parent, menuArea);
    host.xdotool("mousemove --window " + host.win() + " 27 20 click 1");
    idleFor(200, [&] { return editor->getModuleMenu()->isPopupOpen(); });
    ASSERT_TRUE(editor->getModuleMenu()->isPopupOpen());
    EXPECT_NE(area(host.display, host.parent, menuArea), before) << "the pop-up is not on screen";

    host.xdotool("mousemove --window " + host.win() + " 700 450 click 1");
    idleFor(200, [&] { return !editor->getModuleMenu()->isPopupOpen(); });
    EXPECT_FALSE(editor->getModuleMenu()->isPopupOpen());
    EXPECT_EQ(area(host.display, host.parent, menuArea), before) << "the rack did not come back";

    // A right click on empty rack space: the colour menu at the mouse.
    const CRect colourArea(602, 402, 660, 500);
    const auto rack = area(host.display, host.parent, colourArea);
    host.xdotool("mousemove --window " + host.win() + " 600 400 click 3");
    idleFor(200, [&] { return editor->getCableColourMenu()->isPopupOpen(); });
    ASSERT_TRUE(editor->getCableColourMenu()->isPopupOpen());
    EXPECT_NE(area(host.display, host.parent, colourArea), rack);
    host.xdotool("mousemove --window " + host.win() + " 300 300 click 1");
    idleFor(200, [&] { return !editor->getCableColourMenu()->isPopupOpen(); });
    EXPECT_FALSE(editor->getCableColourMenu()->isPopupOpen());
    EXPECT_EQ(area(host.display, host.parent, colourArea), rack);
    host.close();
}
