// Fuzz entry for the scene loader. One input holds both scene files, split at the first NUL
// byte (figure file before it, affine file after it). After every load the stored counts must
// lie within the fixed capacities; anything else aborts.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "app/process_state.h"
#include "scene/scene_loader.h"

namespace {

// A scratch folder of this process for the two files.
const std::string& scratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/tessaview-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "loader invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t split = 0;
    while (split < size && data[split] != 0) {
        ++split;
    }
    const std::string figurePath = scratchFolder() + "/figure.txt";
    const std::string affinePath = scratchFolder() + "/affine.txt";
    writeFile(figurePath, data, split);
    const size_t affineStart = split < size ? split + 1 : size;
    writeFile(affinePath, data + affineStart, size - affineStart);

    loadedFigure = FigureCollection{};
    loadedAffines = AffineCollection{};
    projectionVector = Point4{};

    // The echo is not the point here; discarding it keeps the runs fast.
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    readSpecialFiles(figurePath.c_str(), affinePath.c_str());
    std::cout.rdbuf(saved);

    check(loadedFigure.count <= kMaxPolylines, "figure count above capacity");
    for (int i = 0; i < loadedFigure.count; ++i) {
        check(loadedFigure.polylines[i].count <= kMaxVertices, "vertex count above capacity");
    }
    check(loadedAffines.count <= kMaxAffines, "record count above capacity");
    return 0;
}
