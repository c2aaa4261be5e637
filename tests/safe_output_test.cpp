// Safe output: files written into exclusive temporary files and named only when complete,
// commits of several files that happen all at once or not at all, devices and FIFOs written as
// streams, sets of files in one folder that a killed run cannot leave half written, and folders
// built under a temporary name.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "toolkit/folder_files.h"
#include "toolkit/output_file.h"
#include "toolkit/safe_output.h"
#include "toolkit/staged_folder.h"

namespace toolkit {

namespace {

const OutputWriter kWriter{"tessarecord", ".tessarecord-", "the recording"};

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d)) {
        names.insert(e->d_name);
    }
    closedir(d);
    return names;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A scratch folder removed with everything in it.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        char pattern[] = "/tmp/safe-output-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~ScratchDir() { EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0); }
};

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(OutputFiles, AppearOnlyWhenCommittedAndNeverReplaceSilently) {
    for (bool unnamed : {true, false}) {
        ScratchDir dir;
        const std::string target = dir.path + "/out.gif";
        const std::vector<std::uint8_t> one = {'o', 'n', 'e'}, two = {'t', 'w', 'o'};
        std::string error;
        const std::set<std::string> empty = listing(dir.path);
        {
            OutputFile file(kWriter);  // dropped uncommitted: nothing stays
            ASSERT_TRUE(file.open(target, false, error, unnamed)) << error;
            ASSERT_TRUE(file.write(one, error));
            EXPECT_EQ(file.isUnnamed(), unnamed);
            EXPECT_EQ(listing(dir.path).size(), empty.size() + (unnamed ? 0 : 1));
        }
        EXPECT_EQ(listing(dir.path), empty);
        {
            OutputFile file(kWriter);
            ASSERT_TRUE(file.open(target, false, error, unnamed));
            ASSERT_TRUE(file.write(one, error));
            ASSERT_TRUE(commitAll({&file}, error)) << error;
        }
        EXPECT_EQ(contents(target), "one");
        {
            OutputFile file(kWriter);  // an existing file is kept unless replacing is asked for
            EXPECT_FALSE(file.open(target, false, error, unnamed));
            EXPECT_NE(error.find("already exists"), std::string::npos) << error;
        }
        {
            OutputFile file(kWriter);
            ASSERT_TRUE(file.open(target, true, error, unnamed));
            ASSERT_TRUE(file.write(two, error));
            ASSERT_TRUE(commitAll({&file}, error)) << error;
        }
        EXPECT_EQ(contents(target), "two");
        EXPECT_EQ(listing(dir.path).size(), empty.size() + 1) << "a temporary file stayed";
        OutputFile missing(kWriter);
        EXPECT_FALSE(missing.open(dir.path + "/no-such-folder/out.gif", false, error, unnamed));
        EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
    }
}

// A commit that fails at its last file gives every earlier name its old file back, byte for
// byte, and leaves nothing new, whether the temporary files had names or not.
TEST(OutputFiles, CommitIsAllOrNothing) {
    for (bool unnamed : {true, false}) {
        ScratchDir dir;
        put(dir.path + "/p-0.png", "OLD0");
        put(dir.path + "/p-1.png", "OLD1");
        std::vector<std::unique_ptr<OutputFile>> files;
        std::vector<OutputFile*> all;
        std::string error;
        for (const char* name : {"p-0.png", "p-1.png", "p-2.png", "p-3.png"}) {
            files.push_back(std::make_unique<OutputFile>(kWriter));
            ASSERT_TRUE(files.back()->open(dir.path + "/" + name, true, error, unnamed)) << error;
            ASSERT_TRUE(files.back()->write(std::vector<std::uint8_t>{'N', 'E', 'W'}, error));
            all.push_back(files.back().get());
        }
        // Something takes the last name while the recording runs.
        ASSERT_EQ(mkdir((dir.path + "/p-3.png").c_str(), 0755), 0);
        EXPECT_FALSE(commitAll(all, error));
        EXPECT_NE(error.find("p-3.png"), std::string::npos) << error;
        files.clear();
        EXPECT_EQ(contents(dir.path + "/p-0.png"), "OLD0");
        EXPECT_EQ(contents(dir.path + "/p-1.png"), "OLD1");
        EXPECT_EQ(listing(dir.path),
                  (std::set<std::string>{".", "..", "p-0.png", "p-1.png", "p-3.png"}));
    }
}

