#pragma once
// Writing a file whole or not at all. The new contents go to a scratch file of a unique name
// beside the target; only once they are written, flushed and synced does one rename put them
// in the target's place. A full disk, a quota, a crash or a second process writing the same
// file at the same moment therefore never leaves a target that is cut short: readers see the
// old file or the new one, nothing in between.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kelo::platform {

class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement(); // an uncommitted scratch file is deleted
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the scratch file for `target`. False, with error() saying why, when the target
    // is a folder or a read-only file, or when no file can be created beside it.
    bool begin(const std::string& target);
    // The scratch file, open for binary writing (null before begin and after commit/abandon).
    std::FILE* file() const { return file_; }
    const std::string& scratchPath() const { return scratch_; }
    // The path that commit() replaces: the target, or the file a symbolic link points at.
    const std::string& targetPath() const { return target_; }

    // Appends bytes; false once any write has failed (later writes are refused).
    bool write(const void* data, std::size_t size);
    // Flushes, syncs and closes the scratch file and moves it over the target. False, with the
    // target as it was and the scratch file gone, when any step (or an earlier write) failed.
    bool commit();
    // Closes and deletes the scratch file; the target is untouched.
    void abandon();

    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& why);

    std::string target_;
    std::string scratch_;
    std::string error_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

enum class ReplaceResult {
    Written,    // the target now holds exactly the bytes given
    NotCreated, // no scratch file could be created (folder missing, target read-only, ...)
    Failed,     // created, but writing or moving it into place failed; the target is unchanged
};

// The whole contents at once.
ReplaceResult replaceFile(const std::string& path, std::string_view bytes);

// Reads a whole file (at most `maxBytes`) into `out`; false when it is missing, a folder or
// unreadable. Windows refuses to open a file for the moment a writer moves a new one into its
// place, and refuses the move while a reader has it open: readers there share it for
// deletion and try again for a moment, so neither side takes the other for a missing file.
bool readFile(const std::string& path, std::string& out, std::size_t maxBytes);

} // namespace kelo::platform
