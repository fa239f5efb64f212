// vantorel-render: plays a MIDI file through a VST 2.4 instrument offline into a WAV file.

#include "render/MidiFile.h"
#include "render/VstHost.h"
#include "render/WavFile.h"

#include <getopt.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* kUsage =
    "Usage: vantorel-render --out FILE.wav [options]\n"
    "Renders a VST 2.4 instrument offline.\n"
    "\n"
    "  --plugin PATH     plug-in to load (default: Vantorel.so next to this program)\n"
    "  --chunk FILE      state handed to the plug-in with effSetChunk before rendering\n"
    "  --midi FILE.mid   MIDI file to play (times follow the file's own tempo map)\n"
    "  --tempo BPM       transport tempo reported to the plug-in (default 120)\n"
    "  --rate HZ         sample rate (default 48000)\n"
    "  --block N         block size in frames (default 512)\n"
    "  --seconds S       length (default: MIDI length + 2 s, or 10 s without MIDI)\n"
    "  --channels N      keep the first N output channels (default 2, or fewer if the\n"
    "                    plug-in has fewer)\n"
    "  --prefill VALUE   value output buffers hold before each process call (default 1000)\n"
    "  --out FILE.wav    32-bit float WAV to write (required)\n"
    "  --help            show this help\n";

struct Options {
    std::string plugin, chunk, midi, out;
    double tempo = 120.0;
    double rate = 48000.0;
    double block = 512.0;
    double seconds = -1.0;  // from the MIDI file
    double channels = -1.0;
    double prefill = render::VstHost::kDefaultPrefill;
};

struct Failure {
    std::string message;
};

[[noreturn]] void die(const std::string& message) { throw Failure{message}; }

double number(const char* option, const char* text, double lo, double hi, bool integer) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v) || v < lo || v > hi ||
        (integer && v != std::floor(v)))
        die(std::string("invalid value for --") + option + ": " + text);
    return v;
}

std::string defaultPlugin() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return "Vantorel.so";
    std::string exe(buf, size_t(n));
    const size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/Vantorel.so";
}

// Returns false when the program should stop successfully (--help).
bool parse(int argc, char** argv, Options& o) {
    enum { kPlugin = 1, kChunk, kMidi, kTempo, kRate, kBlock, kSeconds, kChannels, kPrefill, kOut,
           kHelp };
    static const option longOptions[] = {
        {"plugin", required_argument, nullptr, kPlugin},
        {"chunk", required_argument, nullptr, kChunk},
        {"midi", required_argument, nullptr, kMidi},
        {"tempo", required_argument, nullptr, kTempo},
        {"rate", required_argument, nullptr, kRate},
        {"block", required_argument, nullptr, kBlock},
        {"seconds", required_argument, nullptr, kSeconds},
        {"channels", required_argument, nullptr, kChannels},
        {"prefill", required_argument, nullptr, kPrefill},
        {"out", required_argument, nullptr, kOut},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // our own one-line errors instead of getopt's
    int opt;
    while ((opt = getopt_long(argc, argv, ":", longOptions, nullptr)) != -1) {
        switch (opt) {
            case kPlugin: o.plugin = optarg; break;
            case kChunk: o.chunk = optarg; break;
            case kMidi: o.midi = optarg; break;
            case kTempo: o.tempo = number("tempo", optarg, 1.0, 999.0, false); break;
            case kRate: o.rate = number("rate", optarg, 1000.0, 768000.0, true); break;
            case kBlock: o.block = number("block", optarg, 1.0, 65536.0, true); break;
            case kSeconds: o.seconds = number("seconds", optarg, 1e-6, 86400.0, false); break;
            case kChannels: o.channels = number("channels", optarg, 1.0, 256.0, true); break;
            case kPrefill: o.prefill = number("prefill", optarg, -1e30, 1e30, false); break;
            case kOut: o.out = optarg; break;
            case kHelp: std::fputs(kUsage, stdout); return false;
            case ':': die(std::string("option ") + argv[optind - 1] + " needs a value");
            default: die(std::string("unknown option ") + argv[optind - 1] + " (see --help)");
        }
    }
    if (optind < argc) die(std::string("unexpected argument ") + argv[optind] + " (see --help)");
    if (o.out.empty()) die("--out FILE.wav is required (see --help)");
    if (o.plugin.empty()) o.plugin = defaultPlugin();
    return true;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) die("cannot open chunk file " + path + ": " + std::strerror(errno));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) die("chunk file " + path + " is not a file");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) die("cannot read chunk file " + path);
    return bytes;
}

double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void drawProgress(int64_t done, int64_t total) {
    static int shown = -1;
    const int percent = total > 0 ? int(done * 100 / total) : 100;
    if (percent == shown) return;
    shown = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", percent);
    if (done >= total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

int run(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return 0;

    render::MidiSequence midi;
    std::string error;
    if (!o.midi.empty() && !render::readMidiFile(o.midi, midi, error)) die(error);
    const double seconds = o.seconds > 0 ? o.seconds
                           : o.midi.empty() ? 10.0
                                            : midi.lengthSeconds + 2.0;
    const int rate = int(o.rate);
    const int64_t frames = std::max<int64_t>(1, std::llround(seconds * rate));

    render::VstHost host;
    host.setTempo(o.tempo);
    host.setPrefill(true, float(o.prefill));
    if (!host.load(o.plugin)) die(host.error());
    if (host.numOutputs() == 0) die("plug-in " + o.plugin + " has no audio outputs");
    const int channels = o.channels > 0 ? int(o.channels) : std::min(2, host.numOutputs());
    if (channels > host.numOutputs())
        die("--channels " + std::to_string(channels) + " but the plug-in has only " +
            std::to_string(host.numOutputs()) + " outputs");
    if (!host.open(rate, int(o.block))) die(host.error());
    if (!o.chunk.empty() && !host.setChunk(readBytes(o.chunk)))
        die("plug-in rejected the chunk from " + o.chunk);

    const bool showProgress = ::isatty(STDERR_FILENO);
    const double cpuStart = cpuSeconds();
    render::Channels out = host.render(midi.events, frames, {},
                                       showProgress ? render::VstHost::Progress(drawProgress)
                                                    : render::VstHost::Progress());
    const double cpu = cpuSeconds() - cpuStart;
    host.unload();
    if (out.empty()) die(host.error());

    out.resize(size_t(channels));
    if (!render::writeWav(o.out, out, rate, error)) die(error);
    const double audio = double(frames) / rate;
    std::printf("rendered %.2f s of audio in %.3f s CPU (%.0fx real time) -> %s\n", audio, cpu,
                audio / std::max(cpu, 1e-6), o.out.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "vantorel-render: %s\n", f.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorel-render: %s\n", e.what());
    }
    return 1;
}
