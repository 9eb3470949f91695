// Windows services. The common dialogs and message boxes are modal: they run their own message
// loop until answered. To keep the asynchronous contract, a request only queues the dialog;
// the next poll() (from the editor's idle, on the UI thread) shows it and then calls its
// completion. Closing the requesting window cancels a queued dialog and ends a showing one.
#include "platform/Services.h"

#include "platform/Win32Dialogs.h"

#include <shellapi.h>
#include <shlobj.h>

#include <deque>
#include <utility>

#include "platform/DialogFormats.h"

namespace kelo::platform {

namespace detail {
uint32_t osTickCount(); // platform_win32.cpp
}

namespace win32 {

void buildOpenFileName(const FileDialogRequest& request, HWND owner, OpenFileNameStrings& s, OPENFILENAMEA& ofn) {
    const bool save = request.kind == FileDialogKind::kSave;
    const bool multiple = request.multiple && !save;
    s.filter = dialogs::win32FilterString(request.filters);
    s.title = request.title;
    s.initialFolder = request.initialFolder;
    s.defaultExtension = request.defaultExtension;
    while (!s.defaultExtension.empty() && s.defaultExtension[0] == '.') s.defaultExtension.erase(0, 1);
    s.file.assign(multiple ? kMultipleFileBufferSize : kFileBufferSize, '\0');
    // A name that does not fit is no start at all: the dialog would refuse the buffer.
    if (request.defaultName.size() < s.file.size())
        request.defaultName.copy(s.file.data(), request.defaultName.size());

    ofn = OPENFILENAMEA{};
    ofn.lStructSize = sizeof(OPENFILENAMEA);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = s.filter.empty() ? nullptr : s.filter.c_str();
    ofn.nFilterIndex = request.filters.empty() ? 0
                       : request.defaultFilter < request.filters.size() ? DWORD(request.defaultFilter + 1)
                                                                        : 1;
    ofn.lpstrFile = s.file.data();
    ofn.nMaxFile = DWORD(s.file.size());
    ofn.lpstrInitialDir = s.initialFolder.empty() ? nullptr : s.initialFolder.c_str();
    ofn.lpstrTitle = s.title.empty() ? nullptr : s.title.c_str();
    ofn.lpstrDefExt = s.defaultExtension.empty() ? nullptr : s.defaultExtension.c_str();
    // The host's current folder is not ours to change.
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    ofn.Flags |= save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    if (multiple) ofn.Flags |= OFN_ALLOWMULTISELECT;
}

HWND dialogOwner(const void* requested) {
    HWND window = static_cast<HWND>(const_cast<void*>(requested));
    // The editor is a child of the host's window; a child cannot own a dialog.
    if (window && IsWindow(window)) return GetAncestor(window, GA_ROOT);
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground) GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

HANDLE moduleActivationContext() {
    static const HANDLE context = [] {
        HMODULE module = nullptr;
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCSTR>(&moduleActivationContext), &module))
            return HANDLE(nullptr);
        ACTCTXA actctx{};
        actctx.cbSize = sizeof actctx;
        actctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        actctx.hModule = module;
        actctx.lpResourceName = MAKEINTRESOURCEA(2);
        const HANDLE h = CreateActCtxA(&actctx);
        return h == INVALID_HANDLE_VALUE ? HANDLE(nullptr) : h;
    }();
    return context;
}

} // namespace win32

namespace {

// The module's activation context for the lifetime of a dialog call: the host's process may
// have none, or one that asks for other common controls.
class ActivationScope {
public:
    ActivationScope() {
        if (HANDLE context = win32::moduleActivationContext()) active_ = ActivateActCtx(context, &cookie_) != FALSE;
    }
    ~ActivationScope() {
        if (active_) DeactivateActCtx(0, cookie_);
    }
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

int CALLBACK startInFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
    const char* folder = reinterpret_cast<const char*>(data);
    if (message == BFFM_INITIALIZED && folder && *folder)
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
    return 0;
}

std::vector<std::string> runFileDialog(const FileDialogRequest& request, HWND owner) {
    if (request.kind == FileDialogKind::kFolder) {
        char name[MAX_PATH] = {};
        BROWSEINFOA info{};
        info.hwndOwner = owner;
        info.pszDisplayName = name;
        info.lpszTitle = request.title.empty() ? nullptr : request.title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lParam = reinterpret_cast<LPARAM>(request.initialFolder.c_str());
        info.lpfn = &startInFolder;
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::vector<std::string> chosen;
        if (LPITEMIDLIST list = SHBrowseForFolderA(&info)) {
            char path[MAX_PATH] = {};
            if (SHGetPathFromIDListA(list, path)) chosen.emplace_back(path);
            CoTaskMemFree(list);
        }
        if (SUCCEEDED(com)) CoUninitialize();
        return chosen;
    }
    win32::OpenFileNameStrings strings;
    OPENFILENAMEA ofn;
    win32::buildOpenFileName(request, owner, strings, ofn);
    const bool ok = request.kind == FileDialogKind::kSave ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    // Cancelled, or failed (names longer than the buffer): either way no file.
    if (!ok) return {};
    return dialogs::win32SelectedFiles(strings.file.data(), strings.file.size(),
                                       (ofn.Flags & OFN_ALLOWMULTISELECT) != 0);
}

MessageAnswer runMessageBox(const MessageRequest& request, HWND owner) {
    const bool question = request.kind == MessageKind::kYesNo;
    switch (MessageBoxA(owner, request.text.c_str(), request.title.c_str(), question ? MB_YESNO : MB_OK)) {
    case IDYES: return MessageAnswer::kYes;
    case IDNO: return MessageAnswer::kNo;
    case IDOK: return MessageAnswer::kOk;
    default: return MessageAnswer::kNotShown;
    }
}

class Win32Services final : public Services {
public:
    void chooseFile(const FileDialogRequest& request, FileDialogDone done) override {
        Pending p;
        p.owner = request.owner;
        p.file = request;
        p.fileDone = std::move(done);
        queue_.push_back(std::move(p));
    }