TEST(OutputFiles, TargetKindsAndWhatIsRefused) {
    ScratchDir dir;
    const std::string d = dir.path;
    put(d + "/file", "x");
    mkdir((d + "/folder").c_str(), 0755);
    mkfifo((d + "/fifo").c_str(), 0644);
    symlink("file", (d + "/link-to-file").c_str());
    symlink("fifo", (d + "/link-to-fifo").c_str());
    symlink("nowhere", (d + "/dangling").c_str());
    struct Case {
        std::string name;
        TargetKind kind;
        std::string refusedWithForce;  // "" when --force may write it
    };
    const Case cases[] = {
        {"new", TargetKind::kMissing, ""},
        {"file", TargetKind::kRegular, ""},
        {"folder", TargetKind::kFolder, "is a folder"},
        {"fifo", TargetKind::kStream, ""},
        {"link-to-file", TargetKind::kLink, "is a link"},
        {"link-to-fifo", TargetKind::kStream, ""},
        {"dangling", TargetKind::kLink, "is a link"},
        {"file/below", TargetKind::kUnreachable, "cannot reach"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(targetKind(d + "/" + c.name), c.kind) << c.name;
        const std::string problem = targetProblem(d + "/" + c.name, true, kWriter);
        EXPECT_EQ(problem.empty(), c.refusedWithForce.empty()) << c.name << ": " << problem;
        EXPECT_NE(problem.find(c.refusedWithForce), std::string::npos) << problem;
    }
    EXPECT_NE(targetProblem(d + "/file", false, kWriter).find("add --force"), std::string::npos);
    EXPECT_EQ(targetKind("/dev/stdout"), TargetKind::kStream);
    EXPECT_TRUE(samePath(d + "/file", d + "/./file"));
    EXPECT_TRUE(samePath(d + "/new", d + "/folder/../new"));
    EXPECT_TRUE(samePath(d + "/link-to-file", d + "/file"));
    EXPECT_FALSE(samePath(d + "/file", d + "/new"));
    EXPECT_FALSE(samePath(d + "/new", d + "/other"));
}

// A device node is written into and stays a device, --force or not (root only: mknod).
TEST(OutputFiles, DevicesAreWrittenIntoNeverReplaced) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mknod needs root";
    }
    ScratchDir dir;
    const std::string node = dir.path + "/null-device";
    ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    OutputFile file(kWriter);
    std::string error;
    ASSERT_TRUE(file.open(node, true, error)) << error;
    EXPECT_TRUE(file.isStream());
    ASSERT_TRUE(file.write(std::vector<std::uint8_t>(10000, 'x'), error)) << error;
    ASSERT_TRUE(commitAll({&file}, error)) << error;
    struct stat info {};
    ASSERT_EQ(lstat(node.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(listing(dir.path), (std::set<std::string>{".", "..", "null-device"}));
}

// What a run that died left is removed; what a live run holds, and anything young, stays.
TEST(OutputFiles, LeftoversOfDeadRunsAreRemoved) {
    ScratchDir dir;
    const std::string d = dir.path;
    const auto age = [](const std::string& path) {
        const timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
        utimes(path.c_str(), old);
    };
    put(d + "/.tessarecord-dead01", "");
    age(d + "/.tessarecord-dead01");
    put(d + "/.tessarecord-young1", "");
    put(d + "/.tessarecord-toolong", "");
    age(d + "/.tessarecord-toolong");
    put(d + "/other.gif", "");
    age(d + "/other.gif");
    mkdir((d + "/.tessarecord-folder").c_str(), 0755);
    const std::set<std::string> before = listing(d);
    OutputFile live(kWriter);
    std::string error;
    ASSERT_TRUE(live.open(d + "/out.gif", false, error, false)) << error;
    std::string liveName;  // the one new entry: the live run's temporary file
    for (const std::string& name : listing(d)) {
        liveName = before.count(name) == 0 ? name : liveName;
    }
    age(d + "/" + liveName);
    EXPECT_EQ(removeLeftovers(d, kWriter), 1);
    EXPECT_EQ(listing(d),
              (std::set<std::string>{".", "..", ".tessarecord-young1", ".tessarecord-toolong",
                                     "other.gif", ".tessarecord-folder", liveName}));
}

// A write that fails (here: past the file size limit, as on a full disk) leaves the folder as
// it was, in every way of writing.
TEST(SafeOutput, AFailedWriteLeavesTheFolderAsItWas) {
    struct Case {
        const char* name;
        std::function<bool(const std::string& dir, const std::string& big, std::string& error)>
            write;
    };
    const Case cases[] = {
        {"set of files",
         [](const std::string& dir, const std::string& big, std::string& error) {
             FolderWrite how;
             how.replace = true;
             std::string notice;
             return writeFolderFiles(dir, {{"a.txt", "new"}, {"b.txt", big}}, how, notice, error);
         }},
        {"committed files",
         [](const std::string& dir, const std::string& big, std::string& error) {
             OutputFile a(kWriter), b(kWriter);
             return a.open(dir + "/a.txt", true, error, false) && a.write("new", 3, error) &&
                    b.open(dir + "/b.txt", true, error) && b.write(big.data(), big.size(), error) &&
                    commitAll({&a, &b}, error);
         }},
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        put(dir.path + "/a.txt", "old a");
        put(dir.path + "/b.txt", "old b");
        const std::set<std::string> before = listing(dir.path);
        rlimit limit = saved;
        limit.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::string error;
        const bool ok = c.write(dir.path, std::string(10000, 'x'), error);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find("b.txt"), std::string::npos) << error;
        EXPECT_EQ(listing(dir.path), before);
        EXPECT_EQ(contents(dir.path + "/a.txt"), "old a");
        EXPECT_EQ(contents(dir.path + "/b.txt"), "old b");
    }
    signal(SIGXFSZ, SIG_DFL);
}

