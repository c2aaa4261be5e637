// Output files committed together through the safe output of safe_output.h, as the recorder's
// pictures and console are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/safe_output.h"

namespace toolkit {

// unnamed temporary file where the file system allows (it vanishes with the process whatever
// ends it), all named in one commit that puts the old files back when any step fails. A
// character device or FIFO is written into as a stream and never replaced.

// The program that writes, for its messages and the names of its temporary files.
struct OutputWriter {
    std::string program;     // "tessarecord"
    std::string tempPrefix;  // ".tessarecord-": a temporary name adds 6 random characters
    std::string work;        // what the program does meanwhile, "the recording"
};

// What a target name leads to now.
enum class TargetKind {
    kMissing,     // nothing: the file is created
    kRegular,     // a regular file: replaced only when asked to
    kStream,      // a character device or a FIFO (also through a link): written into
    kLink,        // a link to anything else: refused
    kFolder,      // refused
    kOther,       // a socket, a block device, ...: refused
    kUnreachable  // its folder cannot be searched or does not exist
};

// What is at path: a final link is followed only to find a device or FIFO. /dev/stdout,
// /dev/stderr, /dev/fd/N and /proc/self/fd/N name the open descriptor, a stream whatever it is.
TargetKind targetKind(const std::string& path);

// Why a target cannot be written at all, or "" when it can be. replace allows an existing
// regular file. The message names the file.
std::string targetProblem(const std::string& path, bool replace, const OutputWriter& writer);

// True when a and b name the same file, existing or not (links and "." followed).
bool samePath(const std::string& a, const std::string& b);

// Removes what runs that died left in folder: temporary files of writer that no running
// process holds and that are at least two seconds old. Returns how many it removed.
int removeLeftovers(const std::string& folder, const OutputWriter& writer);

// One output. open() claims it, write() fills it, commitAll() names it.
class OutputFile {
public:
    explicit OutputFile(const OutputWriter& writer) : writer_(writer) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file of an output that was not committed.
    ~OutputFile();

    // Checks target (see targetProblem) and opens where its bytes go. allowUnnamed = false
    // forces a named temporary file (as on file systems without unnamed ones). False with a
    // message naming the file.
    bool open(const std::string& target, bool replace, std::string& error,
              bool allowUnnamed = true);
    // Appends size bytes. False with a message naming the file.
    bool write(const void* data, std::size_t size, std::string& error);
    bool write(const std::vector<std::uint8_t>& bytes, std::string& error) {
        return write(bytes.data(), bytes.size(), error);
    }

    // True for a device or FIFO: written directly, not committed.
    bool isStream() const { return stream_; }
    // True while the temporary file has no name in the folder.
    bool isUnnamed() const { return unnamed_; }

private:
    friend bool commitAll(const std::vector<OutputFile*>& files, std::string& error);

    bool nameTemporary(std::string& error);
    bool putInPlace(std::string& error);
    void undo();
    std::string quotedTarget() const;

    OutputWriter writer_;
    std::string target_;
    std::string folder_;
    std::string temp_;    // the temporary file's name once it has one
    std::string backup_;  // the replaced file's name until the commit is done
    FileDescriptor fd_;
    bool replace_ = false;
    bool stream_ = false;
    bool unnamed_ = false;
    bool placed_ = false;  // the target holds this file's bytes
};

// Gives every file its name, all of them or none: each is flushed to disk first, then, with
// the lock of every folder involved taken (waiting up to 10 s for another run), each is put in
// place (an existing regular file only when its open() allowed replacing, and only after the
// new one is complete); when any step fails, the names done so far get their old files back and
// nothing new stays. The folders are flushed at the end. Streams are skipped. False with a
// message.
bool commitAll(const std::vector<OutputFile*>& files, std::string& error);

}  // namespace toolkit
