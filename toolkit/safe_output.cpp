// Safe output's building blocks: exclusive temporary files and folders, renames that never
// replace by surprise, and the flushes that make a name appear only with complete contents.
#include "toolkit/safe_output.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE (glibc 2.28 and later)
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

namespace toolkit {

std::string errnoText(int code) {
    return std::strerror(code);
}

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

int createExclusive(int dirFd, const std::string& name) {
    return ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
}

int createUnnamed(const std::string& folder) {
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

std::string createExclusiveFolder(const std::string& parent, const std::string& prefix) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = (fs::path(parent) / (prefix + randomToken())).string();
        if (::mkdir(candidate.c_str(), 0777) == 0) {
            return candidate;
        }
        if (errno != EEXIST) {
            return "";
        }
    }
    return "";
}

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

bool syncFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && ::fsync(dir.get()) == 0;
}

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

bool ensureFolder(const std::string& folder, std::string& created, std::string& error) {
    const fs::path dir(folder);
    std::error_code code;
    if (fs::is_directory(dir, code)) {
        return true;
    }
    // Another run may make the folder between the two looks: only a name that is still not a
    // folder afterwards is refused.
    if (fs::exists(fs::symlink_status(dir, code)) && !fs::is_directory(dir, code)) {
        error = "cannot write into " + shownName(folder) + ": it is not a folder";
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
        error = "cannot create the folder " + shownName(folder) + ": " + code.message();
        return false;
    }
    created = top.string();
    return true;
}

void removeCreated(const std::string& dir, const std::string& top) {
    if (top.empty()) {
        return;
    }
    std::error_code code;
    for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
        if (!fs::remove(p, code) || p == fs::path(top)) {
            return;
        }
    }
}

}  // namespace toolkit
