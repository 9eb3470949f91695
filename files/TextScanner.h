#pragma once
// Word-by-word reading of the instrument's text files (settings, controller maps, patterns,
// parameter files), with the semantics of formatted scanning but bounded word buffers:
// an over-long word is split, never overflows anything.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileReplacement.h"

namespace kelo {

class TextScanner {
public:
    static constexpr int kEnd = -1;

    TextScanner() = default;
    // A UTF-8 byte-order mark (which some editors put at the start of every file they save) is
    // not text: reading starts after it.
    explicit TextScanner(std::string text) : text_(std::move(text)) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    }

    // Whole file into `out`; false when it cannot be opened or read (a folder is not a file).
    // Files above `maxBytes` are cut there, which only ever shortens what is read.
    static bool loadFile(const std::string& path, std::string& out,
                         std::size_t maxBytes = 16u << 20);

    bool atEnd() const { return pos_ >= text_.size(); }
    int peek() const { return atEnd() ? kEnd : static_cast<unsigned char>(text_[pos_]); }
    int get() { return atEnd() ? kEnd : static_cast<unsigned char>(text_[pos_++]); }
    // Puts back the character last taken by get().
    void unget() {
        if (pos_ > 0) --pos_;
    }

    // The scanf ' ' directive: skips any run of white space.
    void skipSpace();
    // Consumes `c` when it is next.
    bool literal(char c);
    // "%<maxLen>s": skips white space, then takes up to maxLen non-space characters.
    // False (nothing taken) at end of text.
    bool word(std::string& out, std::size_t maxLen);
    // "%d": optional sign and decimal digits after white space; saturates to 32 bits.
    // False when no digit follows (the text stays where the number was expected).
    bool scanInt(int32_t& out);
    // "%u": like scanInt, a negative number wraps as unsigned scanning does.
    bool scanUnsigned(uint32_t& out);
    // "%f" restricted to plain decimal notation (no inf, nan or hexadecimal forms).
    bool scanDecimal(double& out);
    // Consumes everything up to and including the next line feed.
    void skipPastLineFeed();
    // The rest of the line up to a line feed, carriage return or NUL (consumed, not returned),
    // keeping at most `keep` characters of it.
    std::string restOfLine(std::size_t keep);

    std::size_t position() const { return pos_; }
    void seek(std::size_t pos) { pos_ = pos < text_.size() ? pos : text_.size(); }

private:
    std::size_t scanNumberPrefix(bool allowFraction) const;

    std::string text_;
    std::size_t pos_ = 0;
};

// Integer value of a word with base detection (0x.. hexadecimal, 0.. octal, else decimal),
// stopping at the first character that does not fit; 0 when nothing fits. Saturates to 32 bits.
int32_t parseIntAuto(std::string_view word);
// Decimal floating-point value of the leading part of a word; 0 when it is not a number.
double parseDecimal(std::string_view word);
// Narrows to float without leaving the float range.
float toFloat(double v);
// Case-insensitive ASCII comparison, as the settings keys are matched.
bool equalsNoCase(std::string_view a, std::string_view b);
// "%f" in the C locale: fixed notation with six decimals, independent of the host's locale.
std::string formatFixed6(double v);

// Replaces `path` with `text` whole or not at all (see platform::FileReplacement), with the
// system's line ends (CR LF on Windows). On failure the old file is still there.
platform::ReplaceResult replaceTextFile(const std::string& path, const std::string& text);
// The same, answering only whether the file now holds the text (a full disk must not look
// like success).
bool writeTextFile(const std::string& path, const std::string& text);

// The key/value loop shared by the settings files and controller maps: white space skipped,
// a line starting with ';' is a comment, key scanned as " %79s =", value as " %79s".
// `onPair(key, value)` runs for every complete pair; a key without a value at the end of the
// text changes nothing. The scanner is exposed so a key may read further items itself.
// Answers false when the text ended inside a pair (a key without its value).
template <class OnPair>
bool scanSettings(TextScanner& sc, OnPair&& onPair) {
    constexpr std::size_t kWordMax = 79;
    for (;;) {
        int c = sc.get();
        while (c == ' ' || c == '\r' || c == '\n' || c == '\t') c = sc.get();
        if (c == TextScanner::kEnd) return true;
        if (c == ';') {
            sc.skipPastLineFeed();
            continue;
        }
        sc.unget();
        std::string key, value;
        if (!sc.word(key, kWordMax)) return true;
        sc.skipSpace();
        sc.literal('=');
        if (!sc.word(value, kWordMax)) return false;
        onPair(key, value);
    }
}

} // namespace kelo
