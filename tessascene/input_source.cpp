#include "tessascene/input_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view text) : text_(text) {}
    long read(char* data, std::size_t size) override {
        const std::size_t n = std::min(size, text_.size());
        if (n > 0) {
            std::memcpy(data, text_.data(), n);
        }
        text_.remove_prefix(n);
        return static_cast<long>(n);
    }

private:
    std::string_view text_;
};

class MemoryAccess : public RandomAccess {
public:
    explicit MemoryAccess(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset) {
            return false;
        }
        if (size > 0) {
            std::memcpy(data, bytes_.data() + offset, size);
        }
        return true;
    }

private:
    std::string_view bytes_;
};

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
    int fd() const { return fd_; }

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

class InflateSource : public ByteSource {
public:
    explicit InflateSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {
        ready_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK;
    }
    ~InflateSource() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    long read(char* data, std::size_t size) override {
        if (!ready_) {
            failure_ = "cannot start zlib";
            return -1;
        }
        stream_.next_out = reinterpret_cast<Bytef*>(data);
        stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        while (stream_.avail_out > 0 && !done_) {
            if (stream_.avail_in == 0 && !innerEnded_) {
                const long n = inner_->read(in_, sizeof in_);
                if (n < 0) {
                    failure_ = inner_->failure();
                    return -1;
                }
                innerEnded_ = n == 0;
                stream_.next_in = reinterpret_cast<Bytef*>(in_);
                stream_.avail_in = static_cast<uInt>(n);
            }
            const uInt before = stream_.avail_out;
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                // gzip members may follow one another; anything else after the end is ignored
                // as gzip itself ignores trailing zeros.
                if (nextMember()) {
                    continue;
                }
                done_ = true;
            } else if (status == Z_BUF_ERROR && innerEnded_ && stream_.avail_in == 0) {
                failure_ = "the compressed data ends early (a truncated file?)";
                return -1;
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                failure_ = std::string("the compressed data is damaged (zlib: ") +
                           (stream_.msg != nullptr ? stream_.msg : "error") + ")";
                return -1;
            } else if (status == Z_BUF_ERROR && before == stream_.avail_out &&
                       stream_.avail_in > 0) {
                failure_ = "the compressed data is damaged";
                return -1;
            }
        }
        return static_cast<long>(size - stream_.avail_out);
    }

private:
    // After one gzip member: true when another one starts (its magic bytes follow).
    bool nextMember() {
        if (stream_.avail_in == 0 && !innerEnded_) {
            const long n = inner_->read(in_, sizeof in_);
            if (n <= 0) {
                innerEnded_ = true;
                return false;
            }
            stream_.next_in = reinterpret_cast<Bytef*>(in_);
            stream_.avail_in = static_cast<uInt>(n);
        }
        if (stream_.avail_in < 2 || stream_.next_in[0] != 0x1f || stream_.next_in[1] != 0x8b) {
            return false;
        }
        return inflateReset(&stream_) == Z_OK;
    }

    std::unique_ptr<ByteSource> inner_;
    z_stream stream_{};
    bool ready_ = false;
    bool done_ = false;
    bool innerEnded_ = false;
    char in_[64 * 1024];
};

// Reads until size bytes are in data or the source ends: the count, or -1 on an error.
long readFully(ByteSource& source, char* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const long n = source.read(data + total, size - total);
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    return static_cast<long>(total);
}

bool startsWithGzipMagic(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

}  // namespace

std::unique_ptr<ByteSource> memorySource(std::string_view text) {
    return std::make_unique<MemorySource>(text);
}

std::unique_ptr<ByteSource> inflateSource(std::unique_ptr<ByteSource> inner) {
    return std::make_unique<InflateSource>(std::move(inner));
}

std::unique_ptr<RandomAccess> memoryAccess(std::string_view bytes) {
    return std::make_unique<MemoryAccess>(bytes);
}

