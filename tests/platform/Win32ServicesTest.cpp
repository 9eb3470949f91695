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

using namespace kelo::platform;
using Args = std::vector<std::string>;

namespace {

// A top-level window with a child, like a host's window holding the editor.
struct HostWindow {
    HostWindow() : top(CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, 0, 0, 0, 0)) {}
    ~HostWindow() { DestroyWindow(top); }
    HWND top;
    HWND editor = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 100, top, nullptr, nullptr, nullptr);
};

HWND findDialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM out) -> BOOL {
            char cls[16] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (std::string(cls) != "#32770" || !IsWindowVisible(w)) return TRUE;
            *reinterpret_cast<HWND*>(out) = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
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

TEST(Win32FileDialog, SetUpForOpenAndSave) {
    using namespace std::string_literals;
    FileDialogRequest r;
    r.title = "Load Pattern";
    r.initialFolder = "C:\\Patterns";
    r.defaultExtension = ".pat";
    r.multiple = true;
    r.filters = {{"Pattern (*.pat)", {"pat"}}, {"Ph Patterns (*.ph)", {"ph", "rbs"}}};
    r.defaultFilter = 1;
    win32::OpenFileNameStrings s;
    OPENFILENAMEA ofn;
    HWND owner = reinterpret_cast<HWND>(0x1234);
    win32::buildOpenFileName(r, owner, s, ofn);
    const DWORD always = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    EXPECT_EQ(std::tuple(ofn.lStructSize, ofn.hwndOwner, ofn.nFilterIndex, ofn.nMaxFile, ofn.lpstrFile, ofn.Flags),
              std::tuple(DWORD(sizeof ofn), owner, 2ul, 10240ul, s.file.data(),
                         always | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT));
    EXPECT_EQ(std::string(ofn.lpstrFilter, s.filter.size()),
              "Pattern (*.pat)\0*.pat\0Ph Patterns (*.ph)\0*.ph;*.rbs\0\0"s);
    EXPECT_EQ(std::tuple(ofn.lpstrTitle, ofn.lpstrInitialDir, ofn.lpstrDefExt, s.file.size(), ofn.lpstrFile),
              std::tuple("Load Pattern"s, "C:\\Patterns"s, "pat"s, 10240u, ""s));

    r.kind = FileDialogKind::kSave;
    r.initialFolder.clear();
    r.title.clear();
    r.filters.clear();
    r.defaultName = "C:\\Patterns\\last.pat";
    win32::buildOpenFileName(r, nullptr, s, ofn);
    EXPECT_EQ(std::tuple(ofn.Flags, ofn.nMaxFile, ofn.nFilterIndex, ofn.lpstrFile),
              std::tuple(always | OFN_OVERWRITEPROMPT, 1024ul, 0ul, "C:\\Patterns\\last.pat"s));
    EXPECT_TRUE(!ofn.lpstrFilter && !ofn.lpstrTitle && !ofn.lpstrInitialDir);
    r.defaultName.assign(1024, 'x'); // no room for its NUL
    win32::buildOpenFileName(r, nullptr, s, ofn);
    EXPECT_EQ(ofn.lpstrFile[0], '\0');
}

TEST(Win32Dialogs, ShownFromPollOwnedByTheTopWindowAndCancelledWithIt) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "kelo-services-" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\a.pat";
    CreateDirectoryA(folder.c_str(), nullptr);
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    HostWindow host;
    ASSERT_NE(win32::moduleActivationContext(), nullptr) << "the test program carries the manifest";

    FileDialogRequest r;
    r.title = "Load Pattern";
    r.initialFolder = folder;
    r.filters = {{"Pattern (*.pat)", {"pat"}}};
    r.owner = host.editor;
    std::optional<Args> answer;
    services().chooseFile(r, [&](const Args& files) { answer = files; });
    EXPECT_FALSE(answer);
    answerWhenShown([](HWND dialog) { typeAndConfirm(dialog, "a.pat"); });
    services().poll();
    EXPECT_EQ(std::tuple(answer, seenOwner, contextWasOurs), std::tuple(Args{file}, host.top, true));

    // Save: the default extension is added to a name typed without one.
    r.kind = FileDialogKind::kSave;
    r.defaultExtension = "pat";
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

    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(Win32Services, OpensOnlyWebPagesAndExistingFiles) {
    EXPECT_FALSE(services().openUrl("C:\\windows\\notepad.exe"));
    EXPECT_FALSE(services().openInTextEditor("C:\\kelo-no-such-folder\\Config.ini"));
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_FALSE(services().openInTextEditor(windows)) << "a folder";
}
#endif
