// The Linux services with stand-in dialog programs: what they are started with, how their
// output becomes the answer, and what happens to them when their window goes away.
#if !defined(_WIN32)
#include "platform/Services.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <sstream>
#include <vector>

#include "tests/platform/Support.h"

using namespace kelo::platform;
using namespace kelo::platform::test;
using Args = std::vector<std::string>;

namespace {

// The state letter of a process ('Z' for a zombie); 0 once it is gone.
char state(pid_t pid) {
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t name = stat.rfind(')');
    return name == std::string::npos || name + 2 >= stat.size() ? 0 : stat[name + 2];
}

// Processes started from this thread, zombies included.
size_t children() {
    std::istringstream pids(slurp("/proc/thread-self/children"));
    return size_t(std::distance(std::istream_iterator<int>(pids), {}));
}

size_t openFiles() { return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {})); }

// A scratch folder that holds the stand-in programs and is the only PATH.
class LinuxServices : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_.path() / "bin");
        env_.set("PATH", dir_ / "bin");
        env_.set("DISPLAY", ":kelo-test");
        env_.set("WAYLAND_DISPLAY", nullptr);
        files_ = openFiles();
    }
    // Whatever a test did, every dialog and launcher ends reaped, with no pipe left open.
    void TearDown() override {
        services().cancelDialogs(nullptr);
        EXPECT_TRUE(pollUntil([] { return children() == 0; })) << children() << " children left";
        EXPECT_EQ(openFiles(), files_);
    }

    // A program in PATH; the script runs with the system's PATH and $out is the scratch folder.
    void program(const std::string& name, const std::string& body) {
        std::ofstream(dir_ / ("bin/" + name)) << "#!/bin/sh\nPATH=/usr/bin:/bin\nout=" << dir_.path().string() << "\n"
                                              << body << "\n";
        fs::permissions(dir_ / ("bin/" + name), fs::perms::owner_all);
    }
    std::string read(const std::string& name) const { return slurp(dir_ / name); }
    void put(const std::string& name, const std::string& text) const { std::ofstream(dir_ / name) << text; }

    // The answer to a request, which must not come from inside the request itself.
    template <typename T, typename Request> std::optional<T> answer(Request request) {
        std::optional<T> answer;
        request([&](const T& a) { answer = a; });
        EXPECT_FALSE(answer) << "answered inside the request";
        EXPECT_TRUE(pollUntil([&] { return answer.has_value(); }));
        return answer;
    }
    std::optional<Args> choose(const FileDialogRequest& r) {
        return answer<Args>([&](auto done) { services().chooseFile(r, done); });
    }
    std::optional<MessageAnswer> ask(MessageKind kind) {
        return answer<MessageAnswer>([&](auto done) { services().showMessage({kind, "T", "text", nullptr}, done); });
    }

    ScratchDir dir_;
    Environment env_;
    size_t files_ = 0;
};

} // namespace

TEST_F(LinuxServices, KdialogStandsInForZenityWithoutTheHostsLibraryPathAndNoDisplayIsACancel) {
    env_.set("LD_LIBRARY_PATH", "/host/bundled/libs");
    env_.set("PATH", "relative:" + (dir_ / "bin") + ":/nonexistent");
    // Its complaints stay out of the host's log, and it reads nothing of the host's input.
    program("kdialog", "printf '%s\\n' \"$@\" > $out/args\n"
                       "echo \"lib=$LD_LIBRARY_PATH\" > $out/env\n"
                       "readlink /proc/$$/fd/0 /proc/$$/fd/2 >> $out/env\n"
                       "echo /songs/a.pat; echo /songs/b.pat");
    const FileDialogRequest r{.title = "Load", .initialFolder = "/songs", .filters = {{"Patterns", {"pat"}}}};
    EXPECT_EQ(choose(r), (Args{"/songs/a.pat"})); // one file asked for
    EXPECT_EQ(read("args"), "--title\nLoad\n--getopenfilename\n/songs/\n*.pat *.PAT|Patterns\n");
    EXPECT_EQ(read("env"), "lib=\n/dev/null\n/dev/null\n");

    env_.set("DISPLAY", nullptr);
    EXPECT_EQ(choose(r), Args{});
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNotShown);
    env_.set("DISPLAY", ":1");
    fs::remove(dir_ / "bin/kdialog");
    EXPECT_EQ(choose(r), Args{});
    EXPECT_EQ(ask(MessageKind::kOk), MessageAnswer::kNotShown);
}

TEST_F(LinuxServices, AnswersComeFromTheOutputEvenWhenTheHostIgnoresChildren) {
    // zenity's exit status decides; the host's SIGCHLD setting must not. The dialog starts
    // with no signal ignored or blocked, whatever the host's thread had (a file dialog is started
    // directly; a question through a shell). Read with the shell's own "read": a shell waiting
    // for a child blocks signals meanwhile.
    program("zenity", "echo \"$1\" >> $out/kinds\n"
                      "while read -r k v; do case $k in SigBlk:|SigIgn:) echo \"$k\t$v\";; esac; done "
                      "< /proc/$$/status >> $out/signals\n"
                      "exit $(cat $out/status)");
    const auto oldChild = std::signal(SIGCHLD, SIG_IGN), oldPipe = std::signal(SIGPIPE, SIG_IGN);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    put("status", "0");
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kYes);
    EXPECT_EQ(ask(MessageKind::kOk), MessageAnswer::kOk);
    put("status", "1");
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNo);
    EXPECT_EQ(choose({}), Args{});
    std::signal(SIGCHLD, oldChild);
    std::signal(SIGPIPE, oldPipe);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    put("status", "5");
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNo);
    EXPECT_EQ(read("kinds"), "--question\n--info\n--question\n--file-selection\n--question\n");
    const std::string recorded = read("signals");
    EXPECT_EQ(std::count(recorded.begin(), recorded.end(), '\n'), 10);
    std::istringstream signals(recorded);
    // Signals 1 to 31 (the C library keeps the real-time ones above for itself).
    for (std::string line; std::getline(signals, line);)
        EXPECT_EQ(std::stoull(line.substr(line.find('\t') + 1), nullptr, 16) & 0x7fffffffu, 0u) << line;
}

