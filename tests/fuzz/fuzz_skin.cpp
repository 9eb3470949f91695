// Skin files with their includes and bitmaps: whatever a skin says, every element keeps a tag of
// the table, texts and element counts within their limits, a rectangle with its corners in
// order and a frame count its bitmap holds; a load that fails leaves the skin in use untouched.
// Input: the skin file, then up to three more files after NUL bytes. INCLUDE of any name reads
// one of those (or nothing); any other name is a bitmap whose size and readability come from
// the name, so includes and bitmaps need no exact names to be found.
#include <algorithm>
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "editor/SkinLayout.h"
#include "editor/SkinLoader.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

namespace {

constexpr const char* kSkinName = "Fuzz";

uint32_t hashOf(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ uint8_t(c)) * 16777619u;
    return h;
}

bool endsWithSkn(std::string_view s) {
    if (s.size() < 4) return false;
    std::string tail(s.substr(s.size() - 4));
    for (char& c : tail) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".skn";
}

class FuzzStore final : public SkinStore {
public:
    std::vector<std::string_view> files;
    bool read(const std::string& name, std::string& bytes) const override {
        if (name == std::string(kSkinName) + ".skn") {
            bytes.assign(files[0]);
            return true;
        }
        const uint32_t h = hashOf(name);
        if (h % 8 == 0) return false;
        if (endsWithSkn(name))
            bytes.assign(files[files.size() > 1 ? 1 + (h >> 3) % (files.size() - 1) : 0]);
        else
            bytes = name; // a bitmap: the decoder reads its size from the name
        return true;
    }
};

SkinImage decode(const std::string&, std::string_view bytes) {
    const uint32_t h = hashOf(bytes);
    if (h % 11 == 0) return {};
    static const std::shared_ptr<void> handle = std::make_shared<int>(0);
    return {handle, int32_t(1 + h % 1024), int32_t(1 + (h >> 10) % 4096)};
}

// The skin in use before the load: settings a load must carry over or leave alone.
const SkinDefinition& previous() {
    static const SkinDefinition def = [] {
        static const std::string text = "NAME \"Before\"\nVERSION 2\nLEDCOLOR 3, 0.5, 0.25, 1\n"
                                        "TRANSPARENTCOLOR 1, 2, 3\nOFFSET 4, 5\n"
                                        "BACKGROUND \"bg.png\", 0, 0, 708, 362\n";
        MemorySkinStore store;
        store.add("Before.skn", text);
        SkinDefinition d;
        parseSkin(d, store, "Before.skn");
        loadSkinBitmaps(d, FuzzStore{}, decode);
        FUZZ_CHECK(d.bitmap(skintag::BACKGROUND) != nullptr);
        return d;
    }();
    return def;
}

bool sameElement(const SkinElement& a, const SkinElement& b) {
    return a.tag == b.tag && a.instanceName == b.instanceName && a.bitmapFile == b.bitmapFile && a.x == b.x &&
           a.y == b.y && a.width == b.width && a.height == b.height && a.state == b.state && a.link == b.link &&
           a.extra == b.extra && a.bitmapIndex == b.bitmapIndex && a.sourceFile == b.sourceFile &&
           a.sourceLine == b.sourceLine;
}

bool sameDefinition(const SkinDefinition& a, const SkinDefinition& b) {
    const SkinSettings &s = a.settings, &t = b.settings;
    if (s.name != t.name || s.transparentColor != t.transparentColor || s.cableTint != t.cableTint ||
        s.ledColors != t.ledColors || s.offsetX != t.offsetX || s.offsetY != t.offsetY ||
        s.cableType != t.cableType || s.crossFade != t.crossFade || s.version != t.version)
        return false;
    if (a.elements.size() != b.elements.size() || a.bitmaps.size() != b.bitmaps.size()) return false;
    for (std::size_t i = 0; i < a.elements.size(); ++i)
        if (!sameElement(a.elements[i], b.elements[i])) return false;
    for (std::size_t i = 0; i < a.bitmaps.size(); ++i)
        if (a.bitmaps[i].file != b.bitmaps[i].file || a.bitmaps[i].image.handle != b.bitmaps[i].image.handle)
            return false;
    return true;
}

void checkDefinition(const SkinDefinition& def) {
    FUZZ_CHECK(def.elements.size() <= SkinDefinition::kMaxElements);
    FUZZ_CHECK(def.settings.name.size() <= SkinDefinition::kMaxText);
    std::bitset<2048> present;
    for (const SkinElement& e : def.elements) {
        FUZZ_CHECK(skinTagName(e.tag) != nullptr);
        FUZZ_CHECK(e.tag >= 0 && e.tag < int32_t(present.size()));
        present.set(std::size_t(e.tag));
        FUZZ_CHECK(e.instanceName.size() <= SkinDefinition::kMaxText);
        FUZZ_CHECK(e.bitmapFile.size() <= SkinDefinition::kMaxText);
        FUZZ_CHECK(e.sourceLine >= 1);
        FUZZ_CHECK(e.bitmapIndex >= -1 && e.bitmapIndex < int32_t(def.bitmaps.size()));
        if (e.bitmapIndex >= 0) FUZZ_CHECK(def.bitmaps[std::size_t(e.bitmapIndex)].file == e.bitmapFile);
        const SkinRect r = elementRect(e);
        FUZZ_CHECK(r.left <= r.right && r.top <= r.bottom);
        FUZZ_CHECK(r.width() == std::abs(int32_t(e.width)) && r.height() == std::abs(int32_t(e.height)));
    }
    for (const SkinTagRow& row : kSkinTagTable) {
        if (!present[std::size_t(row.id)]) continue;
        const int32_t frames = def.frameCount(row.id);
        FUZZ_CHECK(frames >= 0);
        if (frames > 0) FUZZ_CHECK(int64_t(frames) * def.rect(row.id).height() <= def.bitmap(row.id)->height);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FuzzStore store;
    for (std::size_t from = 0; store.files.size() < 4;) {
        const std::size_t end = store.files.size() == 3 ? input.size() : std::min(input.find('\0', from), input.size());
        store.files.push_back(input.substr(from, end - from));
        if (end >= input.size()) break;
        from = end + 1;
    }

    // What the editor keeps: the new skin only when it can show a panel.
    SkinDefinition def = previous();
    SkinDiagnostics report;
    const bool loaded = loadSkin(def, store, kSkinName, decode, &report);
    if (loaded) {
        FUZZ_CHECK(def.bitmap(skintag::BACKGROUND) != nullptr);
    } else {
        FUZZ_CHECK(sameDefinition(def, previous()));
        // The skin as read all the same, as a skin author's check sees it.
        def = SkinDefinition{};
        FUZZ_CHECK(parseSkin(def, store, std::string(kSkinName) + ".skn", &report));
        loadSkinBitmaps(def, store, decode, &report);
    }
    checkDefinition(def);
    checkSkinLayout(def, "Fuzz.skn", report);
    for (const SkinDiagnostic& d : report) FUZZ_CHECK(d.line >= 0 && !d.message.empty());
    return 0;
}
