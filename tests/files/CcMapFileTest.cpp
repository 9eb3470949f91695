#include <gtest/gtest.h>

#include <random>

#include "TempDir.h"
#include "files/CcMapFile.h"

namespace kelo {
namespace {

using test::TempDir;

struct Maps {
    CcMap map;
    KeyCommandTable keys;
    Maps() {
        setDefaultCcMap(map);
        for (int i = 0; i < kKeyCommandSlots; ++i) keys.slots[i] = 48 + i;
    }
};

Maps defaults() { return Maps{}; }

void expectSame(const Maps& a, const Maps& b, int exceptEntryA = -1, int exceptEntryB = -1) {
    for (int c = 0; c < kCcMapSize; ++c)
        if (c != exceptEntryA && c != exceptEntryB) {
            EXPECT_EQ(a.map.entries[c], b.map.entries[c]) << "controller " << c;
        }
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(a.keys.slots[i], b.keys.slots[i]) << "slot " << i;
}

TEST(CcMapDefaults, ElevenControllersMapped) {
    CcMap map;
    setDefaultCcMap(map);
    const std::pair<int, int> expected[] = {{7, 8},   {70, 10}, {71, 0}, {74, 1}, {76, 2}, {77, 3},
                                            {78, 4},  {79, 5},  {80, 11}, {91, 7}, {92, 6}};
    int mapped = 0;
    for (int32_t e : map.entries) mapped += e >= 0;
    EXPECT_EQ(mapped, 11);
    for (auto [cc, param] : expected) EXPECT_EQ(map.entries[cc], param) << cc;
}

TEST(CcMapLearn, OneControllerPerParameterAndOneParameterPerController) {
    CcMap map;
    setDefaultCcMap(map);
    learnController(map, 20, 1);
    EXPECT_EQ(map.entries[20], 1);
    EXPECT_EQ(map.entries[74], -1);
    // Taking a controller that holds another parameter overwrites it.
    learnController(map, 7, 1);
    EXPECT_EQ(map.entries[7], 1);
    EXPECT_EQ(map.entries[20], -1);
    // Out-of-range controllers are ignored and touch nothing.
    learnController(map, 128, 2);
    learnController(map, -1, 2);
    EXPECT_EQ(map.entries[76], 2);
}

TEST(CcMapRead, PerParameterKeysUseTheAssignmentRule) {
    Maps m = defaults();
    parseMidiMap(m.map, m.keys, "MidiCC.Cutoff = 20\n");
    EXPECT_EQ(m.map.entries[20], 1);
    EXPECT_EQ(m.map.entries[74], -1);
    expectSame(m, defaults(), 20, 74);

    Maps n = defaults();
    parseMidiMap(n.map, n.keys,
                 "midicc.tempo = 0x10\nMidiCC.HighpassFilter = 010\nMidiCC.DistortionType = 200\n"
                 "MidiCC.Volume = -1\n");
    EXPECT_EQ(n.map.entries[16], 9);
    EXPECT_EQ(n.map.entries[8], 12);
    EXPECT_EQ(n.map.entries[80], 11); // controller 200 does not exist: line ignored
    EXPECT_EQ(n.map.entries[7], 8);
}

TEST(CcMapRead, TableSectionsReplaceEntriesAsTheyAre) {
    Maps m = defaults();
    parseMidiMap(m.map, m.keys, "MidiMapSize = 4\n5\n-1\n12\n3\n");
    EXPECT_EQ(m.map.entries[0], 5);
    EXPECT_EQ(m.map.entries[1], -1);
    EXPECT_EQ(m.map.entries[2], 12);
    EXPECT_EQ(m.map.entries[3], 3);
    for (int i = 0; i < kKeyCommandSlots; ++i) EXPECT_EQ(m.keys.slots[i], 48 + i);
    for (int c = 4; c < kCcMapSize; ++c) EXPECT_EQ(m.map.entries[c], defaults().map.entries[c]);

    // A size out of 1..13 skips the section; its numbers then pair up as ignored keys.
    Maps k = defaults();
    parseMidiMap(k.map, k.keys, "MidiKeyMapping = 14\n1\n2\n3\n4\nMidiKeyMapping = 2\n60 61\n");
    EXPECT_EQ(k.keys.slots[0], 60);
    EXPECT_EQ(k.keys.slots[1], 61);
    EXPECT_EQ(k.keys.slots[2], 50);

    Maps z = defaults();
    parseMidiMap(z.map, z.keys, "MidiMapSize = 0\n9\n9\nMidiMapSize = 129\n9\n9\n");
    expectSame(z, defaults());
}

TEST(CcMapRead, ShortOrBrokenSectionsStopCleanly) {
    // End of text inside the list keeps the rest.
    Maps m = defaults();
    parseMidiMap(m.map, m.keys, "MidiMapSize = 128\n1\n2");
    EXPECT_EQ(m.map.entries[0], 1);
    EXPECT_EQ(m.map.entries[1], 2);
    EXPECT_EQ(m.map.entries[7], 8);

    // A word that is not a number ends the list and is read as the next key.
    Maps n = defaults();
    parseMidiMap(n.map, n.keys, "MidiMapSize = 5\n5\nMidiCC.Cutoff = 3\n");
    EXPECT_EQ(n.map.entries[0], 5);
    EXPECT_EQ(n.map.entries[1], -1);
    EXPECT_EQ(n.map.entries[3], 1);
    EXPECT_EQ(n.map.entries[74], -1);
}

TEST(CcMapFile, WriteExactFormatAndReadBackUnchanged) {
    TempDir dir;
    Maps m = defaults();
    learnController(m.map, 1, 9);
    m.map.entries[127] = 12;
    m.keys.slots[12] = -1;
    const std::string path = dir.file("MidiCC.ini");
    ASSERT_TRUE(writeMidiMap(m.map, m.keys, path));
    const std::string text = test::readText(path);
    EXPECT_EQ(text.rfind("MidiMapSize = 128\n-1\n9\n-1\n", 0), 0u);
    EXPECT_NE(text.find("\n12\nMidiKeyMapping = 13\n48\n49\n"), std::string::npos);
    EXPECT_EQ(text.size() - text.rfind("59\n-1\n"), 6u);
    int lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 1 + 128 + 1 + 13);

