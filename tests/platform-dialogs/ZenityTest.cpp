// The system's dialogs for real: zenity on the X server this program runs under (xvfb-run),
// answered by xdotool as a user would, typing and pressing keys.
#include "platform/Services.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "tests/platform/Support.h"

using namespace kelo::platform;
using namespace kelo::platform::test;
using Args = std::vector<std::string>;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The window with this title, once it is on screen; empty after ten seconds without it.
std::string window(const std::string& title) {
    const std::string id = run("timeout 10 xdotool search --sync --onlyvisible --name '^" + title + "$' 2>/dev/null");
    return id.substr(0, id.find('\n'));
}

// xdotool's "type" takes the rest of its command line as text: one call per action.
void keys(const std::string& window, const std::string& typed, const std::string& pressed) {
    std::string command = "xdotool windowfocus --sync " + window;
    if (!typed.empty()) command += " && xdotool type --delay 2 '" + typed + "'";
    command += " && xdotool key " + pressed + " && echo done";
    EXPECT_EQ(run(command), "done") << command;
}

class Zenity : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(run("command -v zenity").empty()) << "zenity is not installed";
        ASSERT_FALSE(run("command -v xdotool").empty()) << "xdotool is not installed";
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    }
    void TearDown() override { services().cancelDialogs(nullptr); }
    std::string path(const std::string& name) const { return dir_ / name; }

    // Asks for a file, lets `answer` act on the dialog's window, and returns what came back.
    template <typename F> std::optional<Args> choose(FileDialogRequest r, F answer) {
        std::optional<Args> files;
        services().chooseFile(r, [&](const Args& f) { files = f; });
        const std::string shown = window(r.title);
        EXPECT_FALSE(shown.empty()) << r.title;
        if (shown.empty()) return std::nullopt;
        answer(shown);
        EXPECT_TRUE(pollUntil([&] { return files.has_value(); }, 10));
        return files;
    }

    ScratchDir dir_;
};

} // namespace

TEST_F(Zenity, FilesChosenByTypingOrCancelledWithoutTheHostsLibraryPath) {
    std::ofstream(path("song.pat")) << "x";
    Environment env;
    env.set("LD_LIBRARY_PATH", "/kelo/host/libs");
    FileDialogRequest r;
    r.title = "Load Pattern";
    r.initialFolder = dir_.path().string();
    r.filters = {{"Pattern (*.pat)", {"pat"}}};
    std::string environment;
    const auto files = choose(r, [&](const std::string& w) {
        std::ifstream in("/proc/" + run("xdotool getwindowpid " + w) + "/environ");
        environment.assign(std::istreambuf_iterator<char>(in), {});
        keys(w, path("song.pat"), "Return");
    });
    EXPECT_EQ(files, (Args{path("song.pat")}));
    EXPECT_NE(environment.find("DISPLAY="), std::string::npos) << "the dialog's environment was read";
    EXPECT_EQ(environment.find("LD_LIBRARY_PATH="), std::string::npos);

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
    for (auto [pressed, want] : {std::pair{"Return", MessageAnswer::kYes}, {"Escape", MessageAnswer::kNo}}) {
        std::optional<MessageAnswer> answer;
        const std::string title = std::string("Orvanta KELO ") + pressed;
        services().showMessage({MessageKind::kYesNo, title, "Clear the pattern?", nullptr},
                               [&](MessageAnswer a) { answer = a; });
        const std::string shown = window(title);
        ASSERT_FALSE(shown.empty()) << title;
        keys(shown, "", pressed);
        EXPECT_TRUE(pollUntil([&] { return answer.has_value(); }, 10));
        EXPECT_EQ(answer, want);
    }
}
