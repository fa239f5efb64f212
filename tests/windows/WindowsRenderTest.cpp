// The Windows builds, run under wine, against the Linux build on this machine: the same
// sound from every factory preset, the same properties through the binary interface,
// chunks that cross between the systems byte for byte, and DLLs that export exactly their
// two entry points and need no compiler runtime beside them.
#include "render/WavFile.h"
#include "support/HostMessages.h"
#include "tools/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

constexpr double kSeconds = 4.0;  // of the demo bass line: every preset has sounded by then
constexpr int kRate = 48000;
constexpr double kTolerance = 1e-5;

// A preset with an S310 VCO: its band-limiting step table is built at start-up with the
// C library's float cos, sin, log and exp, and its pitch with powf. mingw-w64's library
// and glibc differ in the last bit for some arguments, which the oscillator turns into a
// drift of a fraction of a sample at its edges (some thousandths of full scale). Such
// presets are held to the same level, timing and shape instead of sample for sample;
// every other module computes the same to within the tolerance on both systems.
bool passesThroughTheMathLibrary(const std::string& presetBytes) {
    return presetBytes.find("S310 VCO") != std::string::npos;
}
// These process host audio: they are fed a tone on every input.
const std::set<std::string> kProcessInput = {
    "Effects/Auto Pan FX.vtp", "Effects/Echo Chorus FX.vtp", "Effects/Ring Mod FX.vtp",
    "Routing/Host Channels.vtp", "Utilities/Stereo Balance.vtp"};

// --- What is built and what can run it ------------------------------------------------------

struct WindowsBuild {
    int bits = 0;
    std::string dir;      // empty when this width was not built
    std::string objdump;  // of the matching mingw-w64 binutils
    std::string dll() const { return dir + (bits == 64 ? "/Vantorel.x64.dll" : "/Vantorel.dll"); }
    std::string exe() const { return dir + "/vantorel-render.exe"; }
};

WindowsBuild windowsBuild(int bits) {
    WindowsBuild b;
    b.bits = bits;
#ifdef WINDOWS_DIR_64
    if (bits == 64) b = {64, WINDOWS_DIR_64, OBJDUMP_64};
#endif
#ifdef WINDOWS_DIR_32
    if (bits == 32) b = {32, WINDOWS_DIR_32, OBJDUMP_32};
#endif
    return b;
}

bool isExecutable(const std::string& path) {
    return !path.empty() && fs::is_regular_file(path) && ::access(path.c_str(), X_OK) == 0;
}

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && isExecutable(dir + "/" + name)) return dir + "/" + name;
    return std::string();
}

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

// One command with its output kept in files of its own, so runs may overlap; `environment`
// is put in front of it as shell assignments.
RunResult run(const std::vector<std::string>& args, const std::string& logBase,
              const std::string& environment = std::string()) {
    std::string command = environment.empty() ? std::string() : environment + " ";
    for (const std::string& a : args) command += shellQuoted(a) + " ";
    const std::string out = logBase + ".out", err = logBase + ".err";
    const int raw = std::system((command + ">" + shellQuoted(out) + " 2>" + shellQuoted(err) + " </dev/null").c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    r.out = testsupport::readFile(out);
    r.err = testsupport::readFile(err);
    return r;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line;
}

// The loader that runs programs of this width, or empty. Debian's /usr/bin/wine is a
// script that falls back to the 64-bit loader, which cannot start a 32-bit program
// without the 32-bit one beside it, so that loader is looked for by its own name; a
// `wine` elsewhere that is a program rather than such a script is tried on the tool.
std::string wineLoader(const WindowsBuild& build) {
    if (build.bits == 64) {
        for (const std::string& p : {std::string("/usr/lib/wine/wine64"), onPath("wine64")})
            if (isExecutable(p)) return p;
        return std::string();
    }
    if (isExecutable("/usr/lib/wine/wine")) return "/usr/lib/wine/wine";
    const std::string wine = onPath("wine");
    if (wine.empty() || firstLine(wine).rfind("#!", 0) == 0 || build.dir.empty()) return std::string();
    TempDir probe;
    const RunResult r = run({wine, build.exe(), "--help"}, probe.file("probe"));
    return r.status == 0 && r.out.find("Usage") != std::string::npos ? wine : std::string();
}

// The plug-in seeds its random generator from the clock in seconds when it opens. The
// Windows run keeps the real clock (a stopped one would stall wine, whose server times its
// waits by it); the Linux run is then made under a clock stopped at each second the
// Windows run spanned, and the one with the Windows run's seed is the one that matches.
std::string clockStoppedAt(time_t t) {
    const char* lib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
    if (!fs::exists(lib)) return std::string();
    char when[32];
    struct tm utc;
    gmtime_r(&t, &utc);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &utc);
    return std::string("TZ=UTC LD_PRELOAD=") + lib + " FAKETIME='" + when + "' FAKETIME_DONT_FAKE_MONOTONIC=1";
}

