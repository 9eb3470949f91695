#include "files/EditorSettingsFile.h"

#include <cstdint>

#include "files/TextScanner.h"

namespace kelo {
namespace {

constexpr std::size_t kWordMax = 79;

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int32_t clampSensitivity(int32_t v) { return v < 1 ? 1 : (v > 5000 ? 5000 : v); }
// -1 is "no function"; the editor's other negative states must never outlive it.
int32_t functionBinding(int32_t v) { return v < -1 ? -1 : v; }

// The key as "%79s" (white space already skipped), except that an '=' ends it too, so
// "KnobMode=1" still reads.
bool scanKey(TextScanner& sc, std::string& key) {
    key.clear();
    while (key.size() < kWordMax && !sc.atEnd() && !isBlank(sc.peek()) && sc.peek() != '=')
        key.push_back(char(sc.get()));
    return !key.empty();
}

// The value after "Skin =": a quoted name, read to the closing quote (a name too long for the
// field keeps its first characters and the rest is skipped). A bare name on the key's line is
// taken up to the line end; nothing is taken when the value is missing.
void scanSkinName(TextScanner& sc, std::string& skin, bool valueOnKeyLine) {
    if (sc.peek() == '"') {
        sc.get();
        std::string name;
        for (int c = sc.get(); c != TextScanner::kEnd && c != '"'; c = sc.get())
            if (name.size() < kSkinNameMax) name.push_back(char(c));
        skin = name;
        return;
    }
    if (!valueOnKeyLine || sc.atEnd()) return;
    std::string name = sc.restOfLine(kSkinNameMax);
    while (!name.empty() && isBlank(static_cast<unsigned char>(name.back()))) name.pop_back();
    // The file stores names in double quotes: one that holds a quote could not be stored again.
    if (!name.empty() && name.find('"') == std::string::npos) skin = name;
}

} // namespace

void parseEditorSettings(EditorSettings& s, std::string_view text) {
    TextScanner sc{std::string(text)};
    if (text.starts_with("\xEF\xBB\xBF")) sc.seek(3); // byte-order mark of editors that add one
    std::string key;
    for (;;) {
        int c = sc.get();
        while (c == ' ' || c == '\r' || c == '\n' || c == '\t') c = sc.get();
        if (c == TextScanner::kEnd) return;
        if (c == ';') {
            sc.skipPastLineFeed();
            continue;
        }
        sc.unget();
        if (!scanKey(sc, key)) return;
        // " = ": white space, the sign, white space (the last only when the sign was there).
        bool valueOnKeyLine = true;
        const auto skipBlanks = [&] {
            while (!sc.atEnd() && isBlank(sc.peek()))
                if (sc.get() == '\n') valueOnKeyLine = false;
        };
        skipBlanks();
        if (sc.literal('=')) skipBlanks();
        int32_t v = 0;
        if (equalsNoCase(key, "Skin")) {
            scanSkinName(sc, s.skin, valueOnKeyLine);
        } else if (equalsNoCase(key, "SkinShowDialog")) {
            std::string word;
            if (sc.word(word, kWordMax)) {
                // Its leading decimal digits, as a C library would convert them (0 when none).
                TextScanner digits(word);
                int32_t n = 0;
                s.skinShowDialog = digits.scanInt(n) ? n : 0;
            }
        } else if (equalsNoCase(key, "UseKeyboard")) {
            if (sc.scanInt(v)) s.useKeyboard = v & 1;
        } else if (equalsNoCase(key, "ProgrammingMode")) {
            if (sc.scanInt(v)) s.programmingMode = v & 1;
        } else if (equalsNoCase(key, "FunctionButton1")) {
            if (sc.scanInt(v)) s.functionButton1 = functionBinding(v);
        } else if (equalsNoCase(key, "FunctionButton2")) {
            if (sc.scanInt(v)) s.functionButton2 = functionBinding(v);
        } else if (equalsNoCase(key, "ClearConfirm")) {
            if (sc.scanInt(v)) s.clearConfirm = v;
        } else if (equalsNoCase(key, "KnobMode")) {
            if (sc.scanInt(v)) s.knobMode = v;
        } else if (equalsNoCase(key, "AuditionNotes")) {
            if (sc.scanInt(v)) s.auditionNotes = v;
        } else if (equalsNoCase(key, "KnobSensitivity")) {
            if (sc.scanInt(v)) s.knobSensitivity = float(clampSensitivity(v));
        }
        // Any other key does nothing: its value is read as the next key.
    }
}

bool readEditorSettings(EditorSettings& s, const std::string& path) {
    std::string text;
    if (!TextScanner::loadFile(path, text, 1u << 20)) return false;
    parseEditorSettings(s, text);
    return true;
}

std::string formatEditorSettings(const EditorSettings& s) {
    // A sensitivity set by code outside the range (or not a number) is written as its bound.
    const float k = s.knobSensitivity;
    const int32_t sensitivity = k >= 1.0f ? (k <= 5000.0f ? int32_t(k) : 5000) : 1;
    std::string out;
    auto line = [&](const char* key, int32_t v) {
        out += key;
        out += " = ";
        out += std::to_string(v);
        out += '\n';
    };
    out += "; KELO GUI configuration\n";
    out += "; Value of \"\" means default (built-in) skin\n";
    out += "Skin = \"" + s.skin.substr(0, kSkinNameMax) + "\"\n";
    line("SkinShowDialog", s.skinShowDialog);
    line("ClearConfirm", s.clearConfirm);
    line("AuditionNotes", s.auditionNotes);
    line("KnobMode", s.knobMode);
    line("KnobSensitivity", sensitivity);
    out += ";\n";
    line("FunctionButton1", functionBinding(s.functionButton1));
    line("FunctionButton2", functionBinding(s.functionButton2));
    return out;
}

bool writeEditorSettings(const EditorSettings& s, const std::string& path) {
    return writeTextFile(path, formatEditorSettings(s));
}

} // namespace kelo
