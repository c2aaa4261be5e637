// Output files committed all at once: unnamed temporary files linked in at the end (named ones
// where the file system has no unnamed ones), replaced files kept until every new one is in place.
#include "tessarecord/output_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "toolkit/shown_name.h"

namespace {

constexpr const char* kTempPrefix = ".tessarecord-";
constexpr size_t kTempRandomChars = 6;
constexpr int kLeftoverAgeS = 2;  // younger files may be a live run's, not yet locked
constexpr int kNameAttempts = 100;

std::string quoted(const std::string& path) {
    return "'" + shownName(path) + "'";
}

// The folder part of path, "." when it has none.
std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A fresh temporary name in folder (not created).
std::string randomTempName(const std::string& folder) {
    static std::mt19937 generator{std::random_device{}()};
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = folder + "/" + kTempPrefix;
    for (size_t i = 0; i < kTempRandomChars; ++i) {
        name += kChars[generator() % (sizeof kChars - 1)];
    }
    return name;
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

// Renames from to to, failing when to exists.
int renameNoReplace(const std::string& from, const std::string& to) {
    int status = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (status != 0 && errno == EINVAL) {
        // A file system without renameat2 flags: link() refuses an existing name too.
        status = ::link(from.c_str(), to.c_str());
        if (status == 0) {
            ::unlink(from.c_str());
        }
    }
    return status;
}

void fsyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

std::string targetProblem(const std::string& path, bool replace) {
    switch (targetKind(path)) {
        case TargetKind::kMissing:
        case TargetKind::kStream:
            return "";
        case TargetKind::kRegular:
            return replace ? "" : quoted(path) + " already exists; add --force to replace it";
        case TargetKind::kLink:
            return quoted(path) +
                   " is a link, and tessarecord never writes through a link; give the file's own "
                   "name";
        case TargetKind::kFolder:
            return quoted(path) + " is a folder; give a file name";
        case TargetKind::kOther:
            return quoted(path) +
                   " is neither a regular file nor a device or FIFO; it is left alone";
        case TargetKind::kUnreachable: {
            struct stat info {};
            const int saved = ::lstat(path.c_str(), &info) != 0 ? errno : EBADF;
            return "cannot reach " + quoted(path) + ": " + std::strerror(saved);
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

int removeLeftovers(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const size_t prefixLength = std::strlen(kTempPrefix);
    const time_t oldEnough = ::time(nullptr) - kLeftoverAgeS;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefixLength + kTempRandomChars ||
            name.compare(0, prefixLength, kTempPrefix) != 0) {
            continue;
        }
        const int fd = ::openat(::dirfd(dir), name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        // A live run holds its temporary files locked; the lock goes with the process.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime <= oldEnough &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temp_.empty() && !placed_) {
        ::unlink(temp_.c_str());
    }
}

bool OutputFile::open(const std::string& target, bool replace, std::string& error,
                      bool allowUnnamed) {
    target_ = target;
    replace_ = replace;
    folder_ = folderOf(target);
    error = targetProblem(target, replace);
    if (!error.empty()) {
        return false;
    }
    const int inherited = inheritedDescriptor(target);
    if (inherited >= 0) {
        fd_ = ::fcntl(inherited, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0) {
            error = "cannot write to " + quoted(target) + ": " + std::strerror(errno);
            return false;
        }
        stream_ = true;
        return true;
    }
    if (targetKind(target) == TargetKind::kStream) {
        // Without O_NONBLOCK, opening a FIFO nobody reads would wait for ever.
        fd_ = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat info {};
        if (fd_ < 0) {
            error = errno == ENXIO ? "no program reads the FIFO " + quoted(target)
                                   : "cannot open " + quoted(target) + ": " + std::strerror(errno);
            return false;
        }
        if (::fstat(fd_, &info) != 0 || !(S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))) {
            error = quoted(target) + " changed while it was opened; try again";
            return false;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        stream_ = true;
        return true;
    }
    // An unnamed file gets its name through /proc/self/fd, so it needs /proc.
    if (allowUnnamed && ::access("/proc/self/fd", X_OK) == 0) {
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
            lockAsLive(fd_);
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error = "cannot create a file in the folder " + quoted(folder_) + " for " +
                    quoted(target) + ": " + std::strerror(errno);
            return false;
        }
    }
    std::string pattern = folder_ + "/" + kTempPrefix + "XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL: it never follows a link nor reuses a file.
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot create a file in the folder " + quoted(folder_) + " for " + quoted(target) +
                ": " + std::strerror(errno);
        return false;
    }
    lockAsLive(fd_);
    temp_ = pattern;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = "cannot write " + quoted(target_) + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Gives an unnamed temporary file a temporary name in its folder.
bool OutputFile::nameTemporary(std::string& error) {
    if (!unnamed_) {
        return true;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = randomTempName(folder_);
        if (::linkat(AT_FDCWD, procPath(fd_).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
            temp_ = name;
            unnamed_ = false;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = "cannot name a file in the folder " + quoted(folder_) + " for " + quoted(target_) +
            ": " + std::strerror(errno);
    return false;
}

// Puts this file under its target's name; an existing file is kept aside as backup_.
bool OutputFile::putInPlace(std::string& error) {
    const TargetKind kind = targetKind(target_);
    if (kind == TargetKind::kMissing) {
        const int status = unnamed_ ? ::linkat(AT_FDCWD, procPath(fd_).c_str(), AT_FDCWD,
                                               target_.c_str(), AT_SYMLINK_FOLLOW)
                                    : renameNoReplace(temp_, target_);
        if (status != 0) {
            error = errno == EEXIST
                        ? quoted(target_) + " appeared during the recording; it was kept"
                        : "cannot name the file " + quoted(target_) + ": " + std::strerror(errno);
            return false;
        }
        if (!unnamed_) {
            temp_.clear();
        }
        placed_ = true;
        return true;
    }
    if (kind != TargetKind::kRegular || !replace_) {
        error = targetProblem(target_, replace_);
        if (error.empty()) {
            error = quoted(target_) + " changed during the recording; it was kept";
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
            ::close(fd_);
            fd_ = old;
        }
        placed_ = true;
        return true;
    }
    if (errno != EINVAL) {
        error = "cannot replace " + quoted(target_) + ": " + std::strerror(errno);
        return false;
    }
    // No swapping on this file system: keep a second link to the old file instead.
    for (int attempt = 0; attempt < kNameAttempts && backup_.empty(); ++attempt) {
        const std::string name = randomTempName(folder_);
        if (::link(target_.c_str(), name.c_str()) == 0) {
            backup_ = name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (backup_.empty()) {
        error = "cannot keep the old " + quoted(target_) +
                " while replacing it: " + std::strerror(errno);
        return false;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + quoted(target_) + ": " + std::strerror(errno);
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
    for (OutputFile* file : files) {
        if (!file->stream_ && ::fsync(file->fd_) != 0) {
            error = "cannot write " + quoted(file->target_) + ": " + std::strerror(errno);
            return false;
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
    std::vector<std::string> folders;
    for (OutputFile* file : files) {
        if (!file->backup_.empty()) {
            ::unlink(file->backup_.c_str());
            file->backup_.clear();
        }
        if (!file->stream_ && (folders.empty() || folders.back() != file->folder_)) {
            folders.push_back(file->folder_);
        }
    }
    for (const std::string& folder : folders) {
        fsyncFolder(folder);
    }
    return true;
}
