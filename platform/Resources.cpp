#include "platform/Resources.h"

#include <cctype>
#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace kelo::platform {

namespace {

// Constant-initialised, so registrations from other files' static constructors are safe.
EmbeddedResource* registered = nullptr;
void* resourceModule = nullptr;

bool sameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

} // namespace

void registerEmbeddedResource(EmbeddedResource* resource) {
    resource->next = registered;
    registered = resource;
}

void setResourceModule(void* module) { resourceModule = module; }

ResourceData findResource(const char* type, const char* name) {
    if (!type || !name || !*name) return {};
    for (const EmbeddedResource* r = registered; r; r = r->next)
        if (sameName(r->type, type) && sameName(r->name, name)) return {r->data, r->size};
#if defined(_WIN32)
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    HMODULE module = resourceModule ? static_cast<HMODULE>(resourceModule) : GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, upper.c_str(), type);
    if (!info) return {};
    HGLOBAL handle = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data || size == 0) return {};
    return {data, size};
#else
    (void)resourceModule;
    return {};
#endif
}

} // namespace kelo::platform