    void showMessage(const MessageRequest& request, MessageDone done) override {
        Pending p;
        p.owner = request.owner;
        p.isMessage = true;
        p.message = request;
        p.messageDone = std::move(done);
        queue_.push_back(std::move(p));
    }

    void poll() override {
        // A host may idle the editor from inside the dialog's message loop: one dialog at a time.
        if (showing_) return;
        while (!queue_.empty()) {
            Pending p = std::move(queue_.front());
            queue_.pop_front();
            showing_ = true;
            cancelled_ = false;
            showingOwner_ = p.owner;
            showingIsMessage_ = p.isMessage;
            showingKind_ = p.message.kind;
            showingThread_ = GetCurrentThreadId();
            showingWindow_ = win32::dialogOwner(p.owner);
            std::vector<std::string> files;
            MessageAnswer answer = MessageAnswer::kNotShown;
            {
                ActivationScope scope;
                if (p.isMessage)
                    answer = runMessageBox(p.message, showingWindow_);
                else
                    files = runFileDialog(p.file, showingWindow_);
            }
            showing_ = false;
            if (cancelled_) continue;
            if (p.isMessage) {
                if (p.messageDone) p.messageDone(answer);
            } else if (p.fileDone) {
                p.fileDone(files);
            }
        }
    }

    void cancelDialogs(const void* owner) override {
        for (auto it = queue_.begin(); it != queue_.end();) it = it->owner == owner ? queue_.erase(it) : it + 1;
        if (showing_ && showingOwner_ == owner && !cancelled_) {
            cancelled_ = true;
            EnumThreadWindows(showingThread_, &Win32Services::endDialog, reinterpret_cast<LPARAM>(this));
        }
    }

    bool openUrl(const std::string& url) override {
        // Only web pages: the shell would start anything else it is given.
        if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return false;
        const auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return r > 32;
    }

    bool openInTextEditor(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        char windows[MAX_PATH] = {};
        const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return false;
        const std::string program = std::string(windows) + "\\notepad.exe";
        std::string commandLine = dialogs::notepadCommandLine(windows, path);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return false;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }

    bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) override {
        entries.clear();
        if (path.empty()) return false;
        std::string pattern = path;
        if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
        pattern += '*';
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(pattern.c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND; // an empty drive root
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            // A junction or a link to a folder is not walked into.
            const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            entries.push_back({name, folder});
        } while (FindNextFileA(find, &found));
        const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
        FindClose(find);
        return complete;
    }

    uint32_t tickCount() override { return detail::osTickCount(); }

private:
    struct Pending {
        const void* owner = nullptr;
        bool isMessage = false;
        FileDialogRequest file;
        FileDialogDone fileDone;
        MessageRequest message;
        MessageDone messageDone;
    };

    // Presses the button that ends the showing dialog without a choice.
    static BOOL CALLBACK endDialog(HWND window, LPARAM self) {
        const auto* s = reinterpret_cast<const Win32Services*>(self);
        char cls[16] = {};
        GetClassNameA(window, cls, sizeof cls);
        if (std::string(cls) != "#32770" || GetWindow(window, GW_OWNER) != s->showingWindow_) return TRUE;
        const WPARAM button = !s->showingIsMessage_                     ? IDCANCEL
                              : s->showingKind_ == MessageKind::kYesNo ? IDNO
                                                                       : IDOK;
        PostMessageA(window, WM_COMMAND, button, 0);
        return TRUE;
    }

    std::deque<Pending> queue_;
    bool showing_ = false;
    bool cancelled_ = false;
    const void* showingOwner_ = nullptr;
    bool showingIsMessage_ = false;
    MessageKind showingKind_ = MessageKind::kOk;
    DWORD showingThread_ = 0;
    HWND showingWindow_ = nullptr;
};

} // namespace

Services& systemServices() {
    static Win32Services system;
    return system;
}

} // namespace kelo::platform
