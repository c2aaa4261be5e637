// What tessascene tells its user on the console: the notes of a run, the writer's notices and
// the line that says what was written.
#pragma once

#include <string>
#include <vector>

#include "tessascene/scene_text/scenes.h"

namespace tessascene {

// Prints each note on a line of standard output.
void reportNotes(const std::vector<std::string>& notes);

// Prints a notice, if any, on standard error: of the writer (what an earlier run left and this
// one cleaned up) or a scene's warning.
void reportNotice(const std::string& notice);

// "Wrote DIR/F and DIR/A: SUMMARY" for one scene written into folder.
void reportScene(const std::string& folder, const std::string& summary);

// "Wrote N cuts at ... into DIR/000 to DIR/NNN (at most V vertices in a cut)" for a sweep.
void reportSweep(const std::string& folder, const MadeCuts& cuts);

}  // namespace tessascene
