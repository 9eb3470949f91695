// The system's dialogs for real: zenity on the X server this program runs under (xvfb-run),
// answered by xdotool as a user would, typing and pressing keys.
#include "platform/Services.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace kelo::platform;
using Args = std::vector<std::string>;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The window with this title, once it is on screen; empty after ten seconds without it.
std::string waitForWindow(const std::string& title) {
    std::string id = run("timeout 10 xdotool search --sync --onlyvisible --name '^" + title + "$' 2>/dev/null");
    return id.substr(0, id.find('\n'));
}

bool windowGone(const std::string& title) {
    for (int i = 0; i < 500; ++i) {
        if (run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null").empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// xdotool's "type" takes the rest of its command line as text: one call per action.
void keys(const std::string& window, const std::string& typed, const std::string& pressed) {
    std::string command = "xdotool windowfocus --sync " + window;
    if (!typed.empty()) command += " && xdotool type --delay 2 '" + typed + "'";
    command += " && xdotool key " + pressed + " && echo done";
    EXPECT_EQ(run(command), "done") << command;
}

template <typename F> bool pollUntil(F done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        services().poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string environmentOf(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/environ");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Zenity : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(run("command -v zenity").empty()) << "zenity is not installed";
        ASSERT_FALSE(run("command -v xdotool").empty()) << "xdotool is not installed";
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    }
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kelo-zenity-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        services().cancelDialogs(nullptr);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Asks for a file, lets `answer` act on the dialog's window, and returns what came back.
    template <typename F> std::optional<Args> choose(FileDialogRequest r, F answer) {
        std::optional<Args> files;
        services().chooseFile(r, [&](const Args& f) { files = f; });
        const std::string window = waitForWindow(r.title);
        EXPECT_FALSE(window.empty()) << r.title;
        if (window.empty()) return std::nullopt;
        answer(window);
        EXPECT_TRUE(pollUntil([&] { return files.has_value(); }));
        return files;
    }

    std::optional<MessageAnswer> ask(const std::string& title, const std::string& pressed) {
        std::optional<MessageAnswer> answer;
        services().showMessage({MessageKind::kYesNo, title, "Clear the pattern?", nullptr},
                               [&](MessageAnswer a) { answer = a; });
        const std::string window = waitForWindow(title);
        EXPECT_FALSE(window.empty()) << title;
        if (window.empty()) return std::nullopt;
        keys(window, "", pressed);
        EXPECT_TRUE(pollUntil([&] { return answer.has_value(); }));
        return answer;
    }

    fs::path dir_;
};

} // namespace

TEST_F(Zenity, FileChosenByTypingItsPathWithoutTheHostsLibraryPath) {
    std::ofstream(path("song.pat")) << "x";
    const char* old = std::getenv("LD_LIBRARY_PATH");
    const std::string saved = old ? old : "";
    setenv("LD_LIBRARY_PATH", "/kelo/host/libs", 1);
    FileDialogRequest r;
    r.title = "Load Pattern";
    r.initialFolder = dir_.string();
    r.filters = {{"Pattern (*.pat)", {"pat"}}};
    std::string environment;
    const auto files = choose(r, [&](const std::string& window) {
        environment = environmentOf(run("xdotool getwindowpid " + window));
        keys(window, path("song.pat"), "Return");
    });
    old ? setenv("LD_LIBRARY_PATH", saved.c_str(), 1) : unsetenv("LD_LIBRARY_PATH");
    EXPECT_EQ(files, (Args{path("song.pat")}));
    EXPECT_NE(environment.find("DISPLAY="), std::string::npos) << "the dialog's environment was read";
    EXPECT_EQ(environment.find("LD_LIBRARY_PATH="), std::string::npos);
}

TEST_F(Zenity, CancelAndASaveNameWithoutExtension) {
    FileDialogRequest r;
    r.title = "Import Patterns";
    EXPECT_EQ(choose(r, [](const std::string& w) { keys(w, "", "Escape"); }), Args{});

    r.kind = FileDialogKind::kSave;
    r.title = "Export MIDI File";
    r.defaultExtension = "mid";
    r.defaultName = path("old.mid");
    EXPECT_EQ(choose(r, [&](const std::string& w) { keys(w, "", "ctrl+a"); keys(w, path("new"), "Return"); }),
              (Args{path("new.mid")}));
}

TEST_F(Zenity, QuestionAnsweredBothWays) {
    EXPECT_EQ(ask("Orvanta KELO yes", "Return"), MessageAnswer::kYes);
    EXPECT_EQ(ask("Orvanta KELO no", "Escape"), MessageAnswer::kNo);
}

TEST_F(Zenity, ClosedWithItsWindow) {
    int editor = 0;
    FileDialogRequest r;
    r.title = "Save Pattern";
    r.kind = FileDialogKind::kSave;
    r.owner = &editor;
    bool heard = false;
    services().chooseFile(r, [&](const Args&) { heard = true; });
    const std::string window = waitForWindow(r.title);
    ASSERT_FALSE(window.empty());
    const std::string pid = run("xdotool getwindowpid " + window);
    ASSERT_FALSE(pid.empty());
    services().cancelDialogs(&editor);
    EXPECT_TRUE(windowGone(r.title));
    // A busy machine may take a while to end all of its threads; later polls reap it.
    EXPECT_TRUE(pollUntil([&] { return !fs::exists("/proc/" + pid); })) << "zenity reaped";
    EXPECT_FALSE(heard);
}

TEST_F(Zenity, ADisplayThatCannotBeOpenedIsACancel) {
    const std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":4099", 1);
    std::optional<Args> files;
    std::optional<MessageAnswer> answer;
    services().chooseFile({}, [&](const Args& f) { files = f; });
    services().showMessage({MessageKind::kYesNo, "T", "?", nullptr}, [&](MessageAnswer a) { answer = a; });
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_TRUE(pollUntil([&] { return files && answer; }));
    EXPECT_EQ(files, Args{});
    EXPECT_EQ(answer, MessageAnswer::kNo);
}
