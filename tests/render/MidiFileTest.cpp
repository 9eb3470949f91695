#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/kelo-render/MidiFile.h"

namespace kelo::render {
namespace {

using Bytes = std::vector<uint8_t>;

void be(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

Bytes header(int format, int tracks, int division) {
    Bytes b = {'M', 'T', 'h', 'd'};
    be(b, 6, 4);
    be(b, uint32_t(format), 2);
    be(b, uint32_t(tracks), 2);
    be(b, uint32_t(division), 2);
    return b;
}

void track(Bytes& file, const Bytes& body) {
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    be(file, uint32_t(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes withEnd(Bytes body) {
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    return body;
}

MidiSong parseOk(const Bytes& file) {
    MidiSong song;
    std::string error;
    EXPECT_TRUE(parseMidiFile(file, song, error)) << error;
    return song;
}

TEST(MidiFile, TempoMapRunningStatusAndLength) {
    // 480 ticks per quarter. 120 BPM until tick 960, then 60 BPM.
    Bytes f = header(0, 1, 480);
    track(f, withEnd({0x00, 0x90, 45, 100,               // note on at 0
                      0x83, 0x60, 45, 0,                 // running status: velocity 0 at 480 (0.5 s)
                      0x83, 0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, // tempo 1 000 000 us at 960 (1.0 s)
                      0x00, 0x90, 57, 127,               // note on at 960 takes the new tempo: 1.0 s
                      0x83, 0x60, 0x80, 57, 64,          // note off at 1440: 1.0 + 1.0 s
                      0x00, 0xF0, 0x02, 0x01, 0xF7,      // sysex is skipped and ends running status
                      0x00, 0xB0, 7, 90}));              // controller at 2.0 s
    const MidiSong song = parseOk(f);
    ASSERT_EQ(song.events.size(), 5u);
    const double expected[] = {0.0, 0.5, 1.0, 2.0, 2.0};
    const uint8_t status[] = {0x90, 0x90, 0x90, 0x80, 0xB0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(song.events[i].seconds, expected[i], 1e-12) << i;
        EXPECT_EQ(song.events[i].status, status[i]) << i;
    }
    EXPECT_EQ(song.events[1].data1, 45);
    EXPECT_EQ(song.events[1].data2, 0);
    EXPECT_NEAR(song.lengthSeconds, 2.0, 1e-12);
}

TEST(MidiFile, TracksMergeInTimeWithTheTempoTrackApplied) {
    Bytes f = header(1, 2, 96);
    // Tempo track: 240 BPM (250 000 us) from the start.
    track(f, withEnd({0x00, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90}));
    track(f, withEnd({0x60, 0x91, 60, 100, 0x60, 0x81, 60, 0, 0x00, 0xC1, 5}));
    // An unknown chunk between tracks is skipped.
    Bytes withJunk = header(1, 2, 96);
    track(withJunk, withEnd({0x00, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90}));
    withJunk.insert(withJunk.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 2, 1, 2});
    track(withJunk, withEnd({0x60, 0x91, 60, 100, 0x60, 0x81, 60, 0, 0x00, 0xC1, 5}));

    for (const Bytes& file : {f, withJunk}) {
        const MidiSong song = parseOk(file);
        ASSERT_EQ(song.events.size(), 3u);
        EXPECT_NEAR(song.events[0].seconds, 0.25, 1e-12);
        EXPECT_NEAR(song.events[1].seconds, 0.5, 1e-12);
        EXPECT_EQ(song.events[2].status, 0xC1); // one data byte
        EXPECT_EQ(song.events[2].data1, 5);
        EXPECT_NEAR(song.lengthSeconds, 0.5, 1e-12);
    }
}

TEST(MidiFile, SmpteDivisionCountsRealTime) {
    Bytes f = header(0, 1, 0xE728); // 25 frames per second, 40 ticks per frame: 1 ms per tick
    track(f, withEnd({0x87, 0x68, 0x90, 40, 1})); // 1000 ticks
    const MidiSong song = parseOk(f);
    ASSERT_EQ(song.events.size(), 1u);
    EXPECT_NEAR(song.events[0].seconds, 1.0, 1e-9);
}

TEST(MidiFile, MalformedFilesAreRefusedNotRead) {
    Bytes good = header(0, 1, 480);
    track(good, withEnd({0x00, 0x90, 45, 100}));
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {{}, "not a standard MIDI file"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 0}, "not a standard MIDI file"},
        {Bytes(good.begin(), good.begin() + 10), "truncated MIDI file header"},
        {header(2, 1, 480), "format 2 is not supported"},
        {header(0, 1, 0), "zero time division"},
        {Bytes(good.begin(), good.end() - 3), "is truncated"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0x00, 45, 100}); return f; }(), "running status with no status"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0x00, 0x90, 45}); return f; }(), "ends inside an event"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0x00, 0x90, 45, 200}); return f; }(), "data byte above 127"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0x00, 0xFF, 0x51, 9, 1}); return f; }(), "malformed meta event"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F}); return f; }(), "malformed"},
        {[] { Bytes f = header(0, 1, 480); track(f, {0x00, 0xF8}); return f; }(), "unexpected system message"},
        {[] { Bytes f = header(0, 1, 0xE700); track(f, kEnd); return f; }(), "invalid SMPTE"},
    };
    int i = 0;
    for (const auto& c : cases) {
        MidiSong song;
        song.events.push_back({});
        std::string error;
        EXPECT_FALSE(parseMidiFile(c.file, song, error)) << "case " << i;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "case " << i << " gave: " << error;
        EXPECT_TRUE(song.events.empty()) << "case " << i; // nothing half-read is handed on
        ++i;
    }
}

} // namespace
} // namespace kelo::render
