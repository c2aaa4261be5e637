#include "tessascene/scene_text/scene_writer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <sstream>

#include "scene/scene_format.h"

namespace tessascene {

bool fitsFloat(double v) {
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

bool writableCoordinate(double c, double largest) {
    const double size = std::fabs(c);
    return fitsFloat(c) && (size <= largest * 1e-9 || size >= FLT_MIN);
}

std::string formatFloat(double v) {
    float f = static_cast<float>(v);
    // The loader may not read a subnormal back; 0.0f also turns -0 into 0.
    if (std::fabs(f) < FLT_MIN) {
        f = 0.0f;
    }
    return sceneNumberText(f);
}

bool figureFileText(const SceneFigure& figure, std::string& text, std::string& error) {
    double largest = 0.0;
    for (const auto& polyline : figure.polylines) {
        for (const Vertex4& v : polyline) {
            for (double c : v) {
                if (!fitsFloat(c)) {
                    error = "a vertex coordinate does not fit a 32-bit float";
                    return false;
                }
                largest = std::max(largest, std::fabs(c));
            }
        }
    }
    for (double c : figure.colour) {
        if (!fitsFloat(c)) {
            error = "a colour component does not fit a 32-bit float";
            return false;
        }
    }
    for (const auto& polyline : figure.polylines) {
        for (const Vertex4& v : polyline) {
            for (double c : v) {
                if (!writableCoordinate(c, largest)) {
                    error = "a vertex coordinate is too small for a 32-bit float";
                    return false;
                }
            }
        }
    }
    // Rounding noise such as cos(pi / 2) = 6e-17 is written as 0.
    const double negligible = largest * 1e-9;
    const auto coordinate = [negligible](double c) {
        return formatFloat(std::fabs(c) <= negligible ? 0.0 : c);
    };

    std::ostringstream out;
    out << figure.lineLoop << "\n"
        << formatFloat(figure.colour[0]) << " " << formatFloat(figure.colour[1]) << " "
        << formatFloat(figure.colour[2]) << "\n"
        << figure.polylines.size() << "\n";
    for (const auto& polyline : figure.polylines) {
        out << polyline.size() << "\n";
        for (const Vertex4& v : polyline) {
            out << coordinate(v[0]) << " " << coordinate(v[1]) << " " << coordinate(v[2]) << " "
                << coordinate(v[3]) << "\n";
        }
    }
    text = out.str();
    return true;
}

bool affineFileText(const SceneAffines& affines, std::string& text, std::string& error) {
    std::ostringstream out;
    for (double c : affines.projection) {
        if (!fitsFloat(c)) {
            error = "a projection vector component does not fit a 32-bit float";
            return false;
        }
    }
    out << formatFloat(affines.projection[0]) << " " << formatFloat(affines.projection[1]) << " "
        << formatFloat(affines.projection[2]) << " " << formatFloat(affines.projection[3]) << "\n"
        << affines.records.size() << "\n";
    for (size_t i = 0; i < affines.records.size(); ++i) {
        const AffineRecord& record = affines.records[i];
        const size_t wanted = static_cast<size_t>(affineParameterCount(record.type));
        if (wanted == 0 || record.params.size() != wanted) {
            error = "transform " + std::to_string(i + 1) + " of type " +
                    std::to_string(record.type) + " has " + std::to_string(record.params.size()) +
                    " parameters";
            return false;
        }
        out << record.type;
        for (double p : record.params) {
            if (!fitsFloat(p)) {
                error = "a parameter of transform " + std::to_string(i + 1) +
                        " does not fit a 32-bit float";
                return false;
            }
            out << " " << formatFloat(p);
        }
        out << "\n";
    }
    text = out.str();
    return true;
}

}  // namespace tessascene
