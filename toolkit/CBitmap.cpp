#include "toolkit/CBitmap.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "platform/Resources.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/StbImage.h"
#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {

CBitmap::CBitmap(const CResourceDescription& resource) {
    const platform::ResourceData r = platform::findResource("PNG", resource.name().c_str());
    if (!r) {
        result_ = BitmapLoadResult::kNotFound;
        return;
    }
    decode(r.data, r.size);
}

CBitmap::CBitmap(const uint32_t* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
        int64_t(width) * height > kMaxPixels) {
        result_ = BitmapLoadResult::kTooLarge;
        return;
    }
    platformBitmap_ = getPlatformFactory().createBitmap(pixels, width, height);
    if (!platformBitmap_) {
        result_ = BitmapLoadResult::kNoBackend;
        return;
    }
    result_ = BitmapLoadResult::kOk;
    width_ = width;
    height_ = height;
}

CBitmap::~CBitmap() = default;

CBitmap* CBitmap::fromFile(const std::string& path) {
    namespace fs = std::filesystem;
    auto* b = new CBitmap();
    std::error_code ec;
    const fs::path p(path);
    if (path.empty() || !fs::exists(p, ec)) {
        b->result_ = BitmapLoadResult::kNotFound;
        return b;
    }
    // A folder or a device is no image, whatever its reported size.
    const uintmax_t size = fs::is_regular_file(p, ec) ? fs::file_size(p, ec) : 0;
    if (ec || !fs::is_regular_file(p, ec)) {
        b->result_ = BitmapLoadResult::kUnreadable;
        return b;
    }
    if (size > kMaxFileBytes) {
        b->result_ = BitmapLoadResult::kTooLarge;
        return b;
    }
    std::vector<char> bytes(static_cast<size_t>(size));
    std::ifstream in(p, std::ios::binary);
    if (!in || (!bytes.empty() && !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))) {
        b->result_ = BitmapLoadResult::kUnreadable;
        return b;
    }
    b->decode(bytes.data(), bytes.size());
    return b;
}

CBitmap* CBitmap::fromMemory(const void* data, size_t size) {
    auto* b = new CBitmap();
    b->decode(data, size);
    return b;
}

void CBitmap::decode(const void* data, size_t size) {
    int w = 0;
    int h = 0;
    // The header decides before anything is allocated.
    if (size > kMaxFileBytes) {
        result_ = BitmapLoadResult::kTooLarge;
        return;
    }
    // A PNG states its size in its first chunk: a hostile one is refused by that alone.
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (bytes && size >= 24 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(bytes + 12, "IHDR", 4) == 0) {
        auto be32 = [](const unsigned char* p) {
            return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
        };
        const uint32_t pw = be32(bytes + 16);
        const uint32_t ph = be32(bytes + 20);
        if (pw > uint32_t(kMaxDimension) || ph > uint32_t(kMaxDimension) || uint64_t(pw) * ph > uint64_t(kMaxPixels)) {
            result_ = BitmapLoadResult::kTooLarge;
            return;
        }
    }
    if (!stb::info(data, size, w, h)) {
        result_ = BitmapLoadResult::kCorrupt;
        return;
    }
    if (w <= 0 || h <= 0 || w > kMaxDimension || h > kMaxDimension || int64_t(w) * h > kMaxPixels) {
        result_ = BitmapLoadResult::kTooLarge;
        return;
    }
    unsigned char* rgba = stb::decodeRgba(data, size, w, h);
    if (!rgba) {
        result_ = BitmapLoadResult::kCorrupt;
        return;
    }
    std::vector<uint32_t> argb;
    try {
        argb.resize(size_t(w) * size_t(h));
    } catch (const std::bad_alloc&) {
        stb::release(rgba);
        result_ = BitmapLoadResult::kTooLarge;
        return;
    }
    for (size_t i = 0; i < argb.size(); ++i) {
        const unsigned char* p = rgba + i * 4;
        const uint32_t a = p[3];
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        argb[i] = (a << 24) | (mul(p[0]) << 16) | (mul(p[1]) << 8) | mul(p[2]);
    }
    stb::release(rgba);
    platformBitmap_ = getPlatformFactory().createBitmap(argb.data(), w, h);
    if (!platformBitmap_) {
        result_ = BitmapLoadResult::kNoBackend;
        return;
    }
    result_ = BitmapLoadResult::kOk;
    width_ = w;
    height_ = h;
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha) {
    if (context) context->drawBitmap(this, dest, offset, alpha);
}

} // namespace kelo::gui
