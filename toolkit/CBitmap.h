#pragma once
// A reference-counted image: a PNG (or BMP) from a file, from the module's resources or from
// memory, or raw pixels. Loading never throws and never allocates for an image over the pixel
// budget: a bitmap that failed is an object with isLoaded() false and a reason.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/CBaseObject.h"

namespace kelo::gui {

class CDrawContext;
class IPlatformBitmap;

// A module resource by name (compared without regard to case).
class CResourceDescription {
public:
    CResourceDescription(const char* name) : name_(name ? name : "") {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

enum class BitmapLoadResult {
    kOk = 0,
    kNotFound,    // no such file or resource
    kUnreadable,  // the file could not be read
    kTooLarge,    // over the pixel budget or the file-size limit
    kCorrupt,     // not a PNG/BMP the decoder accepts, or truncated
    kNoBackend,   // the platform cannot hold images
};

class CBitmap : public CBaseObject {
public:
    // Images above this many pixels are refused before decoding (64 MB of pixels).
    static constexpr int64_t kMaxPixels = int64_t(1) << 24;
    static constexpr int kMaxDimension = 1 << 16;
    static constexpr size_t kMaxFileBytes = size_t(256) << 20;

    explicit CBitmap(const CResourceDescription& resource);
    // width × height premultiplied 0xAARRGGBB words (see IPlatformBitmap.h).
    CBitmap(const uint32_t* pixels, int width, int height);
    ~CBitmap() override;

    static CBitmap* fromFile(const std::string& path);
    static CBitmap* fromMemory(const void* data, size_t size);

    bool isLoaded() const { return platformBitmap_ != nullptr; }
    BitmapLoadResult getLoadResult() const { return result_; }
    CCoord getWidth() const { return width_; }
    CCoord getHeight() const { return height_; }
    IPlatformBitmap* getPlatformBitmap() const { return platformBitmap_.get(); }

    // Bitmap pixel (offset.x + i, offset.y + j) lands on (dest.left + i, dest.top + j).
    virtual void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(0, 0),
                      float alpha = 1.0f);

private:
    CBitmap() = default;
    void decode(const void* data, size_t size);

    std::unique_ptr<IPlatformBitmap> platformBitmap_;
    BitmapLoadResult result_ = BitmapLoadResult::kNotFound;
    CCoord width_ = 0;
    CCoord height_ = 0;
};

} // namespace kelo::gui
