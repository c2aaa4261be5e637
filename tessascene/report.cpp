#include "tessascene/report.h"

#include <iostream>
#include <vector>

#include "scene/scene_format.h"
#include "toolkit/shown_name.h"

namespace {

// "DIR/kvoTessa1F.txt and DIR/kvoTessa1A.txt"
std::string bothFiles(const std::string& folder) {
    const std::string shown = shownName(folder);
    return shown + "/" + kFigureFileName + " and " + shown + "/" + kAffineFileName;
}

const char* polylineWord(std::size_t count) {
    return count == 1 ? " polyline" : " polylines";
}

}  // namespace

int fail(int status, const std::string& message) {
    return failWith("tessascene", status, message);
}

void reportNotice(const std::string& notice) {
    if (!notice.empty()) {
        std::cerr << "tessascene: " << notice << "\n";
    }
}

void reportTableRead(const std::string& file, const PointTable& table) {
    std::cout << "Read " << shownName(file == "-" ? "standard input" : file) << ": " << table.points
              << " data points, " << table.description << "\n";
}

void reportSimplified(const FitReport& report, const PointTable& table) {
    const double diagonal = table.box.diagonal();
    const double percent = diagonal > 0.0 ? 100.0 * report.largestDistance / diagonal : 0.0;
    std::cout << "Simplified " << report.pointsIn << " points to " << report.verticesKept
              << " vertices: every point lies within " << report.largestDistance
              << " of the drawn line (" << percent
              << "% of the diagonal of the data's bounding box, " << diagonal << ")\n";
}

void reportTableWritten(const std::string& folder, std::size_t points, std::size_t vertices,
                        std::size_t polylines, int lineLoop) {
    std::cout << "Wrote " << bothFiles(folder) << ": " << points << " data points, " << vertices
              << " vertices in " << polylines << polylineWord(polylines) << " (line-loop "
              << lineLoop << ")\n";
}

void reportGraphWritten(const std::string& folder, const EdgeGraph& graph,
                        const WrittenFigure& written, std::size_t polylines, int lineLoop) {
    size_t isolated = graph.vertices.size();
    std::vector<char> touched(graph.vertices.size(), 0);
    for (const auto& e : graph.edges) {
        isolated -= (touched[e.first] == 0 ? 1 : 0) + (touched[e.second] == 0 ? 1 : 0);
        touched[e.first] = touched[e.second] = 1;
    }
    std::cout << "Wrote " << bothFiles(folder) << ": " << written.vertices << " vertices, "
              << written.edges << " edges, " << polylines << polylineWord(polylines)
              << " (line-loop " << lineLoop << ")";
    if (lineLoop != kLineLoopPoints && isolated > 0) {
        std::cout << "; " << isolated << " vertices without edges left out";
    }
    std::cout << "\n";
}
