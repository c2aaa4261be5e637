// Safe output: exclusive temporary files and folders, renames that never replace by surprise,
// and the flushes that make a name appear only with complete contents.
#include "toolkit/safe_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE, RENAME_EXCHANGE (glibc 2.28 and later)
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <system_error>
#include <thread>

#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

namespace {

constexpr int kNameAttempts = 100;
const std::string kTempMark = ".tmp-";

std::string errnoText(int code = errno) {
    return std::strerror(code);
}

// Creates name in the folder dirFd exclusively for writing: never an existing file, never
// through a link. The descriptor, or -1 with errno set.
int createExclusive(int dirFd, const std::string& name) {
    return ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
}

// Writes size bytes to fd, retrying after signals.
bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Flushes the folder's entries to disk.
bool syncFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && ::fsync(dir.get()) == 0;
}

// Renames from to to (both relative to their folder descriptors, or paths with AT_FDCWD),
// failing with EEXIST when to exists.
int renameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to) {
    int status = ::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE);
    if (status != 0 && errno == EINVAL) {
        // A file system without renameat2 flags: link() refuses an existing name too.
        status = ::linkat(fromDir, from.c_str(), toDir, to.c_str(), 0);
        if (status == 0) {
            ::unlinkat(fromDir, from.c_str(), 0);
        }
    }
    return status;
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

// The folder, created with any missing parents; created receives the topmost folder this call
// made (empty when the folder existed).
bool ensureFolder(const fs::path& dir, fs::path& created, std::string& error) {
    std::error_code code;
    if (fs::is_directory(dir, code)) {
        return true;
    }
    if (fs::exists(fs::symlink_status(dir, code))) {
        error = "cannot write into " + shownName(dir.string()) + ": it is not a folder";
        return false;
    }
    fs::path top = dir;
    for (fs::path parent = dir.parent_path();
         !parent.empty() && parent != top && !fs::exists(fs::symlink_status(parent, code));
         parent = parent.parent_path()) {
        top = parent;
    }
    if (!fs::create_directories(dir, code)) {
        if (!code && fs::is_directory(dir, code)) {
            return true;  // another run made it meanwhile
        }
        error = "cannot create the folder " + shownName(dir.string()) + ": " + code.message();
        return false;
    }
    created = top;
    return true;
}

// Removes the folders ensureFolder made, from dir up to top, where they are empty.
void removeCreated(const fs::path& dir, const fs::path& top) {
    if (top.empty()) {
        return;
    }
    std::error_code code;
    for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
        if (!fs::remove(p, code) || p == top) {
            return;
        }
    }
}

}  // namespace

void FileDescriptor::reset(int fd) {
    close();
    fd_ = fd;
}

bool FileDescriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

std::string randomToken(int length) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 engine{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())
                                                               << 32};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
    std::string token(static_cast<std::size_t>(std::max(0, length)), 'x');
    for (char& c : token) {
        c = kChars[pick(engine)];
    }
    return token;
}

