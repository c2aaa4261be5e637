// Where imported data comes from: a file or standard input, read through zlib when it starts
// with gzip's magic bytes, with its first bytes held back so that its kind can be told before
// any reader takes it. Every reader here reads in bounded pieces: nothing grows with the input
// beyond what the data itself holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

// A sequential source of bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes into data: the count read, 0 at the end, or -1 with failure()
    // saying why.
    virtual long read(char* data, std::size_t size) = 0;
    const std::string& failure() const { return failure_; }

protected:
    std::string failure_;
};

// A source that can also be read at any offset: a regular file or bytes in memory.
class RandomAccess {
public:
    virtual ~RandomAccess() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly size bytes at offset; false when they are not all there or cannot be read.
    virtual bool readAt(std::uint64_t offset, char* data, std::size_t size) = 0;
};

// The bytes of text, which must outlive the source.
std::unique_ptr<ByteSource> memorySource(std::string_view text);

// Decompresses inner, gzip data (members one after another, as cat joins them).
std::unique_ptr<ByteSource> inflateSource(std::unique_ptr<ByteSource> inner);

// Random access to bytes in memory, which must outlive it.
std::unique_ptr<RandomAccess> memoryAccess(std::string_view bytes);

// An input being imported: its first bytes are read ahead into prefix() for telling its kind,
// and read() returns them again before the rest.
class Input {
public:
    // Reads ahead from source up to kPrefixBytes. file, when given, is the same bytes with random
    // access (a regular file that is not compressed).
    Input(std::unique_ptr<ByteSource> source, std::unique_ptr<RandomAccess> file, bool gzip);

    static constexpr std::size_t kPrefixBytes = 64 * 1024;

    std::string_view prefix() const { return prefix_; }
    bool gzip() const { return gzip_; }
    // Random access when the input is a regular uncompressed file, else nullptr.
    RandomAccess* file() { return file_.get(); }
    // The input from its first byte on: the read-ahead bytes, then the rest.
    ByteSource& source() { return replay_; }
    // The size of the input in bytes when it is known (a regular uncompressed file), else 0.
    std::uint64_t knownSize() const { return file_ ? file_->size() : 0; }
    // Why reading ahead failed, or empty.
    const std::string& failure() const { return failure_; }

private:
    class Replay : public ByteSource {
    public:
        long read(char* data, std::size_t size) override;
        Input* input = nullptr;
        std::size_t offset = 0;
    };

    std::unique_ptr<ByteSource> source_;
    std::unique_ptr<RandomAccess> file_;
    bool gzip_ = false;
    std::string prefix_;
    std::string failure_;
    Replay replay_;
};

// Opens path for import ("-": standard input). A file that starts with gzip's magic bytes is
// read through zlib. A missing file, a folder or a device is an error naming it; false then.
// name is path as messages show it.
bool openInput(const std::string& path, const std::string& name, std::unique_ptr<Input>& input,
               std::string& error);

// An Input over bytes in memory, gzip-compressed or not, for tests and fuzzing; bytes must
// outlive it.
std::unique_ptr<Input> memoryInput(std::string_view bytes);

// A stream buffer that reads a source in blocks, so that an std::istream can read it.
class SourceStreamBuffer : public std::streambuf {
public:
    explicit SourceStreamBuffer(ByteSource& source) : source_(source) {}
    // True when the source reported an error (the stream then just ended).
    bool failed() const { return failed_; }

protected:
    int_type underflow() override;

private:
    ByteSource& source_;
    char buffer_[64 * 1024];
    bool failed_ = false;
};
