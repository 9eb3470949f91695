// Skin files: words, includes, bitmaps, and loading with its fallbacks.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "editor/SkinDefinition.h"
#include "editor/SkinLoader.h"
#include "files/EditorSettings.h"

namespace kelo {
namespace {

using test::FakeDecoder;
using test::parseText;
using test::SkinFiles;

std::vector<int32_t> tagsOf(const SkinDefinition& def) {
    std::vector<int32_t> tags;
    for (const SkinElement& e : def.elements) tags.push_back(e.tag);
    return tags;
}

// Cut words, held numbers and the element limit are the skin fuzz test's to check.
TEST(SkinParse, AnUnknownWordInAVersionTwoSkinMayBeAnElementName) {
    SkinDiagnostics report;
    parseText("VERSION 2\nFOO\n", &report);
    EXPECT_NE(report.at(0).message.find(", nor an element name followed by a tag"), std::string::npos);
}

TEST(SkinParse, IncludesStartAfreshNestAndStopAtCycles) {
    SkinFiles files;
    files.set("base.skn", "NAME \"Base\"\nOFFSET 100, 0\nCROSSFADE 1\nLEDCOLOR 3, 1, 1, 1\nVERSION 2\n"
                          "BACKGROUND \"bg.png\", 0, 0, 800, 400\nCUTOFFKNOB \"k.png\", 1, 1, 40, 40\n");
    // An include-only skin is the included one.
    const SkinDefinition only = parseText("INCLUDE \"base.skn\"\n", nullptr, &files);
    EXPECT_EQ(tagsOf(only), (std::vector<int32_t>{0, 202}));
    SkinDiagnostics twice;
    EXPECT_EQ(tagsOf(parseText("INCLUDE \"base.skn\"\nINCLUDE \"base.skn\"\n", &twice, &files)), tagsOf(only));
    EXPECT_TRUE(twice.empty()); // the same file again is not a cycle
    EXPECT_EQ(only.rect(skintag::CUTOFFKNOB), (SkinRect{101, 1, 141, 41}));
    EXPECT_EQ(std::tuple(only.settings.name, only.settings.crossFade), std::tuple(std::string("Base"), 1));
    // Elements and name, offset and cross-fade before it are dropped; colours and version are not;
    // what follows it builds on the settings it left.
    const SkinDefinition built = parseText("NAME \"Mine\"\nOFFSET 7, 7\nCROSSFADE 5\nLEDCOLOR 4, 1, 0, 0\n"
                                           "DECAYKNOB \"d.png\", 0, 0, 9, 9\nINCLUDE \"base.skn\"\n"
                                           "RESONANCEKNOB \"r.png\", 1, 1, 40, 40\n",
                                           nullptr, &files);
    EXPECT_EQ(tagsOf(built), (std::vector<int32_t>{0, 202, 203}));
    EXPECT_EQ(built.rect(skintag::RESONANCEKNOB), (SkinRect{101, 1, 141, 41}));
    EXPECT_EQ(built.settings.ledColors[4], (std::array<float, 3>{1, 0, 0}));
    EXPECT_EQ(built.settings.version, 2);
    // Cycles are refused where they close; a chain stops after eight nested files.
    files.set("a.skn", "CUTOFFKNOB \"a.png\", 0, 0, 1, 1\nINCLUDE \"b.skn\"\nDECAYKNOB \"a.png\", 0, 0, 1, 1\n");
    files.set("b.skn", "RESONANCEKNOB \"b.png\", 0, 0, 1, 1\nINCLUDE \"a.skn\"\n");
    SkinDiagnostics report;
    const SkinDefinition cycle = parseText("INCLUDE \"a.skn\"\n", &report, &files);
    EXPECT_EQ(tagsOf(cycle), (std::vector<int32_t>{203, 205}));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(std::tuple(report[0].file, report[0].line), std::tuple(std::string("b.skn"), 2));
    for (int i = 0; i < 12; ++i)
        files.set("chain" + std::to_string(i) + ".skn", "INCLUDE \"chain" + std::to_string(i + 1) +
                                                            ".skn\"\nNOTEBUTTON" + std::to_string(i + 1) +
                                                            " \"k.png\", 0, 0, 1, 1\n");
    report.clear();
    const SkinDefinition chain =
        parseText("NAME \"Top\"\nOFFSET 50, 50\nCROSSFADE 3\nINCLUDE \"chain0.skn\"\n", &report, &files);
    EXPECT_EQ(tagsOf(chain), (std::vector<int32_t>{307, 306, 305, 304, 303, 302, 301, 300}));
    EXPECT_EQ(std::tuple(chain.settings.name, chain.rect(skintag::NOTEBUTTON1).left, chain.settings.crossFade),
              std::tuple(std::string("Default"), 0, 0));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].file, "chain7.skn");
    // Includes that fan out (ten per file, eight deep) end after a bounded number of files.
    for (int i = 0; i < 8; ++i) {
        std::string text;
        for (int k = 0; k < 10 && i < 7; ++k) text += "INCLUDE \"fan" + std::to_string(i + 1) + ".skn\"\n";
        files.set("fan" + std::to_string(i) + ".skn", text + "NOTELED1 \"k.png\", 0, 0, 1, 1\n");
    }
    report.clear();
    parseText("INCLUDE \"fan0.skn\"\n", &report, &files);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_NE(report[0].message.find("at most 16 files"), std::string::npos);
}

