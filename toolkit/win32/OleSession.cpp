#include "toolkit/win32/OleSession.h"

#include "toolkit/win32/Win32.h"

namespace kelo::gui::win32 {

OleSession::OleSession() : thread_(GetCurrentThreadId()) { initialised_ = SUCCEEDED(OleInitialize(nullptr)); }

OleSession::~OleSession() {
    if (initialised_ && GetCurrentThreadId() == thread_) OleUninitialize();
}

} // namespace kelo::gui::win32
