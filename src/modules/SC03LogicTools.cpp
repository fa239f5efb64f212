#include "modules/SC03LogicTools.h"

#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kColumnX[3] = {17, 48, 79};
constexpr int kInvLedX[3] = {27, 58, 89};
constexpr int kGateX[2] = {17, 63};
constexpr int kGateLedX[2] = {38, 84};
constexpr int kGateY[3] = {144, 187, 230};
constexpr const char* kGateLegends[6] = {"AND", "OR", "NAND", "NOR", "XOR", "XNOR"};
constexpr float kHigh = 0.25f;
}  // namespace

SC03LogicTools::SC03LogicTools(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SC03LogicTools.png", kWidth, kHeight)) {
    // Every jack is born an output; the three inputs are turned round afterwards.
    for (int k = 0; k < 3; ++k) ins[k] = legend(addJack(kColumnX[k], 58, kJackOutput), "IN " + std::to_string(k + 1));
    for (int k = 0; k < 3; ++k) invs[k] = legend(addJack(kColumnX[k], 101, kJackOutput),
            "INV " + std::to_string(k + 1));
    for (int g = 0; g < kGateOutputs; ++g) gates[g] = legend(addJack(kGateX[g % 2], kGateY[g / 2], kJackOutput),
            kGateLegends[g]);
    for (PatchPoint* in : ins) in->direction = kJackInput;
    for (int k = 0; k < 3; ++k) invLeds[k] = addLight("led_blue.png", kInvLedX[k], 82);
    for (int g = 0; g < kGateOutputs; ++g)
        gateLeds[g] = addLight("led_blue.png", kGateLedX[g % 2], kGateY[g / 2] - 1);
    addScrews();
    setJackValues(0.f);
}

// Audio thread, lock held.
void SC03LogicTools::process() {
    int highs = 0;
    bool all = true;
    for (int k = 0; k < 3; ++k) {
        const bool h = ins[k]->inValue >= kHigh;
        highs += h;
        // An unpatched input must not pull AND down: only cabled inputs vote.
        if (!h && ins[k]->connectionCount != 0) all = false;
        const float inv = h ? 0.f : 1.f;
        invs[k]->outValue = inv;
        showLight(invLeds[k], inv);
    }
    const float v[kGateOutputs] = {all ? 1.f : 0.f,   highs ? 1.f : 0.f,     all ? 0.f : 1.f,
                                   highs ? 0.f : 1.f, (highs & 1) ? 1.f : 0.f, (highs & 1) ? 0.f : 1.f};
    for (int g = 0; g < kGateOutputs; ++g) {
        gates[g]->outValue = v[g];
        showLight(gateLeds[g], v[g]);
    }
}