    Maps back;
    for (int32_t& e : back.map.entries) e = 77;
    for (int32_t& s : back.keys.slots) s = 77;
    ASSERT_TRUE(readMidiMap(back.map, back.keys, path));
    expectSame(back, m);
}

TEST(CcMapFile, MissingOrUncreatableFilesChangeNothing) {
    TempDir dir;
    Maps m = defaults();
    EXPECT_FALSE(readMidiMap(m.map, m.keys, dir.file("absent.map")));
    expectSame(m, defaults());
    EXPECT_FALSE(writeMidiMap(m.map, m.keys, dir.file("absent/dir/x.map")));
}

TEST(CcMapFile, CorruptInputsNeverWritePastTheTables) {
    // Guard words around the tables catch any write outside them.
    struct Guarded {
        int32_t before[8];
        CcMap map;
        int32_t middle[8];
        KeyCommandTable keys;
        int32_t after[8];
    };
    Maps m = defaults();
    const std::string good = formatMidiMap(m.map, m.keys);
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string text = good;
        if (round % 2 == 0) {
            text = text.substr(0, rng() % text.size());
        } else {
            for (int k = 0; k < 30; ++k) text[rng() % text.size()] = "0123456789-=;x \nM"[rng() % 17];
        }
        text += "\nMidiCC.Cutoff = 99999\nMidiCC.Tune = -77\nMidiKeyMapping = 13\nMidiMapSize = 128\n";
        Guarded g;
        for (int32_t& w : g.before) w = 0x5A5A5A5A;
        for (int32_t& w : g.middle) w = 0x5A5A5A5A;
        for (int32_t& w : g.after) w = 0x5A5A5A5A;
        setDefaultCcMap(g.map);
        g.keys = m.keys;
        parseMidiMap(g.map, g.keys, text);
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(g.before[k], 0x5A5A5A5A);
            ASSERT_EQ(g.middle[k], 0x5A5A5A5A);
            ASSERT_EQ(g.after[k], 0x5A5A5A5A);
        }
    }
}

} // namespace
} // namespace kelo
