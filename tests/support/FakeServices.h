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
        answerLater(request.owner, fileAnswers, std::vector<std::string>(), std::move(done));
    }
    void showMessage(const platform::MessageRequest& request, platform::MessageDone done) override {
        messages.push_back(request);
        answerLater(request.owner, messageAnswers, platform::MessageAnswer::kNotShown, std::move(done));
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
        if (cancelDrops) std::erase_if(pending_, [owner](const auto& p) { return p.first == owner; });
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
    bool cancelDrops = true; // false: answers given before the cancel still arrive, as in a race
    uint32_t now = 1000;

private:
    // The next scripted answer, or `none` once the script has run out.
    template <typename T, typename Done>
    void answerLater(const void* owner, std::deque<T>& script, T none, Done done) {
        T answer = script.empty() ? none : script.front();
        if (!script.empty()) script.pop_front();
        pending_.emplace_back(owner, [done = std::move(done), answer] {
            if (done) done(answer);
        });
    }

    std::deque<std::pair<const void*, std::function<void()>>> pending_;
};

} // namespace kelo::test
