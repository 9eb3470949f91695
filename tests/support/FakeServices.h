#pragma once
// Platform services for tests: dialogs answer from a script (cancel when it runs out), launches
// are recorded, the clock is set by hand. Installed for its lifetime.
#include <deque>
#include <functional>
#include <string>
#include <utility>
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
        pending_.emplace_back(request.owner, [done = std::move(done), answer] {
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
        pending_.emplace_back(request.owner, [done = std::move(done), answer] {
            if (done) done(answer);
        });
    }
    // Answers due now, one at a time: an answer may cancel the others of its window. Dialogs
    // asked for meanwhile answer at the next poll.
    void poll() override {
        for (size_t due = pending_.size(); due > 0 && !pending_.empty(); --due) {
            auto f = std::move(pending_.front().second);
            pending_.pop_front();
            f();
        }
    }
    void cancelDialogs(const void* owner) override {
        cancelledOwners.push_back(owner);
        std::erase_if(pending_, [owner](const auto& p) { return p.first == owner; });
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
    std::vector<const void*> cancelledOwners;
    bool launchSucceeds = true;
    uint32_t now = 1000;

private:
    std::deque<std::pair<const void*, std::function<void()>>> pending_;
};

} // namespace kelo::test
