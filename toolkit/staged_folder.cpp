// A folder staged beside its target: made exclusively and locked, filled, flushed, and renamed
// into place without replacing, or swapped in for the old folder when asked to.
#include "toolkit/staged_folder.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE, RENAME_EXCHANGE (glibc 2.28 and later)
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

namespace toolkit {

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

    if (!ensureFolder(parent_, createdTop_, error)) {
        return false;
    }
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
    temp_ = createExclusiveFolder(parent_, prefix);
    if (temp_.empty()) {
        error = errno == EEXIST ? "cannot find a free temporary name beside " + shown
                                : "cannot create a folder beside " + shown + ": " + errnoText();
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

}  // namespace toolkit
