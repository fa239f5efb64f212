// What a host hands the plug-in: timed MIDI messages and chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/MidiFile.h"

namespace fixture {

inline render::TimedMidi midi(double seconds, uint8_t status, uint8_t a, uint8_t b) {
    render::TimedMidi m;
    m.seconds = seconds;
    m.bytes[0] = status;
    m.bytes[1] = a;
    m.bytes[2] = b;
    m.size = 3;
    return m;
}

// A chunk: the preset's place in the library, a NUL, then the preset itself.
inline std::vector<uint8_t> chunkOf(const std::string& reference, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> chunk(reference.begin(), reference.end());
    chunk.push_back(0);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

}  // namespace fixture
