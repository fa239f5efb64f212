#include "modules/S404VCA.h"

#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
constexpr int kLedSize = 12, kLedFrames = 5;
constexpr float kClip = 4.f;
constexpr double kHoldSeconds = 0.2;
constexpr double kGainScale = 20.0;
}  // namespace

S404VCA::S404VCA(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S404VCA.png", kWidth, kHeight)) {
    in1 = addJack(kJackX, 58, kJackInput);
    in2 = addJack(kJackX, 101, kJackInput);
    cvIn = addJack(kJackX, 144, kJackInput);
    xfadeIn = addJack(kJackX, 187, kJackInput);
    mixOut = addJack(kJackX, 230, kJackOutput);
    out1 = addJack(48, 230, kJackOutput);
    out2 = addJack(79, 230, kJackOutput);
    level1 = addKnob(kKnobX, 55, 0.5f);
    level2 = addKnob(kKnobX, 98, 0.5f);
    cvAmount = addKnob(kKnobX, 141, 0.f);
    amp = addKnob(kKnobX, 184, 0.f);

    CBitmap* triple = SharedBitmaps::get("vert_triple_switch_toggle.png");
    const int w = triple->getWidth(), h = triple->getHeight() / 3;
    response = new CVerticalSwitch(CRect::fromSize(36 - w / 2, 256 - h / 2, w, h), editor->controlListener(),
                                   takeParamIndex(), 3, h, 3, triple);
    response->setDefaultValue(0.f);
    bindParam(response);
    addView(response);

    clipLed = new CMovieBitmap(CRect::fromSize(67 - kLedSize / 2, 262 - kLedSize / 2, kLedSize, kLedSize),
                               editor->controlListener(), kTagNoParameter, kLedFrames, kLedSize,
                               SharedBitmaps::get("led_red.png"));
    addView(clipLed);
    addScrews();
    setJackValues(0.f);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
}

void S404VCA::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    holdLength = (int)((double)sampleRate * kHoldSeconds);
}

float S404VCA::limit(double v) {
    float out = (float)v;
    if (out > kClip) out = kClip;
    else if (out < -kClip) out = -kClip;
    else return out;
    if (clipLed->getValue() != 1.f) clipLed->setValue(1.f);
    clipHold = holdLength;
    return out;
}

void S404VCA::process() {
    level1->smoothToValue();
    level2->smoothToValue();
    cvAmount->smoothToValue();
    amp->smoothToValue();
    const double c = cvIn->inValue, k = cvAmount->smoothedValue, a = amp->smoothedValue;
    const float mode = response->getValue();
    double g;
    if (mode < 0.5f) {
        g = c * k + a * a;
    } else if (mode < 1.f) {
        // Exponential: the CV's square, keeping its sign.
        g = c >= 0.0 ? a * a + c * c * k : a * a - c * c * k;
    } else {
        // Logarithmic: the mirror image of the square, steep at first.
        g = c >= 0.0 ? (1.0 - (1.0 - c) * (1.0 - c)) * k + a * a : a * a - (1.0 - (c + 1.0) * (c + 1.0)) * k;
    }
    const float gain = (float)(g * kGainScale);

    float o1 = 0.f, o2 = 0.f, mix = 0.f;
    if (gain > 0.f) {
        o1 = limit((double)in1->inValue * level1->smoothedValue * gain);
        o2 = limit((double)in2->inValue * level2->smoothedValue * gain);
        // No limit on X Fade: beyond +-1 the mix extrapolates.
        const float x = 0.5f - xfadeIn->inValue * 0.5f;
        mix = (1.f - x) * o2 + x * o1;
    }
    out1->outValue = o1;
    out2->outValue = o2;
    mixOut->outValue = mix;
    if (clipHold != 0) --clipHold;
    else if (clipLed->getValue() != 0.f) clipLed->setValue(0.f);
}
