#pragma once
// Hand-made WAV and AIFF images, and a scratch folder for files on disk.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kelo::test {

using Bytes = std::vector<uint8_t>;

// Several values compared in one assertion, printed readably on failure.
template <class... T> std::vector<int> V(T... v) { return {int(v)...}; }

inline void put(Bytes& b, uint32_t v, int bytes, bool bigEndian) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
}

struct Chunk {
    std::string id;
    Bytes body;
    int64_t declaredSize = -1; // -1: the body's real size
};

inline Chunk wavFormat(uint16_t channels, uint32_t rate, uint16_t bits = 16, uint16_t tag = 1, int align = -1) {
    Chunk c{"fmt ", {}};
    const uint32_t a = align < 0 ? uint32_t(channels * bits / 8) : uint32_t(align);
    for (auto [v, n] : {std::pair{uint32_t(tag), 2}, {channels, 2}, {rate, 4}, {rate * a, 4}, {a, 2}, {bits, 2}})
        put(c.body, v, n, false);
    return c;
}

// AIFF sound chunks start with a data offset (filled with junk) and a block size.
inline Chunk soundChunk(const std::vector<int16_t>& interleaved, bool aiff, uint32_t offset = 0) {
    Chunk c{aiff ? "SSND" : "data", {}};
    if (aiff) put(c.body, offset, 4, true), put(c.body, 0, 4, true), c.body.resize(c.body.size() + offset, 0xEE);
    for (int16_t v : interleaved) put(c.body, uint16_t(v), 2, aiff);
    return c;
}

// 80-bit extended float of an integer rate.
inline Bytes extendedRate(uint32_t rate) {
    int exponent = 31;
    while (rate && !(rate & 0x80000000u)) rate <<= 1, --exponent;
    Bytes b;
    put(b, uint32_t(0x3FFF + exponent), 2, true), put(b, rate, 4, true), put(b, 0, 4, true);
    return b;
}

inline Chunk aiffComm(int16_t channels, int32_t frames, uint32_t rate, int16_t bits = 16) {
    Chunk c{"COMM", {}};
    put(c.body, uint16_t(channels), 2, true), put(c.body, uint32_t(frames), 4, true), put(c.body, uint16_t(bits), 2, true);
    const Bytes r = extendedRate(rate);
    c.body.insert(c.body.end(), r.begin(), r.end());
    return c;
}

// A RIFF or FORM container; chunks of odd size get their pad byte. containerSize -1: the true size.
inline Bytes container(const char* form, const std::vector<Chunk>& chunks, int64_t containerSize = -1) {
    const bool aiff = form[0] == 'A';
    Bytes body;
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        put(body, uint32_t(c.declaredSize < 0 ? int64_t(c.body.size()) : c.declaredSize), 4, aiff);
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) body.push_back(0);
    }
    const std::string magic = aiff ? "FORM" : "RIFF";
    Bytes out(magic.begin(), magic.end());
    put(out, uint32_t(containerSize < 0 ? int64_t(body.size() + 4) : containerSize), 4, aiff);
    out.insert(out.end(), form, form + 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
inline Bytes wav(const std::vector<Chunk>& chunks, int64_t size = -1) { return container("WAVE", chunks, size); }
inline Bytes aiff(const std::vector<Chunk>& chunks, int64_t size = -1) { return container("AIFF", chunks, size); }

// A folder of its own under the system temp folder, removed with the object.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag)
        : path_(std::filesystem::temp_directory_path() / ("kelo-analyzer-" + tag + std::to_string(uintptr_t(this)))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        if (std::FILE* f = std::fopen(file(name).c_str(), "wb")) std::fwrite(bytes.data(), 1, bytes.size(), f), std::fclose(f);
        return file(name);
    }

private:
    std::filesystem::path path_;
};

} // namespace kelo::test
