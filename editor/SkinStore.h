#pragma once
// Where a skin's files come from, and how its bitmaps become images: the seam between the skin
// model and the toolkit that draws the bitmaps.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelo {

// A bitmap as the toolkit holds it (opaque here), with its size in pixels.
struct SkinImage {
    std::shared_ptr<void> handle;
    int32_t width = 0;
    int32_t height = 0;
    bool valid() const { return handle != nullptr && width > 0 && height > 0; }
};

// Turns a bitmap file's bytes into an image; an invalid image when they are not a picture it
// reads. `name` is the file name as the skin writes it.
using SkinImageDecoder = std::function<SkinImage(const std::string& name, std::string_view bytes)>;

class SkinStore {
public:
    virtual ~SkinStore() = default;
    // The whole file `name` (relative; '/' or '\' between folders); false when it cannot be read.
    virtual bool read(const std::string& name, std::string& bytes) const = 0;
};

// The files of a folder on disk (the data folder).
class FolderSkinStore final : public SkinStore {
public:
    // Files above this size are refused rather than read.
    static constexpr std::size_t kMaxFileBytes = 64u << 20;

    explicit FolderSkinStore(std::string folder, std::size_t maxFileBytes = kMaxFileBytes);
    bool read(const std::string& name, std::string& bytes) const override;
    // The folder followed by `name`, with the platform's separator throughout.
    std::string path(const std::string& name) const;

private:
    std::string folder_;
    std::size_t maxFileBytes_;
};

// Files held in memory, such as the copy of the default skin built into the plug-in.
class MemorySkinStore final : public SkinStore {
public:
    // `bytes` must outlive the store.
    void add(std::string name, std::string_view bytes);
    bool read(const std::string& name, std::string& bytes) const override;

private:
    std::vector<std::pair<std::string, std::string_view>> files_;
};

} // namespace kelo
