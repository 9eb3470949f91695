#include "files/ForeignImport.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace kelo {
namespace {

// Nesting deeper than any real song; stops a hostile file from recursing without bound.
constexpr int kMaxListDepth = 32;
// Highest note the pattern files carry; keeps foreign pitches inside what every writer handles.
constexpr int kMaxImportedNote = 35;

uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Songs on disk name the bass unit "303 "; the space-first spelling is accepted as well.
bool isBassUnit(const uint8_t* id) {
    return std::memcmp(id, "303 ", 4) == 0 || std::memcmp(id, " 303", 4) == 0;
}

void walkChunks(std::span<const uint8_t> file, size_t begin, size_t end, RebirthSong& song,
                int depth) {
    size_t pos = begin;
    while (pos <= end && end - pos >= 8) {
        const uint8_t* chunk = file.data() + pos;
        const uint64_t length = readBigEndian32(chunk + 4);
        const size_t dataStart = pos + 8;
        // A length reaching past the enclosing list (or the file) is cut to what is there.
        const size_t present = size_t(std::min<uint64_t>(length, end - dataStart));
        if (std::memcmp(chunk, "CAT ", 4) == 0) {
            if (present >= 4 && depth < kMaxListDepth)
                walkChunks(file, dataStart + 4, dataStart + present, song, depth + 1);
        } else if (isBassUnit(chunk) && song.unitCount < kRebirthUnits) {
            RebirthUnit& unit = song.units[song.unitCount++];
            unit.size = std::min(present, kRebirthUnitBytes);
            std::memcpy(unit.data, file.data() + dataStart, unit.size);
        }
        const uint64_t next = uint64_t(dataStart) + length + (length & 1);
        if (next >= end) break;
        pos = size_t(next);
    }
}

uint8_t importedNote(int note) { return uint8_t(std::clamp(note, 0, kMaxImportedNote)); }

bool readWholeFile(std::FILE* f, std::vector<uint8_t>& out) {
    out.clear();
    uint8_t buffer[16384];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, f);
        if (n == 0) break;
        if (out.size() + n > kMaxForeignFileBytes) return false;
        out.insert(out.end(), buffer, buffer + n);
    }
    return std::ferror(f) == 0;
}

// Integers as formatted scanning reads them ("%d"): leading whitespace skipped, optional sign,
// digits; anything else fails without consuming. Values beyond int saturate.
class IntScanner {
public:
    explicit IntScanner(std::span<const uint8_t> text) : text_(text) {}

    bool next(int& value) {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) negative = text_[p++] == '-';
        const size_t digitsStart = p;
        long long v = 0;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
            if (v < LLONG_MAX / 10) v = v * 10 + (text_[p] - '0');
            ++p;
        }
        if (p == digitsStart) return false;
        pos_ = p;
        if (negative) v = -v;
        value = int(std::clamp<long long>(v, INT_MIN, INT_MAX));
        return true;
    }

private:
    static bool isSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    std::span<const uint8_t> text_;
    size_t pos_ = 0;
};

} // namespace

void parseRebirthSong(std::span<const uint8_t> file, RebirthSong& song) {
    song.unitCount = 0;
    walkChunks(file, 0, file.size(), song, 0);
}

