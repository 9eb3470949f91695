#include "files/TextScanner.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kelo {
namespace {

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(int c) { return c >= '0' && c <= '9'; }

int32_t saturate32(long long v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Length of the decimal number at the start of `s` ([sign] digits [. digits] [e [sign] digits]),
// 0 when there is none; its value goes to `out`.
std::size_t decimalPrefix(std::string_view s, double& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negativeExponent = s[j++] == '-';
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) ++j;
            i = j;
        } else {
            negativeExponent = false;
        }
    }
    double v = 0.0;
    const char* first = s.data() + mantissaStart;
    const char* last = s.data() + i;
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Keep the result finite: engine state must never become infinite.
        v = negativeExponent ? 0.0 : DBL_MAX;
    } else if (r.ec != std::errc()) {
        v = 0.0;
    }
    out = negative ? -v : v;
    return i;
}

} // namespace

bool TextScanner::loadFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    return platform::readFile(path, out, maxBytes);
}

platform::ReplaceResult replaceTextFile(const std::string& path, const std::string& text) {
#ifdef _WIN32
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return platform::replaceFile(path, crlf);
#else
    return platform::replaceFile(path, text);
#endif
}

bool writeTextFile(const std::string& path, const std::string& text) {
    return replaceTextFile(path, text) == platform::ReplaceResult::Written;
}

void TextScanner::skipSpace() {
    while (!atEnd() && isSpace(peek())) ++pos_;
}

bool TextScanner::literal(char c) {
    if (!atEnd() && text_[pos_] == c) {
        ++pos_;
        return true;
    }
    return false;
}

bool TextScanner::word(std::string& out, std::size_t maxLen) {
    skipSpace();
    out.clear();
    while (out.size() < maxLen && !atEnd() && !isSpace(peek())) out.push_back(text_[pos_++]);
    return !out.empty();
}

bool TextScanner::scanInt(int32_t& out) {
    skipSpace();
    std::size_t i = pos_;
    bool negative = false;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) negative = text_[i++] == '-';
    if (i >= text_.size() || !isDigit(text_[i])) return false;
    long long v = 0;
    while (i < text_.size() && isDigit(text_[i])) {
        if (v < (1LL << 40)) v = v * 10 + (text_[i] - '0');
        ++i;
    }
    pos_ = i;
    out = saturate32(negative ? -v : v);
    return true;
}

bool TextScanner::scanUnsigned(uint32_t& out) {
    skipSpace();
    std::size_t i = pos_;
    bool negative = false;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) negative = text_[i++] == '-';
    if (i >= text_.size() || !isDigit(text_[i])) return false;
    unsigned long long v = 0;
    while (i < text_.size() && isDigit(text_[i])) {
        if (v <= 0xFFFFFFFFull) v = v * 10 + unsigned(text_[i] - '0');
        ++i;
    }
    pos_ = i;
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    out = negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
    return true;
}

bool TextScanner::scanDecimal(double& out) {
    skipSpace();
    const std::size_t n =
        decimalPrefix(std::string_view(text_).substr(std::min(pos_, text_.size())), out);
    if (n == 0) return false;
    pos_ += n;
    return true;
}

void TextScanner::skipPastLineFeed() {
    while (!atEnd()) {
        if (text_[pos_++] == '\n') return;
    }
}

std::string TextScanner::restOfLine(std::size_t keep) {
    std::string out;
    while (!atEnd()) {
        const char c = text_[pos_++];
        if (c == '\n' || c == '\r' || c == '\0') break;
        if (out.size() < keep) out.push_back(c);
    }
    return out;
}

int32_t parseIntAuto(std::string_view word) {
    // strtoll needs a terminated string; a settings word is short.
    const std::string s(word.substr(0, 200));
    const long long v = std::strtoll(s.c_str(), nullptr, 0);
    return saturate32(v);
}

double parseDecimal(std::string_view word) {
    double v = 0.0;
    return decimalPrefix(word, v) ? v : 0.0;
}

float toFloat(double v) {
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    if (v != v) return 0.0f;
    return static_cast<float>(v);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string formatFixed6(double v) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) return "0.000000";
    return std::string(buf, r.ptr);
}

} // namespace kelo
