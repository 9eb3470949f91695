#include "files/PatternFile.h"

#include <cstring>

#include "files/ParameterFile.h"
#include "files/TextScanner.h"

namespace kelo {
namespace {

constexpr char kNoteNames[] = "c-c#d-d#e-f-f#g-g#a-a#b-";
constexpr const char* kMetaTag = "KELO Meta tag: ";
constexpr std::size_t kCommentKeep = 255;

int noteIndex(int a, int b) {
    for (int i = 0; i < 12; ++i)
        if (kNoteNames[2 * i] == a && kNoteNames[2 * i + 1] == b) return i;
    return -1;
}

// Reading state that carries from one block to the next within one file.
struct BlockReader {
    TextScanner& sc;
    int lastIndex = 0; // a step whose note name is unknown keeps the previous pitch; C before any
    ParameterCapture* capture = nullptr;

    // Reads one block into `p`. Answers whether the block had a meta line or a step line;
    // a block without either has only met the end of the text.
    bool read(Pattern& p) {
        int stored = 0;
        int expected = 0;
        bool meta = false;
        bool content = false;
        uint32_t header = p.header;
        for (;;) {
            const std::size_t lineStart = skipBlank();
            int c = sc.get();
            if (c == TextScanner::kEnd) break;
            if (c == ';') {
                const std::string text = sc.restOfLine(kCommentKeep);
                const std::size_t at = text.find(kMetaTag);
                if (at != std::string::npos) {
                    // A second meta line belongs to the next pattern: without this, a block
                    // whose count is 0 or short would swallow the next pattern's header.
                    if (meta || stored > 0) {
                        sc.seek(lineStart);
                        break;
                    }
                    TextScanner num(text.substr(at + std::strlen(kMetaTag)));
                    uint32_t word = 0;
                    if (num.scanUnsigned(word)) {
                        header = word;
                        expected = int(word & 127);
                        meta = true;
                        content = true;
                    }
                }
                if (capture) parseParameterLine(*capture, text);
                continue;
            }
            sc.unget();
            int f[6];
            if (!scanStepLine(f)) break;
            content = true;
            const int index = noteIndex(f[0], f[1]);
            if (index >= 0) lastIndex = index;
            if (stored < kMaxSteps) {
                const int d = f[2] - '0';
                const int note = lastIndex + (d == 5 ? 12 : 0) + (d == 6 ? 24 : 0);
                const int flags = (f[3] & 1) | (d > 3 ? StepUp : 0) | (d < 3 ? StepDown : 0) |
                                  ((f[4] & 1) << 3) | ((f[5] & 1) << 4);
                p.steps[stored].note = uint8_t(note);
                p.steps[stored].flags = uint8_t(flags);
                ++stored;
            }
            if (expected > 0 && stored >= expected) break;
        }
        p.header = header;
        p.setStepCount(stored); // a block without step lines gives 1
        return content;
    }

    std::size_t skipBlank() {
        for (;;) {
            const int c = sc.peek();
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return sc.position();
            sc.get();
        }
    }

    // "%c%c%c %c %c %c\n": three raw characters, then three single characters each after
    // optional white space. Only the end of the text makes it fail.
    bool scanStepLine(int (&f)[6]) {
        for (int i = 0; i < 6; ++i) {
            if (i >= 3) sc.skipSpace();
            f[i] = sc.get();
            if (f[i] == TextScanner::kEnd) return false;
        }
        sc.skipSpace();
        return true;
    }
};

int clampPatternIndex(int i) { return i < 0 ? 0 : i; }

} // namespace

std::string formatPattern(const Pattern& p) {
    std::string out = "; KELO Meta tag: " + std::to_string(p.header) + "\n";
    const int count = p.stepCount() > kMaxSteps ? kMaxSteps : p.stepCount();
    for (int i = 0; i < count; ++i) {
        const PatternStep& s = p.steps[i];
        // Only the five bits that play are written, so the sounding pitch survives and the
        // name table is never indexed with a negative or large note.
        const int n = s.note & 31;
        const int up = (s.flags & StepUp) ? 1 : 0;
        const int down = (s.flags & StepDown) ? 1 : 0;
        out += kNoteNames[2 * (n % 12)];
        out += kNoteNames[2 * (n % 12) + 1];
        out += char('0' + 3 + n / 12 + up - down);
        out += (s.flags & StepGate) ? " 1" : " 0";
        out += (s.flags & StepSlide) ? " 1" : " 0";
        out += (s.flags & StepAccent) ? " 1\n" : " 0\n";
    }
    return out;
}

std::string formatBank(const PatternBank& bank) {
    std::string out;
    for (const Pattern& p : bank.patterns) out += formatPattern(p);
    return out;
}

bool writeBank(const PatternBank& bank, const std::string& path) {
    return writeTextFile(path, formatBank(bank));
}

bool writePattern(const Pattern& p, const std::string& path) {
    return writeTextFile(path, formatPattern(p));
}

int parseBank(PatternBank& bank, const std::string& text, int firstPattern) {
    TextScanner sc(text);
    BlockReader reader{sc};
    int stored = 0;
    // Blocks beyond the last pattern are ignored.
    for (int n = clampPatternIndex(firstPattern); n < kNumPatterns; ++n) {
        Pattern work = bank.patterns[n];
        if (!reader.read(work)) break;
        bank.patterns[n] = work;
        ++stored;
    }
    return stored;
}

void parsePattern(Pattern& p, const std::string& text, ParameterCapture* capture) {
    if (capture) clearParameterCapture(*capture);
    TextScanner sc(text);
    BlockReader reader{sc};
    reader.capture = capture;
    reader.read(p);
}

bool readBank(PatternBank& bank, const std::string& path, int firstPattern) {
    std::string text;
    if (!TextScanner::loadFile(path, text)) return false;
    parseBank(bank, text, firstPattern);
    return true;
}

bool readPattern(Pattern& p, const std::string& path, ParameterCapture* capture) {
    // Cleared even when the file is missing, so lines of an earlier file are never applied.
    if (capture) clearParameterCapture(*capture);
    std::string text;
    if (!TextScanner::loadFile(path, text)) return false;
    parsePattern(p, text, capture);
    return true;
}

int loadPatternFiles(PatternBank& bank, int firstPattern, const std::vector<std::string>& paths,
                     ParameterCapture* capture) {
    int loaded = 0;
    const int first = clampPatternIndex(firstPattern);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::size_t target = std::size_t(first) + i;
        if (target >= std::size_t(kNumPatterns)) break;
        if (readPattern(bank.patterns[target], paths[i], i == 0 ? capture : nullptr)) ++loaded;
    }
    return loaded;
}

} // namespace kelo
