// vantorel-render: plays a MIDI file through a VST 2.4 instrument offline into a WAV file.

#include "render/FileBytes.h"
#include "render/MidiFile.h"
#include "render/VstHost.h"
#include "render/WavFile.h"

#include <getopt.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#include "platform/win32/Utf.h"
#else
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
#define PLUGIN_FILE (sizeof(void*) == 8 ? "Vantorel.x64.dll" : "Vantorel.dll")
#define PLUGIN_HELP "Vantorel.x64.dll or Vantorel.dll"
#else
#define PLUGIN_FILE "Vantorel.so"
#define PLUGIN_HELP PLUGIN_FILE
#endif

const char* kUsage =
    "Usage: vantorel-render --out FILE.wav [options]\n"
    "       vantorel-render --chunk FILE --save-chunk FILE [--plugin PATH]\n"
    "       vantorel-render --info [--plugin PATH]\n"
    "Renders a VST 2.4 instrument offline.\n"
    "\n"
    "  --plugin PATH     plug-in to load (default: " PLUGIN_HELP " next to this program)\n"
    "  --info            print the plug-in's channels, parameters, flags, ID and version\n"
    "                    and exit without rendering\n"
    "  --chunk FILE      state handed to the plug-in with effSetChunk before rendering\n"
    "  --save-chunk FILE write the plug-in's state (effGetChunk) to FILE after --chunk;\n"
    "                    without --out nothing is rendered\n"
    "  --midi FILE.mid   MIDI file to play (times follow the file's own tempo map)\n"
    "  --in FILE.wav     audio fed to the plug-in's inputs, channel 1 to input 1 and so on\n"
    "                    (silence after its end); its sample rate must be --rate\n"
    "  --tempo BPM       transport tempo reported to the plug-in (default 120)\n"
    "  --rate HZ         sample rate (default 48000)\n"
    "  --block N         block size in frames (default 512)\n"
    "  --seconds S       length (default: the longer of the MIDI file and --in + 2 s, or\n"
    "                    10 s with neither)\n"
    "  --channels N      keep the first N output channels (default 2, or fewer if the\n"
    "                    plug-in has fewer)\n"
    "  --prefill VALUE   value output buffers hold before each process call (default 1000)\n"
    "  --out FILE.wav    32-bit float WAV to write (required unless --save-chunk or --info)\n"
    "  --help            show this help\n";

struct Options {
    std::string plugin, chunk, saveChunk, midi, in, out;
    bool info = false;
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

#ifdef _WIN32
std::string executablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) return platform::narrow(path.substr(0, n));
        if (path.size() >= 32768) return std::string();
        path.resize(path.size() * 2);
    }
}
#else
std::string executablePath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}
#endif

std::string defaultPlugin() {
    const std::string exe = executablePath();
    const size_t slash = exe.find_last_of("/\\");
    if (slash == std::string::npos) return PLUGIN_FILE;
    return exe.substr(0, slash + 1) + PLUGIN_FILE;
}

// Returns false when the program should stop successfully (--help).
bool parse(int argc, char** argv, Options& o) {
    enum { kPlugin = 1, kChunk, kMidi, kTempo, kRate, kBlock, kSeconds, kChannels, kPrefill, kOut,
           kHelp, kInfo, kSaveChunk, kIn };
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
        {"info", no_argument, nullptr, kInfo},
        {"save-chunk", required_argument, nullptr, kSaveChunk},
        {"in", required_argument, nullptr, kIn},
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
            case kInfo: o.info = true; break;
            case kSaveChunk: o.saveChunk = optarg; break;
            case kIn: o.in = optarg; break;
            case kHelp: std::fputs(kUsage, stdout); return false;
            case ':': die(std::string("option ") + argv[optind - 1] + " needs a value");
            default: die(std::string("unknown option ") + argv[optind - 1] + " (see --help)");
        }
    }
    if (optind < argc) die(std::string("unexpected argument ") + argv[optind] + " (see --help)");
    if (o.out.empty() && o.saveChunk.empty() && !o.info)
        die("--out FILE.wav is required (see --help)");
    if (o.plugin.empty()) o.plugin = defaultPlugin();
    return true;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!render::readFileBytes(path, "chunk file", bytes, error)) die(error);
    return bytes;
}

#ifdef _WIN32
double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    const auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
#else
double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
#endif

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

