// The one exported function: the host calls it once per instance with its callback.
#include <new>

#include "editor/CreateEditor.h"
#include "platform/Resources.h"
#include "plugin/Vez303.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#define KELO_EXPORT __declspec(dllexport)
#else
#define KELO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KELO_EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
    // A host that does not answer the version request is no host we can work with.
    if (!master || master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        auto* plugin = new (std::nothrow) kelo::Vez303(master, &kelo::createEditor);
        return plugin ? plugin->getAeffect() : nullptr;
    } catch (...) {
        // Construction failed part-way; the new-expression has already released the memory.
        return nullptr;
    }
}

#if defined(_WIN32)
// Our resources (the editor's images) live in this DLL, not in the host's program.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) kelo::platform::setResourceModule(instance);
    return TRUE;
}
#endif

#if !defined(_WIN32)
// Older hosts look for "main". C++ will not let a function named main return a pointer, so
// the alias gets its symbol name from the assembler label (Windows uses the .def file).
extern "C" KELO_EXPORT AEffect* keloLegacyMain(audioMasterCallback master) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
#endif