Input::Input(std::unique_ptr<ByteSource> source, std::unique_ptr<RandomAccess> file, bool gzip)
    : source_(std::move(source)), file_(std::move(file)), gzip_(gzip) {
    replay_.input = this;
    prefix_.resize(kPrefixBytes);
    const long n = readFully(*source_, prefix_.data(), prefix_.size());
    if (n < 0) {
        failure_ = source_->failure();
        prefix_.clear();
    } else {
        prefix_.resize(static_cast<std::size_t>(n));
    }
}

long Input::Replay::read(char* data, std::size_t size) {
    if (!input->failure_.empty()) {
        failure_ = input->failure_;
        return -1;
    }
    if (offset < input->prefix_.size()) {
        const std::size_t n = std::min(size, input->prefix_.size() - offset);
        std::memcpy(data, input->prefix_.data() + offset, n);
        offset += n;
        return static_cast<long>(n);
    }
    const long n = input->source_->read(data, size);
    if (n < 0) {
        failure_ = input->source_->failure();
    }
    return n;
}

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
    auto file = std::make_unique<FileSource>(fd);
    char magic[2] = {0, 0};
    std::unique_ptr<RandomAccess> access;
    if (S_ISREG(info.st_mode)) {
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (own >= 0) {
            access = std::make_unique<FileAccess>(own, static_cast<std::uint64_t>(info.st_size));
            if (!access->readAt(0, magic, 2)) {
                magic[0] = 0;
            }
        }
    }
    const bool gzip = access != nullptr && startsWithGzipMagic(std::string_view(magic, 2));
    if (access != nullptr) {
        std::unique_ptr<ByteSource> source = std::move(file);
        if (gzip) {
            input = std::make_unique<Input>(inflateSource(std::move(source)), nullptr, true);
        } else {
            input = std::make_unique<Input>(std::move(source), std::move(access), false);
        }
    } else {
        // A pipe: the first two bytes tell whether it is compressed.
        std::string head(2, '\0');
        const long n = readFully(*file, head.data(), 2);
        if (n < 0) {
            error = name + ": cannot read the file: " + file->failure();
            return false;
        }
        head.resize(static_cast<std::size_t>(n));
        class Joined : public ByteSource {
        public:
            Joined(std::string head, std::unique_ptr<ByteSource> rest)
                : head_(std::move(head)), rest_(std::move(rest)) {}
            long read(char* data, std::size_t size) override {
                if (!head_.empty()) {
                    const std::size_t n = std::min(size, head_.size());
                    std::memcpy(data, head_.data(), n);
                    head_.erase(0, n);
                    return static_cast<long>(n);
                }
                const long n = rest_->read(data, size);
                failure_ = rest_->failure();
                return n;
            }

        private:
            std::string head_;
            std::unique_ptr<ByteSource> rest_;
        };
        const bool piped = startsWithGzipMagic(head);
        std::unique_ptr<ByteSource> joined = std::make_unique<Joined>(head, std::move(file));
        input = piped ? std::make_unique<Input>(inflateSource(std::move(joined)), nullptr, true)
                      : std::make_unique<Input>(std::move(joined), nullptr, false);
    }
    if (!input->failure().empty()) {
        error = name + ": cannot read the file: " + input->failure();
        return false;
    }
    return true;
}

std::unique_ptr<Input> memoryInput(std::string_view bytes) {
    if (startsWithGzipMagic(bytes)) {
        return std::make_unique<Input>(inflateSource(memorySource(bytes)), nullptr, true);
    }
    return std::make_unique<Input>(memorySource(bytes), memoryAccess(bytes), false);
}

SourceStreamBuffer::int_type SourceStreamBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    const long n = failed_ ? 0 : source_.read(buffer_, sizeof buffer_);
    if (n <= 0) {
        failed_ = failed_ || n < 0;
        return traits_type::eof();
    }
    setg(buffer_, buffer_, buffer_ + n);
    return traits_type::to_int_type(*gptr());
}
