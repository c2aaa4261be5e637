#include "web/frame_mesh.h"

#include <cmath>
#include <initializer_list>

#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"
#include "viewer/picture_sizes.h"
#include "viewer/readout.h"

namespace {
constexpr float kViewportWidth = 800.0f;
constexpr float kViewportHeight = 600.0f;

struct Rgb {
    float r, g, b;
};
constexpr Rgb kRed{1.0f, 0.0f, 0.0f};
constexpr Rgb kGreen{0.0f, 1.0f, 0.0f};
constexpr Rgb kBlue{0.0f, 0.0f, 1.0f};
constexpr Rgb kMagenta{1.0f, 0.0f, 1.0f};

MeshVertex vertex(const Point3& p, const Point3& other, float cx, float cy, Rgb c, float width) {
    return MeshVertex{
        {p.x, p.y, p.z}, {other.x, other.y, other.z}, {cx, cy}, {c.r, c.g, c.b}, width};
}

Point3 point(float x, float y, float z) {
    Point3 p;
    p.set(x, y, z);
    return p;
}

// Appends indices (relative to the next vertex) in a mode, continuing the last batch when it
// is of the same mode.
void addIndices(FrameMesh& out, MeshMode mode, std::initializer_list<std::uint32_t> relative) {
    const auto first = static_cast<std::uint32_t>(out.vertices.size());
    if (out.batches.empty() || out.batches.back().mode != mode) {
        out.batches.push_back(MeshBatch{mode, static_cast<std::uint32_t>(out.indices.size()), 0});
    }
    for (const std::uint32_t k : relative) {
        out.indices.push_back(first + k);
    }
    out.batches.back().count += static_cast<std::uint32_t>(relative.size());
}

// Four vertices as the quad v0 v1 v2 v3 (two triangles).
void quad(FrameMesh& out, const MeshVertex& v0, const MeshVertex& v1, const MeshVertex& v2,
          const MeshVertex& v3) {
    addIndices(out, kMeshTriangles, {0, 1, 2, 0, 2, 3});
    out.vertices.insert(out.vertices.end(), {v0, v1, v2, v3});
}

// A segment from a to b, width view pixels wide: a one-device-pixel line, or two triangles whose
// corners the shader moves apart.
void line(FrameMesh& out, const Point3& a, const Point3& b, Rgb c, float width) {
    if (width * out.pixelRatio == 1.0f) {
        addIndices(out, kMeshLines, {0, 1});
        out.vertices.push_back(vertex(a, a, 0.0f, 0.0f, c, 0.0f));
        out.vertices.push_back(vertex(b, b, 0.0f, 0.0f, c, 0.0f));
        return;
    }
    quad(out, vertex(a, b, 0.0f, -1.0f, c, width), vertex(a, b, 0.0f, 1.0f, c, width),
         vertex(b, a, 0.0f, 1.0f, c, width), vertex(b, a, 0.0f, -1.0f, c, width));
}

// A square point of side width pixels centred on p.
void dot(FrameMesh& out, const Point3& p, Rgb c, float width) {
    quad(out, vertex(p, p, -1.0f, -1.0f, c, width), vertex(p, p, 1.0f, -1.0f, c, width),
         vertex(p, p, 1.0f, 1.0f, c, width), vertex(p, p, -1.0f, 1.0f, c, width));
}

void triangle(FrameMesh& out, const Point3& a, const Point3& b, const Point3& c, Rgb colour) {
    addIndices(out, kMeshTriangles, {0, 1, 2});
    out.vertices.push_back(vertex(a, a, 0.0f, 0.0f, colour, 0.0f));
    out.vertices.push_back(vertex(b, b, 0.0f, 0.0f, colour, 0.0f));
    out.vertices.push_back(vertex(c, c, 0.0f, 0.0f, colour, 0.0f));
}

// A solid cone standing on base with its tip height further along the axis (1 = x, 2 = y,
// 3 = z), its base circle of kConeRadius cut into kConeSlices as GLUT cuts it.
void cone(FrameMesh& out, const Point3& base, int axis, float height, Rgb c) {
    // Local cone coordinates (u, v along the base, w along the axis) into scene coordinates, as
    // the rotations that turn GLUT's +z cone onto each axis do.
    auto place = [&](double u, double v, double w) {
        switch (axis) {
            case 1:
                return point(base.x + static_cast<float>(w), base.y + static_cast<float>(v),
                             base.z - static_cast<float>(u));
            case 2:
                return point(base.x + static_cast<float>(u), base.y + static_cast<float>(w),
                             base.z - static_cast<float>(v));
            default:
                return point(base.x + static_cast<float>(u), base.y + static_cast<float>(v),
                             base.z + static_cast<float>(w));
        }
    };
    const Point3 tip = place(0.0, 0.0, height);
    const Point3 centre = place(0.0, 0.0, 0.0);
    const double step = 2.0 * M_PI / kConeSlices;
    for (int i = 0; i < kConeSlices; ++i) {
        const Point3 p0 =
            place(kConeRadius * std::cos(step * i), kConeRadius * std::sin(step * i), 0.0);
        const Point3 p1 = place(kConeRadius * std::cos(step * (i + 1)),
                                kConeRadius * std::sin(step * (i + 1)), 0.0);
        triangle(out, p0, p1, tip, c);
        triangle(out, p1, p0, centre, c);
    }
}

// A solid ball of kBallRadius around p, in slices and stacks as GLUT's.
void ball(FrameMesh& out, const Point3& p, Rgb c) {
    auto at = [&](int slice, int stack) {
        const double phi = M_PI * stack / kBallStacks;
        const double theta = 2.0 * M_PI * slice / kBallSlices;
        const double r = kBallRadius * std::sin(phi);
        return point(p.x + static_cast<float>(r * std::cos(theta)),
                     p.y + static_cast<float>(r * std::sin(theta)),
                     p.z + static_cast<float>(kBallRadius * std::cos(phi)));
    };
    for (int stack = 0; stack < kBallStacks; ++stack) {
        for (int slice = 0; slice < kBallSlices; ++slice) {
            const Point3 a = at(slice, stack), b = at(slice + 1, stack);
            const Point3 d = at(slice, stack + 1), e = at(slice + 1, stack + 1);
            triangle(out, a, b, e, c);
            triangle(out, a, e, d, c);
        }
    }
}

void grids(FrameMesh& out) {
    const float n = kGridHalfExtent;
    const Rgb grey{kGridGrey, kGridGrey, kGridGrey};
    for (int k = -kGridHalfExtent; k <= kGridHalfExtent; ++k) {  // xy
        const float i = static_cast<float>(k);
        line(out, point(-n, i, 0), point(n, i, 0), grey, 1.0f);
        line(out, point(i, -n, 0), point(i, n, 0), grey, 1.0f);
    }
    for (int k = -kGridHalfExtent; k <= kGridHalfExtent; ++k) {  // yz
        const float i = static_cast<float>(k);
        line(out, point(0, -n, i), point(0, n, i), grey, 1.0f);
        line(out, point(0, i, -n), point(0, i, n), grey, 1.0f);
    }
    for (int k = -kGridHalfExtent; k <= kGridHalfExtent; ++k) {  // xz
        const float i = static_cast<float>(k);
        line(out, point(-n, 0, i), point(n, 0, i), grey, 1.0f);
        line(out, point(i, 0, -n), point(i, 0, n), grey, 1.0f);
    }
}

void axes(FrameMesh& out) {
    const float l = kAxisLength;
    const Point3 origin = point(0, 0, 0);
    line(out, origin, point(l, 0, 0), kRed, kAxisLineWidth);
    cone(out, point(l, 0, 0), 1, kConeHeight, kRed);
    line(out, origin, point(0, l, 0), kGreen, kAxisLineWidth);
    cone(out, point(0, l, 0), 2, kYConeHeight, kGreen);
    line(out, origin, point(0, 0, l), kBlue, kAxisLineWidth);
    cone(out, point(0, 0, l), 3, kConeHeight, kBlue);
}

// The magenta ball at the q marker joined to the origin, and the drop lines when shown.
void marker(FrameMesh& out, const Point3& p, bool dropLines) {
    const Point3 origin = point(0, 0, 0);
    ball(out, p, kMagenta);
    line(out, origin, p, kMagenta, 1.0f);
    if (dropLines) {
        const Point3 feet[3] = {point(p.x, 0, 0), point(0, p.y, 0), point(0, 0, p.z)};
        const Rgb colours[3] = {kRed, kGreen, kBlue};
        for (int k = 0; k < 3; ++k) {
            line(out, feet[k], p, colours[k], 1.0f);
            line(out, feet[k], origin, colours[k], 1.0f);
        }
    }
}

void figure(FrameMesh& out, const ViewerState& state) {
    static FigureCollection transformed;
    static FigureCollection3 projected;
    transformed = state.loadedFigure.transform(
        composeAffineCollection(state.loadedAffines, state.globalStep));
    projected = transformed.project(state.projectionVector);
    const float width = state.figureLineWidth;
    const int mode = projected.lineLoop;
    if (mode != kLineLoopOpen && mode != kLineLoopClosed && mode != kLineLoopPoints) {
        return;
    }
    for (int i = 0; i < projected.count; ++i) {
        const Polyline3& p = projected.polylines[i];
        if (!allVerticesFinite(p)) {
            continue;
        }
        const Rgb c{p.red, p.green, p.blue};
        if (mode == kLineLoopPoints) {
            for (int j = 0; j < p.count; ++j) {
                dot(out, p.vertices[j], c, width);
            }
            continue;
        }
        for (int j = 0; j + 1 < p.count; ++j) {
            line(out, p.vertices[j], p.vertices[j + 1], c, width);
        }
        if (mode == kLineLoopClosed && p.count > 2) {
            line(out, p.vertices[p.count - 1], p.vertices[0], c, width);
        }
    }
}

// gluPerspective x gluLookAt, in double, stored column-major as floats.
void viewProjection(const OrbitCamera& camera, float* m) {
    const double aspect = static_cast<double>(kViewportWidth / kViewportHeight);
    const double f = 1.0 / std::tan(kFieldOfViewDegrees * M_PI / 360.0);
    double p[4][4] = {};  // p[row][col]
    p[0][0] = f / aspect;
    p[1][1] = f;
    p[2][2] = (kFarPlane + kNearPlane) / (kNearPlane - kFarPlane);
    p[2][3] = 2.0 * kFarPlane * kNearPlane / (kNearPlane - kFarPlane);
    p[3][2] = -1.0;

    const double eye[3] = {camera.eye.x, camera.eye.y, camera.eye.z};
    double fw[3] = {camera.target.x - eye[0], camera.target.y - eye[1], camera.target.z - eye[2]};
    const double up[3] = {camera.up.x, camera.up.y, camera.up.z};
    auto normalise = [](double* v) {
        const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (n != 0.0) {
            v[0] /= n;
            v[1] /= n;
            v[2] /= n;
        }
    };
    normalise(fw);
    double s[3] = {fw[1] * up[2] - fw[2] * up[1], fw[2] * up[0] - fw[0] * up[2],
                   fw[0] * up[1] - fw[1] * up[0]};
    normalise(s);
    const double u[3] = {s[1] * fw[2] - s[2] * fw[1], s[2] * fw[0] - s[0] * fw[2],
                         s[0] * fw[1] - s[1] * fw[0]};
    double v[4][4] = {{s[0], s[1], s[2], 0.0},
                      {u[0], u[1], u[2], 0.0},
                      {-fw[0], -fw[1], -fw[2], 0.0},
                      {0.0, 0.0, 0.0, 1.0}};
    for (int r = 0; r < 3; ++r) {
        v[r][3] = -(v[r][0] * eye[0] + v[r][1] * eye[1] + v[r][2] * eye[2]);
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += p[r][k] * v[k][c];
            }
            m[c * 4 + r] = static_cast<float>(sum);
        }
    }
}
}  // namespace

void buildFrameMesh(const ViewerState& state, FrameMesh& mesh) {
    FrameMesh& out = mesh;
    out.vertices.clear();
    out.indices.clear();
    out.batches.clear();
    viewProjection(state.camera, mesh.viewProjection);
    if (state.camera.gridShown == 1) {
        grids(out);
    }
    if (state.camera.axesShown == 1) {
        axes(out);
        const Point3 p = qMarkerImage(state.projectionVector, kMarkerLength);
        if (isFinite(p)) {
            marker(out, p, state.showDropLines == 1);
        }
    }
    if (state.showFigure == 1) {
        figure(out, state);
    }
}
