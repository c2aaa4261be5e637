// Output files that appear all at once or not at all: unnamed or exclusively named temporary
// files, named in one commit that puts the old files back when any step fails; devices and FIFOs
// written as streams.
#include "toolkit/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_EXCHANGE (glibc 2.28 and later)
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "toolkit/shown_name.h"

namespace toolkit {

namespace {

constexpr std::size_t kTempRandomChars = 6;
constexpr int kLeftoverAgeS = 2;  // younger files may be a live run's, not yet locked
constexpr double kCommitLockWaitS = 10.0;
constexpr auto kFifoReaderWait = std::chrono::seconds(2);

std::string quotedName(const std::string& path) {
    return "'" + shownName(path) + "'";
}

// A fresh temporary name of writer in folder (not created).
std::string randomTempName(const std::string& folder, const OutputWriter& writer) {
    return folder + "/" + writer.tempPrefix + randomToken(kTempRandomChars);
}

// Takes the lock that tells removeLeftovers a live run holds the file.
void lockAsLive(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Locks are advisory: without one, the age rule still protects a young file.
    }
}

// The name of an open file for linkat.
std::string procPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N names, or -1.
int inheritedDescriptor(const std::string& path) {
    if (path == "/dev/stdout") {
        return 1;
    }
    if (path == "/dev/stderr") {
        return 2;
    }
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) != 0 || path.size() == length ||
            path.size() > length + 6 ||
            path.find_first_not_of("0123456789", length) != std::string::npos) {
            continue;
        }
        return std::stoi(path.substr(length));
    }
    return -1;
}

}  // namespace

TargetKind targetKind(const std::string& path) {
    const int inherited = inheritedDescriptor(path);
    if (inherited >= 0) {
        // Written where the descriptor already points, whatever it is.
        return ::fcntl(inherited, F_GETFD) >= 0 ? TargetKind::kStream : TargetKind::kUnreachable;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? TargetKind::kMissing : TargetKind::kUnreachable;
    }
    if (S_ISLNK(info.st_mode)) {
        struct stat followed {};
        const bool stream = ::stat(path.c_str(), &followed) == 0 &&
                            (S_ISCHR(followed.st_mode) || S_ISFIFO(followed.st_mode));
        return stream ? TargetKind::kStream : TargetKind::kLink;
    }
    if (S_ISREG(info.st_mode)) {
        return TargetKind::kRegular;
    }
    if (S_ISDIR(info.st_mode)) {
        return TargetKind::kFolder;
    }
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) {
        return TargetKind::kStream;
    }
    return TargetKind::kOther;
}

std::string targetProblem(const std::string& path, bool replace, const OutputWriter& writer) {
    switch (targetKind(path)) {
        case TargetKind::kMissing:
        case TargetKind::kStream:
            return "";
        case TargetKind::kRegular:
            return replace ? "" : quotedName(path) + " already exists; add --force to replace it";
        case TargetKind::kLink:
            return quotedName(path) + " is a link, and " + writer.program +
                   " never writes through a link; give the file's own name";
        case TargetKind::kFolder:
            return quotedName(path) + " is a folder; give a file name";
        case TargetKind::kOther:
            return quotedName(path) +
                   " is neither a regular file nor a device or FIFO; it is left alone";
        case TargetKind::kUnreachable: {
            struct stat info {};
            const int saved = ::lstat(path.c_str(), &info) != 0 ? errno : EBADF;
            return "cannot reach " + quotedName(path) + ": " + std::strerror(saved);
        }
    }
    return "";
}

