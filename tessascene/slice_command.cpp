#include "tessascene/slice_command.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "scene/scene_format.h"
#include "tessascene/slice_writer.h"
#include "tessascene/trails.h"
#include "toolkit/shown_name.h"

namespace {

const char kAxes[] = "xyzq";

// A number as strtod reads it that is 0 or fits a 32-bit float as a normal number; nothing may
// follow it.
bool parseValue(const std::string& text, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    const double size = std::fabs(value);
    return end == text.c_str() + text.size() && std::isfinite(value) &&
           (value == 0.0 || (size >= FLT_MIN && size <= FLT_MAX));
}

std::string shown(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The hyperplane's normal as the command line gives it.
std::string normalText(const Vertex4& normal) {
    return shown(normal[0]) + "," + shown(normal[1]) + "," + shown(normal[2]) + "," +
           shown(normal[3]);
}

// What the cut's value is called in messages: "q", or "N.P" for a general hyperplane.
std::string measure(const SliceOptions& slice) {
    return slice.axis >= 0 ? std::string(1, kAxes[slice.axis]) : std::string("N.P");
}

// "q = 0", or "N.P = 0.5 (N = 1,1,0,0)".
std::string planeText(const SliceOptions& slice, double offset) {
    std::string text = measure(slice) + " = " + shown(offset);
    if (slice.axis < 0) {
        text += " (N = " + normalText(slice.plane.normal) + ")";
    }
    return text;
}

// The scene texts of the cut of figure by plane; cut receives the cut, lineLoop how it is drawn
// (as points when it has no edges), polylines how many polylines it took and written what the
// figure file holds.
bool cutScene(const EdgeGraph& figure, const Hyperplane& plane, const SliceOutput& output,
              SceneTexts& texts, EdgeGraph& cut, int& lineLoop, std::size_t& polylines,
              WrittenFigure& written, std::string& error) {
    cut = cutFigure(figure, plane);
    lineLoop = cut.edges.empty() ? kLineLoopPoints : output.lineLoop;
    std::vector<std::vector<int>> layout;
    if (!cut.vertices.empty() && !layoutPolylines(cut, lineLoop, FigureCapacity{}, layout, error)) {
        return false;
    }
    SceneFigure scene;
    scene.lineLoop = lineLoop;
    scene.colour = output.colour;
    for (const std::vector<int>& indices : layout) {
        scene.polylines.emplace_back();
        for (int v : indices) {
            scene.polylines.back().push_back(cut.vertices[v]);
        }
    }
    polylines = layout.size();
    written = countWritten(scene);
    return figureFileText(scene, texts.figure, error) &&
           affineFileText(output.affines, texts.affine, error);
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool parseSliceOption(const std::string& option, const std::string& value, SliceOptions& slice,
                      std::string& problem) {
    slice.any = true;
    if (option == "--sweep") {
        if (value.empty() || value.size() > 4 ||
            value.find_first_not_of("0123456789") != std::string::npos ||
            std::atoi(value.c_str()) < 1 || std::atoi(value.c_str()) > 1000) {
            problem = "expected a whole number of cuts from 1 to 1000";
            return false;
        }
        slice.sweep = std::atoi(value.c_str());
        return true;
    }
    ++slice.given;
    const size_t mark = value.find(option == "--at" ? '=' : ':');
    const std::string offset = mark == std::string::npos ? "" : value.substr(mark + 1);
    slice.offsetGiven = mark != std::string::npos;
    if (slice.offsetGiven && !parseValue(offset, slice.plane.offset)) {
        problem =
            "the value C must be a number, 0 or within the range of a 32-bit float (about "
            "1.2e-38 to 3.4e+38 in size)";
        return false;
    }
    const std::string head = value.substr(0, mark);
    if (option == "--at") {
        const size_t axis = head.size() == 1 ? std::string(kAxes).find(head[0]) : std::string::npos;
        if (axis == std::string::npos) {
            problem = "expected AXIS=C with AXIS one of x y z q, for example q=0";
            return false;
        }
        slice.axis = static_cast<int>(axis);
        slice.plane.normal = {0.0, 0.0, 0.0, 0.0};
        slice.plane.normal[axis] = 1.0;
        return true;
    }
    std::vector<std::string> parts(1);
    for (char c : head) {
        if (c == ',') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    slice.axis = -1;
    bool numbers = parts.size() == 4;
    for (int i = 0; numbers && i < 4; ++i) {
        numbers = parseValue(parts[i], slice.plane.normal[i]);
    }
    if (!numbers) {
        problem =
            "expected NX,NY,NZ,NQ:C, five numbers (each 0 or within the range of a 32-bit "
            "float), for the points P with N.P = C";
        return false;
    }
    const Vertex4& n = slice.plane.normal;
    if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0 && n[3] == 0.0) {
        problem =
            "the normal 0,0,0,0 gives no hyperplane; at least one of NX,NY,NZ,NQ must not "
            "be 0";
        return false;
    }
    return true;
}

bool checkSliceOptions(bool sliceCommand, const SliceOptions& slice, std::string& error) {
    if (!sliceCommand) {
        if (slice.any) {
            error = "--at, --hyperplane and --sweep are for the slice command";
            return false;
        }
        return true;
    }
    if (slice.given > 1) {
        error = "give one hyperplane: one --at or one --hyperplane";
        return false;
    }
    if (slice.sweep > 0 && slice.offsetGiven) {
        error =
            "--sweep places its cuts itself: give the direction alone, as --at AXIS or "
            "--hyperplane NX,NY,NZ,NQ, without a value C";
        return false;
    }
    if (slice.sweep == 0 && !slice.offsetGiven) {
        error = "slice needs a hyperplane: --at AXIS=C or --hyperplane NX,NY,NZ,NQ:C, or --sweep N";
        return false;
    }
    return true;
}

EdgeGraph graphFromPaths(const std::vector<std::vector<Vertex4>>& paths, bool closed) {
    EdgeGraph graph;
    for (const std::vector<Vertex4>& path : paths) {
        const int first = static_cast<int>(graph.vertices.size());
        for (const Vertex4& p : path) {
            const int v = graph.addVertex(p[0], p[1], p[2], p[3]);
            if (v > first) {
                graph.edges.emplace_back(v - 1, v);  // new vertices: never a repeated edge
            }
        }
        const int last = static_cast<int>(graph.vertices.size()) - 1;
        if (closed && last - first >= 2) {
            graph.edges.emplace_back(first, last);
        }
    }
    return graph;
}

bool runSlice(const EdgeGraph& figure, const SliceOptions& slice, const SliceOutput& output,
              std::string& error) {
    const Extent extent = extentAlong(figure, slice.plane.normal);
    const double tolerance = onPlaneTolerance(figure, slice.plane.normal);
    const std::string range =
        "its " + measure(slice) + " runs from " + shown(extent.low) + " to " + shown(extent.high);
    EdgeGraph cut;
    int lineLoop = 0;
    std::size_t polylines = 0;
    WrittenFigure held;
    std::string folder = output.folder;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    folder = shownName(folder);

    if (slice.sweep == 0) {
        const double offset = slice.plane.offset;
        if (offset < extent.low - tolerance || offset > extent.high + tolerance) {
            error = planeText(slice, offset) + " does not meet the figure; " + range;
            return false;
        }
        SceneTexts texts;
        if (!cutScene(figure, slice.plane, output, texts, cut, lineLoop, polylines, held, error)) {
            error = "the cut at " + planeText(slice, offset) + ": " + error;
            return false;
        }
        if (cut.vertices.empty()) {
            error = planeText(slice, offset) + " meets no edge or vertex of the figure; " + range;
            return false;
        }
        std::string notice;
        SceneWrite how;
        how.replace = output.force;
        const bool written =
            writeSceneFiles(output.folder, texts.figure, texts.affine, how, notice, error);
        if (!notice.empty()) {
            std::cerr << "tessascene: " << notice << "\n";
        }
        if (!written) {
            return false;
        }
        std::cout << "Wrote " << folder << "/" << kFigureFileName << " and " << folder << "/"
                  << kAffineFileName << ": the cut at " << planeText(slice, offset) << ", "
                  << counted(held.vertices, "vertex", "vertices") << ", "
                  << counted(held.edges, "edge", "edges") << ", "
                  << counted(polylines, "polyline", "polylines") << " (line-loop " << lineLoop
                  << ")\n";
        return true;
    }

    if (!(extent.high - extent.low > tolerance)) {
        error = "the figure is flat across the sweep: " + range + "; choose another direction";
        return false;
    }
    std::vector<SceneTexts> scenes(static_cast<std::size_t>(slice.sweep));
    Hyperplane plane = slice.plane;
    std::size_t largest = 0;
    for (int k = 0; k < slice.sweep; ++k) {
        // Evenly spaced strictly inside the extent: the ends are left out.
        plane.offset = extent.low + (extent.high - extent.low) * (k + 1) / (slice.sweep + 1);
        if (!cutScene(figure, plane, output, scenes[k], cut, lineLoop, polylines, held, error)) {
            error = "cut " + sweepFolderName(k) + " at " + planeText(slice, plane.offset) + ": " +
                    error;
            return false;
        }
        largest = std::max(largest, held.vertices);
    }
    if (!writeSweep(output.folder, scenes, output.force, error)) {
        return false;
    }
    const double first = extent.low + (extent.high - extent.low) / (slice.sweep + 1);
    std::cout << "Wrote " << counted(scenes.size(), "cut", "cuts") << " at " << measure(slice)
              << " from " << shown(first) << " to "
              << shown(extent.high - (extent.high - extent.low) / (slice.sweep + 1)) << " into "
              << folder << "/000 to " << folder << "/" << sweepFolderName(slice.sweep - 1)
              << " (at most " << counted(largest, "vertex", "vertices") << " in a cut)\n";
    return true;
}
