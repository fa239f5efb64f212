#include "render/MidiFile.h"
#include "render/VstHost.h"
#include "render/WavFile.h"
#include "TestSupport.h"

using namespace render;
using testsupport::RunResult;
using testsupport::SmfMessage;
using testsupport::TempDir;

namespace {

SmfMessage note(int pulses, bool on, int key) {
    return {pulses, {(unsigned char)(on ? 0x90 : 0x80), (unsigned char)key, 100}};
}

class RenderTool : public ::testing::Test {
protected:
    RunResult render(const std::string& args) {
        return testsupport::run(std::string("'") + RENDER_EXE + "' " + args, dir);
    }
    void readOut(Channels& channels, int& rate) {
        std::string error;
        ASSERT_TRUE(readWav(dir.file("out.wav"), channels, rate, error)) << error;
    }
    std::string out() const { return " --out '" + dir.file("out.wav") + "'"; }
    TempDir dir;
};

}  // namespace

// --- MIDI files ----------------------------------------------------------------------

TEST(MidiFile, TimesFollowTheFilesTempoMapAndOnlyChannelMessagesRemain) {
    TempDir dir;
    const std::string path = dir.file("tempo.mid");
    ASSERT_NO_FATAL_FAILURE(testsupport::writeSmf(
        path, {testsupport::tempoChange(0, 60.0),
               {0, {0xFF, 0x03, 0x04, 'l', 'e', 'a', 'd'}},    // track name
               {0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},      // sysex
               {0, {0xC3, 0x05}},                              // program change
               note(480, true, 60),                            // 1 s at 60 BPM
               testsupport::tempoChange(960, 120.0),
               {960, {0xB0, 0x07, 0x64}},                      // 2 s
               {1200, {0xE1, 0x00, 0x40}},                     // 2.25 s at 120 BPM
               note(1440, false, 60)}));                       // 2.5 s

    MidiSequence seq;
    std::string error;
    ASSERT_TRUE(readMidiFile(path, seq, error)) << error;
    ASSERT_EQ(seq.events.size(), 5u);
    const double times[] = {0.0, 1.0, 2.0, 2.25, 2.5};
    const std::vector<uint8_t> bytes[] = {
        {0xC3, 0x05}, {0x90, 60, 100}, {0xB0, 0x07, 0x64}, {0xE1, 0x00, 0x40}, {0x80, 60, 100}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(seq.events[i].seconds, times[i], 1e-9) << "event " << i;
        EXPECT_EQ(std::vector<uint8_t>(seq.events[i].bytes, seq.events[i].bytes + seq.events[i].size),
                  bytes[i]) << "event " << i;
    }
    EXPECT_NEAR(seq.lengthSeconds, 2.5, 1e-9);
}

TEST(MidiFile, UnreadableFilesAreReportedNotPrinted) {
    TempDir dir;
    MidiSequence seq;
    std::string error;
    EXPECT_FALSE(readMidiFile(dir.file("none.mid"), seq, error));
    EXPECT_NE(error.find("none.mid"), std::string::npos) << error;

    EXPECT_FALSE(readMidiFile(dir.file(""), seq, error));
    EXPECT_NE(error.find("not a file"), std::string::npos) << error;

    const std::string junk = dir.file("junk.mid");
    testsupport::writeFile(junk, "MThd but not really a MIDI file");
    EXPECT_FALSE(readMidiFile(junk, seq, error));
    EXPECT_NE(error.find("junk.mid"), std::string::npos) << error;
}

// --- The render tool ---------------------------------------------------------------------

