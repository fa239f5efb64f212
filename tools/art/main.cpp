// vantorel-art OUTPUT_DIR [PREVIEW_DIR]: draws every bitmap the plug-in names, writes
// each as a PNG file under OUTPUT_DIR/png and all of them as OUTPUT_DIR/ResourceTable.cpp,
// the table compiled into the plug-in. With PREVIEW_DIR, also every panel with its
// controls drawn over it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>
#include <sys/stat.h>

#include "Art.h"

namespace {

bool writeFile(const std::string& path, const void* data, size_t size) {
    // Written beside and renamed, so an interrupted run never leaves half a table.
    const std::string temp = path + ".tmp";
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(data), (std::streamsize)size);
    f.close();
    return f.good() && std::rename(temp.c_str(), path.c_str()) == 0;
}

// Each panel three times the size (pixels kept square), and the whole rack as the
// editor shows it: the panels side by side on the row art.
void writePreviews(const std::string& dir, const std::vector<art::Image>& previews,
                   const std::vector<art::Image>& images) {
    mkdir(dir.c_str(), 0755);
    for (const art::Image& i : previews) {
        cairo_surface_t* s = art::decodePng(i.png);
        art::Canvas big(i.width * 3, i.height * 3);
        cairo_scale(big.cr(), 3, 3);
        cairo_set_source_surface(big.cr(), s, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(big.cr()), CAIRO_FILTER_NEAREST);
        cairo_paint(big.cr());
        cairo_surface_destroy(s);
        const art::Image out = big.toImage(i.name);
        writeFile(dir + "/" + i.name, out.png.data(), out.png.size());
    }
    auto row = std::find_if(images.begin(), images.end(), [](const art::Image& i) { return i.name == "1st_row.jpg"; });
    if (row == images.end()) return;
    std::vector<std::pair<int, int>> at;
    int x = 0, rows = 1;
    for (const art::Image& i : previews) {
        if (x + i.width > 960) x = 0, ++rows;
        at.push_back({x, (rows - 1) * 291});
        x += i.width;
    }
    art::Canvas rack(960, rows * 291);
    cairo_surface_t* background = art::decodePng(row->png);
    for (int r = 0; r < rows; ++r) {
        cairo_set_source_surface(rack.cr(), background, 0, r * 291);
        cairo_paint(rack.cr());
    }
    cairo_surface_destroy(background);
    for (size_t k = 0; k < previews.size(); ++k) {
        cairo_surface_t* s = art::decodePng(previews[k].png);
        cairo_set_source_surface(rack.cr(), s, at[k].first, at[k].second);
        cairo_paint(rack.cr());
        cairo_surface_destroy(s);
    }
    const art::Image out = rack.toImage("rack.png");
    writeFile(dir + "/rack.png", out.png.data(), out.png.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: vantorel-art OUTPUT_DIR [PREVIEW_DIR]\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string error;
    if (!art::initFonts(&error)) {
        std::fprintf(stderr, "vantorel-art: %s\n", error.c_str());
        return 1;
    }
    std::vector<art::Image> images = art::drawControls();
    for (art::Image& i : art::drawEditorArt()) images.push_back(std::move(i));
    std::vector<std::string> problems;
    std::vector<art::Image> previews;
    std::vector<art::Image> panels = art::drawModulePanels(&error, &problems, argc == 3 ? &previews : nullptr);
    if (panels.empty()) {
        std::fprintf(stderr, "vantorel-art: %s\n", error.c_str());
        return 1;
    }
    for (art::Image& i : panels) images.push_back(std::move(i));
    std::sort(images.begin(), images.end(), [](const art::Image& a, const art::Image& b) { return a.name < b.name; });
    // Lookups ignore case, so names differing only in case would hide each other.
    std::set<std::string> names;
    for (const art::Image& i : images) {
        std::string lower = i.name;
        for (char& c : lower) c = (char)std::tolower((unsigned char)c);
        if (!names.insert(lower).second) {
            std::fprintf(stderr, "vantorel-art: two bitmaps named %s\n", i.name.c_str());
            return 1;
        }
    }

    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/png").c_str(), 0755);
    for (const art::Image& i : images)
        if (!writeFile(dir + "/png/" + i.name, i.png.data(), i.png.size())) {
            std::fprintf(stderr, "vantorel-art: cannot write %s/png/%s\n", dir.c_str(), i.name.c_str());
            return 1;
        }
    if (argc == 3) writePreviews(argv[2], previews, images);
    // The PNG files are kept for a look, but a panel that lacks a legend is not built in.
    for (const std::string& p : problems) std::fprintf(stderr, "vantorel-art: %s\n", p.c_str());
    if (!problems.empty()) return 1;
    const std::string source = art::resourceTableSource(images);
    if (!writeFile(dir + "/ResourceTable.cpp", source.data(), source.size())) {
        std::fprintf(stderr, "vantorel-art: cannot write %s/ResourceTable.cpp\n", dir.c_str());
        return 1;
    }
    return 0;
}
