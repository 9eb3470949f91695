#pragma once
// Platform services for tests: dialogs answer from a script (cancel when it runs out), launches
// are recorded, the clock is set by hand. Installed for its lifetime.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace kelo::test {

class FakeServices : public platform::Services {
public:
    FakeServices() { platform::setServices(this); }
    ~FakeServices() override { platform::setServices(nullptr); }
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    void chooseFile(const platform::FileDialogRequest& request, platform::FileDialogDone done) override {
        fileRequests.push_back(request);
        std::vector<std::string> answer;
        if (!fileAnswers.empty()) {
            answer = fileAnswers.front();
            fileAnswers.pop_front();
        }
        pending_.push_back([done = std::move(done), answer] {
            if (done) done(answer);
        });
    }
    void showMessage(const platform::MessageRequest& request, platform::MessageDone done) override {
        messages.push_back(request);
        platform::MessageAnswer answer = platform::MessageAnswer::kNotShown;
        if (!messageAnswers.empty()) {
            answer = messageAnswers.front();
            messageAnswers.pop_front();
        }
        pending_.push_back([done = std::move(done), answer] {
            if (done) done(answer);
        });
    }
    void poll() override {
        auto due = std::move(pending_);
        pending_.clear();
        for (auto& f : due) f();
    }
    bool openUrl(const std::string& url) override {
        urls.push_back(url);
        return launchSucceeds;
    }
    bool openInTextEditor(const std::string& path) override {
        editedFiles.push_back(path);
        return launchSucceeds;
    }
    bool listFolder(const std::string& path, std::vector<platform::FolderEntry>& entries) override {
        return platform::systemServices().listFolder(path, entries);
    }
    uint32_t tickCount() override { return now; }

    size_t pendingAnswers() const { return pending_.size(); }

    std::vector<platform::FileDialogRequest> fileRequests;
    std::deque<std::vector<std::string>> fileAnswers;
    std::vector<platform::MessageRequest> messages;
    std::deque<platform::MessageAnswer> messageAnswers;
    std::vector<std::string> urls;
    std::vector<std::string> editedFiles;
    bool launchSucceeds = true;
    uint32_t now = 1000;

private:
    std::vector<std::function<void()>> pending_;
};

} // namespace kelo::test
