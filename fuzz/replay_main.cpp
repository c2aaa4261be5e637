// Replays fuzz inputs through the fuzz entry it is linked with (the loader's or the importers'),
// so that a corpus runs as an ordinary test under any compiler and sanitizer. Arguments: files
// or folders of inputs.

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replayFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

int replay(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::cerr << "no such input: " << path << "\n";
        return -1;
    }
    if (!S_ISDIR(info.st_mode)) {
        return replayFile(path);
    }
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            const int n = replay(path + "/" + name);
            if (n < 0) {
                closedir(dir);
                return -1;
            }
            count += n;
        }
    }
    closedir(dir);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    int total = 0;
    for (int i = 1; i < argc; ++i) {
        const int n = replay(argv[i]);
        if (n < 0) {
            return 1;
        }
        total += n;
    }
    std::cout << "replayed " << total << " inputs" << std::endl;
    return total > 0 ? 0 : 1;
}
