// The skins in the tree: the default skin and the broken skin the check must take apart.
#include <gtest/gtest.h>

#include <filesystem>

#include "editor/SkinLayout.h"
#include "files/EditorSettings.h"
#include "tools/kelo-skin/SkinCheck.h"

namespace kelo {
namespace {

namespace fs = std::filesystem;
const fs::path kRoot = KELO_SOURCE_DIR;

std::string errorsOf(const SkinCheckResult& r) {
    std::string s;
    for (const SkinDiagnostic& d : r.diagnostics) s += d.file + ":" + std::to_string(d.line) + ": " + d.message + "\n";
    return s;
}

TEST(DefaultSkin, LoadsCleanAndReachesEveryFunctionOfTheEditor) {
    const SkinCheckResult r = checkSkinFile((kRoot / "data" / (std::string(kDefaultSkinName) + ".skn")).string());
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.errors + r.warnings, 0) << errorsOf(r);
    const SkinDefinition& skin = r.skin;
    EXPECT_GE(skin.rect(skintag::BACKGROUND).width(), kSkinMinWidth);
    EXPECT_GE(skin.rect(skintag::BACKGROUND).height(), kSkinMinHeight);
    // Every control but a second splash and the keys it has as lit buttons instead (the plain
    // step, mode, function and triplet keys, and their lights).
    using namespace skintag;
    for (const SkinTagRow& row : kSkinTagTable) {
        const int32_t t = row.id;
        const bool litInstead = (t >= NOTEBUTTON1 && t <= B_SLIDE && t != B_PATTERNCLEAR) ||
                                (t >= RUNSTOPLED && t <= SLIDELED);
        if (skinControlKind(t) == SkinControlKind::None || litInstead ||
            t == FUNCTIONBUTTON1 || t == FUNCTIONBUTTON2 || t == TRIPLETBUTTON || t == SKINSPLASH)
            continue;
        EXPECT_TRUE(skin.bitmap(t) && skin.frameCount(t) >= 1) << row.name;
    }
    for (int32_t t : {TUNINGKNOB, CUTOFFKNOB, SHUFFLEKNOB}) EXPECT_EQ(skin.frameCount(t), 101) << skinTagName(t);
    EXPECT_EQ(std::tuple(skinDigitLayout(PATTERNDIGITS).count, skinDigitLayout(TEMPODIGITS).count,
                         skinDigitLayout(STEPSDIGITS).count, skinDigitLayout(STEPDISPLAY).count),
              std::tuple(3, 3, 2, 2));
    // The editor finds it through the data folder the way it loads any skin.
    SkinDefinition loaded;
    EXPECT_EQ(loadSkinWithFallback(loaded, FolderSkinStore((kRoot / "data").string()), nullptr, "",
                                   probeSkinImage),
              SkinOrigin::DefaultFile);
    EXPECT_EQ(loaded.elements.size(), skin.elements.size());
}

// A PNG as far as its header: enough for the size probe.
std::string pngHeader(uint32_t w, uint32_t h) {
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t v : {w, h})
        for (int shift = 24; shift >= 0; shift -= 8) png += char((v >> shift) & 0xFF);
    png += std::string("\x08\x06\0\0\0", 5) + "CRC!";
    return png;
}

TEST(SkinCheck, ProbesPicturesWithinThePixelBudget) {
    EXPECT_EQ(probeSkinImage("a", pngHeader(1, 1)).width, 1);
    const SkinImage largest = probeSkinImage("a", pngHeader(8192, 8192));
    EXPECT_EQ(std::pair(largest.width, largest.height), std::pair(8192, 8192));
    EXPECT_TRUE(largest.valid());
    EXPECT_FALSE(probeSkinImage("a", pngHeader(8193, 8192)).valid());
    EXPECT_FALSE(probeSkinImage("a", pngHeader(100000, 100000)).valid());
    EXPECT_FALSE(probeSkinImage("a", "not a picture").valid());
}

