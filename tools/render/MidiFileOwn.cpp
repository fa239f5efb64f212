// readMidiFile where no MIDI file library is at hand (the Windows build).
#include "render/FileBytes.h"
#include "render/MidiFile.h"
#include "render/SmfParser.h"

namespace render {

bool readMidiFile(const std::string& path, MidiSequence& out, std::string& error) {
    out = MidiSequence{};
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path, "MIDI file", bytes, error)) return false;
    std::string why;
    if (!parseMidiFile(bytes.data(), bytes.size(), out, why)) {
        error = "cannot read MIDI file " + path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace render
