// The system's services. Dialogs and launching have no implementation on any system yet: they
// answer honestly ("cancelled", "not shown", false) so callers take their failure paths.
#include "platform/Services.h"

#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/Platform.h"

namespace kelo::platform {

namespace detail {
uint32_t osTickCount(); // platform_linux.cpp / platform_win32.cpp
}

namespace {

class SystemServices final : public Services {
public:
    void chooseFile(const FileDialogRequest&, FileDialogDone done) override {
        pending_.push_back([d = std::move(done)] {
            if (d) d({});
        });
    }
    void showMessage(const MessageRequest&, MessageDone done) override {
        pending_.push_back([d = std::move(done)] {
            if (d) d(MessageAnswer::kNotShown);
        });
    }
    void poll() override {
        // A completion may start the next dialog.
        auto due = std::move(pending_);
        pending_.clear();
        for (auto& f : due) f();
    }
    bool openUrl(const std::string&) override { return false; }
    bool openInTextEditor(const std::string&) override { return false; }

    bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) override {
        namespace fs = std::filesystem;
        entries.clear();
        std::error_code ec;
        fs::directory_iterator it(fs::path(path), ec);
        if (ec) return false;
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) return false;
            std::error_code typeError;
            // symlink_status: a link to a folder is not a folder, so walking a tree never loops.
            const bool folder = it->symlink_status(typeError).type() == fs::file_type::directory;
            entries.push_back({it->path().filename().string(), folder});
        }
        return !ec;
    }

    uint32_t tickCount() override { return detail::osTickCount(); }

private:
    std::vector<std::function<void()>> pending_;
};

std::atomic<Services*> replacement{nullptr};

} // namespace

Services& systemServices() {
    static SystemServices system;
    return system;
}

Services& services() {
    Services* s = replacement.load(std::memory_order_acquire);
    return s ? *s : systemServices();
}

void setServices(Services* s) { replacement.store(s, std::memory_order_release); }

uint32_t tickCount() { return services().tickCount(); }

} // namespace kelo::platform
