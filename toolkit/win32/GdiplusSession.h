#pragma once
// GDI+ for the toolkit: started when the first object that needs it is made and shut down when
// the last one goes, so a host that loads and unloads the plug-in never has GDI+ started or
// stopped inside DllMain (where GdiplusStartup/Shutdown deadlock on the loader lock).
//
// Every GDI+-backed object holds a GdiplusSession member declared before its GDI+ members, so
// GDI+ outlives them. The bundled fonts live in the same process-wide state and are released
// with the last session, before GdiplusShutdown.
#include "toolkit/win32/Win32.h"

namespace kelo::gui::win32 {

class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) : GdiplusSession() {}
    GdiplusSession& operator=(const GdiplusSession&) { return *this; }

    // False when GdiplusStartup failed; nothing GDI+ may be used then.
    bool ok() const { return ok_; }

    // The bundled family (DejaVu Sans, regular and bold faces) loaded with AddMemoryFont; null
    // when it could not be loaded. Valid while this session exists.
    const Gdiplus::FontFamily* bundledFamily() const;

    // Sessions alive in the process (for tests of the start/stop pairing).
    static int activeSessions();

private:
    bool ok_ = false;
};

} // namespace kelo::gui::win32
