// The Linux services with stand-in dialog programs: what they are started with, how their
// output becomes the answer, and what happens to them when their window goes away.
#if !defined(_WIN32)
#include "platform/Services.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace kelo::platform;
using Args = std::vector<std::string>;

namespace {

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    ~Environment() {
        for (auto& [name, value] : saved_)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    void set(const std::string& name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

size_t openFiles() {
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Processes whose parent is this one, zombies included.
int children() {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(e.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state;
        int parent = 0;
        if (rest >> state >> parent && parent == getpid()) ++n;
    }
    return n;
}

// A scratch folder that holds the stand-in programs and is the only PATH.
class LinuxServices : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kelo-services-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "bin");
        env_.set("PATH", (dir_ / "bin").c_str());
        env_.set("DISPLAY", ":kelo-test");
        env_.set("WAYLAND_DISPLAY", nullptr);
        files_ = openFiles();
    }
    // Whatever a test did, every dialog and launcher ends reaped, with no pipe left open.
    void TearDown() override {
        services().cancelDialogs(nullptr);
        EXPECT_TRUE(pollUntil([] { return children() == 0; })) << children() << " children left";
        EXPECT_EQ(openFiles(), files_);
        fs::remove_all(dir_);
    }

    // A program in PATH; the script runs with the system's PATH.
    void program(const std::string& name, const std::string& body) {
        const fs::path p = dir_ / "bin" / name;
        std::ofstream(p) << "#!/bin/sh\nPATH=/usr/bin:/bin\nout=" << dir_.string() << "\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string read(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Polls until done() holds, for at most five seconds.
    template <typename F> bool pollUntil(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            services().poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    std::optional<Args> choose(const FileDialogRequest& r) {
        std::optional<Args> answer;
        services().chooseFile(r, [&](const Args& files) { answer = files; });
        EXPECT_FALSE(answer) << "answered inside the request";
        EXPECT_TRUE(pollUntil([&] { return answer.has_value(); }));
        return answer;
    }
    std::optional<MessageAnswer> ask(MessageKind kind, const void* owner = nullptr) {
        std::optional<MessageAnswer> answer;
        services().showMessage({kind, "T", "text", const_cast<void*>(owner)}, [&](MessageAnswer a) { answer = a; });
        EXPECT_FALSE(answer) << "answered inside the request";
        EXPECT_TRUE(pollUntil([&] { return answer.has_value(); }));
        return answer;
    }

    Environment env_;
    fs::path dir_;
    size_t files_ = 0;
};

// A zombie counts as gone: whoever reaps it, the dialog has ended.
bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

} // namespace

TEST_F(LinuxServices, KdialogStandsInForAMissingZenityWithoutTheHostsLibraryPath) {
    env_.set("LD_LIBRARY_PATH", "/host/bundled/libs");
    env_.set("PATH", ("relative:" + (dir_ / "bin").string() + ":/nonexistent").c_str());
    program("kdialog", "echo 'Gtk-WARNING: noise for the host log' >&2\n"
                       "printf '%s\\n' \"$@\" > $out/args\n"
                       "echo \"lib=$LD_LIBRARY_PATH\" > $out/env\n"
                       "echo \"stdin=$(cat)\" >> $out/env\n"
                       "echo /songs/a.pat; echo /songs/b.pat");
    FileDialogRequest r;
    r.title = "Load";
    r.initialFolder = "/songs";
    r.filters = {{"Patterns", {"pat"}}};
    // The program's complaints stay out of the host's log.
    const int stderrCopy = dup(2);
    const int log = open(path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log, 2);
    close(log);
    const auto files = choose(r);
    dup2(stderrCopy, 2);
    close(stderrCopy);
    EXPECT_EQ(files, (Args{"/songs/a.pat"})); // one file asked for
    EXPECT_EQ(read("stderr"), "");
    EXPECT_EQ(read("args"), "--title\nLoad\n--getopenfilename\n/songs/\n*.pat *.PAT|Patterns\n");
    EXPECT_EQ(read("env"), "lib=\nstdin=\n");
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
    struct sigaction ignore {}, old{}, oldPipe{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &old);
    sigaction(SIGPIPE, &ignore, &oldPipe);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    std::ofstream(path("status")) << 0;
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kYes);
    EXPECT_EQ(ask(MessageKind::kOk), MessageAnswer::kOk);
    std::ofstream(path("status")) << 1;
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNo);
    EXPECT_EQ(choose({}), Args{});
    sigaction(SIGCHLD, &old, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    std::ofstream(path("status")) << 5;
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNo);
    EXPECT_EQ(read("kinds"), "--question\n--info\n--question\n--file-selection\n--question\n");
    const std::string recorded = read("signals");
    EXPECT_EQ(std::count(recorded.begin(), recorded.end(), '\n'), 10);
    std::istringstream signals(recorded);
    // Signals 1 to 31 (the C library keeps the real-time ones above for itself).
    for (std::string line; std::getline(signals, line);)
        EXPECT_EQ(std::stoull(line.substr(line.find('\t') + 1), nullptr, 16) & 0x7fffffffu, 0u) << line;
}

