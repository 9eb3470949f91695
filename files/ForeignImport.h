#pragma once
// Importing patterns made elsewhere: ".rbs" song files (two bass units of 32 patterns each)
// and ".ph" pattern bank text files. Runs on the editor's thread.
//
// Every reader works on bytes it has verified to exist: a truncated or hostile file changes
// only what it actually holds, never what lies past its end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "files/ParameterWriter.h"
#include "sequencer/Pattern.h"

namespace kelo {

// Size of the unit image a song keeps for each bass unit; longer chunks are cut to it.
constexpr size_t kRebirthUnitBytes = 1097;
constexpr int kRebirthUnits = 2;
constexpr int kRebirthPatternsPerUnit = 32;
constexpr int kRebirthStepsPerPattern = 16;
// Songs are a few tens of kilobytes; anything far bigger is not a song.
constexpr size_t kMaxForeignFileBytes = 64u << 20;

// Song flag bits of a step.
enum RebirthFlag : uint8_t {
    RebirthSlide = 0x01,
    RebirthAccent = 0x02,
    RebirthUp = 0x04,
    RebirthDown = 0x08,
    RebirthRest = 0x10,
};

// One bass unit as far as the song file holds it.
struct RebirthUnit {
    uint8_t data[kRebirthUnitBytes] = {};
    size_t size = 0; // bytes of data actually present (chunk length, cut to the file and 1097)

    bool has(size_t offset, size_t count = 1) const { return offset + count <= size; }
};

struct RebirthSong {
    RebirthUnit units[kRebirthUnits];
    int unitCount = 0; // bass units found, at most kRebirthUnits (further ones are ignored)
};

// Walks the chunk tree (nested "CAT " lists, odd lengths padded) and collects the bass units.
// Chunk lengths are trusted only as far as the enclosing list and the data reach.
void parseRebirthSong(std::span<const uint8_t> file, RebirthSong& song);

// Writes the song into patterns 0..63 (unit 0 -> 0..31, unit 1 -> 32..63) and, when `params`
// is given, unit 0's knobs into parameters 0..5 and 10. A pattern whose record the song does
// not fully hold is left as it was, as are the patterns of a unit the song lacks.
// `selectedPattern` receives unit 0's selected pattern (0..127), which the caller makes current
// and requested (raising patternChanged when it differs; the pattern lock is not consulted),
// or -1 when the song does not hold it. False, with nothing changed, when there is no bass unit.
bool applyRebirthSong(const RebirthSong& song, PatternBank& bank, ParameterWriter* params,
                      int& selectedPattern);

// Reads the whole file at `path` and applies it as above; false when it cannot be read.
bool importRebirthSong(const std::string& path, PatternBank& bank, ParameterWriter* params,
                       int& selectedPattern);

// Reads a ".ph" file: per pattern one count line of three integers and 16 step lines of nine
// (note, octave down, octave up, gate, accent, slide, three unused). Patterns are filled from 0
// on; reading stops at the first line that does not scan, and the pattern it belongs to and all
// later ones keep their contents. Steps 16..63 are never touched. Closes `file`.
// Returns the number of patterns read (0..128).
int importPhFile(std::FILE* file, PatternBank& bank);

// The same on the file's bytes in memory.
int importPhText(std::span<const uint8_t> text, PatternBank& bank);

// Opens `path` and reads it as above; -1 when it cannot be opened.
int importPhFile(const std::string& path, PatternBank& bank);

// The editor's import command: a path containing ".rbs" is read as a song, else one containing
// ".ph" as a ".ph" file; anything else does nothing. `selectedPattern` receives the pattern to
// make current after a song import, -1 otherwise. True when something was imported.
bool importForeignPatterns(const std::string& path, PatternBank& bank, ParameterWriter* params,
                           int& selectedPattern);

} // namespace kelo
