// The building blocks of safe output, for every tool: each file is created exclusively under a
// unique temporary name in its target's folder (or unnamed where the file system allows), written
// completely and flushed to disk before it gets its name, never through a link; the folder is
// flushed after the rename; an existing file is replaced only when asked to; whatever fails
// leaves the folder as it was. This file's .cpp is the only place that creates temporary output
// files or folders; folder_files.h, staged_folder.h and output_file.h build on it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>

namespace toolkit {

// A file descriptor closed when it goes out of scope (a flock on it goes with it).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    int get() const { return fd_; }
    // Takes ownership of fd, closing the one held before.
    void reset(int fd);
    // Closes now; false when the close reported an error (a write that did not reach the disk).
    bool close();

private:
    int fd_;
};

// The length of the random part of a temporary name.
constexpr int kTokenLength = 12;

// How often a fresh random name is tried before giving up.
constexpr int kNameAttempts = 100;

// What marks a temporary name: ".NAME" + kTempMark + token.
inline const std::string kTempMark = ".tmp-";

// length random letters and digits, different in every run.
std::string randomToken(int length = kTokenLength);

// Takes the folder's lock (flock on dirFd), waiting at most waitSeconds while another run holds
// it. Returns 0 or the errno of the failure (EWOULDBLOCK: still held by another run).
int lockFolder(int dirFd, double waitSeconds);

// Creates name (relative to the folder dirFd, or a path with AT_FDCWD) exclusively for writing:
// never an existing file, never through a link. The descriptor, or -1 with errno set.
int createExclusive(int dirFd, const std::string& name);

// Opens an unnamed file in folder for writing (O_TMPFILE). The descriptor, or -1 with errno set
// (EOPNOTSUPP, EISDIR or EINVAL where the file system has no unnamed files).
int createUnnamed(const std::string& folder);

// Creates a folder named prefix + a random token inside parent, exclusively. Its path, or ""
// with errno set (EEXIST when every name tried was taken).
std::string createExclusiveFolder(const std::string& parent, const std::string& prefix);

// Writes size bytes to fd, retrying after signals.
bool writeAll(int fd, const void* data, std::size_t size);

// Flushes the folder's entries to disk.
bool syncFolder(const std::string& folder);

// Renames from to to (both relative to their folder descriptors, or paths with AT_FDCWD),
// failing with EEXIST when to exists.
int renameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to);

// The folder part of path, "." when it has none.
std::string folderOf(const std::string& path);

// The part of path after its last slash.
std::string baseOf(const std::string& path);

// Creates the folder dir with any missing parents; created receives the topmost folder this
// call made ("" when the folder existed). A folder another run makes meanwhile is taken as it
// is. False with a one-line error that names the folder.
bool ensureFolder(const std::string& dir, std::string& created, std::string& error);

// Removes the folders ensureFolder made, from dir up to top, where they are empty.
void removeCreated(const std::string& dir, const std::string& top);

// strerror of code, by default of the last failure.
std::string errnoText(int code = errno);

}  // namespace toolkit
