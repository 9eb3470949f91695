// Linked into a DLL with the plug-in's entry: what a plug-in file finds among its resources.
#include <cstddef>

#include "platform/Resources.h"

extern "C" __declspec(dllexport) const void* keloFixtureResource(const char* type, const char* name, size_t* size) {
    const kelo::platform::ResourceData r = kelo::platform::findResource(type, name);
    *size = r.size;
    return r.data;
}
