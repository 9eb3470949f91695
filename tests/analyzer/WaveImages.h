#pragma once
// Builders for hand-made WAV and AIFF images, and a scratch folder for files on disk.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kelo::test {

using Bytes = std::vector<uint8_t>;

inline void putLe16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void putLe32(Bytes& b, uint32_t v) {
    putLe16(b, v & 0xFFFF);
    putLe16(b, v >> 16);
}
inline void putBe16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void putBe32(Bytes& b, uint32_t v) {
    putBe16(b, v >> 16);
    putBe16(b, v & 0xFFFF);
}
inline void putId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

struct Chunk {
    std::string id;
    Bytes body;
    int64_t declaredSize = -1; // -1: the body's real size
    bool pad = true;           // append a pad byte after an odd body
};

inline Chunk wavFormat(uint16_t channels, uint32_t rate, uint16_t bits = 16, uint16_t tag = 1,
                       int blockAlign = -1) {
    Chunk c{"fmt ", {}};
    const uint16_t align = blockAlign < 0 ? uint16_t(channels * bits / 8) : uint16_t(blockAlign);
    putLe16(c.body, tag);
    putLe16(c.body, channels);
    putLe32(c.body, rate);
    putLe32(c.body, rate * align);
    putLe16(c.body, align);
    putLe16(c.body, bits);
    return c;
}

inline Chunk wavData(const std::vector<int16_t>& interleaved) {
    Chunk c{"data", {}};
    for (int16_t v : interleaved) putLe16(c.body, uint16_t(v));
    return c;
}

// 80-bit extended float of an integer rate.
inline Bytes extendedRate(uint32_t rate) {
    Bytes b;
    int exponent = 31;
    uint32_t m = rate;
    while (m && !(m & 0x80000000u)) {
        m <<= 1;
        --exponent;
    }
    putBe16(b, uint32_t(0x3FFF + exponent));
    putBe32(b, m);
    putBe32(b, 0);
    return b;
}

inline Chunk aiffComm(int16_t channels, int32_t frames, uint32_t rate, int16_t bits = 16) {
    Chunk c{"COMM", {}};
    putBe16(c.body, uint16_t(channels));
    putBe32(c.body, uint32_t(frames));
    putBe16(c.body, uint16_t(bits));
    const Bytes r = extendedRate(rate);
    c.body.insert(c.body.end(), r.begin(), r.end());
    return c;
}

inline Chunk aiffSound(const std::vector<int16_t>& interleaved, uint32_t offset = 0) {
    Chunk c{"SSND", {}};
    putBe32(c.body, offset);
    putBe32(c.body, 0);
    for (uint32_t i = 0; i < offset; ++i) c.body.push_back(0xEE);
    for (int16_t v : interleaved) putBe16(c.body, uint16_t(v));
    return c;
}

// A RIFF/FORM container; containerSize -1 means the true size.
inline Bytes container(bool aiff, const char* form, const std::vector<Chunk>& chunks,
                       int64_t containerSize = -1) {
    Bytes body;
    for (const Chunk& c : chunks) {
        putId(body, c.id.c_str());
        const uint32_t size = uint32_t(c.declaredSize < 0 ? int64_t(c.body.size()) : c.declaredSize);
        if (aiff) putBe32(body, size); else putLe32(body, size);
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.pad && (c.body.size() & 1)) body.push_back(0);
    }
    Bytes out;
    putId(out, aiff ? "FORM" : "RIFF");
    const uint32_t size = uint32_t(containerSize < 0 ? int64_t(body.size() + 4) : containerSize);
    if (aiff) putBe32(out, size); else putLe32(out, size);
    putId(out, form);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes wav(const std::vector<Chunk>& chunks, int64_t containerSize = -1) {
    return container(false, "WAVE", chunks, containerSize);
}
inline Bytes aiff(const std::vector<Chunk>& chunks, int64_t containerSize = -1) {
    return container(true, "AIFF", chunks, containerSize);
}

// A folder of its own under the system temp folder, removed with the object.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("kelo-analyzer-" + tag + "-" + std::to_string(uintptr_t(this)) + "-" +
                 std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        const std::string p = file(name);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p;
    }

private:
    std::filesystem::path path_;
};

} // namespace kelo::test
