// What the panels need to know about the control strips.
#pragma once

#include <string>
#include <utility>

#include "Art.h"

namespace art {

// Width and height of "patchpoint<variant>.png", variant 1 to 8.
std::pair<int, int> jackSize(int variant);
// Visible pixels of a strip's frames, relative to one frame; empty for unknown names.
Box stripBody(const std::string& name);
// The drawn strip of that name, or null.
const Image* stripImage(const std::string& name);

}  // namespace art
