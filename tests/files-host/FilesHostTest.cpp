// The user's files as real instances of the plug-in file read and write them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "files/CcMapFile.h"
#include "tests/plugin/ScratchHome.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kelo {
namespace {

using test::Kelo;
using test::ScratchHome;

constexpr int kCutoff = 1;

// The user moved Cutoff from controller 74 to 20 and wrote the whole table, as the plug-in does.
std::string usersMap() {
    CcMap map;
    KeyCommandTable keys;
    setDefaultCcMap(map);
    setDefaultKeyCommands(keys);
    learnController(map, 20, kCutoff);
    return formatMidiMap(map, keys);
}

// True when a new instance in the current home has the user's map: controller 20 moves Cutoff.
bool startsWithUsersMap() {
    host::Plugin p;
    if (!p.load()) return false;
    p.start();
    p.setParameter(kCutoff, 0.5f);
    p.render(64, {{0, 0xB0, 20, 0}});
    return p.getParameter(kCutoff) == 0.0f;
}

TEST(MidiMapFile, InstancesOpeningAndClosingTogetherKeepTheUsersMap) {
    constexpr int kInstances = 12; // per thread and per process
    ScratchHome home;
    const std::string map = usersMap();
    home.write("MidiCC.ini", map);
    const std::string path = (home.dataFolder() / "MidiCC.ini").string();

    // Two threads of instances, while another program saves the same map again and again.
    std::atomic<bool> stop{false};
    std::atomic<int> lost{0};
    std::thread saver([&] {
        CcMap m;
        KeyCommandTable k;
        setDefaultCcMap(m);
        parseMidiMap(m, k, map);
        while (!stop) writeMidiMap(m, k, path);
    });
    auto openAndClose = [&] {
        for (int i = 0; i < kInstances; ++i) lost += !startsWithUsersMap();
    };
    std::thread first(openAndClose), second(openAndClose);
    first.join();
    second.join();
    stop = true;
    saver.join();
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(home.read("MidiCC.ini"), map);

#if !defined(_WIN32)
    // Two processes, as hosts that scan plug-ins in parallel run them.
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            bool kept = true;
            for (int i = 0; i < kInstances; ++i) kept = startsWithUsersMap() && kept;
            _exit(kept ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process started without the user's map";
    }
    EXPECT_EQ(home.read("MidiCC.ini"), map);
#endif
}

// The loudest sample while the start-up patterns (a gated C on every step) play with the knobs
// that drive the filter hardest: resonance, envmod, accent, cutoff, decay and drive at the top.
float loudest(const std::string& userIni) {
    Kelo kelo(userIni);
    for (int slot : {1, 2, 3, 4, 5, 6}) kelo->setParameter(slot, 1.0f);
    float peak = 0.0f;
    host::Block b = kelo->render(256, {{0, 0x90, 0, 100}});
    for (int block = 0; block < 44100 / 256; ++block, b = kelo->render(256))
        for (float x : b.left) peak = std::isfinite(x) ? std::max(peak, std::fabs(x)) : INFINITY;
    return peak;
}

TEST(SettingsFiles, EveryNumericSettingAtEitherEndKeepsTheOutputBounded) {
    // Twice the loudest peak of the default settings: a pre-gain at the top of its range adds a
    // little over 3 dB.
    const float reference = loudest("");
    ASSERT_TRUE(reference > 0.5f && reference < 10.0f) << reference;
    std::vector<std::string> ends;
    for (const char* key : {"VcoGain", "VcoTuning", "TM6", "TM3", "TM4", "RelativeTuning", "SmoothSpeed",
                            "TripletScale", "VcaDecay", "ActiveClocks"})
        for (const char* value : {"-1e30", "1e30"}) ends.push_back(std::string(key) + " = " + value + "\n");
    // Values that ran away before the ranges: +42 to +124 dBFS, or no number at all.
    for (const char* ini : {"TM4 = 4.1\n", "TM4 = 39.85\n", "VcoGain = 200\n", "VcaDecay = 0.000001\n"})
        ends.push_back(ini);
    for (const std::string& ini : ends) EXPECT_LT(loudest(ini), 2.0f * reference) << ini;
    // Every end at once with the hottest filter type adds at most 10 dB to that type's own peak.
    const float hotType = loudest("FilterMode = 2\nVCALeveling = 1\n");
    const float hottest = loudest("FilterMode = 2\nVCALeveling = 1\nVcoGain = 9\nTM4 = 9\nTM6 = 9\nTM3 = 9\n"
                                  "VcaDecay = 1e9\nVcoTuning = 9\nRelativeTuning = 9\n");
    EXPECT_LT(hottest, std::pow(10.0f, 10.0f / 20.0f) * hotType);
}

} // namespace
} // namespace kelo
