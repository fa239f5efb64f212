#include "render/SmfParser.h"

#include <algorithm>

namespace render {

int channelMessageSize(uint8_t status) {
    switch (status & 0xF0) {
        case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: return 3;
        case 0xC0: case 0xD0: return 2;
        default: return 0;
    }
}

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 BPM

struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    bool has(size_t n) const { return size_t(end - p) >= n; }
    uint32_t be(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | *p++;
        return v;
    }
    // Variable-length quantity of at most four bytes (28 bits), as the format allows.
    bool vlq(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (p == end) return false;
            const uint8_t b = *p++;
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
};

struct PulseEvent {
    uint64_t pulses;
    TimedMidi midi;
};

struct TempoChange {
    uint64_t pulses;
    uint32_t usPerQuarter;
};

struct Track {
    std::vector<PulseEvent> events;
    uint64_t endPulses = 0;  // of its last event, end-of-track included
};

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

bool parseTrack(Reader r, int number, Track& track, std::vector<TempoChange>& tempos,
                std::string& error) {
    const std::string where = " in track " + std::to_string(number + 1);
    uint64_t pulses = 0;
    uint8_t running = 0;
    while (r.p < r.end) {
        uint32_t delta;
        if (!r.vlq(delta)) return fail(error, "truncated or malformed delta time" + where);
        pulses += delta;
        track.endPulses = pulses;
        if (!r.has(1)) return fail(error, "event missing after its delta time" + where);
        uint8_t status = *r.p;
        if (status & 0x80) {
            ++r.p;
        } else if (running) {
            status = running;  // running status: the data byte is the event's first
        } else {
            return fail(error, "data byte without a status" + where);
        }
        if (status == 0xFF) {
            if (!r.has(1)) return fail(error, "truncated meta event" + where);
            const uint8_t type = *r.p++;
            uint32_t length;
            if (!r.vlq(length) || !r.has(length)) return fail(error, "truncated meta event" + where);
            if (type == 0x51 && length >= 3) {
                Reader t{r.p, r.p + length};
                const uint32_t us = t.be(3);
                // A zero tempo would stop time; keep the previous one instead.
                if (us > 0) tempos.push_back({pulses, us});
            }
            r.p += length;
            if (type == 0x2F) return true;  // end of track: anything after it is not music
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            uint32_t length;
            if (!r.vlq(length) || !r.has(length)) return fail(error, "truncated sysex event" + where);
            r.p += length;
            continue;
        }
        const int size = channelMessageSize(status);
        if (size == 0) return fail(error, "unexpected status byte in a track" + where);
        running = status;
        if (!r.has(size_t(size - 1))) return fail(error, "truncated channel message" + where);
        PulseEvent e{pulses, {}};
        e.midi.size = uint8_t(size);
        e.midi.bytes[0] = status;
        bool wellFormed = true;
        for (int i = 1; i < size; ++i) {
            e.midi.bytes[i] = *r.p++;
            if (e.midi.bytes[i] & 0x80) wellFormed = false;
        }
        // A status byte where data belongs is a damaged message, not a reason to drop the file.
        if (wellFormed) track.events.push_back(e);
    }
    return true;  // a missing end-of-track is common and harmless
}

}  // namespace

bool parseMidiFile(const uint8_t* data, size_t size, MidiSequence& out, std::string& error) {
    out = MidiSequence{};
    Reader r{data, data + size};
    if (!r.has(14) || std::string(reinterpret_cast<const char*>(data), 4) != "MThd")
        return fail(error, "not a Standard MIDI File");
    r.p += 4;
    const uint32_t headerLength = r.be(4);
    if (headerLength < 6 || !r.has(headerLength)) return fail(error, "truncated MIDI file header");
    const uint8_t* afterHeader = r.p + headerLength;
    const uint32_t format = r.be(2), numTracks = r.be(2), division = r.be(2);
    r.p = afterHeader;
    if (format > 2) return fail(error, "unknown MIDI file format " + std::to_string(format));
    if (division == 0) return fail(error, "MIDI file with no time division");

    std::vector<Track> tracks;
    std::vector<TempoChange> tempos;
    while (tracks.size() < numTracks) {
        if (!r.has(8)) return fail(error, "MIDI file ends before track " + std::to_string(tracks.size() + 1));
        const std::string type(reinterpret_cast<const char*>(r.p), 4);
        r.p += 4;
        const uint32_t length = r.be(4);
        if (!r.has(length)) return fail(error, "truncated track " + std::to_string(tracks.size() + 1));
        const Reader body{r.p, r.p + length};
        r.p += length;
        if (type != "MTrk") continue;  // chunks of other kinds may be skipped
        tracks.emplace_back();
        if (!parseTrack(body, int(tracks.size() - 1), tracks.back(), tempos, error)) return false;
    }

    // Seconds of a pulse position through the tempo map; SMPTE time ignores tempo.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.pulses < b.pulses; });
    const bool smpte = (division & 0x8000) != 0;
    double smpteTick = 0.0;
    if (smpte) {
        const int fps = -int(int8_t(division >> 8));
        const int ticksPerFrame = int(division & 0xFF);
        if (fps <= 0 || ticksPerFrame == 0) return fail(error, "invalid SMPTE time division");
        smpteTick = 1.0 / ((fps == 29 ? 29.97 : double(fps)) * ticksPerFrame);
    }
    // Each tempo change with the time it starts at, so a position costs one search.
    struct Segment {
        uint64_t pulses;
        double seconds;
        double secondsPerPulse;
    };
    std::vector<Segment> map{{0, 0.0, kDefaultTempo / (double(division) * 1e6)}};
    for (const TempoChange& t : tempos) {
        const Segment& last = map.back();
        const double start = last.seconds + double(t.pulses - last.pulses) * last.secondsPerPulse;
        const Segment next{t.pulses, start, t.usPerQuarter / (double(division) * 1e6)};
        if (t.pulses == last.pulses)
            map.back() = next;  // of two changes at one position the later holds
        else
            map.push_back(next);
    }
    const auto secondsAt = [&](uint64_t pulses) {
        if (smpte) return double(pulses) * smpteTick;
        const auto after = std::upper_bound(map.begin(), map.end(), pulses,
                                            [](uint64_t p, const Segment& s) { return p < s.pulses; });
        const Segment& s = *(after - 1);
        return s.seconds + double(pulses - s.pulses) * s.secondsPerPulse;
    };

    // Merged by time; at equal times the earlier track first, each track in file order.
    std::vector<PulseEvent> merged;
    uint64_t endPulses = 0;
    for (const Track& t : tracks) {
        merged.insert(merged.end(), t.events.begin(), t.events.end());
        endPulses = std::max(endPulses, t.endPulses);
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const PulseEvent& a, const PulseEvent& b) { return a.pulses < b.pulses; });
    out.events.reserve(merged.size());
    for (PulseEvent& e : merged) {
        e.midi.seconds = secondsAt(e.pulses);
        out.events.push_back(e.midi);
    }
    out.lengthSeconds = secondsAt(endPulses);
    return true;
}

}  // namespace render
