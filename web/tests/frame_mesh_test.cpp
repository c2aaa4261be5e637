// The page's picture of a frame: which parts appear under which flags, one-pixel lines as lines
// and wider ones as quads, the drawing modes, and polylines thrown to infinity left out.

#include "web/frame_mesh.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// Counts of what a mesh draws: line indices, triangle indices, and the quads' widths.
struct Drawn {
    unsigned lineIndices = 0;
    unsigned triangleIndices = 0;
};

Drawn drawn(const FrameMesh& mesh) {
    Drawn d;
    unsigned next = 0;
    for (const MeshBatch& b : mesh.batches) {
        EXPECT_EQ(b.first, next) << "batches cover the indices in order";
        next = b.first + b.count;
        (b.mode == kMeshLines ? d.lineIndices : d.triangleIndices) += b.count;
    }
    EXPECT_EQ(next, mesh.indices.size());
    for (const std::uint32_t i : mesh.indices) {
        EXPECT_LT(i, mesh.vertices.size());
    }
    return d;
}

// A state with only the figure shown: a square of four vertices in the given mode and width.
ViewerState squareOnly(int lineLoop, float width) {
    ViewerState s;
    s.camera.setDefaults();
    s.camera.axesShown = 0;
    s.projectionVector.set(0.4f, -0.3f, 0.2f, 1.0f);
    s.figureLineWidth = width;
    Polyline p;
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) {
        p.setVertex(p.count++, c[0], c[1], 0.0f, 0.0f);
    }
    p.setColour(1.0f, 0.5f, 0.0f);
    s.loadedFigure.setPolyline(0, p);
    s.loadedFigure.count = 1;
    s.loadedFigure.lineLoop = lineLoop;
    return s;
}

TEST(FrameMesh, FigureModesAndWidths) {
    struct Case {
        int lineLoop;
        float width;
        unsigned lineIndices;
        unsigned triangleIndices;
    };
    const Case cases[] = {
        {kLineLoopOpen, 1.0f, 6, 0},     // three segments as lines
        {kLineLoopClosed, 1.0f, 8, 0},   // and the closing one
        {kLineLoopClosed, 4.0f, 0, 24},  // four quads
        {kLineLoopPoints, 1.0f, 0, 24},  // four squares
        {2, 5.0f, 0, 0},                 // a mode that draws nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lineLoop);
        FrameMesh mesh;
        buildFrameMesh(squareOnly(c.lineLoop, c.width), mesh);
        const Drawn d = drawn(mesh);
        EXPECT_EQ(d.lineIndices, c.lineIndices);
        EXPECT_EQ(d.triangleIndices, c.triangleIndices);
        for (const MeshVertex& v : mesh.vertices) {
            EXPECT_EQ(v.width, c.width == 1.0f && c.lineLoop != kLineLoopPoints ? 0.0f : c.width);
        }
    }
}

TEST(FrameMesh, AtTwoDevicePixelsPerViewPixelAOnePixelLineIsAQuad) {
    FrameMesh mesh;
    mesh.pixelRatio = 2.0f;
    buildFrameMesh(squareOnly(kLineLoopClosed, 1.0f), mesh);
    const Drawn d = drawn(mesh);
    EXPECT_EQ(d.lineIndices, 0u);
    EXPECT_EQ(d.triangleIndices, 24u);
}

TEST(FrameMesh, PolylinesThrownToInfinityAreLeftOut) {
    ViewerState s = squareOnly(kLineLoopClosed, 1.0f);
    s.loadedFigure.polylines[0].vertices[2].q = 1.0f;
    s.projectionVector.q = 0.0f;  // q = 0 vertices project to NaN, the one with q = 1 to infinity
    FrameMesh mesh;
    buildFrameMesh(s, mesh);
    EXPECT_TRUE(mesh.indices.empty());
}

TEST(FrameMesh, FlagsChooseTheParts) {
    ViewerState s = squareOnly(kLineLoopClosed, 1.0f);
    s.showFigure = 0;
    FrameMesh mesh;
    buildFrameMesh(s, mesh);
    EXPECT_TRUE(mesh.indices.empty());

    s.camera.gridShown = 1;  // 42 grid lines
    buildFrameMesh(s, mesh);
    EXPECT_EQ(drawn(mesh).lineIndices, 84u);
    EXPECT_EQ(drawn(mesh).triangleIndices, 0u);

    s.camera.gridShown = 0;
    s.camera.axesShown = 1;  // 3-pixel axes (quads), cones and ball, the marker's line
    buildFrameMesh(s, mesh);
    const Drawn axes = drawn(mesh);
    EXPECT_EQ(axes.lineIndices, 2u);
    EXPECT_EQ(axes.triangleIndices, 3u * 6 + 3u * 12 * 2 * 3 + 10u * 10 * 2 * 3);

    s.showDropLines = 1;  // six more lines
    buildFrameMesh(s, mesh);
    EXPECT_EQ(drawn(mesh).lineIndices, 14u);

    s.projectionVector.q = std::numeric_limits<float>::quiet_NaN();  // no marker to draw
    buildFrameMesh(s, mesh);
    EXPECT_EQ(drawn(mesh).lineIndices, 0u);
}

}  // namespace
