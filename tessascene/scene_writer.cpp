#include "tessascene/scene_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "scene/scene_format.h"
#include "toolkit/shown_name.h"

namespace fs = std::filesystem;

bool fitsFloat(double v) {
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

bool writableCoordinate(double c, double largest) {
    const double size = std::fabs(c);
    return fitsFloat(c) && (size <= largest * 1e-9 || size >= FLT_MIN);
}

std::string formatFloat(double v) {
    float f = static_cast<float>(v);
    // The loader may not read a subnormal back; 0.0f also turns -0 into 0.
    if (std::fabs(f) < FLT_MIN) {
        f = 0.0f;
    }
    return sceneNumberText(f);
}

bool figureFileText(const SceneFigure& figure, std::string& text, std::string& error) {
    double largest = 0.0;
    for (const auto& polyline : figure.polylines) {
        for (const Vertex4& v : polyline) {
            for (double c : v) {
                if (!fitsFloat(c)) {
                    error = "a vertex coordinate does not fit a 32-bit float";
                    return false;
                }
                largest = std::max(largest, std::fabs(c));
            }
        }
    }
    for (double c : figure.colour) {
        if (!fitsFloat(c)) {
            error = "a colour component does not fit a 32-bit float";
            return false;
        }
    }
    for (const auto& polyline : figure.polylines) {
        for (const Vertex4& v : polyline) {
            for (double c : v) {
                if (!writableCoordinate(c, largest)) {
                    error = "a vertex coordinate is too small for a 32-bit float";
                    return false;
                }
            }
        }
    }
    // Rounding noise such as cos(pi / 2) = 6e-17 is written as 0.
    const double negligible = largest * 1e-9;
    const auto coordinate = [negligible](double c) {
        return formatFloat(std::fabs(c) <= negligible ? 0.0 : c);
    };

    std::ostringstream out;
    out << figure.lineLoop << "\n"
        << formatFloat(figure.colour[0]) << " " << formatFloat(figure.colour[1]) << " "
        << formatFloat(figure.colour[2]) << "\n"
        << figure.polylines.size() << "\n";
    for (const auto& polyline : figure.polylines) {
        out << polyline.size() << "\n";
        for (const Vertex4& v : polyline) {
            out << coordinate(v[0]) << " " << coordinate(v[1]) << " " << coordinate(v[2]) << " "
                << coordinate(v[3]) << "\n";
        }
    }
    text = out.str();
    return true;
}

bool affineFileText(const SceneAffines& affines, std::string& text, std::string& error) {
    std::ostringstream out;
    for (double c : affines.projection) {
        if (!fitsFloat(c)) {
            error = "a projection vector component does not fit a 32-bit float";
            return false;
        }
    }
    out << formatFloat(affines.projection[0]) << " " << formatFloat(affines.projection[1]) << " "
        << formatFloat(affines.projection[2]) << " " << formatFloat(affines.projection[3]) << "\n"
        << affines.records.size() << "\n";
    for (size_t i = 0; i < affines.records.size(); ++i) {
        const AffineRecord& record = affines.records[i];
        const size_t wanted = static_cast<size_t>(affineParameterCount(record.type));
        if (wanted == 0 || record.params.size() != wanted) {
            error = "transform " + std::to_string(i + 1) + " of type " +
                    std::to_string(record.type) + " has " + std::to_string(record.params.size()) +
                    " parameters";
            return false;
        }
        out << record.type;
        for (double p : record.params) {
            if (!fitsFloat(p)) {
                error = "a parameter of transform " + std::to_string(i + 1) +
                        " does not fit a 32-bit float";
                return false;
            }
            out << " " << formatFloat(p);
        }
        out << "\n";
    }
    text = out.str();
    return true;
}

namespace {

// Temporary names: ".kvoTessa1F.txt.tmp-TOKEN" and ".kvoTessa1A.txt.tmp-TOKEN", where both
// files of one run share TOKEN.
const std::string kTempMark = ".tmp-";

std::string tempName(const char* target, const std::string& token) {
    return "." + std::string(target) + kTempMark + token;
}

// The token of a temporary name of target, or "" when name is not one.
std::string tokenOf(const std::string& name, const char* target) {
    const std::string prefix = tempName(target, "");
    if (name.size() != prefix.size() + kTokenLength ||
        name.compare(0, prefix.size(), prefix) != 0) {
        return "";
    }
    return name.substr(prefix.size());
}

std::string errnoText() {
    return std::strerror(errno);
}

// A file descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    void swap(Descriptor& other) { std::swap(fd_, other.fd_); }
    // Closes now; false when the close reported an error (a write that did not reach the disk).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Writes all of text to fd and flushes it to the disk.
bool writeAll(int fd, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return ::fsync(fd) == 0;
}

// Takes the folder's lock, waiting at most waitSeconds for another run to release it. Returns 0
// or the errno of the failure (EWOULDBLOCK: still held by another run).
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

// Whether the entry name in the folder is a regular file of this user, which a cleanup may
// remove or rename; anything else (a planted link, another user's file) is left alone.
bool ownFile(int dirFd, const std::string& name) {
    struct stat info {};
    return ::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// Cleans up after runs that were killed (the folder's lock held): a figure temporary file and
// its affine partner are removed, affine first, so that a kill during this cleanup never leaves
// an affine temporary file alone; an affine temporary file alone means its run was killed
// between the two renames, after both files were complete, and is renamed into place.
bool recoverInterrupted(int dirFd, const fs::path& dir, std::string& notice, std::string& error) {
    std::set<std::string> figureTokens, affineTokens;
    std::error_code code;
    for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
        const std::string name = it->path().filename().string();
        const std::string figure = tokenOf(name, kFigureFileName);
        const std::string affine = tokenOf(name, kAffineFileName);
        if (!figure.empty() && ownFile(dirFd, name)) {
            figureTokens.insert(figure);
        } else if (!affine.empty() && ownFile(dirFd, name)) {
            affineTokens.insert(affine);
        }
    }
    if (code) {
        error = "cannot read the folder " + shownName(dir.string()) + ": " + code.message();
        return false;
    }
    const std::string* complete = nullptr;
    for (const std::string& token : affineTokens) {
        if (figureTokens.count(token) != 0) {
            ::unlinkat(dirFd, tempName(kAffineFileName, token).c_str(), 0);
        } else if (complete == nullptr) {
            complete = &token;  // the only one: each run cleans up before it writes
        }
    }
    for (const std::string& token : figureTokens) {
        ::unlinkat(dirFd, tempName(kFigureFileName, token).c_str(), 0);
    }
    if (complete != nullptr) {
        if (::renameat(dirFd, tempName(kAffineFileName, *complete).c_str(), dirFd,
                       kAffineFileName) != 0) {
            error = "cannot complete the scene files an interrupted run left in " +
                    shownName(dir.string()) + ": " + errnoText();
            return false;
        }
        ::fsync(dirFd);
        notice = "completed the scene files a run that was stopped left in " +
                 shownName(dir.string()) + ": renamed its " + kAffineFileName + " into place";
    }
    return true;
}

// Checks the scene file name in the folder before anything is written: absent, or a regular
// file that may be replaced.
bool checkTarget(int dirFd, const fs::path& dir, const char* name, bool replace,
                 std::string& error) {
    const std::string shown = shownName((dir / name).string());
    struct stat info {};
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = "cannot check " + shown + ": " + errnoText();
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        error = shown + " is a symbolic link; scene files are never written through a link: " +
                "remove it or choose another folder";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = shown + (S_ISDIR(info.st_mode) ? " is a folder" : " is not a regular file") +
                ", not a scene file: remove it or choose another folder";
        return false;
    }
    if (!replace) {
        error = shown + " already exists; add --force to replace the scene files in " +
                shownName(dir.string());
        return false;
    }
    return true;
}

// Creates the two temporary files of one run exclusively, never through a link; token receives
// their shared token.
bool createTemps(int dirFd, const fs::path& dir, Descriptor& figure, Descriptor& affine,
                 std::string& token, std::string& error) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 100; ++attempt) {
        token = randomToken();
        const std::string figureName = tempName(kFigureFileName, token);
        Descriptor f(::openat(dirFd, figureName.c_str(), kFlags, 0666));
        if (f.get() < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = "cannot create a file in " + shownName(dir.string()) + ": " + errnoText();
            return false;
        }
        Descriptor a(::openat(dirFd, tempName(kAffineFileName, token).c_str(), kFlags, 0666));
        if (a.get() < 0) {
            const int saved = errno;
            ::unlinkat(dirFd, figureName.c_str(), 0);
            if (saved == EEXIST) {
                continue;
            }
            errno = saved;
            error = "cannot create a file in " + shownName(dir.string()) + ": " + errnoText();
            return false;
        }
        figure.swap(f);
        affine.swap(a);
        return true;
    }
    error = "cannot find a free temporary name in " + shownName(dir.string());
    return false;
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

