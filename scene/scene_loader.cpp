#include "scene/scene_loader.h"

#include <fstream>
#include <iostream>
#include <string>

#include "math4d/scalar_helpers.h"
#include "scene/scene_number.h"

namespace {

// Reads the numeric values of one scene file in order. The first value that is missing or not
// a number stops the reading for good: every later read fails at once without touching its
// target, so no loop can run on past the damage, and a failed value is never used.
class ValueReader {
public:
    explicit ValueReader(std::istream& in) : in_(in) {
        // Integers then follow their prefix: 010 is octal 8, 0x10 is hexadecimal 16.
        in_.unsetf(std::ios::basefield);
    }

    // Reads one value into out. describe() names the value for the damage report and is only
    // called when the read fails.
    template <typename T, typename Describe>
    bool read(T& out, Describe describe) {
        if (stopped_) {
            return false;
        }
        in_ >> std::ws;
        const bool fileEnded = in_.eof();
        T value{};
        if (fileEnded || !extract(value)) {
            stopped_ = true;
            reason_ = fileEnded ? " ends before value " : " has no readable number at value ";
            where_ = describe();
            return false;
        }
        out = value;
        ++valuesRead_;
        return true;
    }

    bool stopped() const { return stopped_; }

    // One line naming the file and the value at which reading stopped.
    void reportDamage(const char* heading, const char* fileName) const {
        std::cout << heading << fileName << reason_ << (valuesRead_ + 1) << ", " << where_
                  << "; reading stopped there" << std::endl;
    }

private:
    // Counts through the stream; floats the same way on every platform (see scene_number.h).
    bool extract(int& value) { return static_cast<bool>(in_ >> value); }
    bool extract(float& value) { return readSceneFloat(in_, value); }

