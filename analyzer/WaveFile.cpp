// WAV and AIFF reading for the analyzer. A file whose header names a form we read, and
// whose size is within the limit, is read into memory and every field is taken from a
// bounds-checked view of it, so a lying size can only make the file refused, never make the
// reader leave the image.
#include "analyzer/WaveBuffer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <limits>
#include <new>

namespace kelo {

namespace {

bool isWaveForm(const uint8_t* formType) {
    return std::memcmp(formType, "WAVE", 4) == 0 || std::memcmp(formType, "AIFF", 4) == 0;
}

// Reads the file only after its 12-byte header names a form we read and its size is within
// the limit, so a large file of another kind costs a few bytes of reading, not its size.
bool readWaveImage(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open the file";
        return false;
    }
    uint8_t header[12];
    bool ok = std::fread(header, 1, sizeof header, f) == sizeof header && isWaveForm(header + 8);
    if (!ok) error = "not a WAV or AIFF file";
    uint64_t size = 0;
    if (ok) {
        std::error_code ec;
        size = std::filesystem::file_size(std::filesystem::path(path), ec);
        if (ec) {
            error = "cannot tell the file's size";
            ok = false;
        } else if (size > kMaxWaveFileBytes) {
            error = "the file is larger than " + std::to_string(kMaxWaveFileBytes >> 20) +
                    " MiB; a recording of one measure is far smaller";
            ok = false;
        }
    }
    if (ok) {
        try {
            out.resize(size_t(size));
        } catch (const std::bad_alloc&) {
            error = "not enough memory to read the file";
            ok = false;
        }
    }
    if (ok) {
        std::memcpy(out.data(), header, std::min<size_t>(sizeof header, out.size()));
        const size_t rest = out.size() > sizeof header ? out.size() - sizeof header : 0;
        const size_t got = rest ? std::fread(out.data() + sizeof header, 1, rest, f) : 0;
        // A file that shrank while it was read keeps what arrived; the parser judges it.
        out.resize(sizeof header + got);
        if (std::ferror(f)) {
            error = "cannot read the file";
            ok = false;
        }
    }
    std::fclose(f);
    return ok;
}

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

enum class Form { Wave, Aiff };

// What a chunk handler tells the chunk loop.
enum class Next { Continue, Stop, Refuse };

struct ParseState {
    Form form;
    bool haveFormat = false; // "fmt " or "COMM" accepted
    bool haveData = false;   // sample data read
    uint32_t channels = 0;
    uint32_t blockAlign = 0;
    int32_t rate = 0;
    int32_t aiffFrames = 0;
};

// Decodes the first channel of `frames` frames of 16-bit samples starting at `sound`,
// which holds `bytes` bytes. Refuses frames that would reach past those bytes.
Next readFrames(WaveBuffer& buf, const ParseState& st, int64_t frames, const uint8_t* sound,
                int64_t bytes) {
    if (frames < 0) return Next::Refuse;
    const int64_t stride = int64_t(st.channels) * 2;
    if (frames > 0 && (frames - 1) * stride + 2 > bytes) return Next::Refuse;
    if (frames > std::numeric_limits<int32_t>::max()) return Next::Refuse;
    if (!buf.allocate(int32_t(frames))) return Next::Refuse;
    const bool big = st.form == Form::Aiff;
    for (int64_t i = 0; i < frames; ++i) {
        const uint8_t* p = sound + i * stride;
        const int16_t v = int16_t(big ? be16(p) : le16(p));
        buf.samples[size_t(i)] = float(double(v) / 32767.0);
    }
    buf.frameCount = int32_t(frames);
    buf.sampleRate = st.rate;
    return Next::Continue;
}

Next waveChunk(WaveBuffer& buf, ParseState& st, const uint8_t* id, const uint8_t* body,
               int64_t size) {
    if (std::memcmp(id, "fmt ", 4) == 0) {
        if (size < 16) return Next::Refuse;
        const uint16_t tag = le16(body);
        const uint16_t channels = le16(body + 2);
        const uint32_t rate = le32(body + 4);
        const uint16_t align = le16(body + 12);
        const uint16_t bits = le16(body + 14);
        // Not plain 16-bit PCM: read no further (samples already read are kept).
        if (tag != 1 || bits != 16) return Next::Stop;
        if (align == 0 || channels == 0) return Next::Refuse;
        if (rate == 0 || rate > uint32_t(std::numeric_limits<int32_t>::max())) return Next::Refuse;
        st.channels = channels;
        st.blockAlign = align;
        st.rate = int32_t(rate);
        st.haveFormat = true;
        return Next::Continue;
    }
    if (std::memcmp(id, "data", 4) == 0) {
        if (!st.haveFormat) return Next::Refuse;
        const Next r = readFrames(buf, st, size / int64_t(st.blockAlign), body, size);
        if (r == Next::Continue) st.haveData = true;
        return r;
    }
    return Next::Continue;
}

Next aiffChunk(WaveBuffer& buf, ParseState& st, const uint8_t* id, const uint8_t* body,
               int64_t size) {
    if (std::memcmp(id, "COMM", 4) == 0) {
        if (size < 18) return Next::Refuse;
        const int16_t channels = int16_t(be16(body));
        const int32_t frames = int32_t(be32(body + 2));
        const int16_t bits = int16_t(be16(body + 6));
        if (bits != 16) return Next::Stop;
        if (channels <= 0 || frames < 0) return Next::Refuse;
        const int32_t rate = aiffSampleRate(body + 8);
        if (rate <= 0) return Next::Refuse;
        st.channels = uint32_t(channels);
        st.aiffFrames = frames;
        st.rate = rate;
        st.haveFormat = true;
        return Next::Continue;
    }
    if (std::memcmp(id, "SSND", 4) == 0) {
        if (!st.haveFormat) return Next::Refuse;
        if (size < 8) return Next::Refuse;
        const int64_t offset = be32(body);
        const int64_t start = 8 + offset;
        if (start > size) return Next::Refuse;
        const Next r = readFrames(buf, st, st.aiffFrames, body + start, size - start);
        if (r == Next::Continue) st.haveData = true;
        return r;
    }
    return Next::Continue;
}

} // namespace

