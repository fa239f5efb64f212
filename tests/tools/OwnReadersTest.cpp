// The MIDI and WAV readers of our own (what the Windows build uses) against the libraries
// the Linux build uses, on the same files.
#include "render/MidiFile.h"
#include "render/SmfParser.h"
#include "render/WavFile.h"
#include "render/WavFormat.h"
#include "TestSupport.h"

#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

using namespace render;
using testsupport::TempDir;

namespace {

using Bytes = std::vector<uint8_t>;

// The bytes end exactly where an unreadable page begins, so a read past them crashes the
// test instead of passing unnoticed.
class GuardedCopy {
public:
    explicit GuardedCopy(const Bytes& bytes) {
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        dataPages_ = (bytes.size() + page - 1) / page * page;
        mapped_ = dataPages_ + page;
        base_ = static_cast<uint8_t*>(
            ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED) throw std::runtime_error("mmap failed");
        ::mprotect(base_ + dataPages_, page, PROT_NONE);
        data_ = base_ + dataPages_ - bytes.size();
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedCopy() { ::munmap(base_, mapped_); }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t dataPages_ = 0, mapped_ = 0, size_ = 0;
};

Bytes be(uint32_t v, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

Bytes& operator+=(Bytes& a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A Standard MIDI File around raw track bodies (delta times and events as written).
Bytes smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
    Bytes f = {'M', 'T', 'h', 'd'};
    f += be(6, 4);
    f += be(format, 2);
    f += be(uint32_t(tracks.size()), 2);
    f += be(division, 2);
    for (const Bytes& t : tracks) {
        f += {'M', 'T', 'r', 'k'};
        f += be(uint32_t(t.size()), 4);
        f += t;
    }
    return f;
}

MidiSequence parsed(const Bytes& file) {
    MidiSequence seq;
    std::string error;
    const GuardedCopy copy(file);
    EXPECT_TRUE(parseMidiFile(copy.data(), copy.size(), seq, error)) << error;
    return seq;
}

MidiSequence fromLibrary(const Bytes& file, const TempDir& dir) {
    const std::string path = dir.file("library.mid");
    testsupport::writeFile(path, std::string(file.begin(), file.end()));
    MidiSequence seq;
    std::string error;
    EXPECT_TRUE(readMidiFile(path, seq, error)) << error;
    return seq;
}

void expectSameSequence(const MidiSequence& own, const MidiSequence& library) {
    ASSERT_EQ(own.events.size(), library.events.size());
    for (size_t i = 0; i < own.events.size(); ++i) {
        const TimedMidi &a = own.events[i], &b = library.events[i];
        EXPECT_NEAR(a.seconds, b.seconds, 1e-9) << "event " << i;
        ASSERT_EQ(a.size, b.size) << "event " << i;
        EXPECT_EQ(Bytes(a.bytes, a.bytes + a.size), Bytes(b.bytes, b.bytes + b.size)) << "event " << i;
    }
    EXPECT_NEAR(own.lengthSeconds, library.lengthSeconds, 1e-9);
}

void expectEveryPrefixRejected(const Bytes& file) {
    for (size_t n = 0; n < file.size(); ++n) {
        const GuardedCopy copy(Bytes(file.begin(), file.begin() + long(n)));
        MidiSequence seq;
        std::string error;
        EXPECT_FALSE(parseMidiFile(copy.data(), copy.size(), seq, error)) << n << " of " << file.size();
        EXPECT_FALSE(error.empty());
    }
}

// 60 BPM, notes in running status, a change to 120 BPM, then explicit status again.
const Bytes kRunningStatus = smf(0, 96, {{
    0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // 1 000 000 us per quarter
    0x00, 0x90, 0x3C, 0x64,
    0x60, 0x3E, 0x64,                          // running status, 1 s
    0x60, 0x3C, 0x00,                          // running status, 2 s
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 120 BPM from 2 s
    0x60, 0x80, 0x3E, 0x40,                    // 2.5 s
    0x00, 0xC1, 0x05,
    0x81, 0x40, 0xFF, 0x2F, 0x00}});           // end of track at 3.5 s

// Format 1: the tempo map and a controller in the first track, notes and a sysex in the
// second, one event of each at the same position.
const Bytes kTwoTracks = smf(1, 480, {
    {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,          // 120 BPM
     0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,    // 60 BPM from pulse 480 (0.5 s)
     0x00, 0xB0, 0x07, 0x50,                            // controller at 0.5 s
     0x87, 0x40, 0xFF, 0x2F, 0x00},                     // end at pulse 1440: 2.5 s
    {0x00, 0xFF, 0x03, 0x04, 'b', 'a', 's', 's',
     0x00, 0x91, 0x28, 0x70,
     0x83, 0x60, 0x91, 0x2B, 0x70,                      // 0.5 s, after the controller
     0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7,
     0x83, 0x60, 0x81, 0x28, 0x00,                      // pulse 960: 1.5 s
     0x00, 0xFF, 0x2F, 0x00}});

}  // namespace

TEST(OwnMidiReader, GivesTheLibrarysEventsOnTheDemoAndHandMadeFiles) {
    TempDir dir;
    std::vector<uint8_t> demo;
    std::string error;
    {
        const std::string text = testsupport::readFile(DEMO_MIDI);
        ASSERT_FALSE(text.empty()) << DEMO_MIDI;
        demo.assign(text.begin(), text.end());
    }
    const MidiSequence bassline = parsed(demo);
    EXPECT_GT(bassline.events.size(), 20u);
    expectSameSequence(bassline, fromLibrary(demo, dir));
    expectSameSequence(parsed(kRunningStatus), fromLibrary(kRunningStatus, dir));
    expectSameSequence(parsed(kTwoTracks), fromLibrary(kTwoTracks, dir));
}

TEST(OwnMidiReader, RunningStatusTempoChangesAndTracksMergeAsWritten) {
    const MidiSequence a = parsed(kRunningStatus);
    const std::vector<std::pair<double, Bytes>> expectA = {
        {0.0, {0x90, 0x3C, 0x64}}, {1.0, {0x90, 0x3E, 0x64}}, {2.0, {0x90, 0x3C, 0x00}},
        {2.5, {0x80, 0x3E, 0x40}}, {2.5, {0xC1, 0x05}}};
    ASSERT_EQ(a.events.size(), expectA.size());
    for (size_t i = 0; i < a.events.size(); ++i) {
        EXPECT_NEAR(a.events[i].seconds, expectA[i].first, 1e-12) << i;
        EXPECT_EQ(Bytes(a.events[i].bytes, a.events[i].bytes + a.events[i].size), expectA[i].second) << i;
    }
    EXPECT_NEAR(a.lengthSeconds, 3.5, 1e-12) << "up to the end-of-track at 160 pulses of 120 BPM";

    const MidiSequence b = parsed(kTwoTracks);
    const std::vector<std::pair<double, uint8_t>> expectB = {
        {0.0, 0x91}, {0.5, 0xB0}, {0.5, 0x91}, {1.5, 0x81}};
    ASSERT_EQ(b.events.size(), expectB.size());
    for (size_t i = 0; i < b.events.size(); ++i) {
        EXPECT_NEAR(b.events[i].seconds, expectB[i].first, 1e-12) << i;
        EXPECT_EQ(b.events[i].bytes[0], expectB[i].second) << i;
    }
    EXPECT_NEAR(b.lengthSeconds, 2.5, 1e-12) << "the longest track sets the length";
}

TEST(OwnMidiReader, DamagedFilesAreRejectedWithoutReadingPastThem) {
    expectEveryPrefixRejected(kRunningStatus);
    expectEveryPrefixRejected(kTwoTracks);

    Bytes missingTrack = kTwoTracks;
    missingTrack[11] = 3;  // three tracks announced, two present
    MidiSequence seq;
    std::string error;
    const GuardedCopy a(missingTrack);
    EXPECT_FALSE(parseMidiFile(a.data(), a.size(), seq, error));

    // A data byte first, with no status to run on.
    const GuardedCopy b(smf(0, 96, {{0x00, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}}));
    EXPECT_FALSE(parseMidiFile(b.data(), b.size(), seq, error));
    EXPECT_NE(error.find("status"), std::string::npos) << error;

    // A track length far past the end of the file, and a delta time longer than four bytes.
    Bytes huge = kRunningStatus;
    huge[18] = 0x7F;
    const GuardedCopy c(huge);
    EXPECT_FALSE(parseMidiFile(c.data(), c.size(), seq, error));
    const GuardedCopy d(smf(0, 96, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64}}));
    EXPECT_FALSE(parseMidiFile(d.data(), d.size(), seq, error));
}

