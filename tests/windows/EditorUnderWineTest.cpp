// The Windows editor run where a Windows host would run it: the 64-bit cross-built
// DLL and small Win32 programs under wine, on a private X server. Skipped (never
// failed) when wine, Xvfb or the cross-build is missing.
#include <gtest/gtest.h>
#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/HostMessages.h"
#include "support/Xvfb.h"

namespace {

const std::string kWindowsDir = VANTOREL_WINDOWS_DIR_64;
const std::string kWindowsDir32 = VANTOREL_WINDOWS_DIR_32;
const std::string kPrefix = WINE_PREFIX;

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// wine64 on PATH, else where Debian's wine64 package puts its loader.
std::string wineLoader() {
    if (fixture::haveTool("wine64")) return "wine64";
    return exists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : std::string();
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a command with its output in `log` (never on the test's own pipes, which a
// lingering wine process would otherwise hold), killed with its process group after
// `seconds`. Returns the exit code, or -1 when it was killed or did not start.
int run(const std::vector<std::string>& args, const std::string& log, int seconds) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        setpgid(0, 0);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        if (null >= 0) dup2(null, STDIN_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    for (int waited = 0; waited < seconds * 20; ++waited) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(50000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// The image of a PNG as 0xRRGGBB words (empty when it does not read).
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[(size_t)y * (size_t)width + (size_t)x]; }
};

Picture readPng(const std::string& path) {
    Picture p;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        p.width = cairo_image_surface_get_width(s);
        p.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                p.rgb.push_back(reinterpret_cast<const uint32_t*>(data + (size_t)y * stride)[x] & 0xffffff);
    }
    cairo_surface_destroy(s);
    return p;
}

int channelDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
    return d;
}

double meanBrightness(const Picture& p, int left, int top, int right, int bottom) {
    double sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const uint32_t c = p.at(x, y);
            sum += ((c >> 16) & 0xff) + ((c >> 8) & 0xff) + (c & 0xff);
        }
    return sum / (3.0 * (right - left) * (bottom - top));
}

class UnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (kWindowsDir.empty() || !exists(kWindowsDir + "/Vantorel.x64.dll"))
            GTEST_SKIP() << "no 64-bit Windows build";
        wine = wineLoader();
        if (wine.empty()) GTEST_SKIP() << "wine64 is not installed";
        if (!fixture::haveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        if (!server.start()) GTEST_SKIP() << "Xvfb did not start";
        setenv("WINEPREFIX", kPrefix.c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        // No offer to download the .NET and HTML engines: nothing here needs them, and
        // their dialogs would wait for a user who never comes.
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        // A new prefix is made by the first wine program; done once, on its own, with
        // time to spare, so the checks below are timed only for themselves.
        if (!exists(kPrefix + "/system.reg")) {
            ASSERT_EQ(run({wine, "wineboot", "-i"}, kPrefix + ".boot.log", 240), 0)
                << "wineboot failed:\n" << readText(kPrefix + ".boot.log");
        }
        scratch = kWindowsDir + "/editor-under-wine";
        mkdir(scratch.c_str(), 0755);
    }
    void TearDown() override {
        // The wine tests share the prefix and never run at once (a ctest resource
        // lock), so its server can go with each of them.
        if (!wine.empty() && !server.display.empty()) run({"wineserver", "-k"}, scratch + "/wineserver.log", 30);
    }

    void editorRound(int bits);
    void probeRound(int bits);
    // One of the Windows check programs; its report is shown when it fails.
    void backendCheck(const std::string& what) {
        const std::string log = scratch + "/" + what + ".log";
        const int rc = run({wine, kWindowsDir + "/vantorel-backend-check.exe", what, "Z:" + scratch}, log, 120);
        EXPECT_EQ(rc, 0) << readText(log);
    }

    std::string wine, scratch;
    fixture::Xvfb server;
};

}  // namespace

TEST_F(UnderWine, DrawingBackendDrawsBlendsClipsAndCodesPng) { backendCheck("draw"); }

TEST_F(UnderWine, ChildWindowHandsOverEventsPaintsAndCaptures) { backendCheck("window"); }

TEST_F(UnderWine, FileDialogsAnswerAndCloseWithTheirOwner) { backendCheck("chooser"); }

// Where the Windows platform layer differs from Linux: preset, folder and Config.ini
// names outside ASCII, and saving over a preset that exists.
void UnderWine::probeRound(int bits) {
    const std::string windowsDir = bits == 64 ? kWindowsDir : kWindowsDir32;
    const std::string loader = bits == 64 ? wine : std::string("/usr/lib/wine/wine");
    if (bits == 32) {
        if (windowsDir.empty() || !exists(windowsDir + "/vantorel-platform-probe.exe"))
            GTEST_SKIP() << "no 32-bit Windows build";
        if (!exists(loader)) GTEST_SKIP() << "no wine for 32-bit programs (Debian package wine32)";
    }
    const std::string work = scratch + "/platform" + std::to_string(bits);
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    mkdir(work.c_str(), 0755);
    const std::string log = work + ".log";
    const int rc = run({loader, windowsDir + "/vantorel-platform-probe.exe", "Z:" + work}, log, 120);
    EXPECT_EQ(rc, 0) << readText(log);
    EXPECT_NE(readText(log).find("\n0 failed"), std::string::npos) << readText(log);
    // Written through the wide API, the names reach this file system as the same UTF-8.
    EXPECT_TRUE(exists(work + u8"/Présets 音/Bässe/Grüße.vtp"));
    EXPECT_TRUE(exists(work + u8"/Présets 音/Cönfig.ini"));
}

