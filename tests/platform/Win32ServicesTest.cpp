// The Windows services under wine: the common dialogs as they are set up, and really shown,
// answered from a timer that fires inside their message loop.
#if defined(_WIN32)
#include "platform/Services.h"
#include "platform/Win32Dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/Support.h"

using namespace kelo::platform;
using namespace kelo::platform::test;
using Args = std::vector<std::string>;

namespace {

// A top-level window with a child, like a host's window holding the editor.
struct HostWindow {
    ~HostWindow() { DestroyWindow(top); }
    HWND top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, 0, 0, 0, 0);
    HWND editor = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 100, top, nullptr, nullptr, nullptr);
};

// The dialog on screen, if any (no other program runs under the test's wine prefix).
HWND findDialog() {
    HWND dialog = FindWindowA("#32770", nullptr);
    return dialog && IsWindowVisible(dialog) ? dialog : nullptr;
}

// Runs `act` on the dialog once it shows, from a timer inside the dialog's own loop, and notes
// the dialog's owner and whether it runs in this module's activation context.
std::function<void(HWND)> act;
HWND seenOwner = nullptr;
bool contextWasOurs = false;

void answerWhenShown(std::function<void(HWND)> f) {
    act = std::move(f);
    seenOwner = nullptr;
    contextWasOurs = false;
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND dialog = findDialog();
        if (!dialog || !act) return;
        KillTimer(nullptr, id);
        seenOwner = GetWindow(dialog, GW_OWNER);
        HANDLE current = nullptr;
        contextWasOurs = GetCurrentActCtx(&current) && current == win32::moduleActivationContext();
        if (current) ReleaseActCtx(current);
        std::exchange(act, nullptr)(dialog);
    });
}

void typeAndConfirm(HWND dialog, const std::string& name) {
    // The name box is a combo box on explorer dialogs, an edit control on older ones.
    if (!SetDlgItemTextA(dialog, 0x47c /* cmb13 */, name.c_str()))
        SetDlgItemTextA(dialog, 0x480 /* edt1 */, name.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

} // namespace

// What the dialogs shown below cannot show: the host's current folder is kept, a save asks before
// it overwrites, and several files fit.
TEST(Win32FileDialog, SetUpForOpenAndSave) {
    FileDialogRequest r{.multiple = true};
    win32::OpenFileNameStrings s;
    OPENFILENAMEA ofn;
    win32::buildOpenFileName(r, nullptr, s, ofn);
    EXPECT_EQ(std::tuple(ofn.Flags & (OFN_NOCHANGEDIR | OFN_ALLOWMULTISELECT), ofn.nMaxFile),
              std::tuple(DWORD(OFN_NOCHANGEDIR | OFN_ALLOWMULTISELECT), 10240ul));
    r.kind = FileDialogKind::kSave;
    r.defaultName.assign(1024, 'x'); // no room for its NUL
    win32::buildOpenFileName(r, nullptr, s, ofn);
    const DWORD checked = OFN_NOCHANGEDIR | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT;
    EXPECT_EQ(std::tuple(ofn.Flags & checked, ofn.lpstrFile[0]),
              std::tuple(DWORD(OFN_NOCHANGEDIR | OFN_OVERWRITEPROMPT), '\0'));
}

TEST(Win32Dialogs, ShownFromPollOwnedByTheTopWindowAndCancelledWithIt) {
    ScratchDir dir;
    const std::string folder = dir.path().string(), file = dir / "a.pat";
    std::ofstream(file) << "";
    HostWindow host;
    ASSERT_NE(win32::moduleActivationContext(), nullptr) << "the test program carries the manifest";

    FileDialogRequest r{.title = "Load Pattern", .initialFolder = folder, .filters = {{"Pattern (*.pat)", {"pat"}}},
                        .owner = host.editor};
    std::optional<Args> answer;
    services().chooseFile(r, [&](const Args& files) { answer = files; });
    EXPECT_FALSE(answer);
    answerWhenShown([](HWND dialog) { typeAndConfirm(dialog, "a.pat"); });
    services().poll();
    EXPECT_EQ(std::tuple(answer, seenOwner, contextWasOurs), std::tuple(Args{file}, host.top, true));

    // Save: the default extension is added to a name typed without one.
    r.kind = FileDialogKind::kSave;
    r.defaultExtension = ".pat";
    services().chooseFile(r, [&](const Args& files) { answer = files; });
    answerWhenShown([](HWND dialog) { typeAndConfirm(dialog, "b"); });
    services().poll();
    EXPECT_EQ(answer, (Args{folder + "\\b.pat"}));

    std::vector<MessageAnswer> heard;
    const auto hear = [&](MessageAnswer a) { heard.push_back(a); };
    services().showMessage({MessageKind::kYesNo, "Orvanta KELO", "Clear the pattern?", host.editor}, hear);
    answerWhenShown([](HWND box) { PostMessageA(box, WM_COMMAND, IDYES, 0); });
    services().poll();
    EXPECT_EQ(seenOwner, host.top);
    services().showMessage({MessageKind::kOk, "Orvanta KELO", "Saved.", nullptr}, hear);
    answerWhenShown([](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); });
    services().poll();
    EXPECT_EQ(heard, (std::vector<MessageAnswer>{MessageAnswer::kYes, MessageAnswer::kOk}));

    // The editor closes while a dialog shows: it ends, and no answer of the editor's arrives,
    // neither the shown one's nor that of the one waiting its turn.
    for (bool fileFirst : {true, false}) {
        if (fileFirst) services().chooseFile(r, [&](const Args&) { heard.clear(); });
        services().showMessage({MessageKind::kYesNo, "Orvanta KELO", "Again?", host.editor}, hear);
        answerWhenShown([&](HWND) { services().cancelDialogs(host.editor); });
        services().poll();
    }
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(findDialog(), nullptr);
}

TEST(Win32Services, OpensOnlyWebPagesAndExistingFiles) {
    EXPECT_FALSE(services().openUrl("C:\\windows\\notepad.exe"));
    EXPECT_FALSE(services().openInTextEditor("C:\\kelo-no-such-folder\\Config.ini"));
    EXPECT_FALSE(services().openInTextEditor("C:\\windows")) << "a folder";
}
#endif
