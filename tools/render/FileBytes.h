// Whole files in and out of memory by UTF-8 path, the same on every system.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace render {

// False with a one-line reason naming the file (called `what`, e.g. "chunk file") in error.
bool readFileBytes(const std::string& path, const char* what, std::vector<uint8_t>& bytes,
                   std::string& error);

// `body` writes the file's contents. A file that could not be written completely is
// removed: a shorter one would pass for a finished one.
bool writeFile(const std::string& path, const std::function<void(std::ostream&)>& body,
               std::string& error);

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error);

}  // namespace render
