// Gui.ini: the editor's settings file.
#include <gtest/gtest.h>

#include <cmath>

#include "files/EditorSettingsFile.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

// The fields that differ from a new instance's, as " name=value".
std::string changes(const EditorSettings& s) {
    const EditorSettings d;
    std::ostringstream out;
    if (s.skin != d.skin) out << " skin=" << s.skin;
    const auto num = [&](const char* name, double v, double original) {
        if (v != original) out << ' ' << name << '=' << v;
    };
    num("dialog", s.skinShowDialog, d.skinShowDialog);
    num("clear", s.clearConfirm, d.clearConfirm);
    num("audition", s.auditionNotes, d.auditionNotes);
    num("knob", s.knobMode, d.knobMode);
    num("sens", s.knobSensitivity, d.knobSensitivity);
    num("fn1", s.functionButton1, d.functionButton1);
    num("fn2", s.functionButton2, d.functionButton2);
    num("keyboard", s.useKeyboard, d.useKeyboard);
    num("programming", s.programmingMode, d.programmingMode);
    return out.str();
}

EditorSettings parsed(const std::string& text) {
    EditorSettings s;
    parseEditorSettings(s, text);
    return s;
}

// The round trip through a written file is the editor's and the fuzz test's to check.
TEST(GuiIni, TheShippedFileHoldsTheDefaultsAndTheWriterHoldsTheRanges) {
    const std::string shipped = test::readText(std::string(KELO_SOURCE_DIR) + "/data/Gui.ini");
    EXPECT_EQ(shipped, formatEditorSettings(EditorSettings{}));
    EXPECT_EQ(shipped,
              "; KELO GUI configuration\n; Value of \"\" means default (built-in) skin\nSkin = \"RededazadEdadar2\"\n"
              "SkinShowDialog = 1\nClearConfirm = 0\nAuditionNotes = 1\nKnobMode = 2\nKnobSensitivity = 300\n;\n"
              "FunctionButton1 = -1\nFunctionButton2 = -1\n");
    EditorSettings s;
    s.knobSensitivity = std::nanf("");
    EXPECT_NE(formatEditorSettings(s).find("KnobSensitivity = 1\n"), std::string::npos);
    s.knobSensitivity = 1e30f;
    EXPECT_NE(formatEditorSettings(s).find("KnobSensitivity = 5000\n"), std::string::npos);
    test::TempDir dir("guiini");
    EXPECT_FALSE(readEditorSettings(s, dir.file("Missing.ini")));
    EXPECT_EQ(s.skin, kDefaultSkinName);
    EXPECT_FALSE(writeEditorSettings(s, dir.file("no-folder/Gui.ini")));
}

TEST(GuiIni, ValuesAreClampedMaskedAndSkinNamesReadAsWritten) {
    const std::pair<const char*, const char*> cases[] = {
        {"KnobSensitivity = 0", " sens=1"},
        {"KnobSensitivity = 9000", " sens=5000"},
        {"UseKeyboard = 3\nProgrammingMode = 2", " keyboard=1"},
        {"SkinShowDialog = 12abc", " dialog=12"},
        {"SkinShowDialog = abc", " dialog=0"},
        {"FunctionButton1 = -7\nFunctionButton2 = 3", " fn2=3"},
        // Any letter case, blanks or none around the sign, after a byte-order mark.
        {"\xEF\xBB\xBFknobmode=0\r\nCLEARCONFIRM  =\t1\r\nAuditionNotes = 0\r\n", " clear=1 audition=0 knob=0"},
        // An unknown key's value is read as the next key; a value that is not a number is too.
        {"; KnobMode = 1\nFoo = 5\nKnobMode = 0\nClearConfirm = x\nAuditionNotes = 0\nKnobSensitivity = 77",
         " audition=0 knob=0 sens=77"},
        {"Skin = \"\"", " skin="},
        {"Skin = \"My Skin\" KnobMode = 1", " skin=My Skin knob=1"},
        {"Skin = \"Unclosed name", " skin=Unclosed name"},
        {"Skin = Bare Name  \r\nKnobMode = 1", " skin=Bare Name knob=1"},
        // A missing value takes nothing, not the next line.
        {"Skin =\nKnobMode = 1", " knob=1"},
        {"Skin = My \"Skin\"", ""}, // could not be written back as it was read
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(changes(parsed(text)), expected) << text;
    // A name longer than the field keeps its first 255 characters; what follows still reads.
    const std::string longName(300, 'n');
    const EditorSettings s = parsed("Skin = \"" + longName + "\"\nKnobMode = 0");
    EXPECT_EQ(std::tuple(s.skin, s.knobMode), std::tuple(longName.substr(0, kSkinNameMax), 0));
    EXPECT_EQ(parsed(formatEditorSettings(s)).skin, s.skin);
}

} // namespace
} // namespace kelo
