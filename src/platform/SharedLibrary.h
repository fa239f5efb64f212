// A loaded plug-in module: opened by a UTF-8 path, looked up by symbol name, closed once.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Closes what was open first. False with error() set when the module cannot be loaded.
    bool open(const std::string& path);
    // Null when the module is not open or has no such symbol.
    void* symbol(const char* name) const;
    void close();

    bool isOpen() const { return handle_ != nullptr; }
    // The system's reason for the last failed open, in one line.
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
