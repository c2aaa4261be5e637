// Output written safely, for every tool: each file is created exclusively under a unique
// temporary name in its target's folder (or unnamed where the file system allows), written
// completely and flushed to disk before it gets its name, never through a link; the folder is
// flushed after the rename; an existing file is replaced only when asked to; whatever fails
// leaves the folder as it was. This file and its .cpp are the only place that creates temporary
// output files or folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file descriptor closed when it goes out of scope (a flock on it goes with it).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    int get() const { return fd_; }
    // Takes ownership of fd, closing the one held before.
    void reset(int fd);
    // Closes now; false when the close reported an error (a write that did not reach the disk).
    bool close();

private:
    int fd_;
};

// The length of the random part of a temporary name.
constexpr int kTokenLength = 12;

// length random letters and digits, different in every run.
std::string randomToken(int length = kTokenLength);

// Takes the folder's lock (flock on dirFd), waiting at most waitSeconds while another run holds
// it. Returns 0 or the errno of the failure (EWOULDBLOCK: still held by another run).
int lockFolder(int dirFd, double waitSeconds);

// ---------------------------------------------------------------------------------------------
// A set of files written together into one folder, as the scene files are.

// One file of the set: its name in the folder and all of its bytes.
struct FolderFile {
    std::string name;
    std::string text;
};

// How writeFolderFiles treats the folder.
struct FolderWrite {
    std::string kind = "file";      // what one file is, for messages ("scene file")
    bool replace = false;           // replace files of these names already in the folder
    double lockWaitSeconds = 10.0;  // how long to wait while another run writes into the folder
};

// Writes files into folder, creating the folder when it is missing, so that the folder holds
// either its old set or the new set:
// - runs into one folder take turns (a lock on the folder, held until the call returns);
// - a file that exists is refused unless how.replace; a link or a non-file never is replaced;
// - every text goes into a temporary file (".NAME.tmp-TOKEN", one TOKEN per run) created in
//   the folder, flushed to disk before the files are renamed into place in their order;
// - what a killed run left is cleaned up first: temporary files of a run that renamed nothing
//   yet are removed, last file first; those of a run killed among its renames (its first file
//   already renamed) are renamed into place, which completes that run's set.
// A failure leaves the folder as it was (a folder this call created is removed again). notice
// receives a line for the user when an interrupted run was completed, else stays empty.
// Returns false with a one-line error that names the file on failure.
bool writeFolderFiles(const std::string& folder, const std::vector<FolderFile>& files,
                      const FolderWrite& how, std::string& notice, std::string& error);

// ---------------------------------------------------------------------------------------------
// A folder built under a temporary name beside its target and put in place in one step.
class StagedFolder {
public:
    StagedFolder() = default;
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;
    // Removes the temporary folder (and the parents begin created) unless committed.
    ~StagedFolder();

    // Creates target's parent when missing, removes temporary folders that stopped runs left
    // beside target, and creates a new one (".BASE.tmp-TOKEN") exclusively, locked while this
    // object lives. kind names the folder's contents in messages ("sweep"); target must have a
    // base name. False with a one-line error.
    bool begin(const std::string& target, const std::string& kind, std::string& error);
    // The temporary folder to fill.
    const std::string& path() const { return temp_; }
    // Flushes the temporary folder and renames it to the target: only where nothing is, unless
    // replace, when the old folder is swapped out in one step and then removed. False with a
    // one-line error; the destructor then cleans up.
    bool commit(bool replace, std::string& error);

private:
    std::string target_;
    std::string parent_;
    std::string kind_;
    std::string temp_;
    std::string createdTop_;  // the topmost parent begin made, "" when none
    FileDescriptor lock_;
    bool committed_ = false;
};

// ---------------------------------------------------------------------------------------------
// Output files committed together: any number of files in any folders, each written into an
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
