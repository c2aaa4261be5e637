// A set of files in one folder under the folder's lock: what a killed run left is cleaned up or
// completed first, then every file goes in under a temporary name and is renamed into place.
#include "toolkit/folder_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "toolkit/safe_output.h"
#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

namespace toolkit {

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
    std::string created;
    if (!ensureFolder(dir.string(), created, error)) {
        return false;
    }
    const auto failed = [&] {
        removeCreated(dir.string(), created);
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

}  // namespace toolkit
