// The RIFF WAVE layout, with no library: what the tool writes (32-bit float) and what it
// reads back (float, or integer PCM scaled to -1..1).
#pragma once

#include "render/WavFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace render {

// What any WAV writer needs of its channels: at least one, all of one length. False with
// a one-line reason naming `path` in error.
bool checkChannels(const std::string& path, const Channels& channels, std::string& error);

// Header of a 32-bit float file whose sample data follows it directly, interleaved and
// little-endian. Empty when the data would not fit the format's 32-bit sizes.
std::vector<uint8_t> floatWavHeader(size_t numChannels, uint64_t frames, int sampleRate);

// Reads stay within [data, data + size) whatever the bytes claim; false with a one-line
// reason in error for anything malformed, unsupported or truncated.
bool parseWav(const uint8_t* data, size_t size, Channels& channels, int& sampleRate,
              std::string& error);

}  // namespace render
