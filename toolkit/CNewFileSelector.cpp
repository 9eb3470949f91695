#include "toolkit/CNewFileSelector.h"

#include <memory>

#include "platform/Services.h"
#include "toolkit/CFrame.h"

namespace kelo::gui {

const IdStringPtr CNewFileSelector::kSelectEndMessage = "CNewFileSelector Select End Message";

CFileExtension::CFileExtension(const char* d, const char* e, const char* m, int32 mac, const char* u)
    : description(d ? d : ""), extension(e ? e : ""), mimeType(m ? m : ""), macType(mac), uti(u ? u : "") {}

bool CFileExtension::operator==(const CFileExtension& o) const {
    if (!extension.empty() && !o.extension.empty() && extension == o.extension) return true;
    if (!mimeType.empty() && !o.mimeType.empty() && mimeType == o.mimeType) return true;
    if (!uti.empty() && !o.uti.empty() && uti == o.uti) return true;
    return macType != 0 && o.macType != 0 && macType == o.macType;
}

const CFileExtension& CNewFileSelector::getAllFilesExtension() {
    static const CFileExtension all("All Files", "");
    return all;
}

CNewFileSelector* CNewFileSelector::create(CFrame* frame, Style style) {
    return frame ? new CNewFileSelector(frame, style) : nullptr;
}

CNewFileSelector::CNewFileSelector(CFrame* frame, Style style) : frame_(frame), style_(style) {}

void CNewFileSelector::addFileExtension(const CFileExtension& extension) { extensions_.push_back(extension); }

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension) {
    if (defaultExtension_ >= 0) return;
    for (size_t i = 0; i < extensions_.size(); ++i)
        if (extensions_[i] == extension) {
            defaultExtension_ = static_cast<int>(i);
            return;
        }
    extensions_.push_back(extension);
    defaultExtension_ = static_cast<int>(extensions_.size() - 1);
}

const CFileExtension* CNewFileSelector::getDefaultExtension() const {
    return defaultExtension_ >= 0 ? &extensions_[size_t(defaultExtension_)] : nullptr;
}

const char* CNewFileSelector::getSelectedFile(int32 index) const {
    return index >= 0 && index < getNumSelectedFiles() ? selected_[size_t(index)].c_str() : nullptr;
}

bool CNewFileSelector::run(CBaseObject* delegate) {
    if (!run(Callback())) return false;
    delegate_ = delegate;
    if (delegate_) delegate_->remember();
    return true;
}

bool CNewFileSelector::run(Callback callback) {
    if (running_) return false;
    platform::FileDialogRequest r;
    r.kind = style_ == kSelectSaveFile    ? platform::FileDialogKind::kSave
             : style_ == kSelectDirectory ? platform::FileDialogKind::kFolder
                                          : platform::FileDialogKind::kOpen;
    r.title = title_;
    r.initialFolder = initialDirectory_;
    r.defaultName = defaultSaveName_;
    r.multiple = multiple_ && style_ == kSelectFile;
    // Two or more types get a first filter that accepts all of them.
    if (extensions_.size() >= 2) {
        platform::FileFilter all{"All supported file types", {}};
        for (const CFileExtension& e : extensions_)
            if (!e.extension.empty()) all.extensions.push_back(e.extension);
        r.filters.push_back(all);
    }
    for (const CFileExtension& e : extensions_) r.filters.push_back({e.description, {e.extension}});
    if (const CFileExtension* d = getDefaultExtension()) {
        r.defaultExtension = d->extension;
        r.defaultFilter = size_t(defaultExtension_) + (extensions_.size() >= 2 ? 1 : 0);
    }
    if (frame_ && frame_->getPlatformFrame()) r.owner = frame_->getPlatformFrame()->getNativeHandle();

    selected_.clear();
    callback_ = std::move(callback);
    running_ = true;
    const uint64_t id = ++run_;
    // Alive until the answer arrives, or until the services drop it unanswered.
    remember();
    std::shared_ptr<CNewFileSelector> self(this, [](CNewFileSelector* s) { s->forget(); });
    platform::services().chooseFile(r, [self, id](const std::vector<std::string>& files) { self->finished(files, id); });
    return true;
}

void CNewFileSelector::cancel() {
    callback_ = nullptr;
    if (delegate_) {
        delegate_->forget();
        delegate_ = nullptr;
    }
}

void CNewFileSelector::finished(const std::vector<std::string>& files, uint64_t id) {
    if (id != run_ || !running_) return;
    running_ = false;
    selected_ = files;
    if (!multiple_ && selected_.size() > 1) selected_.resize(1);
    const bool confirmed = !selected_.empty();
    Callback callback = std::move(callback_);
    callback_ = nullptr;
    CBaseObject* delegate = delegate_;
    delegate_ = nullptr;
    if (callback) callback(this, confirmed);
    if (delegate) {
        if (confirmed) delegate->notify(this, kSelectEndMessage);
        delegate->forget();
    }
}

} // namespace kelo::gui
