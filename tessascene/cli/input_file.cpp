#include "tessascene/cli/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "tessascene/import/compressed_input.h"

namespace tessascene {

namespace {

// A file descriptor, closed with the object unless it is standard input.
class FileSource : public ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    ~FileSource() override {
        if (fd_ > 0) {
            ::close(fd_);
        }
    }
    long read(char* data, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(fd_, data, size);
            if (n >= 0) {
                return static_cast<long>(n);
            }
            if (errno != EINTR) {
                failure_ = std::strerror(errno);
                return -1;
            }
        }
    }

private:
    int fd_;
};

// Random access to a regular file through its own descriptor.
class FileAccess : public RandomAccess {
public:
    FileAccess(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileAccess() override { ::close(fd_); }
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) {
            return false;
        }
        while (size > 0) {
            const ssize_t n = ::pread(fd_, data, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace

bool openInput(const std::string& path, const std::string& name, std::unique_ptr<Input>& input,
               std::string& error) {
    int fd = 0;
    struct stat info {};
    if (path != "-") {
        // A device is refused before it is opened: opening some of them waits or acts.
        if (::stat(path.c_str(), &info) == 0 && (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
            error = name + ": is a device, not a file";
            return false;
        }
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            error = name + ": cannot open the file: " + std::strerror(errno);
            return false;
        }
    }
    if (::fstat(fd, &info) != 0) {
        error = name + ": cannot read the file: " + std::strerror(errno);
        if (fd > 0) {
            ::close(fd);
        }
        return false;
    }
    if (path != "-" && (S_ISDIR(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
        error = name +
                (S_ISDIR(info.st_mode) ? ": is a folder, not a file" : ": is a device, not a file");
        ::close(fd);
        return false;
    }
    std::unique_ptr<RandomAccess> access;
    if (S_ISREG(info.st_mode)) {
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (own >= 0) {
            access = std::make_unique<FileAccess>(own, static_cast<std::uint64_t>(info.st_size));
        }
    }
    std::string failure;
    input = inputOf(std::make_unique<FileSource>(fd), std::move(access), failure);
    if (input == nullptr) {
        error = name + ": cannot read the file: " + failure;
        return false;
    }
    return true;
}

}  // namespace tessascene
