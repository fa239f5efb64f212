// vantorel-platform-probe.exe: the Windows platform layer checked where it differs from
// Linux, run under wine by the Linux test suite. File and folder names outside ASCII
// (UTF-8 inside the program, UTF-16 at the Windows API), saving over a file that exists
// (a plain rename refuses that on Windows), the presets folder listed, Config.ini read
// back and the plug-in folder found from the module handle.
// Prints one line per check and exits with the number that failed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "platform/ConfigIni.h"
#include "platform/PluginFolder.h"
#include "platform/win32/Utf.h"
#include "presets/PresetLibrary.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

// Straight to the wide API, so the check does not go through the code it checks.
bool fileExists(const std::string& utf8) {
    const DWORD a = GetFileAttributesW(platform::widen(utf8).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string exeFolder() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p(buf, n);
    return platform::narrow(p.substr(0, p.find_last_of(L"\\/") + 1));
}

}  // namespace

int main() {
    // The work folder comes in UTF-16 like every Windows argument.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vantorel-platform-probe WORK_FOLDER\n");
        return 100;
    }
    std::string work = platform::narrow(argv[1]);
    LocalFree(argv);
    if (work.back() != '/' && work.back() != '\\') work += '\\';

    const std::string folder = work + u8"Présets 音\\";
    const std::string sub = folder + u8"Bässe";
    CreateDirectoryW(platform::widen(folder).c_str(), nullptr);
    CreateDirectoryW(platform::widen(sub).c_str(), nullptr);
    const std::string preset = sub + u8"\\Grüße.vtp";

    const std::string own = platform::pluginFolder();
    check(!own.empty() && own == exeFolder(), "plug-in folder from the module handle: " + own);

    {
        Vantorel plugin(nullptr);
        plugin.open();
        plugin.setSampleRate(48000.f);
        SynEditor& editor = *plugin.editor;
        editor.createModuleAt("S310 VCO", 0, 0);
        check(editor.writePresetFile(preset) && fileExists(preset), "preset saved under a name outside ASCII");
        editor.createModuleAt("S201 VCF", 240, 0);
        check(editor.writePresetFile(preset), "preset saved again over the same file");
        check(!fileExists(preset + ".saving"), "no temporary file left beside it");
        editor.createModuleAt("S500 ADSR", 480, 0);
        check(editor.rackModules.size() == 3, "three modules before loading");
        check(editor.readPresetFile(preset) && editor.rackModules.size() == 2,
              "the second save read back (two modules)");
    }

    PresetLibrary library;
    library.rescan(folder);
    const int bass = library.root().find(u8"Bässe", true);
    check(bass >= 0, "library lists the folder by its own name");
    if (bass >= 0)
        check(library.root().entry(bass).submenu->find(u8"Grüße", false) >= 0, "library lists the preset by its own name");
    check(library.selectPath(preset, false), "the saved preset's path selects its entry");

    platform::ConfigIni config(folder + u8"Cönfig.ini");
    check(config.setString("Vantorel", "Default Author", u8"Zoë") && config.setString("Vantorel", "Default Author", u8"Zoë 2"),
          "Config.ini written twice");
    check(config.getString("Vantorel", "Default Author", "") == u8"Zoë 2", "Config.ini reads back the second value");

    std::printf("%d failed\n", failures);
    return failures;
}