    std::istream& in_;
    bool stopped_ = false;
    long long valuesRead_ = 0;
    const char* reason_ = "";
    std::string where_;
};

// Reads count floats into out, in order; describe(k) names value k (0-based) for the damage
// report. The values read before a failure stay in out.
template <typename Describe>
bool readFloats(ValueReader& values, float* out, int count, Describe describe) {
    for (int k = 0; k < count; ++k) {
        if (!values.read(out[k], [&] { return describe(k); })) {
            return false;
        }
    }
    return true;
}

constexpr const char* kAxisNames[4] = {"x", "y", "z", "q"};

// Reads the figure file's values into figure, echoing each as it is understood. Polylines and
// vertices beyond the capacity are read and echoed, so the values stay aligned, but not stored.
// The figure's count ends as the number of polylines actually stored (a negative count in the
// file is kept: it is an empty list).
void readFigure(std::istream& in, const char* fileName, FigureCollection& figure) {
    ValueReader values(in);

    int lineLoop = 0;
    if (!values.read(lineLoop, [] { return std::string("the line-loop value"); })) {
        values.reportDamage("PROBLEM READING FIGURE FILE!!! ", fileName);
        return;
    }
    figure.lineLoop = lineLoop;
    std::cout << "Line Loop " << lineLoop << std::endl;

    float colour[3] = {0.0f, 0.0f, 0.0f};  // red, green, blue
    if (!readFloats(values, colour, 3, [](int) { return std::string("the colour"); })) {
        values.reportDamage("PROBLEM READING FIGURE FILE!!! ", fileName);
        return;
    }
    std::cout << "Color " << colour[0] << " " << colour[1] << " " << colour[2] << std::endl;

    int polylineCount = 0;
    if (!values.read(polylineCount, [] { return std::string("the polyline count"); })) {
        values.reportDamage("PROBLEM READING FIGURE FILE!!! ", fileName);
        return;
    }
    std::cout << "Number Polylines " << polylineCount << std::endl;
    if (polylineCount > kMaxPolylines) {
        std::cout << "Polylines " << kMaxPolylines + 1 << " to " << polylineCount
                  << " are left out: a figure holds at most " << kMaxPolylines << std::endl;
    }

    // One working polyline serves every block; only its first count vertices are meaningful.
    Polyline working;
    int storedPolylines = 0;
    for (int i = 0; i < polylineCount && !values.stopped(); ++i) {
        const int number = i + 1;
        int vertexCount = 0;
        if (!values.read(vertexCount, [&] {
                return "the vertex count of polyline " + std::to_string(number);
            })) {
            break;
        }
        std::cout << "----- Polyline#" << number << " Number Vertex " << vertexCount << std::endl;
        if (vertexCount > kMaxVertices) {
            std::cout << "Vertices " << kMaxVertices + 1 << " to " << vertexCount << " of polyline "
                      << number << " are left out: a polyline holds at most " << kMaxVertices
                      << std::endl;
        }

        int storedVertices = 0;
        for (int j = 0; j < vertexCount; ++j) {
            const int vertex = j + 1;
            float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z, q
            if (!readFloats(values, v, 4, [&](int k) {
                    return std::string("the ") + kAxisNames[k] + " of vertex " +
                           std::to_string(vertex) + " of polyline " + std::to_string(number);
                })) {
                break;
            }
            std::cout << "       x,y,z,q " << v[0] << " " << v[1] << " " << v[2] << " " << v[3]
                      << std::endl;
            if (j < kMaxVertices) {
                working.setVertex(j, v[0], v[1], v[2], v[3]);
                storedVertices = j + 1;
            }
        }
        // A damaged polyline keeps the whole vertices read before the damage.
        working.count = vertexCount <= 0 ? vertexCount : storedVertices;
        working.setColour(colour[0], colour[1], colour[2]);
        if (i < kMaxPolylines) {
            figure.setPolyline(i, working);
            storedPolylines = i + 1;
        }
    }
    figure.count = polylineCount <= 0 ? polylineCount : storedPolylines;
    if (values.stopped()) {
        values.reportDamage("PROBLEM READING FIGURE FILE!!! ", fileName);
    }
}

// Reads the affine file's values into the projection vector and the (already reset) list,
// echoing each record on one line. Records beyond the capacity are read and echoed but not
// stored; the list's count ends as the number of records actually stored.
void readAffines(std::istream& in, const char* fileName, Point4& projection,
                 AffineCollection& affines) {
    ValueReader values(in);

    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (!readFloats(values, v, 4, [](int k) {
            return std::string("the ") + kAxisNames[k] + " of the projection vector";
        })) {
        // The components read before the damage are kept; the missing ones stay 0.
        projection.set(v[0], v[1], v[2], v[3]);
        values.reportDamage("PROBLEM READING AFFINE FILE!!! ", fileName);
        return;
    }
    std::cout << "Projection Vector (x,y,z,q) " << v[0] << " " << v[1] << " " << v[2] << " " << v[3]
              << std::endl;
    projection.set(v[0], v[1], v[2], v[3]);

    int affineCount = 0;
    if (!values.read(affineCount, [] { return std::string("the affine count"); })) {
        values.reportDamage("PROBLEM READING AFFINE FILE!!! ", fileName);
        return;
    }
    std::cout << "Number Affine  " << affineCount << std::endl;
    if (affineCount > kMaxAffines) {
        std::cout << "Affines " << kMaxAffines + 1 << " to " << affineCount
                  << " are left out: the list holds at most " << kMaxAffines << std::endl;
    }

    int storedAffines = 0;
    for (int i = 0; i < affineCount; ++i) {
        const int number = i + 1;
        int type = 0;
        if (!values.read(type, [&] { return "the type of affine " + std::to_string(number); })) {
            break;
        }
        std::cout << "----- Affine#" << number << " Type " << type;

        const int wanted = affineParameterCount(type);
        float p[7] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        if (!readFloats(values, p, wanted, [&](int k) {
                return "parameter " + std::to_string(k + 1) + " of affine " +
                       std::to_string(number);
            })) {
            std::cout << std::endl;
            break;
        }
        if (wanted > 0) {
            // Echoed as read: rotation angles still in degrees.
            std::cout << " Parameters:";
            for (int k = 0; k < wanted; ++k) {
                std::cout << " " << p[k];
            }
        }
        std::cout << std::endl;

        if (i < kMaxAffines) {
            if (type == kTransformRotate || type == kTransformStepRotate) {
                const float radians = static_cast<float>(static_cast<double>(p[0]) * kPi / 180.0);
                affines.setAffine(i, type, radians, p[1], p[2], p[3], p[4], p[5], p[6]);
            } else if (wanted > 0) {
                affines.setAffine(i, type, p[0], p[1], p[2], p[3], p[4], 1.0f, 1.0f);
            }
            // An unknown type leaves the record empty but still takes its place in the list.
            storedAffines = i + 1;
        }
    }
    affines.count = affineCount <= 0 ? affineCount : storedAffines;
    if (values.stopped()) {
        values.reportDamage("PROBLEM READING AFFINE FILE!!! ", fileName);
    }
}

}  // namespace

void readSceneStreams(std::istream* figure, const char* figureName, std::istream* affine,
                      const char* affineName, FigureCollection& figureOut,
                      AffineCollection& affinesOut, Point4& projection) {
    std::cout << "Start Read Special Files " << std::endl;

    if (figure == nullptr) {
        std::cout << "PROBLEM WITH FIGURE FILE!!! " << figureName << std::endl;
        return;
    }
    std::cout << "File Figure Collection " << figureName << " read successfull!" << std::endl;
    readFigure(*figure, figureName, figureOut);

    // A damaged figure file must not keep the affine file from being read.
    affinesOut.reset();
    if (affine == nullptr) {
        std::cout << "PROBLEM WITH AFFINE FILE!!! " << affineName << std::endl;
        return;
    }
    std::cout << "File Affine Collection " << affineName << " read successfull!" << std::endl;
    readAffines(*affine, affineName, projection, affinesOut);

    std::cout << "Finish Read Special Files " << std::endl;
    std::cout << "===========================" << std::endl;
}

void readSceneFiles(const char* figureName, const char* affineName, FigureCollection& figureOut,
                    AffineCollection& affinesOut, Point4& projection) {
    std::ifstream figure(figureName);
    if (figure.fail()) {
        readSceneStreams(nullptr, figureName, nullptr, affineName, figureOut, affinesOut,
                         projection);
        return;
    }
    std::ifstream affine(affineName);
    readSceneStreams(&figure, figureName, affine.fail() ? nullptr : &affine, affineName, figureOut,
                     affinesOut, projection);
}
