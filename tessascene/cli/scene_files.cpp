#include "tessascene/cli/scene_files.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "scene/scene_format.h"
#include "tessascene/scene_text/scenes.h"
#include "toolkit/folder_files.h"
#include "toolkit/safe_output.h"
#include "toolkit/shown_name.h"
#include "toolkit/staged_folder.h"

namespace tessascene {

namespace fs = std::filesystem;

namespace {

// Whether name is a scene file or a temporary file of one, as writeSceneFiles leaves them.
bool sceneFileName(const std::string& name) {
    for (const char* target : {kFigureFileName, kAffineFileName}) {
        const std::string temp = "." + std::string(target) + toolkit::kTempMark;
        if (name == target || name.compare(0, temp.size(), temp) == 0) {
            return true;
        }
    }
    return false;
}

// Whether folder holds nothing but a sweep: folders named by three digits, each holding only
// scene files. what receives the first entry that is not.
bool holdsOnlySweep(const fs::path& folder, std::string& what) {
    std::error_code code;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        const std::string name = it->path().filename().string();
        const bool numbered = name.size() == 3 &&
                              std::isdigit(static_cast<unsigned char>(name[0])) &&
                              std::isdigit(static_cast<unsigned char>(name[1])) &&
                              std::isdigit(static_cast<unsigned char>(name[2]));
        if (!numbered || !it->is_directory(code) || it->is_symlink(code)) {
            what = toolkit::shownName(name);
            return false;
        }
        for (fs::directory_iterator inner(it->path(), code), stop; !code && inner != stop;
             inner.increment(code)) {
            const std::string file = inner->path().filename().string();
            if (!sceneFileName(file) || inner->is_symlink(code) || !inner->is_regular_file(code)) {
                what = toolkit::shownName(name + "/" + file);
                return false;
            }
        }
    }
    if (code) {
        what = code.message();
        return false;
    }
    return true;
}

}  // namespace

bool writeSceneFiles(const std::string& folder, const SceneTexts& texts, const SceneWrite& how,
                     std::string& notice, std::string& error) {
    toolkit::FolderWrite write;
    write.kind = "scene file";
    write.replace = how.replace;
    write.lockWaitSeconds = how.lockWaitSeconds;
    return toolkit::writeFolderFiles(
        folder, {{kFigureFileName, texts.figure}, {kAffineFileName, texts.affine}}, write, notice,
        error);
}

bool writeSweep(const std::string& folder, const std::vector<SceneTexts>& scenes, bool replace,
                std::string& error) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const fs::path dir(trimmed);
    const std::string shown = toolkit::shownName(trimmed);
    const std::string base = dir.filename().string();
    if (base.empty() || base == "." || base == ".." || trimmed == "/") {
        error = "a sweep needs a folder of its own: give -o a new folder's name, not " + shown;
        return false;
    }
    if (scenes.empty() || scenes.size() > 1000) {
        error = "a sweep holds 1 to 1000 cuts";
        return false;
    }

    // What is there now.
    struct stat info {};
    bool exists = false;
    if (::lstat(dir.c_str(), &info) == 0) {
        exists = true;
        std::string what;
        if (S_ISLNK(info.st_mode)) {
            error = shown + " is a symbolic link; a sweep is never written through a link: " +
                    "remove it or choose another folder";
            return false;
        }
        if (!S_ISDIR(info.st_mode)) {
            error = shown + " exists and is not a folder: remove it or choose another folder";
            return false;
        }
        if (!replace) {
            error = shown + " already exists; add --force to replace the sweep in it";
            return false;
        }
        if (!holdsOnlySweep(dir, what)) {
            error = shown + " holds " + what + ", which is not part of a sweep; --force replaces " +
                    "only a sweep: remove it or choose another folder";
            return false;
        }
    } else if (errno != ENOENT) {
        error = "cannot check " + shown + ": " + toolkit::errnoText(errno);
        return false;
    }

    toolkit::StagedFolder stage;
    if (!stage.begin(trimmed, "sweep", error)) {
        return false;
    }
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const std::string name = sweepFolderName(static_cast<int>(i));
        std::string notice;
        SceneWrite how;
        if (!writeSceneFiles(stage.path() + "/" + name, scenes[i], how, notice, error)) {
            error = "cut " + name + ": " + error;
            return false;
        }
    }
    return stage.commit(exists, error);
}

}  // namespace tessascene
