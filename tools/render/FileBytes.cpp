#include "render/FileBytes.h"
#include "platform/Paths.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace render {

bool readFileBytes(const std::string& path, const char* what, std::vector<uint8_t>& bytes,
                   std::string& error) {
    bytes.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(platform::toPath(path), ec);
    if (ec || !std::filesystem::exists(status)) {
        error = std::string("cannot open ") + what + " " + path + ": " +
                (ec ? ec.message() : "no such file");
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = std::string(what) + " " + path + " is not a file";
        return false;
    }
    std::ifstream in(platform::toPath(path), std::ios::binary);
    if (!in) {
        error = std::string("cannot open ") + what + " " + path;
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = std::string("cannot read ") + what + " " + path;
        return false;
    }
    return true;
}

bool writeFile(const std::string& path, const std::function<void(std::ostream&)>& body,
               std::string& error) {
    bool ok;
    {
        std::ofstream out(platform::toPath(path), std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
        body(out);
        out.close();
        ok = !out.fail();
    }
    if (!ok) {
        error = "cannot write " + path;
        platform::removeFile(path);
    }
    return ok;
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
    return writeFile(path, [&bytes](std::ostream& out) {
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }, error);
}

}  // namespace render