TEST_F(LinuxServices, ClosingAWindowKillsItsDialogsAndDropsTheirAnswers) {
    // Each stand-in notes its pid and waits for a file named after its title.
    program("zenity", "t=$(echo \"$@\" | sed 's/.*--title=\\([a-z]*\\).*/\\1/')\n"
                      "echo $$ >> $out/pid.$t\n"
                      "while [ ! -e $out/go.$t ]; do sleep 0.01; done\n"
                      "echo /chosen.$t");
    int windowA = 0, windowB = 0;
    std::vector<std::string> heard;
    for (auto [title, owner] : {std::pair{"a", &windowA}, {"b", &windowB}}) {
        services().chooseFile({.title = title, .owner = owner}, [&, t = std::string(title)](const Args& f) {
            heard.push_back(t + (f.empty() ? "" : f[0]));
        });
    }
    // A question runs through a shell: its dialog is a grandchild.
    services().showMessage({MessageKind::kYesNo, "a", "?", &windowA}, [&](MessageAnswer) { heard.push_back("ask a"); });
    ASSERT_TRUE(pollUntil([&] { return read("pid.a").find('\n') != read("pid.a").rfind('\n'); }))
        << "both dialogs of window a started";
    ASSERT_TRUE(pollUntil([&] { return fs::exists(dir_ / "pid.b"); }));

    services().cancelDialogs(&windowA);
    std::istringstream pidsA(read("pid.a"));
    // A zombie counts as gone: whoever reaps it, the dialog has ended.
    for (pid_t p; pidsA >> p;) EXPECT_TRUE(pollUntil([&] { return state(p) == 0 || state(p) == 'Z'; })) << p;
    put("go.a", "x"); // too late: nobody may hear it
    put("go.b", "x");
    EXPECT_TRUE(pollUntil([&] { return !heard.empty(); }));
    for (int i = 0; i < 20; ++i) services().poll();
    EXPECT_EQ(heard, (std::vector<std::string>{"b/chosen.b"}));
}

TEST_F(LinuxServices, SaveNameWithoutExtensionIsAskedAboutWhenTheFullNameExists) {
    program("zenity", "case \"$1\" in --file-selection) echo $out/song;; *) echo \"$@\" >> $out/asked;\n"
                      "while [ ! -e $out/status ]; do sleep 0.01; done; exit $(cat $out/status);; esac");
    int window = 0;
    const FileDialogRequest r{
        .kind = FileDialogKind::kSave, .title = "Save", .defaultExtension = "pat", .owner = &window};
    put("status", "1");
    EXPECT_EQ(choose(r), (Args{dir_ / "song.pat"})); // new name: nothing to ask
    EXPECT_FALSE(fs::exists(dir_ / "asked"));

    put("song.pat", "old");
    EXPECT_EQ(choose(r), Args{});
    EXPECT_EQ(read("asked"), "--question --title=Save --text=A file named \"song.pat\" already exists.\n"
                             "Do you want to replace it? --no-markup\n");
    put("status", "0");
    EXPECT_EQ(choose(r), (Args{dir_ / "song.pat"}));
    EXPECT_EQ(read("song.pat"), "old");

    // The question belongs to the window that asked for the file: closing it drops both.
    fs::remove(dir_ / "status");
    fs::remove(dir_ / "asked");
    bool heard = false;
    services().chooseFile(r, [&](const Args&) { heard = true; });
    ASSERT_TRUE(pollUntil([&] { return fs::exists(dir_ / "asked"); }));
    services().cancelDialogs(&window);
    put("status", "0");
    EXPECT_FALSE(pollUntil([&] { return heard; }, 1));
}

TEST_F(LinuxServices, OpenerGetsWebPagesAndExistingFilesVerbatim) {
    program("xdg-open", "printf '%s\\n' \"$@\" >> $out/opened");
    const std::string url = "https://example.com/checkUpdate.php?version=KELO.9.2.3&x='$(touch /tmp/no)' \"q\"";
    const std::string config = dir_ / "Config.ini";
    EXPECT_TRUE(services().openUrl(url));
    EXPECT_FALSE(services().openUrl("file:///etc/passwd"));
    EXPECT_FALSE(services().openUrl("/usr/bin/xterm"));
    put("Config.ini", "x");
    EXPECT_TRUE(services().openInTextEditor(config));
    EXPECT_FALSE(services().openInTextEditor(dir_ / "missing.ini"));
    EXPECT_FALSE(services().openInTextEditor("Config.ini"));
    // Both run in the background, in either order.
    const std::string one = url + "\n" + config + "\n", other = config + "\n" + url + "\n";
    EXPECT_TRUE(pollUntil([&] { return read("opened") == one || read("opened") == other; })) << read("opened");
    fs::remove(dir_ / "bin/xdg-open");
    EXPECT_FALSE(services().openUrl(url));
}

#endif