TEST_F(RenderTool, PlaysAMonoSynthAtThePitchOfTheNotes) {
    if (!std::filesystem::exists(NEKOBI_SO)) GTEST_SKIP() << NEKOBI_SO << " not installed";
    // A3 from 0.5 s to 1.5 s, E4 from 2 s to 3 s (120 BPM, 480 pulses per quarter note).
    const std::string midi = dir.file("notes.mid");
    ASSERT_NO_FATAL_FAILURE(testsupport::writeSmf(
        midi, {note(480, true, 57), note(1440, false, 57), note(1920, true, 64),
               note(2880, false, 64)}));
    const RunResult r = render(std::string("--plugin ") + NEKOBI_SO + " --midi '" + midi + "'" +
                               " --rate 44100 --block 300" + out());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rendered 5.00 s of audio"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("real time"), std::string::npos) << r.out;

    Channels wav;
    int rate = 0;
    ASSERT_NO_FATAL_FAILURE(readOut(wav, rate));
    ASSERT_EQ(rate, 44100);
    ASSERT_GE(wav.size(), 1u);
    const std::vector<float>& x = wav[0];
    ASSERT_EQ(x.size(), size_t(5 * 44100)) << "MIDI length (3 s) + 2 s";
    const auto at = [&](double s) { return size_t(s * rate); };
    for (float v : x) ASSERT_LT(std::abs(v), 100.0f) << "stale buffer contents reached the file";

    const double quiet = testsupport::rms(x, 0, at(0.45));
    const double first = testsupport::rms(x, at(0.6), at(1.4));
    const double second = testsupport::rms(x, at(2.1), at(2.9));
    EXPECT_GT(first, 0.01);
    EXPECT_GT(second, 0.01);
    EXPECT_LT(quiet, first * 0.01) << "sound before the first note";
    EXPECT_NEAR(testsupport::fundamentalHz(x, at(0.7), at(1.3), rate), 220.0, 220.0 * 0.03);
    EXPECT_NEAR(testsupport::fundamentalHz(x, at(2.2), at(2.8), rate), 329.63, 329.63 * 0.03);
}

TEST_F(RenderTool, EmptyVantorelRackRendersExactSilence) {
    // No --plugin: the tool finds Vantorel.so beside itself.
    const RunResult r = render(out());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rendered 10.00 s of audio"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << "no progress bar without a terminal: " << r.err;
    Channels wav;
    int rate = 0;
    ASSERT_NO_FATAL_FAILURE(readOut(wav, rate));
    EXPECT_EQ(rate, 48000);
    ASSERT_EQ(wav.size(), 2u);
    for (const auto& ch : wav) {
        ASSERT_EQ(ch.size(), 480000u);
        for (size_t i = 0; i < ch.size(); ++i) ASSERT_EQ(ch[i], 0.0f) << "sample " << i;
    }
}

TEST_F(RenderTool, OptionsReachTheHostAndTheFile) {
    // 0.25 s at 44.1 kHz is frame 11025, which blocks of 100 put at offset 25 of block 110.
    const std::string midi = dir.file("one.mid");
    ASSERT_NO_FATAL_FAILURE(testsupport::writeSmf(midi, {note(240, true, 72)}));
    RunResult r = render(std::string("--plugin ") + PROBE_SO + " --midi '" + midi +
                         "' --rate 44100 --block 100 --seconds 0.5 --prefill 3" + out());
    ASSERT_EQ(r.status, 0) << r.err;
    Channels wav;
    int rate = 0;
    ASSERT_NO_FATAL_FAILURE(readOut(wav, rate));
    ASSERT_EQ(wav.size(), 2u) << "two channels unless asked otherwise";
    ASSERT_EQ(wav[0].size(), 22050u);
    for (size_t i = 0; i < wav[0].size(); ++i) {
        ASSERT_EQ(wav[0][i], i == 11025 ? 72.0f : 0.0f) << "frame " << i;
        ASSERT_EQ(wav[1][i], float(i)) << "transport at frame " << i;
    }

    r = render(std::string("--plugin ") + PROBE_SO + " --seconds 0.02 --tempo 90 --channels 5" + out());
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NO_FATAL_FAILURE(readOut(wav, rate));
    ASSERT_EQ(wav.size(), 5u);
    EXPECT_EQ(wav[4][0], VstHost::kDefaultPrefill) << "the probe never writes its last output";
    EXPECT_EQ(wav[2][511], 0.0f) << "ppq of the first block";
    EXPECT_FLOAT_EQ(wav[2][512], float(512 / 48000.0 * 1.5)) << "ppq of the second block at 90 BPM";

    const std::string chunk = dir.file("state.bin");
    testsupport::writeFile(chunk, "PRB-state");
    r = render(std::string("--plugin ") + PROBE_SO + " --seconds 0.01 --chunk '" + chunk + "'" + out());
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(RenderTool, FailuresExitNonZeroWithOneLine) {
    const std::string chunk = dir.file("foreign.bin");
    testsupport::writeFile(chunk, "not the probe's format");
    const std::string probe = std::string(" --plugin ") + PROBE_SO;
    const struct {
        std::string args, expect;
    } cases[] = {
        {probe + " --seconds 1", "--out"},
        {" --plugin '" + dir.file("missing.so") + "'" + out(), "missing.so"},
        {probe + " --chunk '" + chunk + "'" + out(), "rejected"},
        {probe + " --chunk '" + dir.file("nochunk.bin") + "'" + out(), "nochunk.bin"},
        {probe + " --midi '" + dir.file("nomidi.mid") + "'" + out(), "nomidi.mid"},
        {probe + " --channels 6" + out(), "only 5 outputs"},
        {probe + " --rate fast" + out(), "--rate"},
        {probe + " --block 0" + out(), "--block"},
        {probe + " --seconds -3" + out(), "--seconds"},
        {probe + " --bogus 1" + out(), "--bogus"},
        {probe + " --tempo" , "--tempo"},
        {probe + " --seconds 0.1 --out '" + dir.file("no/such/dir.wav") + "'", "dir.wav"},
    };
    for (const auto& c : cases) {
        const RunResult r = render(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav"))) << "no file from a failed run";

    const RunResult help = render("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--midi"), std::string::npos);
}

TEST_F(RenderTool, InfoDescribesThePluginAndRendersNothing) {
    RunResult r = render(std::string("--info --plugin ") + PROBE_SO);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"inputs: 1\n", "outputs: 5\n", "parameters: 4\n", "synth: yes\n",
                             "chunks: yes\n", "editor: no\n", "unique ID: Prbe (0x50726265)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;

    r = render("--info" + out());  // the plug-in beside the tool
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"name: Vantorel\n", "inputs: 10\n", "outputs: 12\n", "parameters: 1000\n",
                             "flags: 0x00000131\n", "VST version: 2400\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav"))) << "--info renders nothing";
}

