// Output files that appear all at once or not at all. Each regular output is written into a
// temporary file in its target's folder (unnamed where the file system allows, so that it
// vanishes with the process whatever ends it) and every one of them gets its name in one commit,
// which puts the old files back when any step fails. A character device or FIFO is written into
// as a stream and never replaced. Independent of the image encoders.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
std::string targetProblem(const std::string& path, bool replace);

// True when a and b name the same file, existing or not (links and "." followed).
bool samePath(const std::string& a, const std::string& b);

// Removes what runs that died left in folder: temporary files of this program that no running
// process holds and that are at least two seconds old. Returns how many it removed.
int removeLeftovers(const std::string& folder);

// One output. open() claims it, write() fills it, commitAll() names it.
class OutputFile {
public:
    OutputFile() = default;
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

    const std::string& target() const { return target_; }
    // True for a device or FIFO: written directly, not committed.
    bool isStream() const { return stream_; }
    // True while the temporary file has no name in the folder.
    bool isUnnamed() const { return unnamed_; }
    // The temporary file's name, "" while unnamed or for a stream.
    const std::string& tempPath() const { return temp_; }

private:
    friend bool commitAll(const std::vector<OutputFile*>& files, std::string& error);

    bool nameTemporary(std::string& error);
    bool putInPlace(std::string& error);
    void undo();

    std::string target_;
    std::string folder_;
    std::string temp_;    // the temporary file's name once it has one
    std::string backup_;  // the replaced file's name until the commit is done
    int fd_ = -1;
    bool replace_ = false;
    bool stream_ = false;
    bool unnamed_ = false;
    bool placed_ = false;  // the target holds this file's bytes
};

// Gives every file its name, all of them or none: each is flushed to disk first, then each is
// put in place (an existing regular file only when its open() allowed replacing, and only
// after the new one is complete); when any step fails, the names done so far get their old
// files back and nothing new stays. Streams are skipped. False with a message.
bool commitAll(const std::vector<OutputFile*>& files, std::string& error);
