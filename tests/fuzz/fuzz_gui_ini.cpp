// "Gui.ini" text: every value the editor relies on lands in its range, and what the writer
// stores reads back to the same settings and the same text.
#include <string>

#include "files/EditorSettingsFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;

namespace {

void checkInRange(const EditorSettings& s) {
    FUZZ_CHECK(s.skin.size() <= kSkinNameMax);
    FUZZ_CHECK(s.knobSensitivity >= 1.0f && s.knobSensitivity <= 5000.0f);
    FUZZ_CHECK(s.functionButton1 >= -1 && s.functionButton2 >= -1);
    FUZZ_CHECK(s.useKeyboard == 0 || s.useKeyboard == 1);
    FUZZ_CHECK(s.programmingMode == 0 || s.programmingMode == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    EditorSettings s;
    parseEditorSettings(s, text);
    checkInRange(s);

    const std::string written = formatEditorSettings(s);
    EditorSettings back;
    back.skin = "not read";
    back.knobSensitivity = 2.0f;
    back.skinShowDialog = back.clearConfirm = back.auditionNotes = back.knobMode = 77;
    back.functionButton1 = back.functionButton2 = 77;
    parseEditorSettings(back, written);
    FUZZ_CHECK(back.skin == s.skin);
    FUZZ_CHECK(back.skinShowDialog == s.skinShowDialog && back.clearConfirm == s.clearConfirm);
    FUZZ_CHECK(back.auditionNotes == s.auditionNotes && back.knobMode == s.knobMode);
    FUZZ_CHECK(back.knobSensitivity == s.knobSensitivity);
    FUZZ_CHECK(back.functionButton1 == s.functionButton1 && back.functionButton2 == s.functionButton2);
    FUZZ_CHECK(formatEditorSettings(back) == written);
    return 0;
}