// --- WAV ---------------------------------------------------------------------------------

namespace {

Channels testSignal(size_t numChannels, size_t frames) {
    Channels ch(numChannels, std::vector<float>(frames));
    for (size_t c = 0; c < numChannels; ++c)
        for (size_t i = 0; i < frames; ++i)
            ch[c][i] = float(std::sin(0.001 * double(i * (c + 1)) + double(c))) * 0.9f +
                       (i == 7 ? 1e-30f : 0.0f);
    return ch;
}

Bytes floatWav(const Channels& ch, int rate) {
    Bytes file = floatWavHeader(ch.size(), ch[0].size(), rate);
    for (size_t i = 0; i < ch[0].size(); ++i)
        for (const auto& c : ch) {
            uint32_t raw;
            std::memcpy(&raw, &c[i], 4);
            for (int b = 0; b < 4; ++b) file.push_back(uint8_t(raw >> (8 * b)));
        }
    return file;
}

}  // namespace

TEST(OwnWavFormat, FilesPassBetweenItAndTheLibraryUnchanged) {
    TempDir dir;
    const Channels signal = testSignal(3, 5000);
    std::string error;

    // Ours read by the library.
    const Bytes ours = floatWav(signal, 44100);
    testsupport::writeFile(dir.file("ours.wav"), std::string(ours.begin(), ours.end()));
    Channels read;
    int rate = 0;
    ASSERT_TRUE(readWav(dir.file("ours.wav"), read, rate, error)) << error;
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(read, signal);

    // The library's read by ours: its float files, and integer ones scaled as it scales them.
    ASSERT_TRUE(writeWav(dir.file("lib.wav"), signal, 96000, error)) << error;
    const std::string lib = testsupport::readFile(dir.file("lib.wav"));
    const GuardedCopy libCopy(Bytes(lib.begin(), lib.end()));
    ASSERT_TRUE(parseWav(libCopy.data(), libCopy.size(), read, rate, error)) << error;
    EXPECT_EQ(rate, 96000);
    EXPECT_EQ(read, signal);

    for (int format : {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32}) {
        SF_INFO info{};
        info.samplerate = 22050;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | format;
        const std::string path = dir.file("pcm.wav");
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> interleaved;
        for (size_t i = 0; i < 3000; ++i)
            for (int c = 0; c < 2; ++c) interleaved.push_back(signal[size_t(c)][i]);
        ASSERT_EQ(sf_writef_float(f, interleaved.data(), 3000), 3000);
        sf_close(f);
        Channels library, own;
        ASSERT_TRUE(readWav(path, library, rate, error)) << error;
        const std::string pcm = testsupport::readFile(path);
        const GuardedCopy copy(Bytes(pcm.begin(), pcm.end()));
        ASSERT_TRUE(parseWav(copy.data(), copy.size(), own, rate, error)) << format << ": " << error;
        EXPECT_EQ(rate, 22050);
        EXPECT_EQ(own, library) << "format " << std::hex << format;
    }
}

TEST(OwnWavFormat, DamagedFilesAreRejectedWithoutReadingPastThem) {
    const Bytes file = floatWav(testSignal(2, 40), 48000);
    Channels read;
    int rate = 0;
    std::string error;
    for (size_t n = 0; n < file.size(); ++n) {
        const GuardedCopy copy(Bytes(file.begin(), file.begin() + long(n)));
        EXPECT_FALSE(parseWav(copy.data(), copy.size(), read, rate, error)) << n;
    }
    Bytes wrongAlign = file;
    wrongAlign[32] = 6;  // block size of a frame that is not two floats
    const GuardedCopy a(wrongAlign);
    EXPECT_FALSE(parseWav(a.data(), a.size(), read, rate, error));
    EXPECT_TRUE(floatWavHeader(2, uint64_t(1) << 30, 48000).empty()) << "8 GiB of data in a 4 GiB format";
    EXPECT_FALSE(floatWavHeader(2, (uint64_t(1) << 29) - 8, 48000).empty());
}
