#pragma once
// Reads the WAV files kelo-render writes (PCM 16/24-bit, 32-bit float; any chunk order) back
// into floats, independently of the writer's code.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kelo::render::test {

struct Wav {
    bool ok = false;
    int format = 0; // 1 PCM, 3 float
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    uint32_t riffSize = 0;
    size_t fileSize = 0;
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

inline uint32_t le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

inline Wav readWav(const std::string& path) {
    Wav w;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    w.fileSize = b.size();
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    w.riffSize = le(b, 4, 4);
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= b.size()) {
        const uint32_t size = le(b, at + 4, 4);
        const size_t body = at + 8;
        if (body + size > b.size()) return w;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            w.format = int(le(b, body, 2));
            w.channels = int(le(b, body + 2, 2));
            w.sampleRate = int(le(b, body + 4, 4));
            w.bits = int(le(b, body + 14, 2));
            haveFormat = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFormat && w.channels > 0) {
            const int width = w.bits / 8;
            const size_t frames = size / size_t(width * w.channels);
            for (size_t f = 0; f < frames; ++f) {
                for (int c = 0; c < 2 && c < w.channels; ++c) {
                    const size_t p = body + (f * size_t(w.channels) + size_t(c)) * size_t(width);
                    float v = 0.0f;
                    if (w.format == 3 && width == 4) {
                        const uint32_t bits = le(b, p, 4);
                        std::memcpy(&v, &bits, 4);
                    } else if (width == 2) {
                        v = float(int16_t(le(b, p, 2))) / 32767.0f;
                    } else if (width == 3) {
                        const int32_t s = int32_t(le(b, p, 3) << 8) >> 8;
                        v = float(s) / 8388607.0f;
                    }
                    (c == 0 ? w.left : w.right).push_back(v);
                }
            }
            w.ok = true;
        }
        at = body + size + (size & 1);
    }
    return w;
}

} // namespace kelo::render::test
