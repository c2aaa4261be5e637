// A set of files written together into one folder, as the scene files are, through the safe
// output of safe_output.h.
#pragma once

#include <string>
#include <vector>

namespace toolkit {

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

}  // namespace toolkit
