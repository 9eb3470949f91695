#pragma once
// Files built into the module (the plug-in file or a program) by the CMake helper
// kelo_add_resources / kelo_add_png_resources (cmake/KeloResources.cmake):
// Linux and other native builds embed generated arrays, Windows builds an .rc through windres
// and reads it with FindResource from the module that holds this code.
#include <cstddef>

namespace kelo::platform {

struct ResourceData {
    const void* data = nullptr;
    size_t size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// The resource of that type ("PNG", "FONT") and name; names are compared without regard to
// case. Empty when the module has none.
ResourceData findResource(const char* type, const char* name);

// Windows: the module (HINSTANCE) whose resources findResource reads; DllMain of a plug-in
// saves its own here. Without it, the program's module is used.
void setResourceModule(void* module);

// Used by the generated sources of native builds.
struct EmbeddedResource {
    const char* type;
    const char* name;
    const unsigned char* data;
    size_t size;
    EmbeddedResource* next;
};
void registerEmbeddedResource(EmbeddedResource* resource);

} // namespace kelo::platform
