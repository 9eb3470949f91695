#include "tools/kelo-render/MidiFile.h"

#include <algorithm>

namespace kelo::render {

namespace {

constexpr uint32_t kDefaultTempo = 500000; // microseconds per quarter note: 120 BPM

struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t pos;
    size_t end;

    bool has(size_t n) const { return pos <= end && end - pos >= n; }
    bool u8(uint8_t& v) {
        if (!has(1)) return false;
        v = bytes[pos++];
        return true;
    }
    bool be(size_t n, uint32_t& v) {
        if (!has(n)) return false;
        v = 0;
        for (size_t i = 0; i < n; ++i) v = (v << 8) | bytes[pos++];
        return true;
    }
    // Variable-length quantity: at most four bytes, as the format allows.
    bool vlq(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!u8(b)) return false;
            v = (v << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool skip(uint32_t n) {
        if (!has(n)) return false;
        pos += n;
        return true;
    }
};

struct TickEvent {
    uint64_t tick;
    int track;
    size_t order;
    bool tempo;
    uint32_t tempoValue;
    uint8_t status, data1, data2;
};

int dataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

} // namespace

bool parseMidiFile(const std::vector<uint8_t>& bytes, MidiSong& song, std::string& error) {
    song = MidiSong{};
    Reader r{bytes, 0, bytes.size()};
    uint32_t magic = 0, headerLength = 0, format = 0, trackCount = 0, division = 0;
    if (!r.be(4, magic) || magic != 0x4D546864u || !r.be(4, headerLength) || headerLength < 6) {
        error = "not a standard MIDI file";
        return false;
    }
    const size_t headerEnd = r.pos + headerLength;
    if (!r.be(2, format) || !r.be(2, trackCount) || !r.be(2, division) || !r.has(headerEnd - r.pos)) {
        error = "truncated MIDI file header";
        return false;
    }
    r.pos = headerEnd;
    if (format > 1) {
        error = "MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)";
        return false;
    }
    if (division == 0) {
        error = "MIDI file has a zero time division";
        return false;
    }

    std::vector<TickEvent> events;
    uint64_t lastTick = 0;
    for (uint32_t t = 0; t < trackCount;) {
        uint32_t chunkId = 0, length = 0;
        if (!r.be(4, chunkId) || !r.be(4, length) || !r.has(length)) {
            error = "MIDI track " + std::to_string(t + 1) + " is truncated";
            return false;
        }
        Reader tr{bytes, r.pos, r.pos + length};
        r.pos += length;
        if (chunkId != 0x4D54726Bu) continue; // unknown chunks are skipped, as the format asks
        uint64_t tick = 0;
        uint8_t running = 0;
        bool ended = false;
        while (!ended && tr.pos < tr.end) {
            uint32_t delta = 0;
            uint8_t b = 0;
            if (!tr.vlq(delta) || !tr.u8(b)) {
                error = "MIDI track " + std::to_string(t + 1) + " is malformed";
                return false;
            }
            tick += delta;
            if (b == 0xFF) {
                uint8_t type = 0;
                uint32_t len = 0;
                if (!tr.u8(type) || !tr.vlq(len) || !tr.has(len)) {
                    error = "MIDI track " + std::to_string(t + 1) + " has a malformed meta event";
                    return false;
                }
                if (type == 0x51 && len == 3) {
                    uint32_t tempo = 0;
                    tr.be(3, tempo);
                    if (tempo == 0) tempo = kDefaultTempo;
                    events.push_back({tick, int(t), events.size(), true, tempo, 0, 0, 0});
                } else {
                    tr.skip(len);
                }
                if (type == 0x2F) ended = true;
                running = 0;
            } else if (b == 0xF0 || b == 0xF7) {
                uint32_t len = 0;
                if (!tr.vlq(len) || !tr.skip(len)) {
                    error = "MIDI track " + std::to_string(t + 1) + " has a malformed system exclusive event";
                    return false;
                }
                running = 0;
            } else {
                uint8_t status = running;
                uint8_t first = b;
                if (b & 0x80) {
                    if (b >= 0xF0) { // system common and real-time messages do not belong in files
                        error = "MIDI track " + std::to_string(t + 1) + " has an unexpected system message";
                        return false;
                    }
                    status = b;
                    if (!tr.u8(first)) {
                        error = "MIDI track " + std::to_string(t + 1) + " ends inside an event";
                        return false;
                    }
                } else if (running == 0) {
                    error = "MIDI track " + std::to_string(t + 1) + " uses running status with no status";
                    return false;
                }
                running = status;
                uint8_t second = 0;
                if (dataBytes(status) == 2 && !tr.u8(second)) {
                    error = "MIDI track " + std::to_string(t + 1) + " ends inside an event";
                    return false;
                }
                if ((first | second) & 0x80) {
                    error = "MIDI track " + std::to_string(t + 1) + " has a data byte above 127";
                    return false;
                }
                events.push_back({tick, int(t), events.size(), false, 0, status, first, second});
            }
        }
        lastTick = std::max(lastTick, tick);
        ++t;
    }

    std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        // Tempo changes first, so an event at the same tick is timed with the new tempo.
        if (a.tempo != b.tempo) return a.tempo;
        return a.track < b.track;
    });

    // Seconds per tick: from the tempo map (PPQN division) or fixed (SMPTE division).
    const bool smpte = (division & 0x8000u) != 0;
    double smpteTickSeconds = 0.0;
    if (smpte) {
        const int fps = 256 - int((division >> 8) & 0xFF);
        const int ticksPerFrame = int(division & 0xFF);
        if (fps <= 0 || ticksPerFrame == 0) {
            error = "MIDI file has an invalid SMPTE time division";
            return false;
        }
        smpteTickSeconds = 1.0 / ((fps == 29 ? 29.97 : double(fps)) * ticksPerFrame);
    }
    uint32_t tempo = kDefaultTempo;
    uint64_t tempoTick = 0;
    double tempoSeconds = 0.0;
    auto secondsAt = [&](uint64_t tick) {
        if (smpte) return double(tick) * smpteTickSeconds;
        return tempoSeconds + double(tick - tempoTick) * tempo / (1e6 * double(division));
    };
    for (const TickEvent& e : events) {
        if (e.tempo) {
            tempoSeconds = secondsAt(e.tick);
            tempoTick = e.tick;
            tempo = e.tempoValue;
            continue;
        }
        song.events.push_back({secondsAt(e.tick), e.status, e.data1, e.data2});
    }
    song.lengthSeconds = secondsAt(lastTick);
    return true;
}

} // namespace kelo::render