TEST_F(UnderWine, PlatformLayerKeepsNamesOutsideAsciiAndSavesOverFiles) { probeRound(64); }

TEST_F(UnderWine, PlatformLayerOf32BitBuildKeepsNamesOutsideAsciiAndSavesOverFiles) { probeRound(32); }

// The plug-in's editor in a host window, with a factory patch: drawn, closed,
// reopened, and the patch as it was; the 64-bit build, and the 32-bit one where its
// wine is installed.
void UnderWine::editorRound(int bits) {
    const std::string windowsDir = bits == 64 ? kWindowsDir : kWindowsDir32;
    const std::string dll = windowsDir + (bits == 64 ? "/Vantorel.x64.dll" : "/Vantorel.dll");
    const std::string loader = bits == 64 ? wine : std::string("/usr/lib/wine/wine");
    if (bits == 32) {
        if (windowsDir.empty() || !exists(dll)) GTEST_SKIP() << "no 32-bit Windows build";
        if (!exists(loader)) GTEST_SKIP() << "no wine for 32-bit programs (Debian package wine32)";
    }
    const std::string reference = "Voices/Mono Voice.vtp";
    std::ifstream in(std::string(PRESETS_DIR) + "/" + reference, std::ios::binary);
    ASSERT_TRUE(in) << "no factory preset " << reference;
    const std::vector<uint8_t> body((std::istreambuf_iterator<char>(in)), {});
    const std::vector<uint8_t> chunk = fixture::chunkOf(reference, body);
    const std::string chunkFile = scratch + "/mono-voice.chunk";
    std::ofstream(chunkFile, std::ios::binary).write(reinterpret_cast<const char*>(chunk.data()),
                                                      (std::streamsize)chunk.size());
    const std::string first = scratch + "/first.png", second = scratch + "/second.png",
                      clicked = scratch + "/clicked.png", native = scratch + "/linux.png";
    for (const std::string& f : {first, second, clicked, native}) ::unlink(f.c_str());

    const std::string log = scratch + "/editor-host.log";
    const int rc = run({loader, windowsDir + "/vantorel-editor-host.exe", "Z:" + dll,
                        "Z:" + first, "Z:" + second, "Z:" + chunkFile, "Z:" + clicked},
                       log, 120);
    ASSERT_EQ(rc, 0) << readText(log);
    EXPECT_NE(readText(log).find("OK 1010x622"), std::string::npos) << readText(log);

    const Picture a = readPng(first), b = readPng(second);
    ASSERT_EQ(a.width, 1010);
    ASSERT_EQ(a.height, 622);
    ASSERT_EQ(b.width, 1010);
    ASSERT_EQ(b.height, 622);
    std::set<uint32_t> colours(a.rgb.begin(), a.rgb.end());
    EXPECT_GT(colours.size(), 1000u) << "not a flat image";
    // Module panels are light, the empty rack beside them dark.
    EXPECT_GT(meanBrightness(a, 30, 60, 160, 320), 150.0) << "no module panel where the patch has one";
    EXPECT_LT(meanBrightness(a, 650, 360, 950, 600), 60.0) << "the empty rack is not empty";
    size_t changed = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) changed += a.rgb[i] != b.rgb[i];
    EXPECT_EQ(changed, 0u) << "the reopened editor shows something else";

    // A click on the module menu button, as the window procedure gets it, opens the
    // menu below the button.
    const Picture c = readPng(clicked);
    ASSERT_EQ(c.width, 1010);
    ASSERT_EQ(c.height, 622);
    size_t menu = 0, elsewhere = 0;
    for (int y = 0; y < 622; ++y)
        for (int x = 0; x < 1010; ++x) {
            const bool differs = channelDistance(a.at(x, y), c.at(x, y)) > 40;
            if (x >= 12 && x < 120 && y >= 60 && y < 180) menu += differs;
            else if (x >= 400) elsewhere += differs;
        }
    EXPECT_GT(menu, 108u * 120u / 4) << "no menu under the clicked button";
    EXPECT_EQ(elsewhere, 0u) << "the click changed the picture far from the menu";

    // The same patch drawn by the Linux backend: the pictures agree but for
    // antialiasing and the typeface.
    ASSERT_EQ(run({SNAPSHOT_EXE, "--chunk", chunkFile, "--out", native}, scratch + "/snapshot.log", 60), 0)
        << readText(scratch + "/snapshot.log");
    const Picture l = readPng(native);
    ASSERT_EQ(l.width, a.width);
    ASSERT_EQ(l.height, a.height);
    size_t apart = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) apart += channelDistance(a.rgb[i], l.rgb[i]) > 40;
    EXPECT_LT(double(apart) / double(a.rgb.size()), 0.03) << apart << " pixels differ from the Linux picture";
}

TEST_F(UnderWine, EditorShowsTheRackAndKeepsThePatchAcrossReopen) { editorRound(64); }

TEST_F(UnderWine, EditorOf32BitBuildShowsTheRackAndKeepsThePatchAcrossReopen) { editorRound(32); }
