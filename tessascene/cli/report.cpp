#include "tessascene/cli/report.h"

#include <iostream>

#include "scene/scene_format.h"
#include "toolkit/shown_name.h"

namespace tessascene {

namespace {

// folder as messages show it, without the slashes that end it.
std::string shownFolder(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return toolkit::shownName(folder);
}

}  // namespace

void reportNotes(const std::vector<std::string>& notes) {
    for (const std::string& note : notes) {
        std::cout << note << "\n";
    }
}

void reportNotice(const std::string& notice) {
    if (!notice.empty()) {
        std::cerr << "tessascene: " << notice << "\n";
    }
}

void reportScene(const std::string& folder, const std::string& summary) {
    const std::string shown = shownFolder(folder);
    std::cout << "Wrote " << shown << "/" << kFigureFileName << " and " << shown << "/"
              << kAffineFileName << ": " << summary << "\n";
}

void reportSweep(const std::string& folder, const MadeCuts& cuts) {
    const std::string shown = shownFolder(folder);
    std::cout << "Wrote " << cuts.summary << " into " << shown << "/000 to " << shown << "/"
              << sweepFolderName(static_cast<int>(cuts.scenes.size()) - 1) << " (at most "
              << counted(cuts.largest, "vertex", "vertices") << " in a cut)\n";
}

}  // namespace tessascene
