// Linux services: dialogs are zenity (or kdialog) processes, started with posix_spawn and
// answered through their standard output, which poll() reads without blocking from the
// editor's idle. Only the output counts, never the exit status: a host that ignores SIGCHLD
// has its children reaped before we could ask for it. Each dialog runs in its own process
// group, so closing it also ends the program a shell wrapper started.
//
// Everything here runs on the UI thread.
#include "platform/Services.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <utility>

#include "platform/DialogFormats.h"

extern char** environ;

namespace kelo::platform {

namespace detail {
uint32_t osTickCount(); // platform_linux.cpp
}

namespace {

using dialogs::Program;

// Enough for thousands of chosen paths; more is no answer we can trust.
constexpr size_t kMaxOutput = 1u << 20;

std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t end = dirs.find(':', pos);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(pos, end - pos);
        pos = end + 1;
        if (dir.empty() || dir[0] != '/') continue; // never run programs relative to the host's folder
        const std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool haveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// A host's LD_LIBRARY_PATH points at its own bundled libraries, which break the system's
// programs (an older GTK or glib loaded into zenity).
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0) env.emplace_back(*e);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Starts argv[0] (a full path) in a new process group with default signal handling, stdin
// and stderr on /dev/null and stdout on a pipe whose reading end comes back in outputFd
// (non-blocking), or on /dev/null when outputFd is null. None of the host's other files
// are passed on.
bool spawn(std::vector<std::string> argv, pid_t& pid, int* outputFd) {
    int fds[2] = {-1, -1};
    if (outputFd && pipe2(fds, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd)
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    sigset_t all, none;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    sigemptyset(&none);
    // The host may ignore SIGCHLD or SIGPIPE and block signals in this thread; the shell that
    // waits for zenity must see its children end.
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> env = childEnvironment();
    std::vector<char*> argp = pointers(argv);
    std::vector<char*> envp = pointers(env);
    const int rc = posix_spawn(&pid, argp[0], &actions, &attr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);

    if (outputFd) close(fds[1]);
    if (rc != 0) {
        if (outputFd) close(fds[0]);
        return false;
    }
    if (outputFd) {
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        *outputFd = fds[0];
    }
    return true;
}

// True when the child is gone (reaped here, or by the system when SIGCHLD is ignored).
bool reap(pid_t pid) {
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r == 0) return false;
        if (errno != EINTR) return true; // ECHILD: nothing left to reap
    }
}

class LinuxServices final : public Services {
public:
    ~LinuxServices() override {
        for (Dialog& d : dialogs_) stop(d);
        reapFinished();
    }

    void chooseFile(const FileDialogRequest& request, FileDialogDone done) override {
        reapFinished();
        Program program;
        const std::string path = dialogProgram(program);
        const void* owner = request.owner;
        if (path.empty()) {
            answerLater(owner, [done = std::move(done)] { done({}); });
            return;
        }
        std::vector<std::string> argv{path};
        for (std::string& a : dialogs::fileDialogArgs(program, request)) argv.push_back(std::move(a));
        start(std::move(argv), owner, [this, request, done = std::move(done)](const std::string& output) mutable {
            fileAnswered(request, output, std::move(done));
        });
    }

    void showMessage(const MessageRequest& request, MessageDone done) override {
        reapFinished();
        Program program;
        const std::string path = dialogProgram(program);
        if (path.empty()) {
            answerLater(request.owner, [done = std::move(done)] { done(MessageAnswer::kNotShown); });
            return;
        }
        // Yes, or OK, is the program's success: the shell says so on the output.
        std::vector<std::string> argv{"/bin/sh", "-c", "\"$@\" && echo Y", "sh", path};
        for (std::string& a : dialogs::messageArgs(program, request)) argv.push_back(std::move(a));
        const bool question = request.kind == MessageKind::kYesNo;
        start(std::move(argv), request.owner, [question, done = std::move(done)](const std::string& output) {
            const bool yes = output.size() >= 2 && output.compare(output.size() - 2, 2, "Y\n") == 0;
            done(yes ? (question ? MessageAnswer::kYes : MessageAnswer::kOk)
                     : (question ? MessageAnswer::kNo : MessageAnswer::kNotShown));
        });
    }

    void poll() override {
        reapFinished();
        for (auto it = dialogs_.begin(); it != dialogs_.end();) {
            if (!drain(*it)) {
                ++it;
                continue;
            }
            close(it->fd);
            if (!reap(it->pid)) exited_.push_back(it->pid);
            std::string output = it->overflow ? std::string() : std::move(it->output);
            answerLater(it->owner, [answer = std::move(it->answer), output = std::move(output)]() mutable {
                answer(output);
            });
            it = dialogs_.erase(it);
        }
        // One at a time from the queue: an answer may close its window, which takes the
        // window's other answers off the queue. Dialogs asked for meanwhile answer next time.
        for (size_t due = ready_.size(); due > 0 && !ready_.empty(); --due) {
            std::function<void()> f = std::move(ready_.front().second);
            ready_.pop_front();
            f();
        }
    }

    void cancelDialogs(const void* owner) override {
        for (auto it = dialogs_.begin(); it != dialogs_.end();) {
            if (it->owner != owner) {
                ++it;
                continue;
            }
            stop(*it);
            it = dialogs_.erase(it);
        }
        for (auto it = ready_.begin(); it != ready_.end();)
            it = it->first == owner ? ready_.erase(it) : it + 1;
        reapFinished();
    }