// Wine's drive Z: is the root of the Linux file system.
std::string windowsPath(const std::string& path) { return "Z:" + fs::absolute(path).string(); }

// --- One wine prefix and one wineserver for the whole program --------------------------------

class Wine : public ::testing::Environment {
public:
    static std::string loader(int bits) { return bits == 64 ? loader64 : loader32; }

    void SetUp() override {
        ::setenv("WINEPREFIX", WINE_PREFIX, 1);
        ::setenv("WINEDEBUG", "-all", 1);
        // No installer dialogs for the .NET and HTML runtimes, and no display at all.
        ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        // Wine reads the command line in the locale's encoding; one locale for every run
        // also spares the prefix an update whenever it changes.
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        loader64 = wineLoader(windowsBuild(64));
        loader32 = wineLoader(windowsBuild(32));
        const std::string any = !loader64.empty() ? loader64 : loader32;
        if (any.empty()) return;
        const std::string beside = fs::path(any).parent_path() / "wineserver";
        server = isExecutable(beside) ? beside : onPath("wineserver");
        const auto start = std::chrono::steady_clock::now();
        if (!fs::exists(fs::path(WINE_PREFIX) / "system.reg")) {
            const RunResult boot = run({any, "wineboot", "--init"}, std::string(WINE_PREFIX) + "-boot");
            std::cout << "wine prefix " << WINE_PREFIX << " created in "
                      << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
                      << " s (status " << boot.status << ")\n";
        }
        // One server for every run from here on; it ends itself soon after the last
        // client should this program die before TearDown.
        if (!server.empty())
            std::system((shellQuoted(server) + " -p20 </dev/null >/dev/null 2>&1").c_str());
        // Wine brings a prefix up to date (after a wine update, or when 32-bit wine came
        // later) on the first program it runs. That must not be a render under the stopped
        // clock, whose waits would never end.
        run({any, "cmd", "/c", "exit"}, std::string(WINE_PREFIX) + "-update");
    }

    void TearDown() override {
        if (!server.empty()) std::system((shellQuoted(server) + " -k </dev/null >/dev/null 2>&1").c_str());
    }

private:
    static inline std::string loader64, loader32;
    std::string server;
};

// --- The renders -----------------------------------------------------------------------------

std::vector<std::string> factoryPresets() {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(PRESETS_DIR))
        if (e.is_regular_file() && e.path().extension() == ".vtp")
            names.push_back(fs::relative(e.path(), PRESETS_DIR).string());
    std::sort(names.begin(), names.end());
    return names;
}

// The chunk a host would hand over for a preset of the library: its place, a NUL, its bytes.
std::string writeChunkOf(const std::string& preset, const std::string& path) {
    const std::string body = testsupport::readFile(std::string(PRESETS_DIR) + "/" + preset);
    const std::vector<uint8_t> chunk = fixture::chunkOf(preset, std::vector<uint8_t>(body.begin(), body.end()));
    testsupport::writeFile(path, std::string(chunk.begin(), chunk.end()));
    return path;
}

