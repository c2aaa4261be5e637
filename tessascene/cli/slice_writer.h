// Writes a sweep of cross-sections, one scene folder per cut (FOLDER/000, FOLDER/001, ...), as
// one unit: FOLDER holds either what it held before or the whole new sweep.
#pragma once

#include <string>
#include <vector>

// The two scene files of one cut, as text.
struct SceneTexts {
    std::string figure;
    std::string affine;
};

// The name of sweep folder number index (from 0): three digits, "000" to "999".
std::string sweepFolderName(int index);

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
