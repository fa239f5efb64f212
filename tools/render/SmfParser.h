// Standard MIDI Files read from memory, with no library: formats 0, 1 and 2, running
// status, tempo maps in any track, metrical or SMPTE time.
#pragma once

#include "render/MidiFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace render {

// The same result as readMidiFile. Reads stay within [data, data + size) whatever the
// bytes claim; false with a one-line reason in error for a malformed or truncated file.
bool parseMidiFile(const uint8_t* data, size_t size, MidiSequence& out, std::string& error);

}  // namespace render
