#pragma once
// OLE for the calling thread (file dialogs and drag and drop need it), held for as long as the
// editor's window is open.
//
// The host owns the thread's COM state: when the thread is already in the multi-threaded
// apartment, OleInitialize fails, and uninitialising anyway would tear down the host's COM.
// So OleUninitialize runs only after our own OleInitialize succeeded, and only on the thread
// that initialised (another thread's call would release someone else's reference).
#include <cstdint>

namespace kelo::gui::win32 {

class OleSession {
public:
    OleSession();
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

    // True when OleInitialize succeeded (S_OK, or S_FALSE when the thread already had it).
    bool initialised() const { return initialised_; }

private:
    uint32_t thread_;
    bool initialised_ = false;
};

} // namespace kelo::gui::win32
