#pragma once
// File open/save/folder dialogs. run() returns at once; the answer arrives later on the UI
// thread (from the frame's idle) through the callback, and for a confirmed choice also as
// "CNewFileSelector Select End Message" to a delegate. The dialog itself is the platform's
// (kelo::platform::services()), which tests replace.
#include <functional>
#include <string>
#include <vector>

#include "toolkit/CBaseObject.h"

namespace kelo::gui {

class CFrame;

struct CFileExtension {
    CFileExtension(const char* description, const char* extension, const char* mimeType = "", int32 macType = 0,
                   const char* uti = "");
    const std::string& getDescription() const { return description; }
    const std::string& getExtension() const { return extension; }
    // Equal when the extensions, the MIME types, the UTIs or the Mac types match.
    bool operator==(const CFileExtension& other) const;

    std::string description;
    std::string extension;
    std::string mimeType;
    int32 macType;
    std::string uti;
};

class CNewFileSelector : public CBaseObject {
public:
    enum Style { kSelectFile = 0, kSelectSaveFile, kSelectDirectory };
    using Callback = std::function<void(CNewFileSelector* selector, bool confirmed)>;

    // Null without a frame. The caller forgets it after use (a running dialog holds its own
    // reference until it answers).
    static CNewFileSelector* create(CFrame* frame = nullptr, Style style = kSelectFile);

    void setTitle(const char* title) { title_ = title ? title : ""; }
    void setInitialDirectory(const char* path) { initialDirectory_ = path ? path : ""; }
    void setDefaultSaveName(const char* name) { defaultSaveName_ = name ? name : ""; }
    void setAllowMultiFileSelection(bool state) { multiple_ = state; }
    void addFileExtension(const CFileExtension& extension);
    // Only the first call counts; a new extension is added to the list first.
    void setDefaultExtension(const CFileExtension& extension);
    const std::vector<CFileExtension>& getExtensions() const { return extensions_; }
    const CFileExtension* getDefaultExtension() const;
    static const CFileExtension& getAllFilesExtension();

    // Starts the dialog; false when one is already running.
    bool run(Callback callback);
    bool run(CBaseObject* delegate);
    // The answer of a running dialog is dropped (for an editor that closes).
    void cancel();
    bool isRunning() const { return running_; }

    int32 getNumSelectedFiles() const { return static_cast<int32>(selected_.size()); }
    // UTF-8 path, valid while the selector lives; null out of range.
    const char* getSelectedFile(int32 index) const;

    Style getStyle() const { return style_; }

    static const IdStringPtr kSelectEndMessage;

private:
    CNewFileSelector(CFrame* frame, Style style);
    void finished(const std::vector<std::string>& files, uint64_t run);

    CFrame* frame_;
    Style style_;
    std::string title_;
    std::string initialDirectory_;
    std::string defaultSaveName_;
    bool multiple_ = false;
    std::vector<CFileExtension> extensions_;
    int defaultExtension_ = -1;
    std::vector<std::string> selected_;
    Callback callback_;
    CBaseObject* delegate_ = nullptr;
    bool running_ = false;
    uint64_t run_ = 0; // which run an answer belongs to
};

} // namespace kelo::gui