int lockFolder(int dirFd, double waitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(std::max(0.0, waitSeconds));
    for (;;) {
        if (::flock(dirFd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        const int failure = errno;
        if ((failure != EWOULDBLOCK && failure != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            return failure;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ---------------------------------------------------------------------------------------------
// writeFolderFiles

namespace {

std::string tempName(const std::string& target, const std::string& token) {
    return "." + target + kTempMark + token;
}

// The token of a temporary name of target, or "" when name is not one.
std::string tokenOf(const std::string& name, const std::string& target) {
    const std::string prefix = tempName(target, "");
    if (name.size() != prefix.size() + kTokenLength ||
        name.compare(0, prefix.size(), prefix) != 0) {
        return "";
    }
    return name.substr(prefix.size());
}

// Whether the entry name in the folder is a regular file of this user, which a cleanup may
// remove or rename; anything else (a planted link, another user's file) is left alone.
bool ownFile(int dirFd, const std::string& name) {
    struct stat info {};
    return ::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// Cleans up after runs that were killed (the folder's lock held). A run creates its temporary
// files in the order of names and renames them in that order, and a cleanup removes them last
// first, so a run that renamed nothing yet always has its first temporary file: its files are
// removed. A run without its first one was killed among its renames, after all of its files were
// complete: the rest are renamed into place.
bool recoverInterrupted(int dirFd, const fs::path& dir, const std::vector<std::string>& names,
                        const std::string& kind, std::string& notice, std::string& error) {
    std::map<std::string, std::set<std::size_t>> runs;  // token: indices of its files
    std::error_code code;
    for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
        const std::string name = it->path().filename().string();
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string token = tokenOf(name, names[i]);
            if (!token.empty() && ownFile(dirFd, name)) {
                runs[token].insert(i);
                break;
            }
        }
    }
    if (code) {
        error = "cannot read the folder " + shownName(dir.string()) + ": " + code.message();
        return false;
    }
    const std::string* complete = nullptr;
    for (const auto& [token, present] : runs) {
        if (present.count(0) != 0) {
            for (auto i = present.rbegin(); i != present.rend(); ++i) {
                ::unlinkat(dirFd, tempName(names[*i], token).c_str(), 0);
            }
        } else if (complete == nullptr) {
            complete = &token;  // the only one: each run cleans up before it writes
        }
    }
    if (complete == nullptr) {
        return true;
    }
    std::string renamed;
    for (std::size_t i : runs[*complete]) {
        if (::renameat(dirFd, tempName(names[i], *complete).c_str(), dirFd, names[i].c_str()) !=
            0) {
            error = "cannot complete the " + kind + "s an interrupted run left in " +
                    shownName(dir.string()) + ": " + errnoText();
            return false;
        }
        renamed += (renamed.empty() ? "" : " and ") + names[i];
    }
    ::fsync(dirFd);
    notice = "completed the " + kind + "s a run that was stopped left in " +
             shownName(dir.string()) + ": renamed its " + renamed + " into place";
    return true;
}

// Checks the name in the folder before anything is written: absent, or a regular file that may
// be replaced.
bool checkTarget(int dirFd, const fs::path& dir, const std::string& name, const FolderWrite& how,
                 std::string& error) {
    const std::string shown = shownName((dir / name).string());
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = "cannot check " + shown + ": " + errnoText();
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        error = shown + " is a symbolic link; " + how.kind +
                "s are never written through a link: remove it or choose another folder";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = shown + (S_ISDIR(info.st_mode) ? " is a folder" : " is not a regular file") +
                ", not a " + how.kind + ": remove it or choose another folder";
        return false;
    }
    if (!how.replace) {
        error = shown + " already exists; add --force to replace the " + how.kind + "s in " +
                shownName(dir.string());
        return false;
    }
    return true;
}

// The temporary files of one run, removed (last first) unless kept.
struct RunTemps {
    int dirFd = -1;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<FileDescriptor>> fds;
    std::size_t renamed = 0;  // names[0, renamed) have their final names
    bool keep = false;
    ~RunTemps() {
        for (std::size_t i = names.size(); !keep && i-- > renamed;) {
            ::unlinkat(dirFd, names[i].c_str(), 0);
        }
    }
};

// Creates the temporary files of one run exclusively, never through a link, all with one token.
bool createTemps(int dirFd, const fs::path& dir, const std::vector<FolderFile>& files,
                 RunTemps& temps, std::string& error) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string token = randomToken();
        int failure = 0;
        for (const FolderFile& file : files) {
            const std::string name = tempName(file.name, token);
            const int fd = createExclusive(dirFd, name);
            if (fd < 0) {
                failure = errno;
                break;
            }
            temps.names.push_back(name);
            temps.fds.push_back(std::make_unique<FileDescriptor>(fd));
        }
        if (failure == 0) {
            return true;
        }
        while (!temps.names.empty()) {  // last first, as every cleanup
            ::unlinkat(dirFd, temps.names.back().c_str(), 0);
            temps.names.pop_back();
        }
        temps.fds.clear();
        if (failure != EEXIST) {
            error =
                "cannot create a file in " + shownName(dir.string()) + ": " + errnoText(failure);
            return false;
        }
    }
    error = "cannot find a free temporary name in " + shownName(dir.string());
    return false;
}

}  // namespace

bool writeFolderFiles(const std::string& folder, const std::vector<FolderFile>& files,
                      const FolderWrite& how, std::string& notice, std::string& error) {
    notice.clear();
    const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
    fs::path created;
    if (!ensureFolder(dir, created, error)) {
        return false;
    }
    const auto failed = [&] {
        removeCreated(dir, created);
        return false;
    };

    FileDescriptor dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) {
        error = "cannot open the folder " + shownName(dir.string()) + ": " + errnoText();
        return failed();
    }
    if (const int failure = lockFolder(dirFd.get(), how.lockWaitSeconds); failure != 0) {
        error =
            failure == EWOULDBLOCK || failure == EINTR
                ? "another run is still writing into " + shownName(dir.string()) +
                      "; try again later"
                : "cannot lock the folder " + shownName(dir.string()) + ": " + errnoText(failure);
        return failed();
    }
    // The lock goes with dirFd, when this function returns. A run that failed in a folder it
    // made removes the folder before it lets go of the lock.
    struct stat folderInfo {};
    if (::fstat(dirFd.get(), &folderInfo) != 0 || folderInfo.st_nlink == 0) {
        error = "the folder " + shownName(dir.string()) +
                " was removed while this run waited; run again";
        return false;
    }
    std::vector<std::string> names;
    for (const FolderFile& file : files) {
        names.push_back(file.name);
    }
    if (!recoverInterrupted(dirFd.get(), dir, names, how.kind, notice, error)) {
        return failed();
    }
    for (const std::string& name : names) {
        if (!checkTarget(dirFd.get(), dir, name, how, error)) {
            return failed();
        }
    }

    bool ok = true;
    {
        RunTemps temps;
        temps.dirFd = dirFd.get();
        if (!createTemps(dirFd.get(), dir, files, temps, error)) {
            return failed();
        }
        for (std::size_t i = 0; i < files.size() && ok; ++i) {
            FileDescriptor& fd = *temps.fds[i];
            if (!writeAll(fd.get(), files[i].text.data(), files[i].text.size()) ||
                ::fsync(fd.get()) != 0 || !fd.close()) {
                error = "cannot write " + shownName((dir / names[i]).string()) + ": " + errnoText();
                ok = false;
            }
        }
        for (; ok && temps.renamed < files.size(); ++temps.renamed) {
            const std::string& name = names[temps.renamed];
            const std::string& temp = temps.names[temps.renamed];
            // Without replace, a file that appeared meanwhile is kept: the rename refuses it.
            const int status =
                how.replace ? ::renameat(dirFd.get(), temp.c_str(), dirFd.get(), name.c_str())
                            : renameNoReplace(dirFd.get(), temp, dirFd.get(), name);
            if (status == 0) {
                continue;
            }
            error = "cannot write " + shownName((dir / name).string()) + ": " + errnoText();
            if (temps.renamed > 0) {
                // The first files are in place and their complete partners wait under their
                // temporary names: the next run into the folder renames them.
                error += "; the next run into " + shownName(dir.string()) + " completes the " +
                         how.kind + "s";
                temps.keep = true;
                return false;
            }
            ok = false;
        }
    }
    if (!ok) {
        return failed();
    }
    ::fsync(dirFd.get());
    return true;
}

// ---------------------------------------------------------------------------------------------
// StagedFolder

StagedFolder::~StagedFolder() {
    if (!committed_ && !temp_.empty()) {
        std::error_code ignored;
        fs::remove_all(temp_, ignored);
    }
    if (!committed_) {
        removeCreated(parent_, createdTop_);
    }
}

bool StagedFolder::begin(const std::string& target, const std::string& kind, std::string& error) {
    const fs::path dir(target);
    target_ = target;
    kind_ = kind;
    parent_ = dir.has_parent_path() ? dir.parent_path().string() : std::string(".");
    const std::string base = dir.filename().string();
    const std::string shown = shownName(target);

    fs::path createdTop;
    if (!ensureFolder(parent_, createdTop, error)) {
        return false;
    }
    createdTop_ = createdTop.string();
    // Stale folders are removed and the new one is made and locked while the parent is locked,
    // so that no run removes another's folder between its making and its locking.
    FileDescriptor parentLock(::open(parent_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentLock.get() < 0 || ::flock(parentLock.get(), LOCK_EX) != 0) {
        error = "cannot open the folder " + shownName(parent_) + ": " + errnoText();
        return false;
    }
    const std::string prefix = "." + base + kTempMark;
    std::error_code code;
    for (fs::directory_iterator it(parent_, code), end; !code && it != end; it.increment(code)) {
        const fs::path path = it->path();
        const std::string name = path.filename().string();
        struct stat info {};
        if (name.size() != prefix.size() + kTokenLength ||
            name.compare(0, prefix.size(), prefix) != 0 || ::lstat(path.c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        // A running stage holds its folder locked; the lock goes with the process.
        FileDescriptor stale(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (stale.get() >= 0 && ::flock(stale.get(), LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }
    for (int attempt = 0; attempt < kNameAttempts && temp_.empty(); ++attempt) {
        const std::string candidate = (fs::path(parent_) / (prefix + randomToken())).string();
        if (::mkdir(candidate.c_str(), 0777) == 0) {
            temp_ = candidate;
        } else if (errno != EEXIST) {
            error = "cannot create a folder beside " + shown + ": " + errnoText();
            return false;
        }
    }
    if (temp_.empty()) {
        error = "cannot find a free temporary name beside " + shown;
        return false;
    }
    lock_.reset(::open(temp_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (lock_.get() < 0 || ::flock(lock_.get(), LOCK_EX) != 0) {
        error = "cannot open the folder " + shownName(temp_) + ": " + errnoText();
        return false;
    }
    return true;
}

bool StagedFolder::commit(bool replace, std::string& error) {
    const std::string shown = shownName(target_);
    if (::fsync(lock_.get()) != 0) {
        error = "cannot write " + shownName(temp_) + ": " + errnoText();
        return false;
    }
    // Into place: a new folder only where none is; an old one swapped out in one step.
    std::string old;
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(),
                    replace ? RENAME_EXCHANGE : RENAME_NOREPLACE) == 0) {
        old = replace ? temp_ : "";
    } else {
        const int failure = errno;
        if (!replace || failure != EINVAL) {
            error = failure == EEXIST
                        ? shown + " appeared while the " + kind_ + " was written; run again"
                        : "cannot rename the " + kind_ + " to " + shown + ": " + errnoText(failure);
            return false;
        }
        // A file system without the swap: the old folder moves aside, the new one in, the old
        // one goes.
        const std::string aside =
            (fs::path(parent_) /
             ("." + fs::path(target_).filename().string() + kTempMark + randomToken()))
                .string();
        if (renameNoReplace(AT_FDCWD, target_, AT_FDCWD, aside) != 0) {
            error = "cannot replace " + shown + ": " + errnoText();
            return false;
        }
        if (renameNoReplace(AT_FDCWD, temp_, AT_FDCWD, target_) != 0) {
            error = "cannot replace " + shown + ": " + errnoText();
            renameNoReplace(AT_FDCWD, aside, AT_FDCWD, target_);
            return false;
        }
        old = aside;
    }
    committed_ = true;
    syncFolder(parent_);
    if (!old.empty()) {
        std::error_code ignored;
        fs::remove_all(old, ignored);  // the old folder, now under a temporary name
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// OutputFile

namespace {

constexpr std::size_t kTempRandomChars = 6;
constexpr int kLeftoverAgeS = 2;  // younger files may be a live run's, not yet locked
constexpr double kCommitLockWaitS = 10.0;

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
        // Without O_NONBLOCK, opening a FIFO nobody reads would wait for ever.
        fd_.reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info {};
        if (fd_.get() < 0) {
            error = errno == ENXIO ? "no program reads the FIFO " + quotedTarget()
                                   : "cannot open " + quotedTarget() + ": " + errnoText();
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
        fd_.reset(::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
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
