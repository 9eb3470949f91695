#include "tools/kelo-skin/SkinCheck.h"

#include <algorithm>
#include <filesystem>

#include "editor/SkinLayout.h"
#include "tools/kelo-skin/ImageInfo.h"

namespace kelo {
namespace {

// Pictures larger than this are refused by the editor too, rather than allocated.
constexpr long long kMaxPixels = 64ll << 20;

} // namespace

SkinImage probeSkinImage(const std::string&, std::string_view bytes) {
    int w = 0, h = 0;
    if (!imageInfo(bytes, w, h)) return {};
    if (w <= 0 || h <= 0 || (long long)w * h > kMaxPixels) return {};
    // Only the size matters here; the handle just marks the image as read.
    static const std::shared_ptr<void> probed = std::make_shared<int>(0);
    return {probed, w, h};
}

SkinCheckResult checkSkinFile(const std::string& path) {
    namespace fs = std::filesystem;
    SkinCheckResult result;
    const fs::path file(path);
    const std::string name = file.filename().string();
    const FolderSkinStore store(file.parent_path().string());
    result.opened = parseSkin(result.skin, store, name, &result.diagnostics);
    if (result.opened) {
        loadSkinBitmaps(result.skin, store, probeSkinImage, &result.diagnostics);
        checkSkinLayout(result.skin, name, result.diagnostics);
    }
    std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(),
                     [&](const SkinDiagnostic& a, const SkinDiagnostic& b) {
                         // The skin's own file first, then its includes, each in line order.
                         const bool aTop = a.file == name, bTop = b.file == name;
                         if (aTop != bTop) return aTop;
                         if (a.file != b.file) return a.file < b.file;
                         return a.line < b.line;
                     });
    for (const SkinDiagnostic& d : result.diagnostics)
        ++(d.severity == SkinDiagnostic::Severity::Error ? result.errors : result.warnings);
    return result;
}

int printSkinCheck(const std::string& path, const SkinCheckResult& result, std::ostream& out) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(path).parent_path();
    const std::string top = fs::path(path).filename().string();
    for (const SkinDiagnostic& d : result.diagnostics) {
        // Reports name files as the user can open them.
        out << (d.file == top ? path : (folder / d.file).string());
        if (d.line > 0) out << ':' << d.line;
        out << (d.severity == SkinDiagnostic::Severity::Error ? ": error: " : ": warning: ") << d.message << '\n';
    }
    if (!result.opened) return 2;
    out << path << ": " << result.skin.elements.size() << " elements, " << result.skin.bitmaps.size()
        << " bitmaps, panel " << result.skin.rect(skintag::BACKGROUND).width() << " x "
        << result.skin.rect(skintag::BACKGROUND).height() << "; " << result.errors << " error"
        << (result.errors == 1 ? "" : "s") << ", " << result.warnings << " warning"
        << (result.warnings == 1 ? "" : "s") << '\n';
    return result.errors ? 1 : 0;
}

} // namespace kelo
