#include "framework/SharedBitmaps.h"

#include <map>
#include <mutex>

#include "framework/Random.h"
#include "gui/CBitmap.h"

namespace SharedBitmaps {
namespace {

struct Size {
    int w, h;
};

const std::map<std::string, Size>& knownSizes() {
    static const std::map<std::string, Size> sizes = {
        {"minibrute_knob_s.png", {53, 2597}},     {"minibrute_knob_big.png", {79, 7821}},
        {"sknobit_gray_13s.png", {37, 481}},      {"sknobit_gray_13s_fs.png", {37, 481}},
        {"sknobit_gray.png", {37, 1147}},         {"sknobit_gray_5s.png", {37, 185}},
        {"sknobit_gray_7s2.png", {37, 259}},      {"sknobit_gray_11s.png", {37, 407}},
        {"patchpoint1.png", {25, 28}},            {"patchpoint2.png", {26, 29}},
        {"patchpoint3.png", {27, 30}},            {"patchpoint4.png", {28, 31}},
        {"patchpoint5.png", {25, 28}},            {"patchpoint6.png", {26, 29}},
        {"patchpoint7.png", {27, 30}},            {"patchpoint8.png", {28, 31}},
        {"MIDIpp.png", {38, 76}},                 {"screw.png", {16, 160}},
        {"vert_switch_toggle.png", {40, 80}},     {"vert_triple_switch_toggle.png", {40, 120}},
        {"led_blue.png", {12, 60}},               {"led_red.png", {12, 60}},
        {"red_button_small.png", {26, 52}},       {"bb_up.png", {20, 40}},
        {"bb_down.png", {20, 40}},                {"digits_mid_red.png", {13, 220}},
    };
    return sizes;
}

// Only the GUI side touches the cache, but two plug-in instances may be built on
// different host threads.
std::recursive_mutex cacheMutex;
std::map<std::string, CBitmap*> cache;
int generation = 0;
bool loaded = false;

CBitmap* cached(const std::string& name, int w, int h) {
    std::lock_guard<std::recursive_mutex> g(cacheMutex);
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    CBitmap* b = new CBitmap(name, w, h);
    cache.emplace(name, b);
    return b;
}

}  // namespace

CBitmap* get(const std::string& name) {
    auto it = knownSizes().find(name);
    Size s = it != knownSizes().end() ? it->second : Size{0, 0};
    return cached(name, s.w, s.h);
}

CBitmap* panel(const std::string& name, int width, int height) { return cached(name, width, height); }

void load() {
    std::lock_guard<std::recursive_mutex> g(cacheMutex);
    seedRandomFromClock();
    for (const auto& kv : knownSizes()) get(kv.first);
    loaded = true;
    ++generation;
}

void release() {
    std::lock_guard<std::recursive_mutex> g(cacheMutex);
    // Views still holding a bitmap keep it alive through their own reference.
    for (auto& kv : cache) kv.second->forget();
    cache.clear();
    loaded = false;
}

int loadGeneration() { return generation; }
bool isLoaded() { return loaded; }

}  // namespace SharedBitmaps
