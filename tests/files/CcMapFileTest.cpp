#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TempDir.h"
#include "files/CcMapFile.h"

namespace kelo {
namespace {

// Tables with guard words around them, so a write outside either table is caught.
struct Maps {
    int32_t before[4];
    CcMap map;
    int32_t middle[4];
    KeyCommandTable keys;
    int32_t after[4];
    Maps() {
        for (int i = 0; i < 4; ++i) before[i] = middle[i] = after[i] = 0x5A5A5A5A;
        setDefaultCcMap(map);
        for (int i = 0; i < kKeyCommandSlots; ++i) keys.slots[i] = 48 + i;
    }
    bool guardsIntact() const {
        for (int i = 0; i < 4; ++i)
            if (before[i] != 0x5A5A5A5A || middle[i] != 0x5A5A5A5A || after[i] != 0x5A5A5A5A) return false;
        return true;
    }
    bool operator==(const Maps& o) const {
        return std::memcmp(&map, &o.map, sizeof map) == 0 && std::memcmp(&keys, &o.keys, sizeof keys) == 0;
    }
};

Maps parsed(const std::string& text) {
    Maps m;
    parseMidiMap(m.map, m.keys, text);
    return m;
}

TEST(CcMap, LearningKeepsOneControllerPerParameter) {
    Maps m;
    learnController(m.map, 20, 1);
    EXPECT_EQ(m.map.entries[20], 1);
    EXPECT_EQ(m.map.entries[74], -1);
    learnController(m.map, 7, 1); // takes Volume's controller
    EXPECT_EQ(m.map.entries[7], 1);
    EXPECT_EQ(m.map.entries[20], -1);
    learnController(m.map, 128, 2);
    learnController(m.map, -1, 2);
    EXPECT_EQ(m.map.entries[76], 2);
    EXPECT_TRUE(m.guardsIntact());
}

TEST(CcMap, PerParameterKeys) {
    Maps m = parsed("MidiCC.Cutoff = 20\n");
    Maps expected;
    expected.map.entries[74] = -1;
    expected.map.entries[20] = 1;
    EXPECT_TRUE(m == expected);

    m = parsed("midicc.tempo = 0x10\nMidiCC.HighpassFilter = 010\nMidiCC.DistortionType = 200\n");
    EXPECT_EQ(m.map.entries[16], 9);
    EXPECT_EQ(m.map.entries[8], 12);
    EXPECT_EQ(m.map.entries[80], 11); // there is no controller 200: line ignored
}

TEST(CcMap, TableSections) {
    Maps m = parsed("MidiMapSize = 4\n5\n-1\n12\n3\n");
    Maps expected;
    const int32_t first[] = {5, -1, 12, 3};
    std::memcpy(expected.map.entries, first, sizeof first);
    EXPECT_TRUE(m == expected);

    // Size 14 skips the section; its numbers then pair up as keys and are ignored.
    m = parsed("MidiKeyMapping = 14\n1\n2\n3\n4\nMidiKeyMapping = 2\n60 61\n");
    expected = Maps();
    expected.keys.slots[0] = 60;
    expected.keys.slots[1] = 61;
    EXPECT_TRUE(m == expected);
    EXPECT_TRUE(parsed("MidiMapSize = 0\n9\n9\nMidiMapSize = 129\n9\n9\n") == Maps());

    // A list cut short by the end, or by a word that is then read as the next key.
    m = parsed("MidiMapSize = 128\n1\n2");
    EXPECT_EQ(m.map.entries[1], 2);
    EXPECT_EQ(m.map.entries[7], 8);
    m = parsed("MidiMapSize = 5\n5\nMidiCC.Cutoff = 3\n");
    EXPECT_EQ(m.map.entries[0], 5);
    EXPECT_EQ(m.map.entries[1], -1);
    EXPECT_EQ(m.map.entries[3], 1);
}

TEST(CcMap, FileWriteAndReadBack) {
    test::TempDir dir;
    Maps m;
    learnController(m.map, 1, 9);
    m.keys.slots[12] = -1;
    const std::string path = dir.file("MidiCC.ini");
    ASSERT_TRUE(writeMidiMap(m.map, m.keys, path));
    const std::string text = test::readText(path);
    EXPECT_EQ(text.rfind("MidiMapSize = 128\n-1\n9\n-1\n", 0), 0u);
    EXPECT_NE(text.find("\n-1\nMidiKeyMapping = 13\n48\n49\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 128 + 1 + 13);

    Maps back;
    std::memset(&back.map, 0x11, sizeof back.map);
    std::memset(&back.keys, 0x11, sizeof back.keys);
    ASSERT_TRUE(readMidiMap(back.map, back.keys, path));
    EXPECT_TRUE(back == m);

    EXPECT_FALSE(readMidiMap(back.map, back.keys, dir.file("absent.map")));
    EXPECT_TRUE(back == m);
    EXPECT_FALSE(writeMidiMap(m.map, m.keys, dir.file("absent/dir/x.map")));
}

TEST(CcMap, CorruptInputsStayInsideTheTables) {
    const std::string good = formatMidiMap(Maps().map, Maps().keys);
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string text = good.substr(0, rng() % good.size());
        for (int k = 0; round % 2 && k < 30; ++k) text[rng() % text.size()] = "0123456789-=;x \nM"[rng() % 17];
        text += "\nMidiCC.Cutoff = 99999\nMidiCC.Tune = -77\nMidiKeyMapping = 13\nMidiMapSize = 128\n";
        ASSERT_TRUE(parsed(text).guardsIntact());
    }
}

} // namespace
} // namespace kelo
