#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "FileTestSupport.h"
#include "files/CcMapFile.h"

namespace kelo {
namespace {

constexpr int32_t kGuard = 0x5A5A5A5A;

// The tables between guard words, so a write past either one is caught in any build.
struct Maps {
    int32_t before[4] = {kGuard, kGuard, kGuard, kGuard};
    CcMap map;
    int32_t middle[4] = {kGuard, kGuard, kGuard, kGuard};
    KeyCommandTable keys;
    int32_t after[4] = {kGuard, kGuard, kGuard, kGuard};
    Maps() {
        setDefaultCcMap(map);
        for (int i = 0; i < kKeyCommandSlots; ++i) keys.slots[i] = 48 + i;
    }
    bool guardsIntact() const {
        for (int i = 0; i < 4; ++i)
            if (before[i] != kGuard || middle[i] != kGuard || after[i] != kGuard) return false;
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
    EXPECT_EQ(std::tuple(m.map.entries[20], m.map.entries[74]), std::tuple(1, -1));
    learnController(m.map, 7, 1); // takes Volume's controller
    EXPECT_EQ(std::tuple(m.map.entries[7], m.map.entries[20]), std::tuple(1, -1));
    learnController(m.map, 128, 2);
    learnController(m.map, -1, 2);
    EXPECT_EQ(m.map.entries[76], 2);
    EXPECT_TRUE(m.guardsIntact());
}

TEST(CcMap, PerParameterKeysAndTableSections) {
    Maps expected;
    expected.map.entries[74] = -1;
    expected.map.entries[20] = 1;
    EXPECT_TRUE(parsed("MidiCC.Cutoff = 20\n") == expected);
    Maps m = parsed("midicc.tempo = 0x10\nMidiCC.HighpassFilter = 010\nMidiCC.DistortionType = 200\n");
    // No controller 200: that line is ignored.
    EXPECT_EQ(std::tuple(m.map.entries[16], m.map.entries[8], m.map.entries[80]), std::tuple(9, 12, 11));

    expected = Maps();
    const int32_t first[] = {5, -1, 12, 3};
    std::memcpy(expected.map.entries, first, sizeof first);
    EXPECT_TRUE(parsed("MidiMapSize = 4\n5\n-1\n12\n3\n") == expected);

    // Size 14 skips the section; its numbers then pair up as keys and are ignored.
    expected = Maps();
    expected.keys.slots[0] = 60;
    expected.keys.slots[1] = 61;
    EXPECT_TRUE(parsed("MidiKeyMapping = 14\n1\n2\n3\n4\nMidiKeyMapping = 2\n60 61\n") == expected);
    EXPECT_TRUE(parsed("MidiMapSize = 0\n9\n9\nMidiMapSize = 129\n9\n9\n") == Maps());

    // A list cut short by the end, or by a word that is then read as the next key.
    m = parsed("MidiMapSize = 128\n1\n2");
    EXPECT_EQ(std::tuple(m.map.entries[1], m.map.entries[7]), std::tuple(2, 8));
    m = parsed("MidiMapSize = 5\n5\nMidiCC.Cutoff = 3\n");
    EXPECT_EQ(std::tuple(m.map.entries[0], m.map.entries[1], m.map.entries[3]), std::tuple(5, -1, 1));
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
    const Maps defaults;
    const std::string good = formatMidiMap(defaults.map, defaults.keys);
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string text = good.substr(0, rng() % good.size());
        for (int k = 0; round % 2 && k < 30; ++k) text[rng() % text.size()] = "0123456789-=;x \nM"[rng() % 17];
        const Maps m = parsed(text + "\nMidiCC.Cutoff = 99999\nMidiCC.Tune = -77\nMidiKeyMapping = 13\n"
                                     "MidiMapSize = 128\n");
        ASSERT_TRUE(m.guardsIntact());
    }
}

} // namespace
} // namespace kelo
