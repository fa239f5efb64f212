// Placeholders until the GDI+ drawing backend, the Win32 window and the common file
// dialogs land: without them the Windows editor has no window to open.
#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"
#include "platform/FileChooser.h"
#include "platform/PlatformWindow.h"

std::unique_ptr<COffscreenContext> COffscreenContext::create(int, int) { return nullptr; }
std::unique_ptr<CBitmapPixels> decodePngPixels(const uint8_t*, size_t) { return nullptr; }

namespace platform {
std::unique_ptr<PlatformWindow> PlatformWindow::create(void*, int, int, WindowListener*) { return nullptr; }
FileChooser::~FileChooser() = default;
std::string FileChooser::findProgram() { return std::string(); }
bool FileChooser::start(const Request&) {
    state_ = State::failed;
    return false;
}
FileChooser::State FileChooser::poll() { return state_; }
void FileChooser::cancel() {}
}  // namespace platform
