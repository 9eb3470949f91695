#pragma once
// Patterns as ".pat" text: a bank file holds up to 128 blocks, a pattern file one block.
// A block is a meta line "; KELO Meta tag: <header word>" followed by one step line per step
// ("c-3 1 0 1": note name, octave digit, gate, slide, accent).
#include <string>
#include <vector>

#include "sequencer/Pattern.h"

namespace kelo {

struct ParameterCapture;

// Text of one block / of the whole bank, exactly as the writers store it.
std::string formatPattern(const Pattern& p);
std::string formatBank(const PatternBank& bank);

// Create or truncate `path`; false when it cannot be created or written.
bool writeBank(const PatternBank& bank, const std::string& path);
bool writePattern(const Pattern& p, const std::string& path);

// Reads blocks into patterns firstPattern, firstPattern + 1, ...; patterns the file has no
// block for keep their contents, blocks past pattern 127 are ignored. False when the file
// cannot be opened.
bool readBank(PatternBank& bank, const std::string& path, int firstPattern = 0);
// Reads the first block of the file into `p`. With a capture, the capture is cleared first
// and every comment line goes to the parameter-line parser. False when the file cannot be opened.
bool readPattern(Pattern& p, const std::string& path, ParameterCapture* capture = nullptr);

// The same readers on text in memory.
int parseBank(PatternBank& bank, const std::string& text, int firstPattern = 0); // blocks stored
void parsePattern(Pattern& p, const std::string& text, ParameterCapture* capture = nullptr);

// Several pattern files into consecutive patterns from `firstPattern`: file i goes to pattern
// firstPattern + i, files that would go past pattern 127 are skipped, a file that cannot be
// opened leaves its pattern as it was. Parameter lines are captured from the first file only
// (the one the editor names as the loaded pattern). Returns the number of files read.
int loadPatternFiles(PatternBank& bank, int firstPattern, const std::vector<std::string>& paths,
                     ParameterCapture* capture = nullptr);

} // namespace kelo
