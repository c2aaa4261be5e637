// The bytes an import reads, whatever holds them: sources read in sequence, random access, and
// an input whose first bytes are held back so that its kind can be told before any reader takes
// it. Nothing here knows files: the command line hands in sources over files and standard input,
// tests and other programs sources over bytes in memory. Every reader here reads in bounded
// pieces: nothing grows with the input beyond what the data itself holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace tessascene {

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

// Random access to bytes in memory, which must outlive it.
std::unique_ptr<RandomAccess> memoryAccess(std::string_view bytes);

// A source that reads up to a given number of bytes of another one ahead, shows them, and
// returns them again before the rest: what an input is can be told from its first bytes before
// any reader takes it.
class ReplaySource : public ByteSource {
public:
    // Reads ahead up to aheadBytes of inner; failure() says why when that fails.
    ReplaySource(std::unique_ptr<ByteSource> inner, std::size_t aheadBytes);

    // The bytes read ahead: all of inner when it is shorter.
    std::string_view ahead() const { return ahead_; }
    long read(char* data, std::size_t size) override;

private:
    std::unique_ptr<ByteSource> inner_;
    std::string ahead_;
    std::size_t offset_ = 0;  // of the next byte of ahead_ to return
    bool failed_ = false;     // reading ahead failed
};

// An input being imported: its first bytes are read ahead into prefix() for telling its kind,
// and source() returns them again before the rest.
class Input {
public:
    // Reads ahead from source up to kPrefixBytes. file, when given, is the same bytes with random
    // access (a regular file that is not compressed, or bytes in memory).
    Input(std::unique_ptr<ByteSource> source, std::unique_ptr<RandomAccess> file);

    static constexpr std::size_t kPrefixBytes = 64 * 1024;

    std::string_view prefix() const { return source_.ahead(); }
    // Random access to the input, or nullptr.
    RandomAccess* file() { return file_.get(); }
    // The input from its first byte on: the read-ahead bytes, then the rest.
    ByteSource& source() { return source_; }
    // The size of the input in bytes when it is known (with random access), else 0.
    std::uint64_t knownSize() const { return file_ ? file_->size() : 0; }
    // Why reading ahead failed, or empty.
    const std::string& failure() const { return source_.failure(); }

private:
    ReplaySource source_;
    std::unique_ptr<RandomAccess> file_;
};

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

}  // namespace tessascene
