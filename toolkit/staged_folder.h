// A folder built under a temporary name beside its target and put in place in one step, as a
// sweep of scenes is, through the safe output of safe_output.h.
#pragma once

#include <string>

#include "toolkit/safe_output.h"

namespace toolkit {

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

}  // namespace toolkit
