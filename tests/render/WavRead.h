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
    int format = 0, channels = 0, sampleRate = 0, bits = 0; // format: 1 PCM, 3 float
    uint32_t riffSize = 0;
    size_t fileSize = 0;
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

inline Wav readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
        return v;
    };
    Wav w;
    w.fileSize = b.size();
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    w.riffSize = le(4, 4);
    for (size_t at = 12, size = 0; at + 8 <= b.size(); at += 8 + size + (size & 1)) {
        size = le(at + 4, 4);
        const size_t body = at + 8;
        if (body + size > b.size()) return w;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            w.format = int(le(body, 2));
            w.channels = int(le(body + 2, 2));
            w.sampleRate = int(le(body + 4, 4));
            w.bits = int(le(body + 14, 2));
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && w.channels > 0 && w.bits >= 16) {
            const size_t width = size_t(w.bits / 8), frames = size / (width * size_t(w.channels));
            for (size_t f = 0; f < frames; ++f) {
                for (size_t c = 0; c < 2 && c < size_t(w.channels); ++c) {
                    const size_t p = body + (f * size_t(w.channels) + c) * width;
                    const uint32_t raw = le(p, int(width));
                    float v = 0.0f;
                    if (w.format == 3 && width == 4)
                        std::memcpy(&v, &raw, 4);
                    else if (width == 2)
                        v = float(int16_t(raw)) / 32767.0f;
                    else if (width == 3)
                        v = float(int32_t(raw << 8) >> 8) / 8388607.0f;
                    (c == 0 ? w.left : w.right).push_back(v);
                }
            }
            w.ok = true;
        }
    }
    return w;
}

} // namespace kelo::render::test
