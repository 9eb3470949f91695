#pragma once
// GDI+ for the toolkit: started when the first object that needs it is made and shut down when
// the last one goes, so a host that loads and unloads the plug-in never has GDI+ started or
// stopped inside DllMain (where GdiplusStartup/Shutdown deadlock on the loader lock).
//
// Windows, surfaces and bitmaps hold a GdiplusSession member declared before their GDI+
// members, so GDI+ outlives them. Fonts are different: the standard fonts are statics that
// cache their platform font until the module unloads, which would keep GDI+ running into
// DllMain. So a font holds no session; it registers as a Dependent, makes its GDI+ objects
// while some session runs, and drops them when the last session ends.
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

    // An object with GDI+ state it can drop and make again.
    class Dependent {
    public:
        // Called before GDI+ shuts down: delete every GDI+ object now.
        virtual void gdiplusStopping() = 0;

    protected:
        Dependent();
        ~Dependent();
        Dependent(const Dependent&) = delete;
        Dependent& operator=(const Dependent&) = delete;

    private:
        friend class GdiplusSession;
        Dependent* next_ = nullptr;
    };

private:
    bool ok_ = false;
};

} // namespace kelo::gui::win32
