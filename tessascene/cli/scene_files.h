// Writing scenes into folders through the toolkit's safe output: one scene's two files as a
// pair, and a sweep of cross-sections, one scene folder per cut (FOLDER/000, FOLDER/001, ...), as
// one unit: FOLDER holds either what it held before or the whole new sweep.
#pragma once

#include <string>
#include <vector>

#include "tessascene/scene_text/scene_writer.h"

namespace tessascene {

// How writeSceneFiles treats the folder.
struct SceneWrite {
    bool replace = false;           // replace scene files already in the folder
    double lockWaitSeconds = 10.0;  // how long to wait while another run writes into the folder
};

// Writes the figure file and the affine file of texts into folder through the toolkit's safe
// output (writeFolderFiles), creating the folder when it is missing, so that the folder holds
// either its old pair or the new pair:
// - runs into one folder take turns (a lock on the folder, held until the run ends);
// - a scene file that exists is refused unless how.replace (also one that appears while this
//   call writes); a link or a non-file never is replaced;
// - both texts go into temporary files with unique names created in the folder, flushed to disk
//   before the figure file and then the affine file are renamed into place;
// - what a killed run left is cleaned up first: a pair of temporary files is removed, and an
//   affine temporary file without its figure partner (a kill between the two renames) is
//   renamed into place, which completes that run's pair.
// A failure leaves the folder as it was (a folder this call created is removed again). notice
// receives a line for the user when an interrupted run was completed, else stays empty.
// Returns false with a one-line error that names the file on failure.
bool writeSceneFiles(const std::string& folder, const SceneTexts& texts, const SceneWrite& how,
                     std::string& notice, std::string& error);

// Writes scenes into folder/000, folder/001, ... (at most 1000 scenes):
// - every scene is written by writeSceneFiles into a temporary folder beside folder, created
//   exclusively (".NAME.tmp-" and 12 random characters) and locked while the run lasts; the
//   scene folders and the temporary folder are flushed to disk before it is renamed to folder;
// - folder, when it exists, is kept unless replace; a replaced folder must hold nothing but a
//   sweep (numbered folders of scene files) and is swapped for the new one only once the new one
//   is complete; a link is never written through or replaced;
// - temporary folders that stopped runs left beside folder are removed first;
// - a failure leaves folder and its parent as they were (parents this call created are removed).
// Returns false with a one-line error that names the folder on failure.
bool writeSweep(const std::string& folder, const std::vector<SceneTexts>& scenes, bool replace,
                std::string& error);

}  // namespace tessascene
