#include "platform/FileChooser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace platform {

namespace {

std::string onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

bool endsWith(const std::string& s, const char* tail) {
    const std::string t = tail;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::vector<std::string> arguments(const std::string& program, const FileChooser::Request& r) {
    std::string folder = r.folder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string pattern = "*." + r.extension;
    if (endsWith(program, "/kdialog")) {
        return {program,
                r.mode == FileChooser::Mode::open ? "--getopenfilename" : "--getsavefilename",
                folder.empty() ? std::string(".") : folder,
                r.filterName + " (" + pattern + ")",
                "--title",
                r.title};
    }
    std::vector<std::string> a = {program, "--file-selection", "--title=" + r.title,
                                  "--file-filter=" + r.filterName + " | " + pattern};
    if (!folder.empty()) a.push_back("--filename=" + folder);
    if (r.mode == FileChooser::Mode::save) {
        a.push_back("--save");
        a.push_back("--confirm-overwrite");
    }
    return a;
}

}  // namespace

FileChooser::~FileChooser() { cancel(); }

std::string FileChooser::findProgram() {
    for (const char* p : {"zenity", "kdialog"}) {
        std::string found = onPath(p);
        if (!found.empty()) return found;
    }
    return {};
}

bool FileChooser::start(const Request& request) {
    if (state_ == State::running) return false;
    path_.clear();
    output.clear();
    state_ = State::failed;
    const std::string program = findProgram();
    if (program.empty()) return false;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const std::vector<std::string> args = arguments(program, request);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    child = pid;
    readEnd = fds[0];
    state_ = State::running;
    return true;
}

FileChooser::State FileChooser::poll() {
    if (state_ != State::running) return state_;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(readEnd, buf, sizeof buf);
        if (n > 0) {
            // A path is short; a chooser that floods its output is not answering.
            if (output.size() < 64 * 1024) output.append(buf, (size_t)n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    int status = 0;
    const pid_t r = ::waitpid(child, &status, WNOHANG);
    if (r == 0) return state_;
    finish(r == child ? status : -1);
    return state_;
}

void FileChooser::finish(int status) {
    // Whatever the child wrote before it exited is still in the pipe.
    char buf[512];
    ssize_t n;
    while ((n = ::read(readEnd, buf, sizeof buf)) > 0)
        if (output.size() < 64 * 1024) output.append(buf, (size_t)n);
    ::close(readEnd);
    readEnd = -1;
    child = -1;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    if (status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !output.empty() &&
        output.find('\n') == std::string::npos) {
        path_ = output;
        state_ = State::chosen;
    } else if (status >= 0 && WIFEXITED(status) && (WEXITSTATUS(status) == 1 || WEXITSTATUS(status) == 0)) {
        // Both choosers exit with 1 on Cancel; an empty answer is no choice either.
        state_ = State::cancelled;
    } else {
        state_ = State::failed;
    }
}

void FileChooser::cancel() {
    if (state_ != State::running) return;
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(readEnd);
    readEnd = -1;
    child = -1;
    state_ = State::cancelled;
}

}  // namespace platform
