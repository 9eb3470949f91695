#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/kelo-render/MidiFile.h"

namespace kelo::render {
namespace {

using Bytes = std::vector<uint8_t>;

// A file with the given header fields and one track per body, each closed by end-of-track.
Bytes midiFile(int format, int division, std::initializer_list<Bytes> tracks, bool endTracks = true) {
    Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()),
               uint8_t(division >> 8), uint8_t(division)};
    for (Bytes body : tracks) {
        if (endTracks) body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        f.insert(f.end(), {'M', 'T', 'r', 'k', 0, 0, uint8_t(body.size() >> 8), uint8_t(body.size())});
        f.insert(f.end(), body.begin(), body.end());
    }
    return f;
}

MidiSong parseOk(const Bytes& file) {
    MidiSong song;
    std::string error;
    EXPECT_TRUE(parseMidiFile(file, song, error)) << error;
    return song;
}

TEST(MidiFile, TempoMapRunningStatusAndLength) {
    // 480 ticks per quarter. 120 BPM until tick 960, then 60 BPM.
    const MidiSong song = parseOk(midiFile(0, 480, {{
        0x00, 0x90, 45, 100,                          // note on at 0
        0x83, 0x60, 45, 0,                            // running status: velocity 0 at 480 (0.5 s)
        0x83, 0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40,  // tempo 1 000 000 us at 960 (1.0 s)
        0x00, 0x90, 57, 127,                          // note on at 960 takes the new tempo: 1.0 s
        0x83, 0x60, 0x80, 57, 64,                     // note off at 1440: 1.0 + 1.0 s
        0x00, 0xF0, 0x02, 0x01, 0xF7,                 // sysex is skipped and ends running status
        0x00, 0xB0, 7, 90}}));                        // controller at 2.0 s
    ASSERT_EQ(song.events.size(), 5u);
    const double seconds[] = {0.0, 0.5, 1.0, 2.0, 2.0};
    const uint8_t status[] = {0x90, 0x90, 0x90, 0x80, 0xB0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(song.events[i].seconds, seconds[i], 1e-12) << i;
        EXPECT_EQ(song.events[i].status, status[i]) << i;
    }
    EXPECT_EQ(song.events[1].data1, 45);
    EXPECT_EQ(song.events[1].data2, 0);
    EXPECT_NEAR(song.lengthSeconds, 2.0, 1e-12);
    EXPECT_EQ(parseOk(midiFile(0, 96, {{}})).lengthSeconds, 0.0);
}

TEST(MidiFile, TracksMergeInTimeWithTheTempoTrackAppliedAndSmpteTimeCounts) {
    // Tempo track: 240 BPM (250 000 us) from the start. An unknown chunk after it is skipped.
    const Bytes tempo = {0x00, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90};
    const Bytes notes = {0x60, 0x91, 60, 100, 0x60, 0x81, 60, 0, 0x00, 0xC1, 5};
    Bytes withJunk = midiFile(1, 96, {tempo, notes});
    withJunk.insert(withJunk.begin() + 14 + 8 + 11, {'J', 'U', 'N', 'K', 0, 0, 0, 2, 1, 2});
    for (const Bytes& file : {midiFile(1, 96, {tempo, notes}), withJunk}) {
        const MidiSong song = parseOk(file);
        ASSERT_EQ(song.events.size(), 3u);
        EXPECT_NEAR(song.events[0].seconds, 0.25, 1e-12);
        EXPECT_NEAR(song.events[1].seconds, 0.5, 1e-12);
        EXPECT_EQ(song.events[2].status, 0xC1); // one data byte
        EXPECT_EQ(song.events[2].data1, 5);
        EXPECT_NEAR(song.lengthSeconds, 0.5, 1e-12);
    }
    // 25 frames per second, 40 ticks per frame: 1000 ticks are a second.
    const MidiSong smpte = parseOk(midiFile(0, 0xE728, {{0x87, 0x68, 0x90, 40, 1}}));
    ASSERT_EQ(smpte.events.size(), 1u);
    EXPECT_NEAR(smpte.events[0].seconds, 1.0, 1e-9);
}

TEST(MidiFile, MalformedOrTruncatedFilesAreRefusedNotRead) {
    const Bytes good = midiFile(0, 480, {{0x00, 0x90, 45, 100, 0x00, 0xFF, 0x01, 2, 'h', 'i'}});
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {{}, "not a standard MIDI file"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, "not a standard MIDI file"},
        {Bytes(good.begin(), good.begin() + 10), "truncated MIDI file header"},
        {midiFile(2, 480, {}), "format 2 is not supported"},
        {midiFile(0, 0, {}), "zero time division"},
        {Bytes(good.begin(), good.end() - 3), "is truncated"},
        {midiFile(0, 480, {{0x00, 45, 100}}, false), "running status with no status"},
        {midiFile(0, 480, {{0x00, 0x90, 45}}, false), "ends inside an event"},
        {midiFile(0, 480, {{0x00, 0x90, 45, 200}}, false), "data byte above 127"},
        {midiFile(0, 480, {{0x00, 0xFF, 0x51, 9, 1}}, false), "malformed meta event"},
        {midiFile(0, 480, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}, false), "malformed"},
        {midiFile(0, 480, {{0x00, 0xF0, 0x05, 0x01}}, false), "malformed system exclusive event"},
        {midiFile(0, 480, {{0x00, 0xF8}}, false), "unexpected system message"},
        {midiFile(0, 0xE700, {{}}), "invalid SMPTE"},
    };
    auto refused = [](const Bytes& file, std::string& error) {
        MidiSong song;
        song.events.push_back({});
        return !parseMidiFile(file, song, error) && song.events.empty(); // nothing half-read is handed on
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string error;
        EXPECT_TRUE(refused(cases[i].file, error)) << "case " << i;
        EXPECT_NE(error.find(cases[i].reason), std::string::npos) << "case " << i << " gave: " << error;
    }
    // Every cut of a good file is refused without reading past its end.
    for (size_t n = 0; n < good.size(); ++n) {
        std::string error;
        EXPECT_TRUE(refused(Bytes(good.begin(), good.begin() + long(n)), error)) << n << " bytes";
    }
}

} // namespace
} // namespace kelo::render
