// Standard MIDI files flattened into a timed list of channel messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// One channel message at an absolute time; size is 1 to 3 bytes.
struct TimedMidi {
    double seconds = 0.0;
    uint8_t bytes[3] = {0, 0, 0};
    uint8_t size = 0;
};

struct MidiSequence {
    std::vector<TimedMidi> events;  // in time order
    double lengthSeconds = 0.0;     // up to the last event, end-of-track included
};

// Bytes of a channel message with this status, 0 for anything else (system, meta, data).
int channelMessageSize(uint8_t status);

// Times follow the file's own tempo map. Metas, sysex and system messages are dropped.
// Returns false with a one-line reason in error.
bool readMidiFile(const std::string& path, MidiSequence& out, std::string& error);

}  // namespace render