class WindowsRender : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        build = windowsBuild(GetParam());
        if (build.dir.empty()) GTEST_SKIP() << "no " << GetParam() << "-bit Windows build configured";
        loader = Wine::loader(GetParam());
    }

    std::string noWine() const {
        return "no wine loader for " + std::to_string(build.bits) + "-bit programs" +
               (build.bits == 32 ? " (/usr/lib/wine/wine, Debian package wine32)"
                                 : " (/usr/lib/wine/wine64, Debian package wine64)");
    }

    // The Windows tool under wine; paths in the arguments are the caller's to translate.
    RunResult onWindows(std::vector<std::string> args, const std::string& log,
                        const std::string& environment = std::string()) const {
        args.insert(args.begin(), {loader, build.exe()});
        RunResult r = run(args, dir.file(log), environment);
        // The Windows C library ends its lines in CR LF.
        for (std::string* text : {&r.out, &r.err})
            text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
        return r;
    }
    RunResult onLinux(std::vector<std::string> args, const std::string& log,
                      const std::string& environment = std::string()) const {
        args.insert(args.begin(), {RENDER_EXE, "--plugin", VANTOREL_SO});
        return run(args, dir.file(log), environment);
    }

    WindowsBuild build;
    std::string loader;
    TempDir dir;
};

std::map<std::string, std::string> infoFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return fields;
}

}  // namespace

namespace {

struct Difference {
    double largest = 0.0;     // of any sample
    size_t channel = 0, frame = 0;
    double peak = 0.0;        // of the Linux render
    double relativeRms = 0.0; // of the difference, to the Linux render's
    double worstWindowDb = 0.0;  // level mismatch of the worst 10 ms window that sounds
};

Difference compare(const render::Channels& a, const render::Channels& b) {
    Difference d;
    double signal = 0.0, error = 0.0;
    for (size_t c = 0; c < a.size(); ++c) {
        for (size_t s = 0; s < a[c].size(); ++s) {
            const double x = a[c][s], y = b[c][s];
            // A NaN on one side only is the worst difference of all.
            const double diff = std::isnan(x) != std::isnan(y) ? INFINITY : std::isnan(x) ? 0.0 : std::abs(x - y);
            if (diff > d.largest) {
                d.largest = diff;
                d.channel = c;
                d.frame = s;
            }
            d.peak = std::max(d.peak, std::abs(x));
            signal += x * x;
            error += diff * diff;
        }
        constexpr size_t kWindow = kRate / 100;
        for (size_t start = 0; start + kWindow <= a[c].size(); start += kWindow) {
            const double ra = testsupport::rms(a[c], start, start + kWindow);
            const double rb = testsupport::rms(b[c], start, start + kWindow);
            if (std::max(ra, rb) < 1e-3) continue;  // below -60 dB: silence, whatever it holds
            const double db = std::abs(20.0 * std::log10(std::max(ra, 1e-9) / std::max(rb, 1e-9)));
            d.worstWindowDb = std::max(d.worstWindowDb, db);
        }
    }
    d.relativeRms = signal > 0.0 ? std::sqrt(error / signal) : (error > 0.0 ? INFINITY : 0.0);
    return d;
}

}  // namespace

