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
    HostWindow() {
        top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
        editor = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 100, top, nullptr, nullptr, nullptr);
    }
    ~HostWindow() { DestroyWindow(top); }
    HWND top;
    HWND editor;
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

// Runs `act` on the dialog once it shows, from a timer inside the dialog's own loop.
std::function<void(HWND)> act;
HWND seenOwner = nullptr;
bool contextWasOurs = false;

void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = findDialog();
    if (!dialog || !act) return;
    KillTimer(nullptr, id);
    seenOwner = GetWindow(dialog, GW_OWNER);
    HANDLE current = nullptr;
    contextWasOurs = GetCurrentActCtx(&current) && current == win32::moduleActivationContext();
    if (current) ReleaseActCtx(current);
    auto f = std::move(act);
    act = nullptr;
    f(dialog);
}

void answerWhenShown(std::function<void(HWND)> f) {
    act = std::move(f);
    seenOwner = nullptr;
    contextWasOurs = false;
    SetTimer(nullptr, 0, 20, &tick);
}

void typeAndConfirm(HWND dialog, const std::string& name) {
    // The name box is a combo box on explorer dialogs, an edit control on older ones.
    if (!SetDlgItemTextA(dialog, 0x47c /* cmb13 */, name.c_str())) SetDlgItemTextA(dialog, 0x480 /* edt1 */, name.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

std::string scratchFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "kelo-services-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
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
    EXPECT_EQ(ofn.lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(ofn.hwndOwner, owner);
    EXPECT_EQ(std::string(ofn.lpstrFilter, s.filter.size()), "Pattern (*.pat)\0*.pat\0Ph Patterns (*.ph)\0*.ph;*.rbs\0\0"s);
    EXPECT_EQ(ofn.nFilterIndex, 2u);
    EXPECT_STREQ(ofn.lpstrTitle, "Load Pattern");
    EXPECT_STREQ(ofn.lpstrInitialDir, "C:\\Patterns");
    EXPECT_STREQ(ofn.lpstrDefExt, "pat");
    EXPECT_EQ(ofn.nMaxFile, 10240u);
    EXPECT_EQ(ofn.lpstrFile, s.file.data());
    EXPECT_EQ(s.file.size(), 10240u);
    EXPECT_EQ(ofn.lpstrFile[0], '\0');
    EXPECT_EQ(ofn.Flags, DWORD(OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                               OFN_ALLOWMULTISELECT));

    r.kind = FileDialogKind::kSave;
    r.initialFolder.clear();
    r.title.clear();
    r.filters.clear();
    r.defaultName = "C:\\Patterns\\last.pat";
    win32::buildOpenFileName(r, nullptr, s, ofn);
    EXPECT_EQ(ofn.Flags, DWORD(OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT));
    EXPECT_EQ(ofn.nMaxFile, 1024u);
    EXPECT_STREQ(ofn.lpstrFile, "C:\\Patterns\\last.pat");
    EXPECT_EQ(ofn.lpstrFilter, nullptr);
    EXPECT_EQ(ofn.nFilterIndex, 0u);
    EXPECT_EQ(ofn.lpstrTitle, nullptr);
    EXPECT_EQ(ofn.lpstrInitialDir, nullptr);

    r.defaultName.assign(1024, 'x'); // no room for its NUL
    win32::buildOpenFileName(r, nullptr, s, ofn);
    EXPECT_EQ(ofn.lpstrFile[0], '\0');
}

TEST(Win32FileDialog, ShownFromPollOwnedByTheTopWindowAndCancelledWithIt) {
    const std::string folder = scratchFolder();
    const std::string file = folder + "\\a.pat";
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
    EXPECT_EQ(answer, (Args{file}));
    EXPECT_EQ(seenOwner, host.top);
    EXPECT_TRUE(contextWasOurs);

    // Save: the default extension is added to a name typed without one.
    r.kind = FileDialogKind::kSave;
    r.defaultExtension = "pat";
    answer.reset();
    services().chooseFile(r, [&](const Args& files) { answer = files; });
    answerWhenShown([](HWND dialog) { typeAndConfirm(dialog, "b"); });
    services().poll();
    EXPECT_EQ(answer, (Args{folder + "\\b.pat"}));

    // The editor closes while its dialog shows: the dialog ends, its answer is dropped.
    bool heard = false;
    services().chooseFile(r, [&](const Args&) { heard = true; });
    services().chooseFile(r, [&](const Args&) { heard = true; }); // still waiting its turn
    answerWhenShown([&](HWND) { services().cancelDialogs(host.editor); });
    services().poll();
    EXPECT_FALSE(heard);
    EXPECT_EQ(findDialog(), nullptr);

    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(Win32MessageBox, AnsweredAndCancelled) {
    HostWindow host;
    std::vector<MessageAnswer> heard;
    services().showMessage({MessageKind::kYesNo, "Orvanta KELO", "Clear the pattern?", host.editor},
                           [&](MessageAnswer a) { heard.push_back(a); });
    answerWhenShown([](HWND box) { PostMessageA(box, WM_COMMAND, IDYES, 0); });
    services().poll();
    EXPECT_EQ(seenOwner, host.top);
    services().showMessage({MessageKind::kOk, "Orvanta KELO", "Saved.", nullptr}, [&](MessageAnswer a) { heard.push_back(a); });
    answerWhenShown([](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); });
    services().poll();
    services().showMessage({MessageKind::kYesNo, "Orvanta KELO", "Again?", host.editor},
                           [&](MessageAnswer a) { heard.push_back(a); });
    answerWhenShown([&](HWND) { services().cancelDialogs(host.editor); });
    services().poll();
    EXPECT_EQ(heard, (std::vector<MessageAnswer>{MessageAnswer::kYes, MessageAnswer::kOk}));
}

TEST(Win32Services, OpensOnlyWebPagesAndExistingFiles) {
    EXPECT_FALSE(services().openUrl("C:\\windows\\notepad.exe"));
    EXPECT_FALSE(services().openInTextEditor("C:\\kelo-no-such-folder\\Config.ini"));
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_FALSE(services().openInTextEditor(windows)) << "a folder";
}
#endif
