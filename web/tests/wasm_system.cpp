// The shell commands the shared tests run, `rm -rf 'DIR'` and `mkdir -p 'DIR'` (one level), done
// in WebAssembly's in-memory file system, which has no shell: any other command fails.
#include <ftw.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int removeOne(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}
}  // namespace

extern "C" int system(const char* command) {
    const std::string text = command != nullptr ? command : "";
    for (const std::string prefix : {"rm -rf '", "mkdir -p '"}) {
        if (text.compare(0, prefix.size(), prefix) != 0 || text.back() != '\'') {
            continue;
        }
        const std::string path = text.substr(prefix.size(), text.size() - prefix.size() - 1);
        if (prefix[0] == 'r') {
            return nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
        }
        struct stat info;
        return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0
                                                                       : mkdir(path.c_str(), 0777);
    }
    return -1;
}