std::string randomToken() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 engine{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())
                                                               << 32};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
    std::string token(kTokenLength, 'x');
    for (char& c : token) {
        c = kChars[pick(engine)];
    }
    return token;
}

bool writeSceneFiles(const std::string& folder, const std::string& figureText,
                     const std::string& affineText, const SceneWrite& how, std::string& notice,
                     std::string& error) {
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

    Descriptor dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) {
        error = "cannot open the folder " + shownName(dir.string()) + ": " + errnoText();
        return failed();
    }
    if (const int failure = lockFolder(dirFd.get(), how.lockWaitSeconds); failure != 0) {
        error = failure == EWOULDBLOCK || failure == EINTR
                    ? "another run is still writing into " + shownName(dir.string()) +
                          "; try again later"
                    : "cannot lock the folder " + shownName(dir.string()) + ": " +
                          std::strerror(failure);
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
    if (!recoverInterrupted(dirFd.get(), dir, notice, error) ||
        !checkTarget(dirFd.get(), dir, kFigureFileName, how.replace, error) ||
        !checkTarget(dirFd.get(), dir, kAffineFileName, how.replace, error)) {
        return failed();
    }

    Descriptor figure, affine;
    std::string token;
    if (!createTemps(dirFd.get(), dir, figure, affine, token, error)) {
        return failed();
    }
    const std::string figureTemp = tempName(kFigureFileName, token);
    const std::string affineTemp = tempName(kAffineFileName, token);
    const auto removeTemps = [&] {
        ::unlinkat(dirFd.get(), affineTemp.c_str(), 0);  // first: see recoverInterrupted
        ::unlinkat(dirFd.get(), figureTemp.c_str(), 0);
    };
    if (!writeAll(figure.get(), figureText) || !figure.close()) {
        error = "cannot write " + shownName((dir / kFigureFileName).string()) + ": " + errnoText();
        removeTemps();
        return failed();
    }
    if (!writeAll(affine.get(), affineText) || !affine.close()) {
        error = "cannot write " + shownName((dir / kAffineFileName).string()) + ": " + errnoText();
        removeTemps();
        return failed();
    }
    if (::renameat(dirFd.get(), figureTemp.c_str(), dirFd.get(), kFigureFileName) != 0) {
        error = "cannot write " + shownName((dir / kFigureFileName).string()) + ": " + errnoText();
        removeTemps();
        return failed();
    }
    if (::renameat(dirFd.get(), affineTemp.c_str(), dirFd.get(), kAffineFileName) != 0) {
        // The new figure file is in place and its complete affine partner waits under its
        // temporary name: the next run into the folder renames it.
        error = "cannot write " + shownName((dir / kAffineFileName).string()) + ": " + errnoText() +
                "; the next run into " + shownName(dir.string()) + " completes the scene files";
        return false;
    }
    ::fsync(dirFd.get());
    return true;
}