TEST_F(RenderTool, SavedChunkIsThePluginsStateAfterLoading) {
    const std::string chunk = dir.file("state.bin"), saved = dir.file("saved.bin");
    testsupport::writeFile(chunk, std::string("PRB-state\0with a NUL", 20));
    const std::string probe = std::string(" --plugin ") + PROBE_SO;
    RunResult r = render(probe + " --chunk '" + chunk + "' --save-chunk '" + saved + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readFile(saved), testsupport::readFile(chunk));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));

    // With --out as well, the render happens too.
    std::filesystem::remove(saved);
    r = render(probe + " --seconds 0.01 --chunk '" + chunk + "' --save-chunk '" + saved + "'" + out());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readFile(saved), testsupport::readFile(chunk));
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.wav")));

    // A plug-in with no state to give, and a file that cannot be written, fail in one line.
    for (const std::string& args : {probe + " --save-chunk '" + saved + "'",
                                    probe + " --chunk '" + chunk + "' --save-chunk '" +
                                        dir.file("no/such/dir.bin") + "'"}) {
        r = render(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(RenderTool, InputFileReachesThePluginsInputsSampleForSample) {
    const std::string in = dir.file("in.wav");
    std::string error;
    Channels signal(1, std::vector<float>(1000));
    for (size_t i = 0; i < signal[0].size(); ++i) signal[0][i] = float(i % 97) / 97.0f - 0.5f;
    ASSERT_TRUE(writeWav(in, signal, 44100, error)) << error;
    const std::string probe = std::string(" --plugin ") + PROBE_SO + " --in '" + in + "'";

    RunResult r = render(probe + " --rate 44100 --block 64 --channels 4" + out());
    ASSERT_EQ(r.status, 0) << r.err;
    Channels wav;
    int rate = 0;
    ASSERT_NO_FATAL_FAILURE(readOut(wav, rate));
    ASSERT_EQ(wav[3].size(), 1000u + 2 * 44100) << "the input's length + 2 s";
    for (size_t i = 0; i < wav[3].size(); ++i)
        ASSERT_EQ(wav[3][i], i < 1000 ? signal[0][i] : 0.0f) << "frame " << i;

    // Another rate would change pitch and speed; more channels than inputs would be lost.
    r = render(probe + out());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("44100 Hz"), std::string::npos) << r.err;
    ASSERT_TRUE(writeWav(in, Channels(2, signal[0]), 44100, error)) << error;
    r = render(probe + " --rate 44100" + out());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("only 1 inputs"), std::string::npos) << r.err;
}