// What a killed run left of a set of three files: a run that still has its first temporary file
// renamed nothing and is removed; one without it is completed.
TEST(SafeOutput, AKilledRunsSetIsRemovedOrCompleted) {
    struct Case {
        const char* name;
        std::vector<std::string> left;  // the killed run's temporary files
        std::set<std::string> after;
        const char* c;  // c.txt afterwards
    };
    const std::string t = ".tmp-AAAAAAAAAAAA";
    const Case cases[] = {
        {"all three left", {".a.txt" + t, ".b.txt" + t, ".c.txt" + t}, {"a.txt", "b.txt"}, ""},
        {"the first two left", {".a.txt" + t, ".b.txt" + t}, {"a.txt", "b.txt"}, ""},
        {"killed after the first rename",
         {".b.txt" + t, ".c.txt" + t},
         {"a.txt", "b.txt", "c.txt"},
         "killed run"},
        {"killed after the second rename",
         {".c.txt" + t},
         {"a.txt", "b.txt", "c.txt"},
         "killed run"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        put(dir.path + "/a.txt", "old");
        put(dir.path + "/b.txt", "old");
        for (const std::string& name : c.left) {
            put(dir.path + "/" + name, "killed run");
        }
        FolderWrite how;  // refused: the files exist, but the cleanup is done first
        std::string notice, error;
        EXPECT_FALSE(writeFolderFiles(dir.path, {{"a.txt", "x"}, {"b.txt", "x"}, {"c.txt", "x"}},
                                      how, notice, error));
        std::set<std::string> expected = c.after;
        expected.insert({".", ".."});
        EXPECT_EQ(listing(dir.path), expected);
        EXPECT_EQ(notice.empty(), *c.c == '\0') << notice;
        if (*c.c != '\0') {
            EXPECT_EQ(contents(dir.path + "/c.txt"), c.c);
        }
    }
}

// The primitives never take a name that is there: an exclusive create and a no-replace rename
// into an existing file or link fail with EEXIST (a link with ELOOP) and change nothing.
TEST(SafeOutput, PrimitivesNeverTakeAnExistingName) {
    ScratchDir dir;
    const std::string d = dir.path;
    put(d + "/theirs", "theirs");
    put(d + "/mine", "mine");
    symlink("theirs", (d + "/link").c_str());
    FileDescriptor folder(::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_GE(folder.get(), 0);
    struct Case {
        const char* what;
        std::function<int()> call;
        int expectedErrno;
    };
    const Case cases[] = {
        {"create over a file", [&] { return createExclusive(folder.get(), "theirs"); }, EEXIST},
        {"create over a link", [&] { return createExclusive(folder.get(), "link"); }, EEXIST},
        {"create by path", [&] { return createExclusive(AT_FDCWD, d + "/theirs"); }, EEXIST},
        {"rename onto a file",
         [&] { return renameNoReplace(folder.get(), "mine", folder.get(), "theirs"); }, EEXIST},
        {"rename onto a link",
         [&] { return renameNoReplace(AT_FDCWD, d + "/mine", AT_FDCWD, d + "/link"); }, EEXIST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        errno = 0;
        const int result = c.call();
        const int failure = errno;
        if (result > 0) {
            ::close(result);  // a descriptor opened where it must not be
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(failure, c.expectedErrno);
        EXPECT_EQ(contents(d + "/theirs"), "theirs");
        EXPECT_EQ(contents(d + "/mine"), "mine");
        EXPECT_EQ(listing(d), (std::set<std::string>{".", "..", "theirs", "mine", "link"}));
    }
    // Where nothing is, both succeed.
    FileDescriptor created(createExclusive(folder.get(), "new"));
    EXPECT_GE(created.get(), 0);
    EXPECT_EQ(renameNoReplace(folder.get(), "new", folder.get(), "renamed"), 0);
    EXPECT_EQ(listing(d), (std::set<std::string>{".", "..", "theirs", "mine", "link", "renamed"}));
}

// A staged folder appears only when committed, never over a folder that appeared meanwhile
// unless replacing, and leaves nothing behind when dropped.
TEST(SafeOutput, AStagedFolderAppearsWholeOrNotAtAll) {
    ScratchDir dir;
    const std::string target = dir.path + "/new/sweep";  // its parent is made, and removed again
    std::string error;
    {
        // A second run's stage leaves the first run's folder alone while the first holds it.
        StagedFolder first, second;
        ASSERT_TRUE(first.begin(target, "sweep", error)) << error;
        put(first.path() + "/f", "first");
        ASSERT_TRUE(second.begin(target, "sweep", error)) << error;
        EXPECT_EQ(contents(first.path() + "/f"), "first");
    }
    {
        StagedFolder stage;
        ASSERT_TRUE(stage.begin(target, "sweep", error)) << error;
        put(stage.path() + "/f", "x");
    }
    EXPECT_EQ(listing(dir.path), (std::set<std::string>{".", ".."}));
    {
        StagedFolder stage;
        ASSERT_TRUE(stage.begin(target, "sweep", error)) << error;
        put(stage.path() + "/f", "new");
        ASSERT_EQ(mkdir(target.c_str(), 0755), 0);  // another program made it meanwhile
        EXPECT_FALSE(stage.commit(false, error));
        EXPECT_NE(error.find("appeared while the sweep was written"), std::string::npos) << error;
    }
    EXPECT_EQ(listing(dir.path + "/new"), (std::set<std::string>{".", "..", "sweep"}));
    put(target + "/f", "old");
    StagedFolder stage;
    ASSERT_TRUE(stage.begin(target, "sweep", error)) << error;
    put(stage.path() + "/f", "new");
    ASSERT_TRUE(stage.commit(true, error)) << error;
    EXPECT_EQ(contents(target + "/f"), "new");
    EXPECT_EQ(listing(dir.path + "/new"), (std::set<std::string>{".", "..", "sweep"}));
}

}  // namespace

}  // namespace toolkit