bool WaveBuffer::allocate(int32_t n) {
    try {
        samples.assign(size_t(n < 0 ? 0 : n), 0.0f);
    } catch (const std::bad_alloc&) {
        samples.clear();
        samples.shrink_to_fit();
        frameCount = 0;
        loaded = false;
        return false;
    }
    loaded = true;
    return true;
}

int32_t aiffSampleRate(const uint8_t extended[10]) {
    // Positive rates of at least 2 Hz all have the biased exponent 0x40xx.
    if (extended[0] != 0x40) return 0;
    const int shift = 30 - int(extended[1]);
    const uint32_t mantissaTop = be32(extended + 2);
    uint64_t rate;
    if (shift == 0) {
        rate = mantissaTop;
    } else if (shift > 0 && shift < 32) {
        const uint32_t lastOut = (mantissaTop >> (shift - 1)) & 1u;
        rate = uint64_t(mantissaTop >> shift) + lastOut;
    } else {
        return 0;
    }
    if (rate == 0 || rate > uint64_t(std::numeric_limits<int32_t>::max())) return 0;
    return int32_t(rate);
}

bool parseWaveImage(WaveBuffer& buf, const uint8_t* data, size_t size) {
    buf.frameCount = 0;
    buf.sampleRate = 0;
    buf.playPosition.store(0, std::memory_order_relaxed);
    if (!data || size < 12) {
        buf.loaded = false;
        return false;
    }
    ParseState st{};
    if (std::memcmp(data + 8, "WAVE", 4) == 0) {
        st.form = Form::Wave;
    } else if (std::memcmp(data + 8, "AIFF", 4) == 0) {
        st.form = Form::Aiff;
    } else {
        buf.loaded = false;
        return false;
    }
    const bool big = st.form == Form::Aiff;
    const int64_t containerSize = int32_t(big ? be32(data + 4) : le32(data + 4));
    // The container size counts from after its own field; never trust it past the image.
    int64_t end = containerSize + 8;
    if (end > int64_t(size)) end = int64_t(size);

    Next result = Next::Continue;
    int64_t pos = 12;
    while (pos + 8 <= end) {
        const uint8_t* id = data + pos;
        const int64_t chunkSize = int32_t(big ? be32(data + pos + 4) : le32(data + pos + 4));
        if (chunkSize < 0) {
            result = Next::Refuse;
            break;
        }
        const int64_t body = pos + 8;
        const bool known = big ? (std::memcmp(id, "COMM", 4) == 0 || std::memcmp(id, "SSND", 4) == 0)
                               : (std::memcmp(id, "fmt ", 4) == 0 || std::memcmp(id, "data", 4) == 0);
        if (known) {
            // A chunk we must read has to lie wholly inside the file.
            if (body + chunkSize > int64_t(size)) {
                result = Next::Refuse;
                break;
            }
            result = big ? aiffChunk(buf, st, id, data + body, chunkSize)
                         : waveChunk(buf, st, id, data + body, chunkSize);
            if (result != Next::Continue) break;
        }
        // Chunks are padded to an even length.
        pos = body + chunkSize + (chunkSize & 1);
    }

    if (result == Next::Refuse || !st.haveData) {
        buf.samples.clear();
        buf.frameCount = 0;
        buf.sampleRate = 0;
        buf.loaded = false;
        return false;
    }
    buf.loaded = true;
    return true;
}

bool loadWaveFile(WaveBuffer& buf, const std::string& path, std::string& error) {
    error.clear();
    buf.frameCount = 0;
    buf.sampleRate = 0;
    std::vector<uint8_t> image;
    if (!readWaveImage(path, image, error)) {
        buf.samples.clear();
        buf.loaded = false;
        return false;
    }
    if (!parseWaveImage(buf, image.data(), image.size())) {
        error = "not a readable 16-bit PCM WAV or AIFF file";
        return false;
    }
    return true;
}

bool loadWaveFile(WaveBuffer& buf, const std::string& path) {
    std::string error;
    return loadWaveFile(buf, path, error);
}

void normalizeWave(WaveBuffer& buf) {
    const int32_t n = buf.frames();
    if (n < 1) return;
    float peak = 0.0f;
    for (int32_t i = 0; i < n; ++i) peak = std::fmax(peak, std::fabs(buf.samples[size_t(i)]));
    if (!(peak > 1e-6f)) return;
    const float scale = 1.0f / peak;
    for (int32_t i = 0; i < n; ++i) buf.samples[size_t(i)] *= scale;
}

int stepCountFromFileName(const std::string& path, int current) {
    const size_t at = path.find("step");
    if (at == std::string::npos) return current;
    size_t i = at >= 2 ? at - 2 : 0;
    while (i < path.size() && !(path[i] >= '0' && path[i] <= '9')) ++i;
    if (i >= path.size()) return current;
    // Only the clamped value matters, so stop accumulating once it is out of range.
    long value = 0;
    while (i < path.size() && path[i] >= '0' && path[i] <= '9') {
        if (value < 1000) value = value * 10 + (path[i] - '0');
        ++i;
    }
    if (value < 1) return 1;
    if (value > 64) return 64;
    return int(value);
}

} // namespace kelo