    bool openUrl(const std::string& url) override {
        // Only web pages: the opener would start anything else it is given.
        if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return false;
        return launch(url);
    }

    bool openInTextEditor(const std::string& path) override {
        struct stat st;
        if (path.empty() || path[0] != '/' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
        return launch(path);
    }

    bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) override {
        entries.clear();
        DIR* dir = opendir(path.c_str());
        if (!dir) return false;
        for (;;) {
            errno = 0;
            const dirent* e = readdir(dir);
            if (!e) break;
            const char* name = e->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            bool folder = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                // lstat: a link to a folder is no folder, so walking a tree never loops.
                struct stat st;
                folder = fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            entries.push_back({name, folder});
        }
        const bool ok = errno == 0;
        closedir(dir);
        return ok;
    }

    uint32_t tickCount() override { return detail::osTickCount(); }

private:
    struct Dialog {
        pid_t pid = -1;
        int fd = -1;
        const void* owner = nullptr;
        std::string output;
        bool overflow = false;
        std::function<void(const std::string&)> answer;
    };

    static std::string dialogProgram(Program& program) {
        if (!haveDisplay()) return {};
        if (std::string p = findProgram("zenity"); !p.empty()) {
            program = Program::kZenity;
            return p;
        }
        program = Program::kKdialog;
        return findProgram("kdialog");
    }

    void answerLater(const void* owner, std::function<void()> f) { ready_.emplace_back(owner, std::move(f)); }

    void start(std::vector<std::string> argv, const void* owner, std::function<void(const std::string&)> answer) {
        Dialog d;
        d.owner = owner;
        if (!spawn(std::move(argv), d.pid, &d.fd)) {
            // As if the dialog had been closed at once.
            answerLater(owner, [answer = std::move(answer)] { answer(std::string()); });
            return;
        }
        d.answer = std::move(answer);
        dialogs_.push_back(std::move(d));
    }

    // Reads what is there; true at the end of the output.
    static bool drain(Dialog& d) {
        char buf[4096];
        for (;;) {
            const ssize_t n = read(d.fd, buf, sizeof buf);
            if (n > 0) {
                if (d.output.size() + size_t(n) > kMaxOutput) d.overflow = true;
                if (!d.overflow) d.output.append(buf, size_t(n));
                continue;
            }
            if (n == 0) return true;
            if (errno == EINTR) continue;
            return errno != EAGAIN && errno != EWOULDBLOCK;
        }
    }

    // Ends a dialog that is still showing, with everything its process group started.
    void stop(Dialog& d) {
        // Before its output ended, the group still holds its id and cannot belong to anybody
        // else; afterwards there is nothing to kill.
        if (!drain(d)) kill(-d.pid, SIGKILL);
        close(d.fd);
        d.fd = -1;
        // A killed process is gone within a few milliseconds; do not make a closing window wait
        // for longer than that.
        for (int i = 0; i < 20; ++i) {
            if (reap(d.pid)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        exited_.push_back(d.pid);
    }

    void reapFinished() {
        for (auto it = exited_.begin(); it != exited_.end();) it = reap(*it) ? exited_.erase(it) : it + 1;
    }

    void fileAnswered(const FileDialogRequest& request, const std::string& output, FileDialogDone done) {
        std::vector<std::string> files = dialogs::filesFromOutput(output, request);
        if (request.kind != FileDialogKind::kSave || files.empty()) {
            done(files);
            return;
        }
        // The dialog asked about replacing the name as typed; a name that became another one
        // with the default extension must be asked about again.
        FileDialogRequest typed = request;
        typed.defaultExtension.clear();
        const std::vector<std::string> asTyped = dialogs::filesFromOutput(output, typed);
        struct stat st;
        if (asTyped.empty() || asTyped[0] == files[0] || stat(files[0].c_str(), &st) != 0) {
            done(files);
            return;
        }
        const std::string name = files[0].substr(files[0].rfind('/') + 1);
        MessageRequest ask;
        ask.kind = MessageKind::kYesNo;
        ask.title = request.title;
        ask.text = "A file named \"" + name + "\" already exists.\nDo you want to replace it?";
        ask.owner = request.owner;
        showMessage(ask, [files, done = std::move(done)](MessageAnswer a) {
            done(a == MessageAnswer::kYes ? files : std::vector<std::string>());
        });
    }

    bool launch(const std::string& target) {
        reapFinished();
        const std::string opener = findProgram("xdg-open");
        if (opener.empty()) return false;
        // The opener may wait for the program it starts; the shell leaves it in the background
        // and ends at once, so nothing here waits for a browser.
        pid_t pid;
        if (!spawn({"/bin/sh", "-c", "\"$@\" &", "sh", opener, target}, pid, nullptr)) return false;
        exited_.push_back(pid);
        return true;
    }

    std::deque<Dialog> dialogs_;
    std::deque<std::pair<const void*, std::function<void()>>> ready_;
    std::vector<pid_t> exited_; // children that still need reaping
};

} // namespace

Services& systemServices() {
    static LinuxServices system;
    return system;
}

} // namespace kelo::platform
