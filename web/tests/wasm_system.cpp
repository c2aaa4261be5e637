// The one shell command the shared test helpers run, `rm -rf 'DIR'` for their scratch folders,
// done in WebAssembly's in-memory file system, which has no shell: any other command fails.
#include <ftw.h>

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
    const std::string prefix = "rm -rf '";
    if (text.compare(0, prefix.size(), prefix) != 0 || text.back() != '\'') {
        return -1;
    }
    const std::string path = text.substr(prefix.size(), text.size() - prefix.size() - 1);
    return nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
}