bool applyRebirthSong(const RebirthSong& song, PatternBank& bank, ParameterWriter* params,
                      int& selectedPattern) {
    selectedPattern = -1;
    if (song.unitCount <= 0) return false;

    const RebirthUnit& first = song.units[0];
    if (params) {
        // Knob bytes 2..7 go to Tune, Cutoff, Resonance, Envmod, Decay, Accent.
        for (int k = 0; k < 6; ++k)
            if (first.has(size_t(2 + k)))
                params->setParameter(k, float(std::min<int>(first.data[2 + k], 127)) / 127.0f);
        // The waveform switch is a two-way switch, not a knob.
        if (first.has(8)) params->setParameter(10, first.data[8] != 0 ? 1.0f : 0.0f);
    }
    if (first.has(1)) selectedPattern = std::min<int>(first.data[1], kNumPatterns - 1);

    for (int u = 0; u < std::min(song.unitCount, kRebirthUnits); ++u) {
        const RebirthUnit& unit = song.units[u];
        for (int p = 0; p < kRebirthPatternsPerUnit; ++p) {
            const size_t record = 10 + 34 * size_t(p);
            // Count byte and 16 steps; the record's last byte is unused (and lies past the
            // unit image for the last pattern).
            if (!unit.has(record, 1 + 2 * kRebirthStepsPerPattern)) continue;
            Pattern& target = bank.patterns[u * kRebirthPatternsPerUnit + p];
            // The record holds 16 steps: a larger count would play steps the song never set.
            const int count = std::clamp<int>(unit.data[record], 1, kRebirthStepsPerPattern);
            target.setStepCount(count);
            for (int j = 0; j < count; ++j) {
                const uint8_t note = unit.data[record + 1 + 2 * j];
                const uint8_t f = unit.data[record + 2 + 2 * j];
                uint8_t flags = 0;
                if (!(f & RebirthRest)) flags |= StepGate;
                if (f & RebirthUp) flags |= StepUp;
                if (f & RebirthDown) flags |= StepDown;
                if (f & RebirthSlide) flags |= StepSlide;
                if (f & RebirthAccent) flags |= StepAccent;
                target.steps[j] = PatternStep{importedNote(note), flags};
            }
        }
    }
    return true;
}

bool importRebirthSong(const std::string& path, PatternBank& bank, ParameterWriter* params,
                       int& selectedPattern) {
    selectedPattern = -1;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    const bool ok = readWholeFile(f, bytes);
    std::fclose(f);
    if (!ok) return false;
    RebirthSong song;
    parseRebirthSong(bytes, song);
    return applyRebirthSong(song, bank, params, selectedPattern);
}

int importPhFile(std::FILE* file, PatternBank& bank) {
    if (!file) return 0;
    std::vector<uint8_t> text;
    const bool ok = readWholeFile(file, text);
    std::fclose(file);
    if (!ok) return 0;
    return importPhText(text, bank);
}

int importPhText(std::span<const uint8_t> text, PatternBank& bank) {
    IntScanner scan(text);
    int patternsRead = 0;
    for (; patternsRead < kNumPatterns; ++patternsRead) {
        // A pattern is taken only when all of its 1 + 16 lines scanned.
        int head[3];
        if (!scan.next(head[0]) || !scan.next(head[1]) || !scan.next(head[2])) break;
        PatternStep steps[kRebirthStepsPerPattern];
        bool complete = true;
        for (int j = 0; j < kRebirthStepsPerPattern && complete; ++j) {
            int v[9];
            for (int k = 0; k < 9 && complete; ++k) complete = scan.next(v[k]);
            if (!complete) break;
            // Held first, so the octave added below cannot overflow; any number outside the
            // kept range lands on the same end either way.
            const int number = std::clamp(v[0], -12, kMaxImportedNote);
            int down = v[1] != 0;
            const int up = v[2] != 0;
            int note = number;
            // Both octave switches mean the upper octave of the note above.
            if (up && down) {
                note = number + 12;
                down = 0;
            }
            const int gate = v[3] != 0, accent = v[4] != 0, slide = v[5] != 0;
            steps[j] = PatternStep{importedNote(note),
                                   uint8_t(gate | up << 1 | down << 2 | slide << 3 | accent << 4)};
        }
        if (!complete) break;
        Pattern& target = bank.patterns[patternsRead];
        target.setStepCount(head[0]);
        std::copy(steps, steps + kRebirthStepsPerPattern, target.steps);
    }
    return patternsRead;
}

int importPhFile(const std::string& path, PatternBank& bank) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    return importPhFile(f, bank);
}

bool importForeignPatterns(const std::string& path, PatternBank& bank, ParameterWriter* params,
                           int& selectedPattern) {
    selectedPattern = -1;
    if (path.find(".rbs") != std::string::npos)
        return importRebirthSong(path, bank, params, selectedPattern);
    if (path.find(".ph") != std::string::npos) return importPhFile(path, bank) > 0;
    return false;
}

} // namespace kelo
