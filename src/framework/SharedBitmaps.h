#pragma once

#include <string>

class CBitmap;

// Bitmaps shared by every module of every plug-in instance in the library, loaded
// by the first open and released by the last close. A headless process that never
// opens still gets them on demand, so panels can always be built.
namespace SharedBitmaps {

// The bitmap of that resource name (known size), owned by the cache: callers that
// keep it call remember() as usual.
CBitmap* get(const std::string& name);
// A module panel: the size comes from the module class.
CBitmap* panel(const std::string& name, int width, int height);

// First open / last close of any instance (counted by the caller).
void load();
void release();
// How many times the shared set was (re)loaded; lets tests see that a second
// instance's open loads nothing.
int loadGeneration();
bool isLoaded();

// Frame heights of the strips modules use.
constexpr int kKnobFrames = 49, kKnobSize = 53;         // "minibrute_knob_s.png"
constexpr int kBigKnobFrames = 99, kBigKnobSize = 79;   // "minibrute_knob_big.png"
constexpr int kSmallKnobSize = 37;                      // the "sknobit_gray" family
constexpr int kScrewFrames = 10, kScrewSize = 16;
constexpr int kMidiJackWidth = 38, kMidiJackHeight = 38;

}  // namespace SharedBitmaps
