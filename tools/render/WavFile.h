// 32-bit float WAV files, one std::vector per channel.
#pragma once

#include <string>
#include <vector>

namespace render {

using Channels = std::vector<std::vector<float>>;

// All channels must have the same length. Returns false with a one-line reason in error.
bool writeWav(const std::string& path, const Channels& channels, int sampleRate,
              std::string& error);

bool readWav(const std::string& path, Channels& channels, int& sampleRate, std::string& error);

}  // namespace render