TEST(SkinBitmaps, OneLoadPerFileAndFramesOnlyForElementsWithASize) {
    SkinFiles files;
    files.set("k.png", "40x4040").set("led.png", "12x24").set("bad.png", "not a picture");
    SkinDefinition def = parseText("CUTOFFKNOB \"k.png\", 0, 0, 40, 40\nRESONANCEKNOB \"k.png\", 0, 0, 40, -40\n"
                                   "DECAYKNOB \"k.png\", 0, 0, 40, 0\nACCENTKNOB \"k.png\", 0, 0, 0, 40\n"
                                   "DRIVEKNOB \"k.png\", 0, 0, 40, 5000\nNOTELED1 \"bad.png\", 0, 0, 12, 12\n"
                                   "NOTELED2 \"bad.png\", 0, 0, 12, 12\nNOTELED3 \"\", 0, 0, 12, 12\n"
                                   "NOTELED4 \"missing.png\", 0, 0, 12, 12\nNOTELED5 \"led.png\", 0, 0, 12, 12\n");
    FakeDecoder decoder;
    SkinDiagnostics report;
    loadSkinBitmaps(def, files, decoder.decoder(), &report);
    EXPECT_EQ(def.bitmaps.size(), 2u);
    EXPECT_EQ(decoder.calls, (std::map<std::string, int>{{"k.png", 1}, {"bad.png", 1}, {"led.png", 1}}));
    EXPECT_EQ(def.bitmap(skintag::CUTOFFKNOB), def.bitmap(skintag::RESONANCEKNOB));
    EXPECT_EQ(std::tuple(def.frameCount(skintag::CUTOFFKNOB), def.frameCount(skintag::RESONANCEKNOB),
                         def.frameCount(skintag::DECAYKNOB), def.frameCount(skintag::ACCENTKNOB),
                         def.frameCount(skintag::DRIVEKNOB), def.frameCount(skintag::NOTELED5)),
              std::tuple(101, 101, 0, 0, 0, 2));
    for (int32_t led : {skintag::NOTELED1, skintag::NOTELED2, skintag::NOTELED3, skintag::NOTELED4, skintag::TUNINGKNOB}) {
        EXPECT_EQ(def.bitmap(led), nullptr) << led;
        EXPECT_EQ(def.frameCount(led), 0) << led;
    }
    EXPECT_EQ(report.size(), 3u); // bad.png twice, missing.png; no file named is not a load error
}

