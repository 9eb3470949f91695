#include "editor/EditorResources.h"

#include <cctype>
#include <memory>

#include "platform/Resources.h"
#include "toolkit/CBitmap.h"

namespace kelo {
namespace {

constexpr const char* kSkinResourceType = "SKIN";

class ResourceSkinStore final : public SkinStore {
public:
    bool read(const std::string& name, std::string& bytes) const override {
        const platform::ResourceData r = platform::findResource(kSkinResourceType, builtInSkinResourceName(name).c_str());
        if (!r) return false;
        bytes.assign(static_cast<const char*>(r.data), r.size);
        return true;
    }
};

// Marks the images this file made, so skinBitmap never casts a stranger's handle.
void forgetBitmap(void* p) { static_cast<gui::CBitmap*>(p)->forget(); }

} // namespace

std::string builtInSkinResourceName(const std::string& file) {
    std::string name;
    name.reserve(file.size());
    for (char c : file) {
        if (c == '/' || c == '\\') c = '_';
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

const SkinStore& builtInSkinStore() {
    static const ResourceSkinStore store;
    return store;
}

SkinImage decodeSkinImage(const std::string&, std::string_view bytes) {
    gui::CBitmap* bitmap = gui::CBitmap::fromMemory(bytes.data(), bytes.size());
    if (!bitmap) return {};
    if (!bitmap->isLoaded()) {
        bitmap->forget();
        return {};
    }
    SkinImage image;
    image.width = static_cast<int32_t>(bitmap->getWidth());
    image.height = static_cast<int32_t>(bitmap->getHeight());
    image.handle = std::shared_ptr<void>(bitmap, &forgetBitmap);
    return image;
}

gui::CBitmap* skinBitmap(const SkinImage* image) {
    if (!image || !image->valid()) return nullptr;
    if (auto* d = std::get_deleter<void (*)(void*)>(image->handle); !d || *d != &forgetBitmap) return nullptr;
    return static_cast<gui::CBitmap*>(image->handle.get());
}

} // namespace kelo
