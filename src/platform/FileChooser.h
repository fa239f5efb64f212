#pragma once

#include <memory>
#include <string>
#ifndef _WIN32
#include <sys/types.h>
#endif

namespace platform {

// The desktop's own file chooser, shown so the caller's thread never waits on the
// user: start() returns at once and poll(), called from the editor's idle, reports
// when the user has answered. On Linux it is zenity (else kdialog) run as a child
// process; on Windows the common Open/Save dialog run on a thread of its own.
class FileChooser {
public:
    enum class Mode { open, save };
    enum class State { idle, running, chosen, cancelled, failed };

    FileChooser() = default;
    // A chooser still showing is closed with its owner.
    ~FileChooser();
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;

    // The chooser program found on PATH ("zenity" or "kdialog", as a full path);
    // empty when neither is installed. On Windows the dialogs' library, always there.
    static std::string findProgram();

    struct Request {
        Mode mode = Mode::open;
        std::string title;
        std::string folder;       // where it starts, with or without a trailing '/'
        std::string filterName;   // "Vantorel Preset"
        std::string extension;    // "vtp"
    };
    // False (and state failed) when no chooser is installed or it cannot be started,
    // or when one is running already.
    bool start(const Request& request);
    // Reads what the child printed so far without blocking; once it has exited the
    // answer is chosen (path() holds the file), cancelled or failed.
    State poll();
    State state() const { return state_; }
    const std::string& path() const { return path_; }
    // Closes a running chooser; its answer is dropped.
    void cancel();

private:
#ifdef _WIN32
    struct Dialog;  // the thread showing the dialog and what it answered
    struct DialogDeleter {
        void operator()(Dialog* d) const;
    };
    std::unique_ptr<Dialog, DialogDeleter> dialog;
#else
    void finish(int status);

    pid_t child = -1;
    int readEnd = -1;
    std::string output;
#endif
    std::string path_;
    State state_ = State::idle;
};

}  // namespace platform