TEST_P(WindowsRender, EveryFactoryPresetSoundsAsOnLinux) {
    if (loader.empty()) GTEST_SKIP() << noWine();
    if (clockStoppedAt(0).empty())
        GTEST_SKIP() << "no libfaketime (Debian package faketime): without the Windows run's clock "
                     << "the Linux run's random generator would have another seed";
    const std::vector<std::string> presets = factoryPresets();
    ASSERT_GE(presets.size(), 24u);
    const std::string seconds = std::to_string(kSeconds);
    // Ten tones a fifth apart, one per input, read by the other system's WAV reader.
    const std::string input = dir.file("input.wav");
    {
        render::Channels tones(10, std::vector<float>(size_t(kSeconds * kRate)));
        for (size_t c = 0; c < tones.size(); ++c)
            for (size_t s = 0; s < tones[c].size(); ++s)
                tones[c][s] = float(0.5 * std::sin(2.0 * M_PI * 110.0 * std::pow(1.5, double(c)) * double(s) / kRate));
        std::string error;
        ASSERT_TRUE(render::writeWav(input, tones, kRate, error)) << error;
    }
    double largestExact = 0.0, largestDrift = 0.0;
    std::cout << build.bits << "-bit against Linux: largest sample difference, difference to signal "
              << "(RMS), worst 10 ms level mismatch\n";
    for (size_t i = 0; i < presets.size(); ++i) {
        const std::string& preset = presets[i];
        const std::string id = std::to_string(i);
        const std::string chunk = writeChunkOf(preset, dir.file("chunk" + id + ".bin"));
        const std::string linuxWav = dir.file("linux" + id + ".wav"), winWav = dir.file("win" + id + ".wav");
        // Both systems at once: the wine run is mostly waiting on its start-up.
        std::vector<std::string> linuxArgs = {"--chunk", chunk, "--midi", DEMO_MIDI, "--seconds", seconds,
                                              "--out", linuxWav};
        // No --plugin: the tool finds the DLL of its own width beside itself.
        std::vector<std::string> windowsArgs = {"--chunk", windowsPath(chunk), "--midi", windowsPath(DEMO_MIDI),
                                                "--seconds", seconds, "--out", windowsPath(winWav)};
        if (kProcessInput.count(preset)) {
            linuxArgs.insert(linuxArgs.end(), {"--in", input});
            windowsArgs.insert(windowsArgs.end(), {"--in", windowsPath(input)});
        }
        const time_t from = std::time(nullptr);
        const RunResult w = onWindows(windowsArgs, "win" + id);
        const time_t to = std::time(nullptr);
        ASSERT_EQ(w.status, 0) << preset << ": " << w.err << w.out;
        render::Channels a, b;
        int rateA = 0, rateB = 0;
        std::string error;
        ASSERT_TRUE(render::readWav(winWav, b, rateB, error)) << error;
        EXPECT_EQ(rateB, kRate);
        ASSERT_EQ(b.size(), 2u) << preset;

        Difference d;
        bool first = true;
        for (time_t t = from; t <= to; ++t) {
            const RunResult l = onLinux(linuxArgs, "linux" + id, clockStoppedAt(t));
            ASSERT_EQ(l.status, 0) << preset << ": " << l.err;
            render::Channels candidate;
            ASSERT_TRUE(render::readWav(linuxWav, candidate, rateA, error)) << error;
            ASSERT_EQ(candidate.size(), b.size()) << preset;
            for (size_t c = 0; c < b.size(); ++c) {
                ASSERT_EQ(candidate[c].size(), size_t(kSeconds * kRate)) << preset;
                ASSERT_EQ(b[c].size(), candidate[c].size()) << preset;
            }
            const Difference here = compare(candidate, b);
            if (first || here.relativeRms < d.relativeRms) {
                d = here;
                a = std::move(candidate);
                first = false;
            }
        }
        const bool drifts =
            passesThroughTheMathLibrary(testsupport::readFile(std::string(PRESETS_DIR) + "/" + preset));
        std::cout << "  " << preset << ": " << d.largest << ", " << d.relativeRms << ", " << d.worstWindowDb
                  << " dB" << (drifts ? " (S310 VCO)" : "") << "\n";
        EXPECT_GT(d.peak, 1e-2) << preset << " is silent on Linux: the comparison would prove nothing";
        const std::string where = preset + ", channel " + std::to_string(d.channel) + ", frame " +
                                  std::to_string(d.frame) + ": Linux " + std::to_string(a[d.channel][d.frame]) +
                                  ", Windows " + std::to_string(b[d.channel][d.frame]);
        if (drifts) {
            // A lost module, a note out of time, another seed or a swapped channel moves
            // whole windows by decibels; the drift stays far below that.
            EXPECT_LT(d.relativeRms, 0.1) << where;
            EXPECT_LT(d.worstWindowDb, 1.0) << where;
            largestDrift = std::max(largestDrift, d.largest);
        } else {
            EXPECT_LE(d.largest, kTolerance) << where;
            largestExact = std::max(largestExact, d.largest);
        }
    }
    std::cout << build.bits << "-bit, largest sample difference: " << largestExact << " where sample-exact, "
              << largestDrift << " through the math library\n";
}