// What a host learns of the plug-in before opening it, one "name: value" line each.
void printInfo(render::VstHost& host) {
    const vst::AEffect& e = *host.effect();
    const auto text = [&host](vst::VstInt32 opcode) {
        char buf[256] = {};  // far more than any of these strings may take
        host.dispatch(opcode, 0, 0, buf);
        buf[sizeof(buf) - 1] = '\0';
        return std::string(buf);
    };
    const auto yesNo = [&e](vst::VstInt32 flag) { return (e.flags & flag) ? "yes" : "no"; };
    std::string id;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(uint32_t(e.uniqueID) >> shift);
        id += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    std::printf("name: %s\n", text(vst::effGetEffectName).c_str());
    std::printf("vendor: %s\n", text(vst::effGetVendorString).c_str());
    std::printf("product: %s\n", text(vst::effGetProductString).c_str());
    std::printf("inputs: %d\n", int(e.numInputs));
    std::printf("outputs: %d\n", int(e.numOutputs));
    std::printf("parameters: %d\n", int(e.numParams));
    std::printf("programs: %d\n", int(e.numPrograms));
    std::printf("flags: 0x%08x\n", unsigned(e.flags));
    std::printf("synth: %s\n", yesNo(vst::effFlagsIsSynth));
    std::printf("chunks: %s\n", yesNo(vst::effFlagsProgramChunks));
    std::printf("editor: %s\n", yesNo(vst::effFlagsHasEditor));
    std::printf("replacing: %s\n", yesNo(vst::effFlagsCanReplacing));
    std::printf("unique ID: %s (0x%08x)\n", id.c_str(), unsigned(e.uniqueID));
    std::printf("version: %d\n", int(e.version));
    std::printf("vendor version: %lld\n", (long long)host.dispatch(vst::effGetVendorVersion));
    std::printf("VST version: %lld\n", (long long)host.dispatch(vst::effGetVstVersion));
}

int run(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return 0;

    render::VstHost host;
    host.setTempo(o.tempo);
    host.setPrefill(true, float(o.prefill));
    if (o.info) {
        if (!host.load(o.plugin)) die(host.error());
        printInfo(host);
        return 0;
    }

    render::MidiSequence midi;
    std::string error;
    if (!o.midi.empty() && !render::readMidiFile(o.midi, midi, error)) die(error);
    const int rate = int(o.rate);
    render::Channels input;
    double inputSeconds = 0.0;
    if (!o.in.empty()) {
        int inputRate = 0;
        if (!render::readWav(o.in, input, inputRate, error)) die(error);
        // Played at another rate it would come out at another pitch and speed.
        if (inputRate != rate)
            die("input " + o.in + " is at " + std::to_string(inputRate) + " Hz but the render at " +
                std::to_string(rate) + " Hz (see --rate)");
        inputSeconds = input.empty() ? 0.0 : double(input[0].size()) / rate;
    }
    const double seconds = o.seconds > 0                        ? o.seconds
                           : o.midi.empty() && o.in.empty() ? 10.0
                                                            : std::max(midi.lengthSeconds, inputSeconds) + 2.0;
    const int64_t frames = std::max<int64_t>(1, std::llround(seconds * rate));

    if (!host.load(o.plugin)) die(host.error());
    const bool rendering = !o.out.empty();
    if (rendering && host.numOutputs() == 0) die("plug-in " + o.plugin + " has no audio outputs");
    const int channels = o.channels > 0 ? int(o.channels) : std::min(2, host.numOutputs());
    if (rendering && channels > host.numOutputs())
        die("--channels " + std::to_string(channels) + " but the plug-in has only " +
            std::to_string(host.numOutputs()) + " outputs");
    if (input.size() > size_t(host.numInputs()))
        die("input " + o.in + " has " + std::to_string(input.size()) + " channels but the plug-in has only " +
            std::to_string(host.numInputs()) + " inputs");
    if (!host.open(rate, int(o.block))) die(host.error());
    if (!o.chunk.empty() && !host.setChunk(readBytes(o.chunk)))
        die("plug-in rejected the chunk from " + o.chunk);
    if (!o.saveChunk.empty()) {
        // The state as loaded, before any rendering could move it on.
        const std::vector<uint8_t> state = host.getChunk();
        if (state.empty()) die("plug-in " + o.plugin + " gave no chunk to save");
        if (!render::writeFileBytes(o.saveChunk, state, error)) die(error);
        if (!rendering) {
            std::printf("saved a chunk of %zu bytes -> %s\n", state.size(), o.saveChunk.c_str());
            return 0;
        }
    }

    const bool showProgress = stderrIsTerminal();
    const double cpuStart = cpuSeconds();
    render::Channels out = host.render(midi.events, frames, input,
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

int guardedRun(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "vantorel-render: %s\n", f.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorel-render: %s\n", e.what());
    }
    return 1;
}

}  // namespace

#ifdef _WIN32
// The C runtime hands main its arguments in the ANSI code page, which cannot spell every
// file name; the wide command line can, and the tool speaks UTF-8 inside.
int main(int, char**) {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!wide) {
        std::fputs("vantorel-render: cannot read the command line\n", stderr);
        return 1;
    }
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::narrow(wide[i]));
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return guardedRun(argc, argv.data());
}
#else
int main(int argc, char** argv) { return guardedRun(argc, argv); }
#endif
