// vantorel-snapshot: draws the editor of a patch into a PNG file, no display needed.
// Builds the plug-in object, loads a preset or a host chunk, opens the editor
// without a window and renders its frame offscreen.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "gui/CFrame.h"

namespace {

const char* kUsage =
    "Usage: vantorel-snapshot [--preset FILE.vtp | --chunk FILE] --out FILE.png\n"
    "Draws the editor with that patch loaded (a fresh editor without one) into a PNG\n"
    "image (1010 x 622).\n";

enum Exit { kOk = 0, kFailed = 1, kUsageError = 2, kNoFrame = 3 };

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "vantorel-snapshot: %s\n", message.c_str());
    return code;
}

bool readFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::string preset, chunk, out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kOk;
        }
        if (i + 1 >= argc) return fail(kUsageError, "missing value after " + arg + "\n" + kUsage);
        const std::string value = argv[++i];
        if (arg == "--preset") preset = value;
        else if (arg == "--chunk") chunk = value;
        else if (arg == "--out") out = value;
        else return fail(kUsageError, "unknown option " + arg + "\n" + kUsage);
    }
    if (out.empty() || (!preset.empty() && !chunk.empty()))
        return fail(kUsageError, std::string("give --out and at most one of --preset or --chunk\n") + kUsage);

    Vantorel plugin(nullptr);
    plugin.open();
    plugin.setSampleRate(48000.f);
    SynEditor& editor = *plugin.editor;
    if (!preset.empty()) {
        if (!editor.openPreset(preset)) return fail(kFailed, "cannot load preset " + preset);
    } else if (!chunk.empty()) {
        std::vector<uint8_t> data;
        if (!readFile(chunk, data)) return fail(kFailed, "cannot read " + chunk);
        if (!editor.readChunk(data.data(), data.size())) return fail(kFailed, "not a valid chunk: " + chunk);
    }

    // No parent window: the editor builds its whole frame and attaches no window.
    editor.open(nullptr);
    CFrame* frame = editor.getFrame();
    if (!frame) {
        editor.close();
        return fail(kNoFrame, "the editor built no frame to draw");
    }
    const bool written = frame->renderToPng(out);
    editor.close();
    plugin.close();
    if (!written) return fail(kFailed, "cannot write " + out);
    return kOk;
}
