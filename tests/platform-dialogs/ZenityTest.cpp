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
    return out.substr(0, out.find('\n'));
}

// Waits up to ten seconds for the window with this title, then presses `first`, types and presses
// `last`; xdotool's "type" takes the rest of its command line, so one call per action.
void answer(const std::string& title, const std::string& first, const std::string& typed, const std::string& last) {
    const std::string w = run("timeout 10 xdotool search --sync --onlyvisible --name '^" + title + "$'");
    ASSERT_FALSE(w.empty()) << title;
    std::string command = "xdotool windowfocus --sync " + w;
    if (!first.empty()) command += " && xdotool key " + first;
    if (!typed.empty()) command += " && xdotool type --delay 2 '" + typed + "'";
    EXPECT_EQ(run(command + " && xdotool key " + last + " && echo done"), "done") << command;
}

} // namespace

TEST(Zenity, FilesChosenByTypingOrCancelledAndQuestionsAnsweredBothWays) {
    ASSERT_FALSE(run("command -v zenity").empty() || run("command -v xdotool").empty()) << "needs zenity, xdotool";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ScratchDir dir;
    std::ofstream(dir / "song.pat") << "x";
    FileDialogRequest r{
        .title = "Load Pattern", .initialFolder = dir.path().string(), .filters = {{"Pattern (*.pat)", {"pat"}}}};
    const auto choose = [&](const std::string& first, const std::string& typed, const std::string& last) {
        std::optional<Args> files;
        services().chooseFile(r, [&](const Args& f) { files = f; });
        answer(r.title, first, typed, last);
        EXPECT_TRUE(pollUntil([&] { return files.has_value(); }, 10));
        return files;
    };
    EXPECT_EQ(choose("", dir / "song.pat", "Return"), (Args{dir / "song.pat"}));
    EXPECT_EQ(choose("", "", "Escape"), Args{});
    r = {.kind = FileDialogKind::kSave, .title = "Export MIDI File", .defaultName = dir / "old.mid",
         .defaultExtension = "mid"};
    EXPECT_EQ(choose("ctrl+a", dir / "new", "Return"), (Args{dir / "new.mid"}));

    for (auto [pressed, want] : {std::pair{"Return", MessageAnswer::kYes}, {"Escape", MessageAnswer::kNo}}) {
        std::optional<MessageAnswer> heard;
        const std::string title = std::string("Question ") + pressed;
        services().showMessage({MessageKind::kYesNo, title, "Clear the pattern?", nullptr},
                               [&](MessageAnswer a) { heard = a; });
        answer(title, "", "", pressed);
        EXPECT_TRUE(pollUntil([&] { return heard.has_value(); }, 10));
        EXPECT_EQ(heard, want);
    }
    services().cancelDialogs(nullptr);
}
