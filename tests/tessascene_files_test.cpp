// tessascene's file side: inputs read from files by their path, and scene files written into a
// folder as a pair.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tessascene/cli/input_file.h"
#include "tessascene/cli/scene_files.h"
#include "tessascene/scene_text/scenes.h"
#include "test_helpers.h"

namespace tessascene {

namespace {

std::string dataPath(const char* file) {
    return std::string(TESSAVIEW_SOURCE_DIR) + "/tests/data/import/" + file;
}

// Imports the file at path as the tool does; false with the error.
bool importPath(const std::string& path, SceneSource& source, std::string& error) {
    std::unique_ptr<Input> input;
    return openInput(path, path, input, error) &&
           importedSource(*input, path, TableOptions{}, source, error);
}

}  // namespace

// An input is named by its path; a file that cannot be read as one is named as such, before
// anything is read from it.
TEST(InputFiles, AreNamedByTheirPathAndMustBeFiles) {
    const std::string truncated = dataPath("truncated.4off");
    const std::pair<std::string, std::string> cases[] = {
        {dataPath("no_such_file.4off"),
         dataPath("no_such_file.4off") + ": cannot open the file: No such file or directory"},
        {truncated, truncated + ":4: the file ends after 2 of 3 vertices"},
        {dataPath(""), dataPath("") + ": is a folder, not a file"},
        {"/dev/zero", "/dev/zero: is a device, not a file"},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        SceneSource source;
        std::string error;
        EXPECT_FALSE(importPath(path, source, error));
        EXPECT_EQ(error, expected);
    }
    SceneSource source;
    std::string error;
    ASSERT_TRUE(importPath(dataPath("corners.4vect"), source, error)) << error;
    EXPECT_EQ(source.graph.vertices.size(), 6u);
}

namespace {

bool hasFile(const ScratchDir& dir, const std::string& name) {
    struct stat info {};
    return ::lstat(dir.file(name).c_str(), &info) == 0;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in the folder, sorted.
std::vector<std::string> listing(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// The folder holds its old pair or the new pair, whatever was there before the run.
TEST(SceneWriter, WritesReplaceOnlyWhatMayBeReplacedAndCleanUpAfterKilledRuns) {
    const std::string kF = "kvoTessa1F.txt", kA = "kvoTessa1A.txt";
    const std::string lone = ".kvoTessa1A.txt.tmp-AAAAAAAAAAAA";  // killed between the renames
    struct Case {
        const char* name;
        std::function<void(const ScratchDir&)> setUp;
        bool replace;
        const char* error;               // "" for success
        std::vector<std::string> after;  // names in the folder, sorted
        std::string figure;              // the figure file afterwards
        std::string affine;              // the affine file afterwards
    };
    const auto oldPair = [&](const ScratchDir& d) {
        d.write(kF, "old F");
        d.write(kA, "old A");
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"empty folder", [](const ScratchDir&) {}, false, "", {kA, kF}, "new F", "new A"},
        {"old pair kept", oldPair, false, "kvoTessa1F.txt already exists; add --force",
         {kA, kF}, "old F", "old A"},
        {"old affine file kept", [&](const ScratchDir& d) { d.write(kA, "old A"); }, false,
         "kvoTessa1A.txt already exists", {kA}, "", "old A"},
        {"old pair replaced", oldPair, true, "", {kA, kF}, "new F", "new A"},
        {"affine name is a folder", [&](const ScratchDir& d) {
             d.write(kF, "old F");
             std::filesystem::create_directory(d.file(kA));
         }, true, "kvoTessa1A.txt is a folder, not a scene file", {kA, kF}, "old F", ""},
        {"figure name is a link", [&](const ScratchDir& d) {
             d.write("victim", "victim");
             std::filesystem::create_symlink("victim", d.file(kF));
         }, true, "kvoTessa1F.txt is a symbolic link", {kF, "victim"}, "victim", ""},
        {"a killed run's pair of temporary files removed", [&](const ScratchDir& d) {
             oldPair(d);
             d.write(".kvoTessa1F.txt.tmp-BBBBBBBBBBBB", "half");
             d.write(".kvoTessa1A.txt.tmp-BBBBBBBBBBBB", "half");
         }, true, "", {kA, kF}, "new F", "new A"},
        {"a run killed between the renames completed", [&](const ScratchDir& d) {
             d.write(kF, "interrupted F");
             d.write(kA, "old A");
             d.write(lone, "interrupted A");
         }, false, "kvoTessa1F.txt already exists", {kA, kF}, "interrupted F", "interrupted A"},
        {"a planted link with a temporary name left alone", [&](const ScratchDir& d) {
             d.write("victim", "victim");
             std::filesystem::create_symlink("victim", d.file(lone));
         }, false, "", {lone, kA, kF, "victim"}, "new F", "new A"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        c.setUp(dir);
        SceneWrite how;
        how.replace = c.replace;
        std::string notice, error;
        const bool ok = writeSceneFiles(dir.path(), {"new F", "new A"}, how, notice, error);
        EXPECT_EQ(ok, *c.error == '\0') << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(listing(dir), c.after);
        if (hasFile(dir, kF)) {
            EXPECT_EQ(contents(dir.file(kF)), c.figure);
        }
        if (!c.affine.empty()) {
            EXPECT_EQ(contents(dir.file(kA)), c.affine);
        }
        // Only completing a killed run's pair is worth a notice.
        EXPECT_EQ(notice.empty(), std::string(c.name).find("completed") == std::string::npos);
        if (hasFile(dir, "victim")) {
            EXPECT_EQ(contents(dir.file("victim")), "victim");
        }
    }
}

// A second writer waits for the folder's lock and gives up with a message when it stays taken.
TEST(SceneWriter, WaitsForTheFolderLockAndLeavesNoTrace) {
    ScratchDir dir;
    const int held = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    SceneWrite how;
    how.lockWaitSeconds = 0.05;
    std::string notice, error;
    EXPECT_FALSE(writeSceneFiles(dir.path(), {"F", "A"}, how, notice, error));
    EXPECT_EQ(error, "another run is still writing into " + dir.path() + "; try again later");
    EXPECT_TRUE(listing(dir).empty());
    ::close(held);  // releases the lock
    EXPECT_TRUE(writeSceneFiles(dir.path() + "/new/sub", {"F", "A"}, how, notice, error)) << error;
}

}  // namespace tessascene