TEST_F(LinuxServices, NoDisplayOrNoDialogProgramIsACancel) {
    program("zenity", "echo /never.pat");
    env_.set("DISPLAY", nullptr);
    EXPECT_EQ(choose({}), Args{});
    EXPECT_EQ(ask(MessageKind::kYesNo), MessageAnswer::kNotShown);
    env_.set("DISPLAY", ":1");
    fs::remove(dir_ / "bin" / "zenity");
    EXPECT_EQ(choose({}), Args{});
    EXPECT_EQ(ask(MessageKind::kOk), MessageAnswer::kNotShown);
}

TEST_F(LinuxServices, ClosingAWindowKillsItsDialogsAndDropsTheirAnswers) {
    // Each stand-in notes its pid and waits for a file named after its title.
    program("zenity", "t=$(echo \"$@\" | sed 's/.*--title=\\([a-z]*\\).*/\\1/')\n"
                      "echo $$ >> $out/pid.$t\n"
                      "while [ ! -e $out/go.$t ]; do sleep 0.01; done\n"
                      "echo /chosen.$t");
    int windowA = 0, windowB = 0;
    std::vector<std::string> heard;
    FileDialogRequest a;
    a.title = "a";
    a.owner = &windowA;
    FileDialogRequest b = a;
    b.title = "b";
    b.owner = &windowB;
    services().chooseFile(a, [&](const Args& f) { heard.push_back("file a " + (f.empty() ? "-" : f[0])); });
    services().chooseFile(b, [&](const Args& f) { heard.push_back("file b " + (f.empty() ? "-" : f[0])); });
    // A question runs through a shell: its dialog is a grandchild.
    services().showMessage({MessageKind::kYesNo, "a", "?", &windowA}, [&](MessageAnswer) { heard.push_back("ask a"); });
    ASSERT_TRUE(pollUntil([&] { return fs::exists(path("pid.a")) && fs::exists(path("pid.b")); }));
    ASSERT_TRUE(pollUntil([&] { return read("pid.a").find('\n') != read("pid.a").rfind('\n'); }))
        << "both dialogs of window a started";
    std::vector<pid_t> pidsA;
    std::istringstream lines(read("pid.a"));
    for (pid_t p; lines >> p;) pidsA.push_back(p);

    services().cancelDialogs(&windowA);
    for (pid_t p : pidsA) EXPECT_TRUE(pollUntil([&] { return !alive(p); })) << p;
    std::ofstream(path("go.a")).put('x'); // too late: nobody may hear it
    std::ofstream(path("go.b")).put('x');
    EXPECT_TRUE(pollUntil([&] { return !heard.empty(); }));
    for (int i = 0; i < 20; ++i) services().poll();
    EXPECT_EQ(heard, (std::vector<std::string>{"file b /chosen.b"}));
}

TEST_F(LinuxServices, SaveNameWithoutExtensionIsAskedAboutWhenTheFullNameExists) {
    program("zenity", "case \"$1\" in --file-selection) echo $out/song;; *) echo \"$@\" >> $out/asked; "
                      "exit $(cat $out/status);; esac");
    FileDialogRequest r;
    r.kind = FileDialogKind::kSave;
    r.title = "Save";
    r.defaultExtension = "pat";
    EXPECT_EQ(choose(r), (Args{path("song.pat")})); // new name: nothing to ask
    EXPECT_FALSE(fs::exists(path("asked")));

    std::ofstream(path("song.pat")) << "old";
    std::ofstream(path("status")) << 1;
    EXPECT_EQ(choose(r), Args{});
    EXPECT_EQ(read("asked"), "--question --title=Save --text=A file named \"song.pat\" already exists.\n"
                             "Do you want to replace it? --no-markup\n");
    std::ofstream(path("status")) << 0;
    EXPECT_EQ(choose(r), (Args{path("song.pat")}));
    EXPECT_EQ(read("song.pat"), "old");
}

TEST_F(LinuxServices, OpenerGetsWebPagesAndExistingFilesVerbatim) {
    program("xdg-open", "printf '%s\\n' \"$@\" >> $out/opened");
    const std::string url = "https://example.com/checkUpdate.php?version=KELO.9.2.3&x='$(touch /tmp/no)' \"q\"";
    EXPECT_TRUE(services().openUrl(url));
    EXPECT_FALSE(services().openUrl("file:///etc/passwd"));
    EXPECT_FALSE(services().openUrl("/usr/bin/xterm"));
    std::ofstream(path("Config.ini")) << "x";
    EXPECT_TRUE(services().openInTextEditor(path("Config.ini")));
    EXPECT_FALSE(services().openInTextEditor(path("missing.ini")));
    EXPECT_FALSE(services().openInTextEditor("Config.ini"));
    // Both run in the background, in either order.
    const std::string one = url + "\n" + path("Config.ini") + "\n", other = path("Config.ini") + "\n" + url + "\n";
    EXPECT_TRUE(pollUntil([&] { return read("opened") == one || read("opened") == other; })) << read("opened");
    fs::remove(dir_ / "bin" / "xdg-open");
    EXPECT_FALSE(services().openUrl(url));
}

#endif
