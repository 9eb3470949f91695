#pragma once
// The operating-system services the editor needs, behind one small interface that tests
// replace: file dialogs, message boxes, opening a web page or a file in the text editor,
// folder listing and the millisecond clock.
//
// A request never blocks and never answers from inside itself: the answer arrives later, on
// the UI thread, from poll() (the editor calls it from its idle). On Linux the dialog is another
// process and poll() only collects its answer; on Windows the dialogs are modal, so poll() shows
// a waiting one and returns once it is answered. A window that closes meanwhile cancels its
// dialogs (cancelDialogs), and their answers never arrive. Everything here but tickCount()
// belongs to the UI thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelo::platform {

struct FileFilter {
    std::string description;             // "Pattern files"
    std::vector<std::string> extensions; // without the dot: "pat"; empty = all files
};

enum class FileDialogKind { kOpen, kSave, kFolder };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::kOpen;
    std::string title;
    std::string initialFolder;
    std::string defaultName;      // the name a save dialog starts with
    std::string defaultExtension; // appended to a chosen save name that has no extension
    bool multiple = false;        // open dialogs: more than one file may be chosen
    std::vector<FileFilter> filters;
    size_t defaultFilter = 0;     // index into filters
    void* owner = nullptr;        // native window the dialog belongs to, if any
};

// The chosen paths (UTF-8); empty when the user cancelled or no dialog could be shown.
using FileDialogDone = std::function<void(const std::vector<std::string>& files)>;

enum class MessageKind { kOk, kYesNo };
// kNotShown: no message box could be shown (no display, no dialog program).
enum class MessageAnswer { kOk, kYes, kNo, kNotShown };

struct MessageRequest {
    MessageKind kind = MessageKind::kOk;
    std::string title;
    std::string text;
    void* owner = nullptr;
};

using MessageDone = std::function<void(MessageAnswer answer)>;

struct FolderEntry {
    std::string name; // no folder part
    bool isFolder = false; // a real folder; links to folders are not followed
};

class Services {
public:
    virtual ~Services() = default;

    virtual void chooseFile(const FileDialogRequest& request, FileDialogDone done) = 0;
    virtual void showMessage(const MessageRequest& request, MessageDone done) = 0;
    // Calls the completion of every dialog that finished since the last call.
    virtual void poll() = 0;
    // Closes the dialogs requested with this owner that are still showing or waiting and
    // drops their answers: their completions are destroyed without being called. For a window
    // that goes away while it asks something.
    virtual void cancelDialogs(const void* owner) = 0;

    // True when the browser / text editor was started. Only http and https addresses and
    // existing files are opened.
    virtual bool openUrl(const std::string& url) = 0;
    virtual bool openInTextEditor(const std::string& path) = 0;

    // The entries of a folder without "." and "..", in no particular order; false when the
    // folder cannot be read.
    virtual bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) = 0;

    // Milliseconds since an arbitrary start, wrapping like a 32-bit tick count.
    virtual uint32_t tickCount() = 0;
};

// What the instrument uses: the system's services unless a test installed its own.
Services& services();
// Installs replacement services (not owned; must outlive their use); null restores the system's.
void setServices(Services* replacement);
// The system's own services.
Services& systemServices();

} // namespace kelo::platform
