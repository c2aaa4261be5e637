#include "tessascene/slice_writer.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE, RENAME_EXCHANGE (glibc 2.28 and later)
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "scene/scene_format.h"
#include "tessascene/scene_writer.h"
#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

namespace {

const std::string kTempMark = ".tmp-";

std::string errnoText(int code) {
    return std::strerror(code);
}

// A descriptor closed when it goes out of scope; a flock on it goes with it.
struct OpenFolder {
    int fd = -1;
    OpenFolder() = default;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Whether name is a scene file or a temporary file of one, as writeSceneFiles leaves them.
bool sceneFileName(const std::string& name) {
    for (const char* target : {kFigureFileName, kAffineFileName}) {
        const std::string temp = "." + std::string(target) + kTempMark;
        if (name == target || name.compare(0, temp.size(), temp) == 0) {
            return true;
        }
    }
    return false;
}

// Whether folder holds nothing but a sweep: folders named by three digits, each holding only
// scene files. what receives the first entry that is not.
bool holdsOnlySweep(const fs::path& folder, std::string& what) {
    std::error_code code;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        const std::string name = it->path().filename().string();
        const bool numbered = name.size() == 3 &&
                              std::isdigit(static_cast<unsigned char>(name[0])) &&
                              std::isdigit(static_cast<unsigned char>(name[1])) &&
                              std::isdigit(static_cast<unsigned char>(name[2]));
        if (!numbered || !it->is_directory(code) || it->is_symlink(code)) {
            what = shownName(name);
            return false;
        }
        for (fs::directory_iterator inner(it->path(), code), stop; !code && inner != stop;
             inner.increment(code)) {
            const std::string file = inner->path().filename().string();
            if (!sceneFileName(file) || inner->is_symlink(code) || !inner->is_regular_file(code)) {
                what = shownName(name + "/" + file);
                return false;
            }
        }
    }
    if (code) {
        what = code.message();
        return false;
    }
    return true;
}

// Removes the temporary folders of sweeps into base that stopped runs left in the parent: the
// ones no running sweep holds locked.
void removeStale(const fs::path& parent, const std::string& base) {
    const std::string prefix = "." + base + kTempMark;
    std::error_code code;
    for (fs::directory_iterator it(parent, code), end; !code && it != end; it.increment(code)) {
        const fs::path path = it->path();
        const std::string name = path.filename().string();
        struct stat info {};
        if (name.size() != prefix.size() + kTokenLength ||
            name.compare(0, prefix.size(), prefix) != 0 || ::lstat(path.c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        OpenFolder stale;
        stale.fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (stale.fd >= 0 && ::flock(stale.fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }
}

// Flushes the folder's entries to disk.
bool syncFolder(const fs::path& folder) {
    OpenFolder dir;
    dir.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return dir.fd >= 0 && ::fsync(dir.fd) == 0;
}

}  // namespace

std::string sweepFolderName(int index) {
    char name[8];
    std::snprintf(name, sizeof name, "%03d", index);
    return name;
}

bool writeSweep(const std::string& folder, const std::vector<SceneTexts>& scenes, bool replace,
                std::string& error) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const fs::path dir(trimmed);
    const std::string shown = shownName(trimmed);
    const std::string base = dir.filename().string();
    if (base.empty() || base == "." || base == ".." || trimmed == "/") {
        error = "a sweep needs a folder of its own: give -o a new folder's name, not " + shown;
        return false;
    }
    if (scenes.empty() || scenes.size() > 1000) {
        error = "a sweep holds 1 to 1000 cuts";
        return false;
    }
    const fs::path parent = dir.has_parent_path() ? dir.parent_path() : fs::path(".");

    // What is there now.
    struct stat info {};
    bool exists = false;
    if (::lstat(dir.c_str(), &info) == 0) {
        exists = true;
        std::string what;
        if (S_ISLNK(info.st_mode)) {
            error = shown + " is a symbolic link; a sweep is never written through a link: " +
                    "remove it or choose another folder";
            return false;
        }
        if (!S_ISDIR(info.st_mode)) {
            error = shown + " exists and is not a folder: remove it or choose another folder";
            return false;
        }
        if (!replace) {
            error = shown + " already exists; add --force to replace the sweep in it";
            return false;
        }
        if (!holdsOnlySweep(dir, what)) {
            error = shown + " holds " + what + ", which is not part of a sweep; --force replaces " +
                    "only a sweep: remove it or choose another folder";
            return false;
        }
    } else if (errno != ENOENT) {
        error = "cannot check " + shown + ": " + errnoText(errno);
        return false;
    }

    // The parent, created when missing; removed again on failure.
    std::error_code code;
    fs::path createdTop;
    if (!fs::is_directory(parent, code)) {
        for (fs::path p = parent; !p.empty() && !fs::exists(fs::symlink_status(p, code));
             p = p.parent_path()) {
            createdTop = p;
            if (p == p.parent_path()) {
                break;
            }
        }
        if (!fs::create_directories(parent, code) && !fs::is_directory(parent, code)) {
            error =
                "cannot create the folder " + shownName(parent.string()) + ": " + code.message();
            return false;
        }
    }
    const auto removeCreatedParents = [&] {
        if (createdTop.empty()) {
            return;
        }
        std::error_code ignored;
        for (fs::path p = parent; !p.empty(); p = p.parent_path()) {
            if (!fs::remove(p, ignored) || p == createdTop) {
                return;
            }
        }
    };
    // Stale folders are removed and the new one is made and locked while the parent is locked,
    // so that no run removes another's folder between its making and its locking.
    fs::path temp;
    OpenFolder lock;
    {
        OpenFolder parentLock;
        parentLock.fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parentLock.fd < 0 || ::flock(parentLock.fd, LOCK_EX) != 0) {
            error =
                "cannot open the folder " + shownName(parent.string()) + ": " + errnoText(errno);
            removeCreatedParents();
            return false;
        }
        removeStale(parent, base);
        for (int attempt = 0; attempt < 100 && temp.empty(); ++attempt) {
            const fs::path candidate = parent / ("." + base + kTempMark + randomToken());
            if (::mkdir(candidate.c_str(), 0777) == 0) {
                temp = candidate;
            } else if (errno != EEXIST) {
                error = "cannot create a folder beside " + shown + ": " + errnoText(errno);
                removeCreatedParents();
                return false;
            }
        }
        if (temp.empty()) {
            error = "cannot find a free temporary name beside " + shown;
            removeCreatedParents();
            return false;
        }
        lock.fd = ::open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0) {
            error = "cannot open the folder " + shownName(temp.string()) + ": " + errnoText(errno);
            std::error_code ignored;
            fs::remove_all(temp, ignored);
            removeCreatedParents();
            return false;
        }
    }
    const auto failed = [&] {
        std::error_code ignored;
        fs::remove_all(temp, ignored);
        removeCreatedParents();
        return false;
    };

    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const std::string name = sweepFolderName(static_cast<int>(i));
        std::string notice;
        SceneWrite how;
        if (!writeSceneFiles((temp / name).string(), scenes[i].figure, scenes[i].affine, how,
                             notice, error)) {
            error = "cut " + name + ": " + error;
            return failed();
        }
    }
    if (::fsync(lock.fd) != 0) {
        error = "cannot write " + shownName(temp.string()) + ": " + errnoText(errno);
        return failed();
    }

    // Into place: a new folder only where none is; an old sweep swapped out in one step.
    const int noReplace = exists ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, dir.c_str(), noReplace) != 0) {
        const int failure = errno;
        if (!exists || failure != EINVAL) {
            error = failure == EEXIST
                        ? shown + " appeared while the sweep was written; run again"
                        : "cannot rename the sweep to " + shown + ": " + errnoText(failure);
            return failed();
        }
        // A file system without the swap: the old sweep moves aside, the new one in, the old
        // one goes.
        const fs::path aside = parent / ("." + base + kTempMark + randomToken());
        if (::renameat2(AT_FDCWD, dir.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) != 0) {
            error = "cannot replace " + shown + ": " + errnoText(errno);
            return failed();
        }
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, dir.c_str(), RENAME_NOREPLACE) != 0) {
            error = "cannot replace " + shown + ": " + errnoText(errno);
            ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, dir.c_str(), RENAME_NOREPLACE);
            return failed();
        }
        temp = aside;
    }
    syncFolder(parent);
    if (exists) {
        fs::remove_all(temp, code);  // the old sweep, now under the temporary name
    }
    return true;
}
