#include "tessascene/import/input_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessascene {

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

}  // namespace

std::unique_ptr<ByteSource> memorySource(std::string_view text) {
    return std::make_unique<MemorySource>(text);
}

std::unique_ptr<RandomAccess> memoryAccess(std::string_view bytes) {
    return std::make_unique<MemoryAccess>(bytes);
}

ReplaySource::ReplaySource(std::unique_ptr<ByteSource> inner, std::size_t aheadBytes)
    : inner_(std::move(inner)) {
    ahead_.resize(aheadBytes);
    const long n = readFully(*inner_, ahead_.data(), ahead_.size());
    if (n < 0) {
        failure_ = inner_->failure();
        failed_ = true;
        ahead_.clear();
    } else {
        ahead_.resize(static_cast<std::size_t>(n));
    }
}

long ReplaySource::read(char* data, std::size_t size) {
    if (failed_) {
        return -1;
    }
    if (offset_ < ahead_.size()) {
        const std::size_t n = std::min(size, ahead_.size() - offset_);
        std::memcpy(data, ahead_.data() + offset_, n);
        offset_ += n;
        return static_cast<long>(n);
    }
    const long n = inner_->read(data, size);
    if (n < 0) {
        failure_ = inner_->failure();
    }
    return n;
}

Input::Input(std::unique_ptr<ByteSource> source, std::unique_ptr<RandomAccess> file)
    : source_(std::move(source), kPrefixBytes), file_(std::move(file)) {}

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

}  // namespace tessascene
