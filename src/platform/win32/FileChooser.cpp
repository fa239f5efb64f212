// The common Open and Save dialogs, each run on a thread of its own so the host's GUI
// thread goes on idling the editor while the user looks for a file.
//
// The dialog has no owner window: an owner on the GUI thread would tie the two
// threads' input together, and the dialog disables its owner with a message the
// GUI thread must answer, which it cannot while it waits for the dialog to close.
#include "platform/FileChooser.h"

#include <windows.h>
#include <commdlg.h>
#include <ole2.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/win32/Utf.h"

namespace platform {

struct FileChooser::Dialog {
    Mode mode = Mode::open;
    std::wstring title, folder, filter, extension;
    std::vector<wchar_t> file = std::vector<wchar_t>(32768, L'\0');

    std::mutex mutex;
    HWND window = nullptr;          // the dialog while it shows
    bool closeWanted = false;       // cancel() asked before the window was up
    std::atomic<bool> done{false};  // the thread has its answer
    State answer = State::failed;
    std::string chosen;
    std::thread thread;

    void run() {
        const bool ole = SUCCEEDED(OleInitialize(nullptr));  // the shell's folder views need it
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = (DWORD)file.size();
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
        ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        // The host's current directory is the host's: the dialog must not move it.
        ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                    (mode == Mode::open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
        ofn.lpfnHook = hook;
        ofn.lCustData = reinterpret_cast<LPARAM>(this);
        const BOOL ok = mode == Mode::open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
        {
            std::lock_guard<std::mutex> g(mutex);
            window = nullptr;
            if (ok) {
                // The program's paths use '/', whatever the dialog gives.
                chosen = narrow(std::wstring(file.data()));
                for (char& c : chosen)
                    if (c == '\\') c = '/';
                answer = chosen.empty() ? State::cancelled : State::chosen;
            } else {
                // Zero means the user closed it; anything else is a dialog that failed.
                answer = CommDlgExtendedError() == 0 ? State::cancelled : State::failed;
            }
            if (closeWanted) answer = State::cancelled;
        }
        if (ole) OleUninitialize();
        done.store(true, std::memory_order_release);
    }

    // Explorer-style dialogs call the hook for a child dialog; the dialog we see
    // (and close) is its parent.
    static UINT_PTR CALLBACK hook(HWND child, UINT msg, WPARAM, LPARAM lp) {
        if (msg != WM_INITDIALOG) return 0;
        auto* self = reinterpret_cast<Dialog*>(reinterpret_cast<OPENFILENAMEW*>(lp)->lCustData);
        HWND shown = GetParent(child);
        std::lock_guard<std::mutex> g(self->mutex);
        self->window = shown;
        if (self->closeWanted) PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
        else SetForegroundWindow(shown);  // no owner to bring it up with
        return 0;
    }

    // Returns when the thread has ended: the dialog is asked to close until it does.
    void close() {
        {
            std::lock_guard<std::mutex> g(mutex);
            closeWanted = true;
        }
        while (!done.load(std::memory_order_acquire)) {
            {
                std::lock_guard<std::mutex> g(mutex);
                if (window) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(20);
        }
        thread.join();
    }
};

namespace {

// "Name (*.ext)", NUL, "*.ext", NUL, NUL: the filter list the dialogs take.
std::wstring filterList(const FileChooser::Request& r) {
    const std::wstring pattern = L"*." + widen(r.extension);
    std::wstring f = widen(r.filterName) + L" (" + pattern + L")";
    f.push_back(L'\0');
    f += pattern;
    f.push_back(L'\0');
    return f;  // the string's own terminator ends the list
}

std::wstring windowsFolder(const std::string& folder) {
    std::wstring w = widen(folder);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

}  // namespace

void FileChooser::DialogDeleter::operator()(Dialog* d) const { delete d; }

FileChooser::~FileChooser() { cancel(); }

std::string FileChooser::findProgram() { return "comdlg32"; }

bool FileChooser::start(const Request& request) {
    if (state_ == State::running) return false;
    path_.clear();
    state_ = State::failed;
    if (request.extension.empty()) return false;
    std::unique_ptr<Dialog, DialogDeleter> d(new Dialog);
    d->mode = request.mode;
    d->title = widen(request.title);
    d->folder = windowsFolder(request.folder);
    d->filter = filterList(request);
    d->extension = widen(request.extension);
    Dialog* raw = d.get();
    try {
        d->thread = std::thread([raw] { raw->run(); });
    } catch (const std::system_error&) {
        return false;
    }
    dialog = std::move(d);
    state_ = State::running;
    return true;
}

FileChooser::State FileChooser::poll() {
    if (state_ != State::running || !dialog->done.load(std::memory_order_acquire)) return state_;
    dialog->thread.join();
    state_ = dialog->answer;
    if (state_ == State::chosen) path_ = dialog->chosen;
    dialog.reset();
    return state_;
}

void FileChooser::cancel() {
    if (state_ != State::running) return;
    dialog->close();
    dialog.reset();
    state_ = State::cancelled;
}

}  // namespace platform
