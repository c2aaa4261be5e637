#include "tessascene/scene_text/scene_writer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "scene/scene_format.h"
#include "tessascene/figures/numbers.h"

namespace tessascene {

namespace {

// v, a decimal of digits significant digits, in printf's "%g" notation with that many digits,
// but a whole number below 1e6 in full ("40", not "4e+01"), as "%.6g" writes it.
std::string generalNotation(double v, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::strchr(text, 'e') != nullptr && std::fabs(v) >= 1.0 && std::fabs(v) < 1e6) {
        std::snprintf(text, sizeof text, "%.6g", v);
    }
    return text;
}

// The shortest decimal of at least first significant digits (up to 9) that strtof reads back
// as f, f finite, in generalNotation.
std::string shortestFloatTextFrom(float f, int first) {
    int exponent = 0;
    const bool powerOfTwo = std::fabs(std::frexp(f, &exponent)) == 0.5f;
    char text[40];
    for (int digits = first;; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, static_cast<double>(f));
        if (digits == 9 || readFloat(text) == f) {
            return generalNotation(std::strtod(text, nullptr), digits);
        }
        if (powerOfTwo) {
            // The floats next to a power of two lie twice as far away above it as below, so the
            // next decimal away from zero may read back when the nearest one does not.
            std::string mantissa(text, std::strchr(text, 'e'));
            const std::size_t point = mantissa.find('.');
            if (point != std::string::npos) {
                mantissa.erase(point, 1);
            }
            const long long m = std::stoll(mantissa);
            std::snprintf(text, sizeof text, "%llde%d", m + (m < 0 ? -1 : 1),
                          std::atoi(std::strchr(text, 'e') + 1) - (digits - 1));
            if (readFloat(text) == f) {
                return generalNotation(std::strtod(text, nullptr), digits);
            }
        }
    }
}

// The shortest decimal (1 to 9 significant digits) that strtof reads back as f, f finite, in
// generalNotation: snprintf rather than std::to_chars, which WebAssembly's C++ library lacks.
// For a normal float the six-digit decimals lie more than ten float steps apart, so at most one
// of them reads back as f, and a shorter decimal that reads back is that one without its
// trailing zeros, as "%g" writes it: one snprintf and one read settle most floats.
std::string shortestFloatText(float f) {
    if (std::fabs(f) < FLT_MIN) {
        return shortestFloatTextFrom(f, 1);
    }
    const std::string text = generalNotation(f, 6);
    return readFloat(text.c_str()) == f ? text : shortestFloatTextFrom(f, 7);
}

}  // namespace

bool fitsFloat(double v) {
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

bool writableCoordinate(double c, double largest) {
    const double size = std::fabs(c);
    return fitsFloat(c) && (size <= largest * 1e-9 || size >= FLT_MIN);
}

float writtenFloat(double v) {
    const float f = static_cast<float>(v);
    // The loader may not read a subnormal back; 0.0f also turns -0 into 0.
    return std::fabs(f) < FLT_MIN ? 0.0f : f;
}

std::string formatFloat(double v) {
    return shortestFloatText(writtenFloat(v));
}

WrittenFigure countWritten(const SceneFigure& figure) {
    std::map<std::array<float, 4>, std::size_t> index;  // of each distinct vertex
    std::set<std::pair<std::size_t, std::size_t>> edges;
    for (const auto& polyline : figure.polylines) {
        std::vector<std::size_t> ids;
        for (const Vertex4& v : polyline) {
            const std::array<float, 4> key = {writtenFloat(v[0]), writtenFloat(v[1]),
                                              writtenFloat(v[2]), writtenFloat(v[3])};
            ids.push_back(index.emplace(key, index.size()).first->second);
        }
        const std::size_t n = ids.size();
        const bool closed = figure.lineLoop == kLineLoopClosed;
        for (std::size_t i = 1; figure.lineLoop != kLineLoopPoints && (i < n || (closed && i == n));
             ++i) {
            const std::size_t a = ids[i - 1], b = ids[i % n];
            if (a != b) {
                edges.emplace(std::min(a, b), std::max(a, b));
            }
        }
    }
    return WrittenFigure{index.size(), edges.size()};
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

    std::ostringstream out;
    out << figure.lineLoop << "\n"
        << formatFloat(figure.colour[0]) << " " << formatFloat(figure.colour[1]) << " "
        << formatFloat(figure.colour[2]) << "\n"
        << figure.polylines.size() << "\n";
    for (const auto& polyline : figure.polylines) {
        out << polyline.size() << "\n";
        for (const Vertex4& v : polyline) {
            out << formatFloat(v[0]) << " " << formatFloat(v[1]) << " " << formatFloat(v[2]) << " "
                << formatFloat(v[3]) << "\n";
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