// A data folder in memory: a good skin, one whose background cannot load, and one without any.
struct Skins {
    SkinFiles data;
    FakeDecoder decoder;
    Skins() {
        data.set("bg.png", "800x400").set("k.png", "40x4040");
        data.set("Good.skn", "NAME \"Good\"\nLEDCOLOR 9, 1, 1, 1\nVERSION 2\nBACKGROUND \"bg.png\", 0, 0, 800, 400\n"
                             "CUTOFFKNOB \"k.png\", 1, 1, 40, 40\n");
        data.set("NoPicture.skn", "BACKGROUND \"gone.png\", 0, 0, 800, 400\nCUTOFFKNOB \"k.png\", 1, 1, 40, 40\n");
        data.set("NoBackground.skn", "CUTOFFKNOB \"k.png\", 1, 1, 40, 40\n");
        data.set("Other.skn", "x BACKGROUND \"bg.png\", 0, 0, 700, 380\n");
        data.set(".skn", "BACKGROUND \"bg.png\", 0, 0, 1, 1\n");
    }
    bool load(SkinDefinition& def, const std::string& name) { return loadSkin(def, data, name, decoder.decoder()); }
};

// A failed load leaves the definition as it was; the editor then falls back to the default
// file, then to the copy built into the plug-in.
TEST(SkinLoad, AFailedLoadChangesNothingAndFallsBackToTheDefaultFileThenTheBuiltInCopy) {
    Skins skins;
    SkinDefinition def;
    ASSERT_TRUE(skins.load(def, "Good"));
    const SkinImage* image = def.bitmap(skintag::CUTOFFKNOB);
    const std::shared_ptr<void> handle = image->handle;
    for (const char* name : {"Missing", "NoPicture", "NoBackground", ""}) {
        EXPECT_FALSE(skins.load(def, name)) << name;
        EXPECT_EQ(tagsOf(def), (std::vector<int32_t>{0, 202})) << name;
        EXPECT_EQ(def.bitmap(skintag::CUTOFFKNOB), image) << name;
        EXPECT_EQ(def.settings.version, 2) << name;
    }
    // A load that works replaces the elements and bitmaps; a skin without VERSION reads as
    // version 1 whatever came before, and unset colours carry over.
    ASSERT_TRUE(skins.load(def, "Other"));
    EXPECT_EQ(tagsOf(def), std::vector<int32_t>{0});
    EXPECT_EQ(def.settings.ledColors[9], (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(def.settings.name, "Default");
    EXPECT_EQ(handle.use_count(), 1); // the old bitmaps went with the old definition

    // The built-in copy: files in memory, named with either separator.
    MemorySkinStore builtIn;
    builtIn.add(std::string(kDefaultSkinName) + ".skn", "BACKGROUND \"inside\\bg.png\", 0, 0, 708, 362\n");
    builtIn.add("inside/bg.png", "708x362");
    std::string bytes;
    EXPECT_FALSE(builtIn.read("inside/other.png", bytes));
    auto load = [&](const std::string& name, const SkinStore* fallback) {
        return loadSkinWithFallback(def, skins.data, fallback, name, skins.decoder.decoder());
    };
    EXPECT_EQ(load("Good", &builtIn), SkinOrigin::Named);
    EXPECT_EQ(load("Missing", &builtIn), SkinOrigin::BuiltIn);
    EXPECT_EQ(def.rect(skintag::BACKGROUND), (SkinRect{0, 0, 708, 362}));
    EXPECT_EQ(load("Missing", nullptr), SkinOrigin::None);
    EXPECT_EQ(def.rect(skintag::BACKGROUND), (SkinRect{0, 0, 708, 362}));
    skins.data.set(std::string(kDefaultSkinName) + ".skn", "BACKGROUND \"bg.png\", 0, 0, 800, 400\n");
    EXPECT_EQ(load("Missing", &builtIn), SkinOrigin::DefaultFile);
    EXPECT_EQ(load("", &builtIn), SkinOrigin::DefaultFile); // "" names no file, not ".skn"
    EXPECT_EQ(load(std::string(300, 'x'), &builtIn), SkinOrigin::DefaultFile);
    skins.data.set(std::string(kSkinNameMax, 'n') + ".skn", "BACKGROUND \"bg.png\", 0, 0, 800, 400\n");
    EXPECT_EQ(load(std::string(kSkinNameMax, 'n'), &builtIn), SkinOrigin::Named); // the longest name
    EXPECT_EQ(def.rect(skintag::BACKGROUND), (SkinRect{0, 0, 800, 400}));
}

} // namespace
} // namespace kelo
