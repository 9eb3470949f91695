// Gui.ini: the editor's settings file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "files/EditorSettingsFile.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

using test::TempDir;

EditorSettings parsed(const std::string& text, EditorSettings s = {}) {
    parseEditorSettings(s, text);
    return s;
}

auto fields(const EditorSettings& s) {
    return std::tuple(s.skin, s.skinShowDialog, s.clearConfirm, s.auditionNotes, s.knobMode, s.knobSensitivity,
                      s.functionButton1, s.functionButton2, s.useKeyboard, s.programmingMode);
}

TEST(GuiIni, WrittenFileReadsBackAndTheShippedFileHoldsTheDefaults) {
    TempDir dir("guiini");
    EditorSettings s;
    s.skin = "My Skin";
    s.skinShowDialog = 0;
    s.clearConfirm = 1;
    s.auditionNotes = 0;
    s.knobMode = 1;
    s.knobSensitivity = 1234.9f; // written as its whole part
    s.functionButton1 = 7;
    s.functionButton2 = -2;      // an assignment still waiting is never stored
    ASSERT_TRUE(writeEditorSettings(s, dir.file("Gui.ini")));

    // The two read-only keys keep what the reader had.
    EditorSettings back;
    back.useKeyboard = 1;
    back.programmingMode = 1;
    ASSERT_TRUE(readEditorSettings(back, dir.file("Gui.ini")));
    EditorSettings expected = s;
    expected.knobSensitivity = 1234.0f;
    expected.functionButton2 = -1;
    expected.useKeyboard = 1;
    expected.programmingMode = 1;
    EXPECT_EQ(fields(back), fields(expected));

    const std::string shipped = test::readText(std::string(KELO_SOURCE_DIR) + "/data/Gui.ini");
    EXPECT_EQ(shipped, formatEditorSettings(EditorSettings{}));
    EXPECT_EQ(shipped,
              "; KELO GUI configuration\n; Value of \"\" means default (built-in) skin\nSkin = \"RededazadEdadar2\"\n"
              "SkinShowDialog = 1\nClearConfirm = 0\nAuditionNotes = 1\nKnobMode = 2\nKnobSensitivity = 300\n;\n"
              "FunctionButton1 = -1\nFunctionButton2 = -1\n");

    EditorSettings odd;
    odd.knobSensitivity = std::nanf("");
    EXPECT_NE(formatEditorSettings(odd).find("KnobSensitivity = 1\n"), std::string::npos);
    odd.knobSensitivity = 1e30f;
    EXPECT_NE(formatEditorSettings(odd).find("KnobSensitivity = 5000\n"), std::string::npos);
}

TEST(GuiIni, MissingFileAnswersFalseAndChangesNothing) {
    TempDir dir("guiini");
    EditorSettings s;
    s.knobMode = 0;
    EXPECT_FALSE(readEditorSettings(s, dir.file("Gui.ini")));
    EXPECT_EQ(s.knobMode, 0);
    EXPECT_FALSE(writeEditorSettings(s, dir.file("no-folder/Gui.ini")));
}

TEST(GuiIni, NumbersAreClampedMaskedAndConvertedAsRead) {
    EXPECT_EQ(parsed("KnobSensitivity = 0").knobSensitivity, 1.0f);
    EXPECT_EQ(parsed("KnobSensitivity = 9000").knobSensitivity, 5000.0f);
    EXPECT_EQ(parsed("KnobSensitivity = 5000").knobSensitivity, 5000.0f);
    EXPECT_EQ(parsed("UseKeyboard = 3\nProgrammingMode = 2").useKeyboard, 1);
    EXPECT_EQ(parsed("ProgrammingMode = 3\nUseKeyboard = 2").programmingMode, 1);
    EXPECT_EQ(parsed("SkinShowDialog = 12abc").skinShowDialog, 12);
    EXPECT_EQ(parsed("SkinShowDialog = abc").skinShowDialog, 0);
    const EditorSettings fn = parsed("FunctionButton1 = -7\nFunctionButton2 = 3");
    EXPECT_EQ(std::pair(fn.functionButton1, fn.functionButton2), std::pair(-1, 3));
    // Keys in any letter case, with or without blanks around the sign, after a byte-order mark.
    const EditorSettings s = parsed("\xEF\xBB\xBFknobmode=0\r\nCLEARCONFIRM  =\t1\r\nAuditionNotes = 0\r\n");
    EXPECT_EQ(std::tuple(s.knobMode, s.clearConfirm, s.auditionNotes), std::tuple(0, 1, 0));
}

TEST(GuiIni, CommentsUnknownKeysAndValuesThatAreNotNumbers) {
    // An unknown key's value is read as the next key; a value that is not a number is too.
    const EditorSettings s =
        parsed("; KnobMode = 1\nFoo = 5\nKnobMode = 0\nClearConfirm = x\nAuditionNotes = 0\nKnobSensitivity = 77");
    EXPECT_EQ(std::tuple(s.knobMode, s.clearConfirm, s.auditionNotes, s.knobSensitivity),
              std::tuple(0, 0, 0, 77.0f));
}

TEST(GuiIni, SkinNames) {
    EXPECT_EQ(parsed("Skin = \"\"").skin, "");
    EXPECT_EQ(parsed("Skin = \"My Skin\" KnobMode = 1").skin, "My Skin");
    EXPECT_EQ(parsed("Skin = \"Unclosed name").skin, "Unclosed name");
    EXPECT_EQ(parsed("Skin = Bare Name  \r\nKnobMode = 1").skin, "Bare Name");
    // A missing value takes nothing, not the next line, with or without the sign.
    for (const char* text : {"Skin =\nKnobMode = 1", "Skin\nKnobMode = 1"}) {
        const EditorSettings missing = parsed(text);
        EXPECT_EQ(std::tuple(missing.skin, missing.knobMode), std::tuple(std::string(kDefaultSkinName), 1));
    }
    // A bare name with a quote in it could not be written back as it was read.
    EXPECT_EQ(parsed("Skin = My \"Skin\"").skin, kDefaultSkinName);

    // A name longer than the field keeps its first 255 characters; what follows still reads.
    const std::string longName(300, 'n');
    const EditorSettings s = parsed("Skin = \"" + longName + "\"\nKnobMode = 0");
    EXPECT_EQ(s.skin, longName.substr(0, kSkinNameMax));
    EXPECT_EQ(s.knobMode, 0);
    EXPECT_EQ(parsed(formatEditorSettings(s)).skin, s.skin);
}

} // namespace
} // namespace kelo
