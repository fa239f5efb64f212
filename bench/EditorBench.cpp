// What the editor costs the host's GUI thread: a full repaint of the 1010 x 622
// frame over a rack of three full rows of real modules, and the idle pass a host
// makes many times a second when nothing changed.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <set>

#include "BenchRig.h"
#include "framework/ModuleKnob.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "resources/Resources.h"

namespace {

// Modules whose panels stay still when idle (no always-dirty step lights).
const char* const kModules[] = {"S310 VCO",  "S201 VCF",   "S500 ADSR",   "S515 VCLFO",
                                "S101 Mixer", "S404 VCA",  "S212 VCF",    "S602 VC Delay",
                                "S612 Octet Chorus", "S303 Noise", "S905 Slew Limiter", "S302 Dual Sub/Sin VCO"};

// Until the generated art is compiled in, every bitmap without data gets a strip
// of its declared size (translucent, like knob art), so drawing really composites.
void giveArt(CBitmap* b, std::set<CBitmap*>& done) {
    if (!b || done.count(b) || b->getWidth() <= 0 || b->getHeight() <= 0) return;
    done.insert(b);
    if (findResource(b->getName().c_str())) return;
    auto img = COffscreenContext::create(b->getWidth(), b->getHeight());
    img->fillRect(CRect(0, 0, b->getWidth(), b->getHeight()), CColor{90, 100, 120, 230});
    img->setFillColor(CColor{220, 220, 230, 160});
    img->drawEllipse(CRect(2, 2, b->getWidth() - 2, b->getWidth() - 2), kDrawFilled);
    std::vector<uint8_t> png;
    img->encodePng(png);
    b->setPngData(png);
}

void giveArtToTree(CView* v, std::set<CBitmap*>& done) {
    if (v->isTypeOf("CControl")) giveArt(static_cast<CControl*>(v)->getBackground(), done);
    if (v->isTypeOf("CViewContainer")) {
        auto* c = static_cast<CViewContainer*>(v);
        giveArt(c->getBackground(), done);
        for (CView* child : c->getChildren()) giveArtToTree(child, done);
    }
}

// A plug-in whose rack holds three rows filled edge to edge, in a frame of the
// editor's size (the editor's own frame once it builds one without a window).
struct EditorRig {
    EditorRig() {
        SynEditor& editor = rig.editor;
        int name = 0;
        for (int row = 0; row < 3; ++row) {
            int x = 0;
            for (int misses = 0; misses < 3;) {
                Module* m = editor.createModuleAt(kModules[name++ % std::size(kModules)], x, row * 291);
                if (!m) break;
                if (x + m->getWidth() > 960) {
                    editor.deleteModule(m);
                    ++misses;
                    continue;
                }
                x += m->getWidth();
                ++modules;
            }
        }
        editor.open(nullptr);
        frame = editor.getFrame();
        if (!frame) {
            own = new CFrame(CRect(0, 0, 1010, 622), nullptr, nullptr);
            CViewContainer* rack = editor.rackView();
            rack->setViewSize(CRect::fromSize(25, 40, 960, rack->getHeight()));
            own->addView(rack);
            frame = own;
        }
        std::set<CBitmap*> done;
        giveArtToTree(frame, done);
        frame->renderOffscreen();
    }
    ~EditorRig() {
        if (own) {
            own->removeView(rig.editor.rackView(), false);
            own->forget();
        } else {
            rig.editor.close();
        }
    }
    benchrig::Rig rig;
    CFrame* frame = nullptr;
    CFrame* own = nullptr;
    int modules = 0;
};

void BM_FullRedraw(benchmark::State& state) {
    EditorRig e;
    for (auto _ : state) benchmark::DoNotOptimize(e.frame->renderOffscreen());
    state.counters["modules"] = e.modules;
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

void BM_IdleNothingChanged(benchmark::State& state) {
    EditorRig e;
    for (auto _ : state) e.frame->idle();
    if (!e.frame->getDirtyRect().isEmpty()) state.SkipWithError("idle left a dirty region");
}
BENCHMARK(BM_IdleNothingChanged)->Unit(benchmark::kMicrosecond);

// The common busy case: one knob turned (or one light changed) since the last idle.
void BM_IdleOneKnobChanged(benchmark::State& state) {
    EditorRig e;
    Module* m = e.rig.editor.rackModules[0];
    ModuleKnob* knob = m->knob(0);
    float v = 0.f;
    knob->setValue(0.3f);
    const CRect area = e.frame->redrawDirty();
    state.counters["area_px"] = area.width() * area.height();
    for (auto _ : state) {
        v = v > 0.9f ? 0.f : v + 0.05f;
        knob->setValue(v);
        e.frame->idle();
    }
}
BENCHMARK(BM_IdleOneKnobChanged)->Unit(benchmark::kMicrosecond);


// A cable dragged across a patched rack: each mouse move and the idle that repaints
// what it dirtied (the cable's old and new areas, with the cables crossing them).
void BM_CableDragMove(benchmark::State& state) {
    EditorRig e;
    SynEditor& editor = e.rig.editor;
    std::vector<PatchPoint*> ins, outs;
    for (int i = 0; i < editor.rackModules.size(); ++i)
        for (CView* v : editor.rackModules[i]->getChildren())
            if (v->isTypeOf("PatchPoint")) {
                auto* j = static_cast<PatchPoint*>(v);
                if (j->signalType == kSignalAudio) (j->direction == kJackOutput ? outs : ins).push_back(j);
            }
    for (size_t k = 0; k + 1 < outs.size() && k + 1 < ins.size(); k += 2) editor.connectJacks(outs[k], ins[k + 1], 1);
    if (outs.empty() || !editor.getSynFrame()) {
        state.SkipWithError("no jacks or no editor frame");
        return;
    }
    editor.startCableDrag(outs.back(), outs.back()->plugPoint());
    e.frame->renderOffscreen();
    int step = 0;
    long pixels = 0;
    for (auto _ : state) {
        step = (step + 7) % 400;
        editor.cableDragMoved(CPoint(300 + step, 200 + step / 2));
        pixels += (long)e.frame->getDirtyRect().width() * e.frame->getDirtyRect().height();
        e.frame->idle();
    }
    editor.cancelCableDrag();
    state.counters["cables"] = editor.cableTotal;
    state.counters["area_px"] = benchmark::Counter((double)pixels, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CableDragMove)->Unit(benchmark::kMicrosecond);

}  // namespace
