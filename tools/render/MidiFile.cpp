#include "render/MidiFile.h"

#include <smf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace render {

namespace {

// libsmf reports through glib's log; keep its first complaint as our error instead of
// letting it print criticals to stderr.
void captureSmfLog(const gchar*, GLogLevelFlags, const gchar* message, gpointer user) {
    auto* first = static_cast<std::string*>(user);
    if (first->empty() && message) *first = message;
}

}  // namespace

bool readMidiFile(const std::string& path, MidiSequence& out, std::string& error) {
    out = MidiSequence{};
    // libsmf's messages for a missing file or a folder are cryptic, so check those first.
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        error = "cannot open MIDI file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "MIDI file " + path + " is not a file";
        return false;
    }
    std::string smfMessage;
    const guint handler = g_log_set_handler(
        "libsmf", GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
        captureSmfLog, &smfMessage);
    smf_t* smf = smf_load(path.c_str());
    if (!smf) {
        g_log_remove_handler("libsmf", handler);
        error = "cannot read MIDI file " + path + (smfMessage.empty() ? "" : ": " + smfMessage);
        return false;
    }
    out.lengthSeconds = smf_get_length_seconds(smf);
    smf_rewind(smf);
    while (smf_event_t* ev = smf_get_next_event(smf)) {
        const int length = ev->midi_buffer_length;
        if (length < 1 || !ev->midi_buffer) continue;
        const int expected = channelMessageSize(ev->midi_buffer[0]);
        if (expected == 0 || length < expected) continue;
        TimedMidi m;
        m.seconds = ev->time_seconds;
        m.size = uint8_t(expected);
        bool wellFormed = true;
        for (int i = 0; i < expected; ++i) {
            m.bytes[i] = ev->midi_buffer[i];
            if (i > 0 && (m.bytes[i] & 0x80)) wellFormed = false;
        }
        if (wellFormed) out.events.push_back(m);
    }
    smf_delete(smf);
    g_log_remove_handler("libsmf", handler);
    return true;
}

}  // namespace render