bool samePath(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    const bool hasA = ::stat(a.c_str(), &sa) == 0;
    const bool hasB = ::stat(b.c_str(), &sb) == 0;
    if (hasA || hasB) {
        return hasA && hasB && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    // Neither exists: the same name in the same folder.
    const auto canonical = [](const std::string& path) {
        char* folder = ::realpath(folderOf(path).c_str(), nullptr);
        if (folder == nullptr) {
            return path;
        }
        std::string out = std::string(folder) + "/" + baseOf(path);
        std::free(folder);
        return out;
    };
    return canonical(a) == canonical(b);
}

int removeLeftovers(const std::string& folder, const OutputWriter& writer) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const std::string& prefix = writer.tempPrefix;
    const time_t oldEnough = ::time(nullptr) - kLeftoverAgeS;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kTempRandomChars ||
            name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        FileDescriptor fd(::openat(::dirfd(dir), name.c_str(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat info {};
        // A live run holds its temporary files locked; the lock goes with the process.
        if (fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_mtime <= oldEnough && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

OutputFile::~OutputFile() {
    fd_.close();
    if (!temp_.empty() && !placed_) {
        ::unlink(temp_.c_str());
    }
}

std::string OutputFile::quotedTarget() const {
    return quotedName(target_);
}

bool OutputFile::open(const std::string& target, bool replace, std::string& error,
                      bool allowUnnamed) {
    target_ = target;
    replace_ = replace;
    folder_ = folderOf(target);
    error = targetProblem(target, replace, writer_);
    if (!error.empty()) {
        return false;
    }
    const int inherited = inheritedDescriptor(target);
    if (inherited >= 0) {
        fd_.reset(::fcntl(inherited, F_DUPFD_CLOEXEC, 3));
        if (fd_.get() < 0) {
            error = "cannot write to " + quotedTarget() + ": " + errnoText();
            return false;
        }
        stream_ = true;
        return true;
    }
    if (targetKind(target) == TargetKind::kStream) {
        // Without O_NONBLOCK, opening a FIFO nobody reads would wait for ever; a reader started
        // just before this program (cat FIFO &) gets a moment to open its end first.
        const auto deadline = std::chrono::steady_clock::now() + kFifoReaderWait;
        int failure = 0;
        for (;;) {
            fd_.reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            failure = errno;
            if (fd_.get() >= 0 || failure != ENXIO ||
                std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        struct stat info {};
        if (fd_.get() < 0) {
            error = failure == ENXIO ? "no program reads the FIFO " + quotedTarget()
                                     : "cannot open " + quotedTarget() + ": " + errnoText(failure);
            return false;
        }
        if (::fstat(fd_.get(), &info) != 0 || !(S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))) {
            error = quotedTarget() + " changed while it was opened; try again";
            return false;
        }
        ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK);
        stream_ = true;
        return true;
    }
    const auto cannotCreate = [&] {
        error = "cannot create a file in the folder " + quotedName(folder_) + " for " +
                quotedTarget() + ": " + errnoText();
        return false;
    };
    // An unnamed file gets its name through /proc/self/fd, so it needs /proc.
    if (allowUnnamed && ::access("/proc/self/fd", X_OK) == 0) {
        fd_.reset(createUnnamed(folder_));
        if (fd_.get() >= 0) {
            unnamed_ = true;
            lockAsLive(fd_.get());
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return cannotCreate();
        }
    }
    for (int attempt = 0; attempt < kNameAttempts && fd_.get() < 0; ++attempt) {
        const std::string name = randomTempName(folder_, writer_);
        fd_.reset(createExclusive(AT_FDCWD, name));
        if (fd_.get() >= 0) {
            temp_ = name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (fd_.get() < 0) {
        return cannotCreate();
    }
    lockAsLive(fd_.get());
    return true;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    if (!writeAll(fd_.get(), data, size)) {
        error = "cannot write " + quotedTarget() + ": " + errnoText();
        return false;
    }
    return true;
}

// Gives an unnamed temporary file a temporary name in its folder.
bool OutputFile::nameTemporary(std::string& error) {
    if (!unnamed_) {
        return true;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = randomTempName(folder_, writer_);
        if (::linkat(AT_FDCWD, procPath(fd_.get()).c_str(), AT_FDCWD, name.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            temp_ = name;
            unnamed_ = false;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = "cannot name a file in the folder " + quotedName(folder_) + " for " + quotedTarget() +
            ": " + errnoText();
    return false;
}

// Puts this file under its target's name; an existing file is kept aside as backup_.
bool OutputFile::putInPlace(std::string& error) {
    const TargetKind kind = targetKind(target_);
    if (kind == TargetKind::kMissing) {
        const int status = unnamed_ ? ::linkat(AT_FDCWD, procPath(fd_.get()).c_str(), AT_FDCWD,
                                               target_.c_str(), AT_SYMLINK_FOLLOW)
                                    : renameNoReplace(AT_FDCWD, temp_, AT_FDCWD, target_);
        if (status != 0) {
            error = errno == EEXIST
                        ? quotedTarget() + " appeared during " + writer_.work + "; it was kept"
                        : "cannot name the file " + quotedTarget() + ": " + errnoText();
            return false;
        }
        if (!unnamed_) {
            temp_.clear();
        }
        placed_ = true;
        return true;
    }
    if (kind != TargetKind::kRegular || !replace_) {
        error = targetProblem(target_, replace_, writer_);
        if (error.empty()) {
            error = quotedTarget() + " changed during " + writer_.work + "; it was kept";
        }
        return false;
    }
    if (!nameTemporary(error)) {
        return false;
    }
    // Swapping keeps the old file, under the temporary name, until the commit is done.
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
        backup_ = temp_;
        temp_.clear();
        const int old = ::open(backup_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (old >= 0) {
            lockAsLive(old);
            fd_.reset(old);
        }
        placed_ = true;
        return true;
    }
    if (errno != EINVAL) {
        error = "cannot replace " + quotedTarget() + ": " + errnoText();
        return false;
    }
    // No swapping on this file system: keep a second link to the old file instead.
    for (int attempt = 0; attempt < kNameAttempts && backup_.empty(); ++attempt) {
        const std::string name = randomTempName(folder_, writer_);
        if (::link(target_.c_str(), name.c_str()) == 0) {
            backup_ = name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (backup_.empty()) {
        error = "cannot keep the old " + quotedTarget() + " while replacing it: " + errnoText();
        return false;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + quotedTarget() + ": " + errnoText();
        ::unlink(backup_.c_str());
        backup_.clear();
        return false;
    }
    temp_.clear();
    placed_ = true;
    return true;
}

// Takes this file out of its target's name again, putting the old file back.
void OutputFile::undo() {
    if (!placed_) {
        return;
    }
    if (!backup_.empty()) {
        ::rename(backup_.c_str(), target_.c_str());
        backup_.clear();
    } else {
        ::unlink(target_.c_str());
    }
    placed_ = false;
}

bool commitAll(const std::vector<OutputFile*>& files, std::string& error) {
    std::vector<std::string> folders;
    for (OutputFile* file : files) {
        if (file->stream_) {
            continue;
        }
        if (::fsync(file->fd_.get()) != 0) {
            error = "cannot write " + file->quotedTarget() + ": " + errnoText();
            return false;
        }
        if (std::find(folders.begin(), folders.end(), file->folder_) == folders.end()) {
            folders.push_back(file->folder_);
        }
    }
    // Other runs writing into these folders take turns with this commit. A folder that cannot
    // be opened for reading cannot be locked; locks are advisory, so it is written unlocked.
    std::vector<std::unique_ptr<FileDescriptor>> locks;
    for (const std::string& folder : folders) {
        locks.push_back(std::make_unique<FileDescriptor>(
            ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
        if (locks.back()->get() >= 0) {
            const int failure = lockFolder(locks.back()->get(), kCommitLockWaitS);
            if (failure == EWOULDBLOCK || failure == EINTR) {
                error =
                    "another run is still writing into " + quotedName(folder) + "; try again later";
                return false;
            }
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i]->stream_ || files[i]->putInPlace(error)) {
            continue;
        }
        for (size_t j = i; j-- > 0;) {
            files[j]->undo();
        }
        return false;
    }
    for (OutputFile* file : files) {
        if (!file->backup_.empty()) {
            ::unlink(file->backup_.c_str());
            file->backup_.clear();
        }
    }
    for (const auto& lock : locks) {
        if (lock->get() >= 0) {
            ::fsync(lock->get());
        }
    }
    return true;
}

}  // namespace toolkit
