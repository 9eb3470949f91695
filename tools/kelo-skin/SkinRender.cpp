#include "tools/kelo-skin/SkinRender.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/Riv303Uru.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/OffscreenFrame.h"

// Third-party code: compiled here on its own, with its warnings off (see CMakeLists.txt).
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace kelo {
namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

#if !defined(_WIN32)
// The instance reads and writes its files in the user's data folder: give it an empty one.
class ScratchHome {
public:
    ScratchHome() {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::string pattern = (base / "kelo-skin-XXXXXX").string();
        if (mkdtemp(pattern.data())) folder_ = pattern;
        for (const char* var : {"HOME", "XDG_CONFIG_HOME"}) {
            const char* v = std::getenv(var);
            saved_.emplace_back(var, v ? std::make_unique<std::string>(v) : nullptr);
            if (!folder_.empty()) setenv(var, folder_.c_str(), 1);
        }
    }
    ~ScratchHome() {
        for (const auto& [var, value] : saved_) value ? setenv(var, value->c_str(), 1) : unsetenv(var);
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }

private:
    std::string folder_;
    std::vector<std::pair<const char*, std::unique_ptr<std::string>>> saved_;
};
#endif

bool writePng(const std::string& path, const uint32_t* pixels, int width, int height) {
    std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        const uint32_t p = pixels[i];
        const uint32_t a = p >> 24;
        auto straight = [a](uint32_t c) { return a ? static_cast<unsigned char>((c * 255 + a / 2) / a) : 0; };
        rgba[i * 4 + 0] = straight((p >> 16) & 0xff);
        rgba[i * 4 + 1] = straight((p >> 8) & 0xff);
        rgba[i * 4 + 2] = straight(p & 0xff);
        rgba[i * 4 + 3] = static_cast<unsigned char>(a);
    }
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

} // namespace

int renderSkin(const std::string& skinPath, const std::string& pngPath, std::string& error) {
    namespace fs = std::filesystem;
#if !defined(_WIN32)
    const ScratchHome home;
#endif
    const fs::path file(skinPath);
    const FolderSkinStore store(file.parent_path().string());
    Vez303 plugin(&quietHost, &createEditor);
    auto* editor = static_cast<Riv303Uru*>(plugin.getEditor());
    if (!editor || !editor->useSkin(store, file.stem().string())) {
        error = "cannot load the skin (no such file, or its BACKGROUND picture does not load)";
        return 2;
    }
    if (!editor->openOffscreen()) {
        error = "cannot open the editor offscreen";
        return 2;
    }
    gui::CFrame* frame = editor->getFrame();
    frame->idle(); // paints what the opening drew; the editor's own timers have not run
    auto& context = frame->getOffscreenFrame()->context();
    const bool written = writePng(pngPath, context.getPixels(), context.getWidth(), context.getHeight());
    editor->close();
    if (!written) {
        error = "cannot write " + pngPath;
        return 3;
    }
    return 0;
}

} // namespace kelo