TEST_P(WindowsRender, PropertiesThroughTheInterfaceMatchLinux) {
    if (loader.empty()) GTEST_SKIP() << noWine();
    const RunResult l = onLinux({"--info"}, "linux-info");
    const RunResult w = onWindows({"--info", "--plugin", windowsPath(build.dll())}, "win-info");
    ASSERT_EQ(l.status, 0) << l.err;
    ASSERT_EQ(w.status, 0) << w.err;
    std::map<std::string, std::string> fields = infoFields(w.out);
    EXPECT_EQ(fields["inputs"], "10");
    EXPECT_EQ(fields["outputs"], "12");
    EXPECT_EQ(fields["parameters"], "1000");
    EXPECT_EQ(fields["synth"], "yes");
    EXPECT_EQ(fields["chunks"], "yes");
    EXPECT_EQ(fields["replacing"], "yes");
    EXPECT_EQ(fields["unique ID"], "VnTl (0x566e546c)");
    EXPECT_EQ(fields["VST version"], "2400");
    EXPECT_EQ(w.out, l.out) << "every property, name and version the same on both systems";
}

TEST_P(WindowsRender, ChunksCrossBetweenSystemsByteForByte) {
    if (loader.empty()) GTEST_SKIP() << noWine();
    const std::vector<std::string> presets = factoryPresets();
    ASSERT_FALSE(presets.empty());
    // A few presets from across the library, the first and last among them.
    for (size_t i : {size_t(0), presets.size() / 3, 2 * presets.size() / 3, presets.size() - 1}) {
        const std::string id = std::to_string(i);
        const std::string chunk = writeChunkOf(presets[i], dir.file("chunk" + id + ".bin"));
        const std::string fromLinux = dir.file("linux" + id + ".bin"), fromWindows = dir.file("win" + id + ".bin");
        const std::string linuxAgain = dir.file("linux-again" + id + ".bin"),
                          windowsAgain = dir.file("win-again" + id + ".bin");
        auto first = std::async(std::launch::async, [&] {
            return onLinux({"--chunk", chunk, "--save-chunk", fromLinux}, "linux-save" + id);
        });
        RunResult r = onWindows({"--chunk", windowsPath(chunk), "--save-chunk", windowsPath(fromWindows)},
                              "win-save" + id);
        ASSERT_EQ(r.status, 0) << presets[i] << ": " << r.err;
        r = first.get();
        ASSERT_EQ(r.status, 0) << presets[i] << ": " << r.err;

        // Each system's chunk loaded by the other and saved again.
        auto second = std::async(std::launch::async, [&] {
            return onLinux({"--chunk", fromWindows, "--save-chunk", linuxAgain}, "linux-again" + id);
        });
        r = onWindows({"--chunk", windowsPath(fromLinux), "--save-chunk", windowsPath(windowsAgain)},
                    "win-again" + id);
        ASSERT_EQ(r.status, 0) << presets[i] << ": " << r.err;
        r = second.get();
        ASSERT_EQ(r.status, 0) << presets[i] << ": " << r.err;

        const std::string linuxBytes = testsupport::readFile(fromLinux);
        ASSERT_GT(linuxBytes.size(), presets[i].size() + 16) << presets[i] << ": no patch in the chunk";
        EXPECT_EQ(testsupport::readFile(fromWindows), linuxBytes) << presets[i] << " saved by each system";
        EXPECT_EQ(testsupport::readFile(windowsAgain), linuxBytes) << presets[i] << " from Linux via Windows";
        EXPECT_EQ(testsupport::readFile(linuxAgain), testsupport::readFile(fromWindows))
            << presets[i] << " from Windows via Linux";
    }
}

