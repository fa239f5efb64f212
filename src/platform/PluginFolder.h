#pragma once

#include <string>

namespace platform {

// Folder of the shared library that contains this code, with a trailing '/'
// (where "Config.ini" and the presets live). Empty when it cannot be found.
std::string pluginFolder();

}  // namespace platform