TEST(SkinCheck, LayoutRulesOnThePanel) {
    SkinDefinition def;
    parseSkinText(def, FolderSkinStore(""), "NOTELED1 \"\", 0, 0, 10, 10\nCUTOFFKNOB \"k\", 10, 10, -5, 5\n", "t.skn");
    SkinDiagnostics report;
    checkSkinLayout(def, "t.skn", report);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].line, 0);
    EXPECT_EQ(report[0].message, "no BACKGROUND element: the editor would have no panel");
    EXPECT_EQ(report[1].line, 1);
    EXPECT_EQ(report[1].message, "element NOTELED1: names no bitmap, so the editor makes no control of it");
    // A panel too narrow for the editor's own panels; elements right at its edges are inside it.
    SkinDefinition narrow;
    parseSkinText(narrow, FolderSkinStore(""),
                  "BACKGROUND \"b\", 0, 0, 700, 400\nNOTELED1 \"\", 0, 0, 10, 10\nNOTELED2 \"\", 690, 390, 10, 10\n",
                  "n.skn");
    report.clear();
    checkSkinLayout(narrow, "n.skn", report);
    ASSERT_EQ(report.size(), 3u);
    EXPECT_EQ(report[0].severity, SkinDiagnostic::Severity::Warning);
    EXPECT_NE(report[0].message.find("the panel is 700 x 400"), std::string::npos) << report[0].message;
    EXPECT_NE(report[1].message.find("names no bitmap"), std::string::npos) << report[1].message;
    EXPECT_NE(report[2].message.find("names no bitmap"), std::string::npos) << report[2].message;
}

TEST(SkinCheck, ReportsEveryMistakeOfTheBrokenSkinAtItsLine) {
    const SkinCheckResult r = checkSkinFile((kRoot / "tests" / "data" / "skins" / "Broken.skn").string());
    ASSERT_TRUE(r.opened);
    struct Expect {
        int line;
        bool error;
        const char* says;
    };
    const std::vector<Expect> expected = {
        {4, true, "NAME: expected a text in double quotes"},
        {5, true, "RESONANCEKNOB: expected , x, y, width, height"},
        {6, true, "unknown word 'FANCYKNOB'"},
        {7, true, "\"EveryTag/no-such-file.png\" is missing or not a readable image"},
        {8, true, "DECAYKNOB: its rectangle has no height"},
        {9, true, "ACCENTKNOB: rectangle (980, 10, 1020, 50) lies outside the panel (1000 x 620)"},
        {10, true, "B_UP: bitmap \"EveryTag/illubutton1.png\" is 30 x 80; a push button needs 2 images of 30 x 20"},
        {11, true, "TUNINGKNOB: bitmap \"EveryTag/tuningknob.png\" is 40 x 4040; a knob needs at least 2 images of 30 x 40"},
        {12, true, "INCLUDE \"Broken.skn\" is a cycle"},
        {13, true, "INCLUDE \"no-such-skin.skn\": cannot open"},
        {14, true, "digit element PATTERNDIGITS100 is missing"},
        {14, true, "digit element PATTERNDIGITS10 is missing"},
        {14, true, "digit element PATTERNDIGITS1 is missing"},
        {15, true, "VOLUMEKNOB: expected a bitmap file name in double quotes"},
        {16, false, "CUTOFFKNOB is defined again"},
        {17, true, "OFFSET: expected x, y"},
        {18, false, "DRIVEKNOB overlaps CUTOFFKNOB (line 3)"},
        {19, false, "LEDCOLOR index 300 is outside 0..255"},
        {20, true, "DISTORTKNOB: x 40000 does not fit in 16 bits"},
        {20, true, "DISTORTKNOB: rectangle (32767, 10, 32807, 50) lies outside the panel"},
        {21, true, "SKINSPLASH: bitmap \"EveryTag/midiccbox.png\" is 60 x 13; an animation needs at least 1 image of 60 x 20"},
    };
    ASSERT_EQ(r.diagnostics.size(), expected.size()) << errorsOf(r);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SkinDiagnostic& d = r.diagnostics[i];
        EXPECT_EQ(d.line, expected[i].line) << d.message;
        EXPECT_EQ(d.severity == SkinDiagnostic::Severity::Error, expected[i].error) << d.message;
        EXPECT_NE(d.message.find(expected[i].says), std::string::npos) << d.message;
    }
    EXPECT_EQ(r.errors, 18);
    // As the tool prints it: files named as the user gave them, then the summary.
    const std::string path = (kRoot / "tests" / "data" / "skins" / "Broken.skn").string();
    std::ostringstream out;
    EXPECT_EQ(printSkinCheck(path, r, out), 1);
    const std::string first = path + ":4: error: NAME: expected a text in double quotes on its line\n" + path + ":5:";
    EXPECT_EQ(out.str().substr(0, first.size()), first);
    EXPECT_NE(out.str().find(path + ":19: warning: LEDCOLOR"), std::string::npos);
    EXPECT_NE(out.str().find("\n" + path + ": 12 elements, 10 bitmaps, panel 1000 x 620; 18 errors, 3 warnings\n"),
              std::string::npos)
        << out.str();
    std::ostringstream missing;
    EXPECT_EQ(printSkinCheck("nowhere/x.skn", checkSkinFile("nowhere/x.skn"), missing), 2);
    EXPECT_EQ(missing.str(), "nowhere/x.skn: error: cannot open the skin file\n");
}

} // namespace
} // namespace kelo
