// vantorel-snapshot run as a user runs it: arguments, failures, and the image.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/PatchFixture.h"
#include "GuiKit.h"

namespace fs = std::filesystem;

namespace {

int run(const std::string& args) {
    const std::string cmd = std::string(SNAPSHOT_EXE) + " " + args + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct TempDir {
    TempDir() : path(fs::temp_directory_path() / ("snapshot-" + std::to_string(getpid()))) {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
    fs::path path;
};

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(SnapshotTool, RefusesBadArgumentsAndUnreadablePatches) {
    TempDir dir;
    EXPECT_EQ(run("--preset x.vtp"), 2) << "no --out";
    EXPECT_EQ(run("--preset a --chunk b --out " + dir.file("a.png")), 2) << "two patches";
    EXPECT_EQ(run("--bogus 1 --out " + dir.file("a.png")), 2);
    EXPECT_EQ(run("--preset " + dir.file("missing.vtp") + " --out " + dir.file("a.png")), 1);
    std::ofstream(dir.file("junk.bin")) << "not a chunk at all";
    EXPECT_EQ(run("--chunk " + dir.file("junk.bin") + " --out " + dir.file("a.png")), 1);
    EXPECT_FALSE(fs::exists(dir.file("a.png"))) << "no image after a failure";
}

TEST(SnapshotTool, DrawsTheEditorOfAPresetAndOfAChunk) {
    TempDir dir;
    {
        fixture::Rig rig;
        rig.add("S310 VCO");
        rig.add("S201 VCF");
        ASSERT_TRUE(rig.editor.writePresetFile(dir.file("patch.vtp")));
        const std::vector<uint8_t>& chunk = rig.editor.writeChunk();
        std::ofstream(dir.file("patch.chunk"), std::ios::binary)
            .write(reinterpret_cast<const char*>(chunk.data()), (std::streamsize)chunk.size());
    }
    const std::string sources[] = {"--preset " + dir.file("patch.vtp"), "--chunk " + dir.file("patch.chunk")};
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        const int code = run(source + " --out " + dir.file("shot.png"));
        ASSERT_EQ(code, 0);
        CBitmap shot("shot", slurp(dir.file("shot.png")));
        EXPECT_EQ(shot.getWidth(), 1010);
        EXPECT_EQ(shot.getHeight(), 622);
        fs::remove(dir.file("shot.png"));
    }
}
