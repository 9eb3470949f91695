#include "editor/SkinLoader.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "files/EditorSettings.h"
#include "files/TextScanner.h"

namespace kelo {
namespace {

constexpr std::size_t kWordMax = SkinDefinition::kMaxText;

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool isKeyword(std::string_view w) {
    for (const char* k : {"NAME", "CROSSFADE", "BLENDMODE", "TRANSPARENTCOLOR", "OFFSET", "CABLETYPE",
                          "CABLETINT", "INCLUDE", "LEDCOLOR", "VERSION"})
        if (w == k) return true;
    return false;
}

std::string sameSeparators(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

class Parser {
public:
    Parser(SkinDefinition& def, const SkinStore& store, SkinDiagnostics* report)
        : def_(def), store_(store), report_(report) {}

    void parse(std::string_view text, const std::string& file) {
        includeStack_.push_back(sameSeparators(file));
        File f{text, TextScanner(std::string(text)), file};
        run(f);
        includeStack_.pop_back();
    }

private:
    struct File {
        std::string_view text;
        TextScanner sc;
        std::string name;
        // Lines are counted as the scanner moves forward.
        std::size_t countedTo = 0;
        int32_t line = 1;
        int32_t lastUnknownLine = 0;
    };

    // The line of `pos`; positions asked for never go back.
    static int32_t lineAt(File& f, std::size_t pos) {
        pos = std::min(std::max(pos, f.countedTo), f.text.size());
        f.line += int32_t(std::count(f.text.begin() + std::ptrdiff_t(f.countedTo), f.text.begin() + std::ptrdiff_t(pos), '\n'));
        f.countedTo = pos;
        return f.line;
    }

    void say(const File& f, int32_t line, std::string message,
             SkinDiagnostic::Severity severity = SkinDiagnostic::Severity::Error) {
        if (report_) report_->push_back({severity, f.name, line, std::move(message)});
    }

    // A quoted text: a double quote right after the blanks, then up to the next double quote on
    // the same line. Longer texts keep their first kMaxText characters.
    static bool quoted(File& f, std::string& out) {
        f.sc.skipSpace();
        if (f.sc.peek() != '"') return false;
        f.sc.get();
        out.clear();
        for (;;) {
            const int c = f.sc.peek();
            if (c == TextScanner::kEnd || c == '\n' || c == '\r') return false;
            f.sc.get();
            if (c == '"') return true;
            if (out.size() < SkinDefinition::kMaxText) out.push_back(char(c));
        }
    }

    // `n` numbers, each after a comma except the first one when `leadingComma` is false.
    static bool numbers(File& f, int32_t* out, int n, bool leadingComma) {
        for (int i = 0; i < n; ++i) {
            if (i > 0 || leadingComma) {
                f.sc.skipSpace();
                if (!f.sc.literal(',')) return false;
            }
            if (!f.sc.scanInt(out[i])) return false;
        }
        return true;
    }

    // A word of at most kWordMax characters; the rest of a longer one is dropped, so an
    // over-long name is cut rather than read as two words.
    static bool word(File& f, std::string& out) {
        if (!f.sc.word(out, kWordMax)) return false;
        while (!f.sc.atEnd() && !isBlank(f.sc.peek())) f.sc.get();
        return true;
    }

    static uint8_t byteOf(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }

    int16_t coordinate(File& f, int32_t line, int32_t tag, int64_t v, const char* what) {
        constexpr int64_t lo = std::numeric_limits<int16_t>::min();
        constexpr int64_t hi = std::numeric_limits<int16_t>::max();
        if (v < lo || v > hi) {
            say(f, line, std::string("element ") + skinTagName(tag) + ": " + what + " " + std::to_string(v) +
                             " does not fit in 16 bits");
            return static_cast<int16_t>(v < lo ? lo : hi);
        }
        return static_cast<int16_t>(v);
    }

    void element(File& f, int32_t line, int32_t tag, std::string instance, bool longForm) {
        std::string file;
        if (!quoted(f, file)) {
            say(f, line, "element " + std::string(skinTagName(tag)) +
                             ": expected a bitmap file name in double quotes on its line");
            return fail();
        }
        int32_t n[7] = {};
        if (!numbers(f, n, longForm ? 7 : 4, true)) {
            say(f, line, std::string("element ") + skinTagName(tag) +
                             (longForm ? ": expected , x, y, width, height, extra1, extra2, extra3"
                                       : ": expected , x, y, width, height"));
            return fail();
        }
        if (def_.elements.size() >= SkinDefinition::kMaxElements) {
            say(f, line, "element " + std::string(skinTagName(tag)) + " left out: a skin holds at most " +
                             std::to_string(SkinDefinition::kMaxElements) + " elements");
            return;
        }
        SkinElement e;
        e.tag = tag;
        e.instanceName = std::move(instance);
        e.bitmapFile = std::move(file);
        e.x = coordinate(f, line, tag, int64_t(n[0]) + def_.settings.offsetX, "x");
        e.y = coordinate(f, line, tag, int64_t(n[1]) + def_.settings.offsetY, "y");
        e.width = coordinate(f, line, tag, n[2], "width");
        e.height = coordinate(f, line, tag, n[3], "height");
        if (longForm) e.extra = {n[4], n[5], n[6]};
        e.sourceFile = f.name;
        e.sourceLine = line;
        def_.elements.push_back(std::move(e));
    }

    void include(File& f, int32_t line, const std::string& name) {
        const std::string key = sameSeparators(name);
        if (std::find(includeStack_.begin(), includeStack_.end(), key) != includeStack_.end()) {
            std::string chain;
            for (const std::string& s : includeStack_) chain += s + " -> ";
            say(f, line, "INCLUDE \"" + name + "\" is a cycle: " + chain + key);
            return;
        }
        if (int(includeStack_.size()) > kMaxSkinIncludeDepth) {
            say(f, line, "INCLUDE \"" + name + "\" nests deeper than " + std::to_string(kMaxSkinIncludeDepth) +
                             " files");
            return;
        }
        if (includesRead_ >= kMaxSkinIncludes) {
            if (includesRead_++ == kMaxSkinIncludes)
                say(f, line, "INCLUDE \"" + name + "\" and those after it skipped: a skin includes at most " +
                                 std::to_string(kMaxSkinIncludes) + " files");
            return;
        }
        ++includesRead_;
        std::string text;
        if (!store_.read(name, text)) {
            say(f, line, "INCLUDE \"" + name + "\": cannot open the file");
            return;
        }
        // An included skin is the base of this one: what was read before it is dropped.
        SkinSettings& s = def_.settings;
        s.name = "Default";
        s.offsetX = s.offsetY = 0;
        s.crossFade = 0;
        def_.elements.clear();
        parse(text, name);
    }

    void keyword(File& f, int32_t line, const std::string& w) {
        SkinSettings& s = def_.settings;
        int32_t n[3] = {};
        if (w == "NAME" || w == "INCLUDE") {
            std::string text;
            if (!quoted(f, text)) {
                say(f, line, w + ": expected a text in double quotes on its line");
                return fail();
            }
            if (w == "NAME")
                s.name = text;
            else
                include(f, line, text);
            return;
        }
        if (w == "LEDCOLOR") {
            int32_t index = 0;
            double rgb[3] = {};
            bool ok = f.sc.scanInt(index);
            for (int i = 0; ok && i < 3; ++i) {
                f.sc.skipSpace();
                ok = f.sc.literal(',') && f.sc.scanDecimal(rgb[i]);
            }
            if (!ok) {
                say(f, line, "LEDCOLOR: expected index, red, green, blue");
                return fail();
            }
            if (index >= 0 && index <= 255)
                s.ledColors[std::size_t(index)] = {toFloat(rgb[0]), toFloat(rgb[1]), toFloat(rgb[2])};
            else
                say(f, line, "LEDCOLOR index " + std::to_string(index) + " is outside 0..255",
                    SkinDiagnostic::Severity::Warning);
            return;
        }
        const int count = (w == "TRANSPARENTCOLOR" || w == "CABLETINT") ? 3 : (w == "OFFSET" ? 2 : 1);
        if (!numbers(f, n, count, false)) {
            say(f, line, w + (count == 3 ? ": expected red, green, blue"
                                         : (count == 2 ? ": expected x, y" : ": expected a number")));
            return fail();
        }
        if (w == "CROSSFADE" || w == "BLENDMODE") s.crossFade = n[0];
        else if (w == "CABLETYPE") s.cableType = n[0];
        else if (w == "VERSION") s.version = n[0];
        else if (w == "OFFSET") s.offsetX = n[0], s.offsetY = n[1];
        else if (w == "TRANSPARENTCOLOR") s.transparentColor = {byteOf(n[0]), byteOf(n[1]), byteOf(n[2]), 255};
        else if (w == "CABLETINT") s.cableTint = {byteOf(n[0]), byteOf(n[1]), byteOf(n[2])};
    }

    void unknown(File& f, int32_t line, const std::string& w) {
        if (f.lastUnknownLine == line) return; // one report per line
        f.lastUnknownLine = line;
        say(f, line, "unknown word '" + w + "' (not a keyword or element tag" +
                         (def_.settings.version >= 2 ? ", nor an element name followed by a tag" : "") + "); skipped");
    }

    void fail() { failed_ = true; }

    void run(File& f) {
        std::string w;
        for (;;) {
            f.sc.skipSpace();
            if (f.sc.atEnd()) return;
            const std::size_t start = f.sc.position();
            if (f.sc.peek() == ';') {
                f.sc.skipPastLineFeed();
                continue;
            }
            word(f, w);
            const int32_t line = lineAt(f, start);
            // Where this line ends, for skipping what is left of it after an error.
            const std::size_t lineEnd = std::min(f.text.find('\n', start), f.text.size());
            failed_ = false;

            if (isKeyword(w)) {
                keyword(f, line, w);
            } else if (const int32_t tag = skinTagId(w); tag >= 0) {
                element(f, line, tag, {}, false);
            } else if (def_.settings.version >= 2) {
                // The long form: the word is the element's name, the tag follows on its line.
                const std::size_t afterName = f.sc.position();
                std::string tagWord;
                f.sc.skipSpace();
                const std::size_t tagStart = f.sc.position();
                const bool have = word(f, tagWord);
                const int32_t tagLine = have ? lineAt(f, tagStart) : line;
                const int32_t longTag = have && tagLine == line ? skinTagId(tagWord) : -1;
                if (longTag >= 0) {
                    element(f, line, longTag, w, true);
                } else if (have && tagLine != line) {
                    f.sc.seek(afterName);
                    unknown(f, line, w);
                } else {
                    unknown(f, line, w);
                    fail();
                }
            } else {
                // Older skins: an unknown word is skipped and the line read on word by word.
                unknown(f, line, w);
            }
            // After a line that could not be used, go on at the next line (unless scanning has
            // already stepped onto it), so one bad line never swallows the following good one.
            if (failed_ && f.sc.position() < lineEnd) f.sc.seek(lineEnd);
        }
    }

    SkinDefinition& def_;
    const SkinStore& store_;
    SkinDiagnostics* report_;
    std::vector<std::string> includeStack_;
    int includesRead_ = 0;
    bool failed_ = false;
};

} // namespace

void parseSkinText(SkinDefinition& def, const SkinStore& store, std::string_view text, const std::string& fileName,
                   SkinDiagnostics* report) {
    Parser(def, store, report).parse(text, fileName);
}

bool parseSkin(SkinDefinition& def, const SkinStore& store, const std::string& fileName, SkinDiagnostics* report) {
    std::string text;
    if (!store.read(fileName, text)) {
        if (report) report->push_back({SkinDiagnostic::Severity::Error, fileName, 0, "cannot open the skin file"});
        return false;
    }
    parseSkinText(def, store, text, fileName, report);
    return true;
}

void loadSkinBitmaps(SkinDefinition& def, const SkinStore& store, const SkinImageDecoder& decode,
                     SkinDiagnostics* report) {
    def.bitmaps.clear();
    std::vector<std::string> failed;
    std::string bytes;
    for (SkinElement& e : def.elements) {
        e.bitmapIndex = -1;
        if (e.bitmapFile.empty()) continue;
        const auto loaded = std::find_if(def.bitmaps.begin(), def.bitmaps.end(),
                                         [&](const SkinBitmap& b) { return b.file == e.bitmapFile; });
        if (loaded != def.bitmaps.end()) {
            e.bitmapIndex = int32_t(loaded - def.bitmaps.begin());
            continue;
        }
        const bool knownBad = std::find(failed.begin(), failed.end(), e.bitmapFile) != failed.end();
        SkinImage image;
        if (!knownBad && store.read(e.bitmapFile, bytes)) image = decode(e.bitmapFile, bytes);
        if (!image.valid()) {
            if (!knownBad) failed.push_back(e.bitmapFile);
            if (report)
                report->push_back({SkinDiagnostic::Severity::Error, e.sourceFile, e.sourceLine,
                                   std::string("element ") + skinTagName(e.tag) + ": bitmap \"" + e.bitmapFile +
                                       "\" is missing or not a readable image"});
            continue;
        }
        e.bitmapIndex = int32_t(def.bitmaps.size());
        def.bitmaps.push_back({e.bitmapFile, std::move(image)});
    }
}

bool loadSkin(SkinDefinition& def, const SkinStore& store, const std::string& skinName,
              const SkinImageDecoder& decode, SkinDiagnostics* report) {
    if (skinName.empty() || skinName.size() > kSkinNameMax) return false;
    SkinDefinition fresh;
    fresh.settings = def.settings;
    fresh.settings.name = "Default";
    fresh.settings.offsetX = fresh.settings.offsetY = 0;
    fresh.settings.crossFade = 0;
    // A skin without VERSION reads the same whatever skin was loaded before it.
    fresh.settings.version = 1;
    if (!parseSkin(fresh, store, skinName + ".skn", report)) return false;
    loadSkinBitmaps(fresh, store, decode, report);
    if (!fresh.bitmap(skintag::BACKGROUND)) {
        if (report)
            report->push_back({SkinDiagnostic::Severity::Error, skinName + ".skn", 0,
                               "no BACKGROUND element with a readable bitmap: the skin cannot show a panel"});
        return false;
    }
    def = std::move(fresh);
    return true;
}

SkinOrigin loadSkinWithFallback(SkinDefinition& def, const SkinStore& dataFolder, const SkinStore* builtIn,
                                const std::string& skinName, const SkinImageDecoder& decode) {
    if (loadSkin(def, dataFolder, skinName, decode)) return SkinOrigin::Named;
    if (skinName != kDefaultSkinName && loadSkin(def, dataFolder, kDefaultSkinName, decode))
        return SkinOrigin::DefaultFile;
    if (builtIn && loadSkin(def, *builtIn, kDefaultSkinName, decode)) return SkinOrigin::BuiltIn;
    return SkinOrigin::None;
}

} // namespace kelo
