#include "platform/FileReplacement.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelo::platform {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> scratchCounter{0};

// A link is replaced through: the file it names gets the new contents, the link stays.
std::string followLinks(const std::string& path) {
    fs::path p(path);
    std::error_code ec;
    for (int hops = 0; hops < 16 && fs::is_symlink(p, ec); ++hops) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p.string();
}

#ifdef _WIN32
int processId() { return _getpid(); }

int createExclusive(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

// Why the target cannot be replaced, or empty when it can.
std::string targetProblem(const std::string& target, int /*fd*/) {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
    if (attributes & FILE_ATTRIBUTE_READONLY) return "it is read-only";
    return {};
}

bool syncToDisk(std::FILE* f) { return _commit(_fileno(f)) == 0; }

bool moveOver(const std::string& from, const std::string& to, std::string& why) {
    // A reader that has the target open at this moment (another instance reading its map)
    // makes the move fail for a moment; it is retried for a short while.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD code = GetLastError();
        if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || attempt >= 50) {
            why = "cannot move the new file into place (error " + std::to_string(code) + ")";
            return false;
        }
        Sleep(10);
    }
}

void syncFolder(const std::string&) {}

bool readWhole(const std::string& path, std::string& out, std::size_t maxBytes) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0;; ++attempt) {
        h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD code = GetLastError();
        if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || attempt >= 50) return false;
        Sleep(10);
    }
    out.clear();
    char buf[4096];
    bool ok = true;
    while (out.size() < maxBytes) {
        const DWORD want = DWORD(std::min<std::size_t>(sizeof buf, maxBytes - out.size()));
        DWORD got = 0;
        if (!ReadFile(h, buf, want, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        out.append(buf, got);
    }
    CloseHandle(h);
    return ok;
}
#else
int processId() { return int(getpid()); }

int createExclusive(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

std::string targetProblem(const std::string& target, int fd) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    // Writing in place used to fail on a read-only file; a rename would quietly replace it.
    if (access(target.c_str(), W_OK) != 0) return "it is read-only";
    // The new file keeps the permissions the user gave the old one.
    if (fd >= 0) (void)fchmod(fd, st.st_mode & 07777);
    return {};
}

bool syncToDisk(std::FILE* f) { return fsync(fileno(f)) == 0; }

bool moveOver(const std::string& from, const std::string& to, std::string& why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    why = std::string("cannot move the new file into place: ") + std::strerror(errno);
    return false;
}

bool readWhole(const std::string& path, std::string& out, std::size_t maxBytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    char buf[4096];
    while (out.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
        const std::size_t got = std::fread(buf, 1, want, f);
        if (got == 0) break;
        out.append(buf, got);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// The rename itself reaches the disk only with its folder.
void syncFolder(const std::string& target) {
    const std::string folder = fs::path(target).parent_path().string();
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}
#endif

} // namespace

FileReplacement::~FileReplacement() { abandon(); }

bool FileReplacement::fail(const std::string& why) {
    error_ = "cannot write " + target_ + ": " + why;
    failed_ = true;
    return false;
}

bool FileReplacement::begin(const std::string& target) {
    abandon();
    error_.clear();
    failed_ = false;
    target_ = followLinks(target);
    if (target_.empty()) return fail("no file name");
    if (const std::string problem = targetProblem(target_, -1); !problem.empty()) return fail(problem);

    // Unique per process and call: two writers of the same target never share a scratch file.
    int fd = -1;
    std::string name;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = target_ + ".part-" + std::to_string(processId()) + "-" + std::to_string(scratchCounter++);
        fd = createExclusive(name);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(std::strerror(errno));
    (void)targetProblem(target_, fd);
#ifdef _WIN32
    file_ = _fdopen(fd, "wb");
#else
    file_ = fdopen(fd, "wb");
#endif
    if (!file_) {
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
        std::remove(name.c_str());
        return fail("cannot open the scratch file");
    }
    scratch_ = name;
    return true;
}

bool FileReplacement::write(const void* data, std::size_t size) {
    if (!file_ || failed_) return false;
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) return fail(std::strerror(errno));
    return true;
}

bool FileReplacement::commit() {
    if (!file_) {
        if (error_.empty()) error_ = "cannot write " + target_ + ": nothing to commit";
        abandon();
        return false;
    }
    bool ok = !failed_;
    if (ok && std::fflush(file_) != 0) ok = fail(std::strerror(errno));
    if (ok && !syncToDisk(file_)) ok = fail(std::strerror(errno));
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (ok && !closed) ok = fail(std::strerror(errno));
    std::string why;
    if (ok && !moveOver(scratch_, target_, why)) ok = fail(why);
    if (!ok) {
        abandon();
        return false;
    }
    scratch_.clear();
    syncFolder(target_);
    return true;
}

void FileReplacement::abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!scratch_.empty()) std::remove(scratch_.c_str());
    scratch_.clear();
}

bool readFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    std::error_code ec;
    // Some systems open a folder for reading and then read nothing from it.
    const bool ok = !fs::is_directory(fs::path(path), ec) && readWhole(path, out, maxBytes);
    // Half a file read as a whole one would look like a file that says less.
    if (!ok) out.clear();
    return ok;
}

ReplaceResult replaceFile(const std::string& path, std::string_view bytes) {
    FileReplacement out;
    if (!out.begin(path)) return ReplaceResult::NotCreated;
    if (!out.write(bytes.data(), bytes.size()) || !out.commit()) return ReplaceResult::Failed;
    return ReplaceResult::Written;
}

} // namespace kelo::platform