TEST_P(WindowsRender, FileNamesBeyondAsciiReachTheSystemIntact) {
    if (loader.empty()) GTEST_SKIP() << noWine();
    const fs::path folder = fs::path(dir.file("Plug-ins \u00fc\u20ac \u65e5\u672c"));
    fs::create_directories(folder);
    const fs::path dll = folder / fs::path(build.dll()).filename();
    fs::copy_file(build.dll(), dll);
    const std::vector<std::string> presets = factoryPresets();
    ASSERT_FALSE(presets.empty());
    const std::string chunk = writeChunkOf(presets.front(), dir.file("chunk \u00e9.bin"));
    const std::string saved = dir.file("saved \u00f8.bin");
    const RunResult r = onWindows({"--plugin", windowsPath(dll.string()), "--chunk", windowsPath(chunk),
                                   "--save-chunk", windowsPath(saved)},
                                  "unicode");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readFile(saved), testsupport::readFile(chunk))
        << "the state written under the UTF-8 name the command line gave";
}

TEST_P(WindowsRender, FailuresExitNonZeroWithOneLineNamingTheFile) {
    if (loader.empty()) GTEST_SKIP() << noWine();
    const std::string notADll = dir.file("notes.dll"), missing = dir.file("missing.dll");
    testsupport::writeFile(notADll, "MZ but nothing a loader could use");
    for (const std::string& plugin : {notADll, missing}) {
        const RunResult r = onWindows({"--info", "--plugin", windowsPath(plugin)}, "failure");
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(windowsPath(plugin)), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("%1"), std::string::npos) << r.err;
    }
}

TEST_P(WindowsRender, ExportsOnlyTheEntryPointsAndNeedsNoCompilerRuntime) {
    ASSERT_TRUE(isExecutable(build.objdump)) << "objdump for " << build.bits << "-bit PE files: " << build.objdump;
    const std::string format = build.bits == 64 ? "pei-x86-64" : "pei-i386";
    for (const std::string& file : {build.dll(), build.exe()}) {
        const RunResult r = run({build.objdump, "-p", file}, dir.file("objdump"));
        ASSERT_EQ(r.status, 0) << file << ": " << r.err;
        EXPECT_NE(r.out.find("file format " + format), std::string::npos) << file << " is not " << format;

        std::set<std::string> exports, imports;
        std::stringstream lines(r.out);
        bool inNames = false;
        const std::regex exportName(R"(^\s*\[\s*\d+\]\s+(\S+)\s*$)"), dllName(R"(^\s*DLL Name:\s*(\S+))");
        std::smatch m;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
                inNames = true;
            } else if (inNames && std::regex_match(line, m, exportName)) {
                exports.insert(m[1]);
            } else {
                inNames = false;
            }
            if (std::regex_search(line, m, dllName)) {
                std::string name = m[1];
                std::transform(name.begin(), name.end(), name.begin(), ::tolower);
                imports.insert(name);
            }
        }
        if (file == build.dll()) {
            EXPECT_EQ(exports, (std::set<std::string>{"VSTPluginMain", "main"}))
                << "both entry points, undecorated, and nothing else";
        }
        EXPECT_TRUE(imports.count("kernel32.dll")) << file << ": import table not read";
        for (const std::string& dll : imports)
            for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"})
                EXPECT_EQ(dll.find(runtime), std::string::npos) << file << " needs " << dll << " beside it";
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, WindowsRender, ::testing::Values(64, 32),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "bit";
                         });

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new Wine);
    return RUN_ALL_TESTS();
}
