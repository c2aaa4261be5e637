// Drawing tests against the recording GL stand-in: the figure pass, the decorations, the q-axis
// marker with its status lines, the order and console output of a whole frame, and init.
#include <GL/gl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/frame.h"
#include "app/status.h"
#include "gl_recorder.h"
#include "math4d/scalar_helpers.h"
#include "pipeline/figure_draw.h"
#include "pipeline/figure_projection.h"
#include "viewer/decorations.h"

namespace {

const double kLines = GL_LINES;

// Widens a float the way the drawing code must: exactly, not via a decimal double literal.
double w(float f) {
    return static_cast<double>(f);
}

// A vertex check: the position and the colour current when it was issued.
::testing::AssertionResult vertexIs(const glrec::Vertex& v, double x, double y, double z, double r,
                                    double g, double b) {
    if (v.x == x && v.y == y && v.z == z && v.red == r && v.green == g && v.blue == b) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "vertex (" << v.x << ", " << v.y << ", " << v.z << ") colour (" << v.red << ", "
           << v.green << ", " << v.blue << "), wanted (" << x << ", " << y << ", " << z
           << ") colour (" << r << ", " << g << ", " << b << ")";
}

// Lines of one whole frame with the status readout and the figure: bracket lines, four status
// lines and the nine-line matrix dump.
constexpr std::size_t kFullFrameLines = 3 + 4 + 9;

}  // namespace

// ---- Figure pass --------------------------------------------------------------------------

using FigureDrawTest = RecordingTest;

TEST_F(FigureDrawTest, LineLoopValueSelectsThePrimitive) {
    struct Case {
        int lineLoop;
        bool drawn;
        double mode;
    };
    const Case cases[] = {{0, true, GL_LINE_STRIP}, {1, true, GL_LINE_LOOP},
                          {3, true, GL_POINTS},     {2, false, 0},
                          {-1, false, 0},           {4, false, 0}};
    viewer.projectionVector = point4(0, 0, 0, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lineLoop);
        glrec::clear();
        makeFigure({unitSquare(), unitSquare()}, c.lineLoop)
            .draw(viewer.projectionVector, viewer.figureLineWidth);
        const std::vector<glrec::Block> blocks = glrec::blocks();
        EXPECT_EQ(glrec::countOf("glColor3f"), 2);  // the colour is set even when nothing is drawn
        if (c.drawn) {
            ASSERT_EQ(blocks.size(), 2u);
            for (const glrec::Block& b : blocks) {
                EXPECT_EQ(b.mode, c.mode);
                ASSERT_EQ(b.vertices.size(), 4u);
                EXPECT_TRUE(vertexIs(b.vertices[2], 1, 1, 0, 1, 0, 0));
            }
        } else {
            EXPECT_TRUE(blocks.empty()) << describeCalls();
        }
        const glrec::Replay state = glrec::replay();
        EXPECT_EQ(state.lineWidth, 1.0);
        EXPECT_EQ(state.pointSize, 1.0);
    }
}

TEST_F(FigureDrawTest, IssuesColoursAndWidenedVerticesInOrder) {
    viewer.projectionVector = point4(0, 0, 0, 1);
    viewer.figureLineWidth = 4.0f;
    const FigureCollection figure =
        makeFigure({makePolyline({point4(0.1f, 0.2f, 0.3f, 0), point4(-1.7f, 2.5f, 1e-3f, 0)}, 0.2f,
                                 0.4f, 0.6f),
                    makePolyline({point4(3, 4, 5, 0)}, 0.0f, 1.0f, 0.5f)},
                   1);
    figure.draw(viewer.projectionVector, viewer.figureLineWidth);
    EXPECT_TRUE(callsMatch(0, {{"glLineWidth", {4}},
                               {"glPointSize", {4}},
                               {"glColor3f", {w(0.2f), w(0.4f), w(0.6f)}},
                               {"glBegin", {GL_LINE_LOOP}},
                               {"glVertex3d", {w(0.1f), w(0.2f), w(0.3f)}},
                               {"glVertex3d", {w(-1.7f), w(2.5f), w(1e-3f)}},
                               {"glEnd", {}},
                               {"glColor3f", {0, 1, 0.5}},
                               {"glBegin", {GL_LINE_LOOP}},
                               {"glVertex3d", {3, 4, 5}},
                               {"glEnd", {}},
                               {"glLineWidth", {1}},
                               {"glPointSize", {1}}}));
    EXPECT_EQ(glrec::size(), 13);
}

TEST_F(FigureDrawTest, DegenerateFiguresStillSetAndRestoreTheWidths) {
    viewer.projectionVector = point4(0, 0, 0, 1);
    viewer.figureLineWidth = 7.0f;
    makeFigure({}, 1).draw(viewer.projectionVector, viewer.figureLineWidth);
    EXPECT_TRUE(callsMatch(
        0,
        {{"glLineWidth", {7}}, {"glPointSize", {7}}, {"glLineWidth", {1}}, {"glPointSize", {1}}}));
    EXPECT_EQ(glrec::size(), 4);

    // A polyline without vertices under a drawing flag gives an empty pair.
    glrec::clear();
    makeFigure({makePolyline({})}, 0).draw(viewer.projectionVector, viewer.figureLineWidth);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].vertices.empty());
}

TEST_F(FigureDrawTest, PolylineWithANonFiniteVertexIsLeftOutWhole) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    FigureCollection3 projected;
    projected.count = 4;
    projected.lineLoop = 0;
    const float vertices[4][3][3] = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
                                     {{0, 0, 0}, {1, 0, 0}, {1, 1, inf}},
                                     {{0, nan, 0}, {1, 0, 0}, {1, 1, 0}},
                                     {{2, 0, 0}, {2, 1, 0}, {2, 2, -inf}}};
    for (int i = 0; i < 4; ++i) {
        projected.polylines[i].count = 3;
        for (int j = 0; j < 3; ++j) {
            projected.polylines[i].vertices[j].set(vertices[i][j][0], vertices[i][j][1],
                                                   vertices[i][j][2]);
        }
        projected.setPolylineColour(i, 0.25f * static_cast<float>(i), 0, 0);
    }
    // The fifth slot holds a non-finite vertex too but lies beyond count.
    projected.polylines[4].count = 1;
    projected.polylines[4].vertices[0].set(inf, 0, 0);

    projected.draw(viewer.figureLineWidth);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u) << describeCalls();
    EXPECT_EQ(blocks[0].mode, GL_LINE_STRIP);
    ASSERT_EQ(blocks[0].vertices.size(), 3u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[2], 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(glrec::countOf("glColor3f"), 1);
    EXPECT_EQ(glrec::replay().lineWidth, 1.0);
    EXPECT_EQ(glrec::replay().pointSize, 1.0);
}

TEST_F(FigureDrawTest, EveryCoordinateIsCheckedAndOnlyInfinitiesAndNanCount) {
    // Seven vertices are 21 coordinates: whole groups of four and a remainder.
    const float extremes[] = {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::denorm_min(), -0.0f};
    const float bad[] = {std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (int at = 0; at < 21; ++at) {
        for (const float value : bad) {
            FigureCollection3 projected;
            projected.count = 1;
            projected.polylines[0].count = 7;
            Point3& v = projected.polylines[0].vertices[at / 3];
            (at % 3 == 0 ? v.x : at % 3 == 1 ? v.y : v.z) = value;
            // Beyond count: never looked at.
            projected.polylines[0].vertices[7].set(value, value, value);
            glrec::clear();
            projected.draw(viewer.figureLineWidth);
            EXPECT_EQ(glrec::countOf("glBegin"), 0) << "coordinate " << at << " = " << value;
        }
    }
    FigureCollection3 finite;
    finite.count = 1;
    finite.polylines[0].count = 7;
    for (int j = 0; j < 7; ++j) {
        finite.polylines[0].vertices[j].set(extremes[j % 4], extremes[(j + 1) % 4],
                                            extremes[(j + 2) % 4]);
    }
    finite.polylines[0].vertices[7].set(bad[0], bad[1], bad[2]);
    glrec::clear();
    finite.draw(viewer.figureLineWidth);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].vertices.size(), 7u);
}

TEST_F(FigureDrawTest, DrawFigureComposesCopiesOfTheLoadedRecordsUnderTheStep) {
    viewer.loadedFigure = makeFigure({unitSquare()}, 0);
    viewer.loadedAffines.count = 1;
    viewer.loadedAffines.setAffine(0, 5, 0.5f, 1, 0, 0, 0, 1, 1);  // moves x by step * 0.5
    viewer.globalStep = 2.0f;
    viewer.projectionVector = point4(0, 0, 0, 1);
    const FigureCollection figureBefore = viewer.loadedFigure;
    const AffineCollection affinesBefore = viewer.loadedAffines;

    drawFigure();
    const std::vector<GlCall> first = glrec::calls();
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].mode, GL_LINE_STRIP);
    ASSERT_EQ(blocks[0].vertices.size(), 4u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[0], 1, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(blocks[0].vertices[2], 2, 1, 0, 1, 0, 0));
    const std::vector<std::string> lines = consoleLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Matrix of Affine");
    EXPECT_EQ(lines[2], "1\t0\t0\t0\t1");

    // Nothing accumulates: the loaded records are untouched and a second pass is identical.
    EXPECT_EQ(std::memcmp(&viewer.loadedFigure, &figureBefore, sizeof viewer.loadedFigure), 0);
    EXPECT_EQ(std::memcmp(&viewer.loadedAffines, &affinesBefore, sizeof viewer.loadedAffines), 0);
    glrec::clear();
    drawFigure();
    const std::vector<GlCall> second = glrec::calls();
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_STREQ(second[i].name, first[i].name);
        EXPECT_EQ(std::memcmp(second[i].args, first[i].args, sizeof first[i].args), 0) << i;
    }
}

TEST_F(FigureDrawTest, ProjectionAlongTheCurrentVector) {
    viewer.loadedFigure = makeFigure({makePolyline({point4(0, 0, 0, 2), point4(1, 2, 3, 0)})}, 3);
    viewer.projectionVector = point4(1, 0, 0, 1);
    drawFigure();
    std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[0], -2, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(blocks[0].vertices[1], 1, 2, 3, 1, 0, 0));

    // A q component of 0, or one so small that the image overflows a float, leaves the figure
    // out while the matrix is still written.
    const Point4 vectors[] = {point4(0, 0, 0, 0), point4(1, 0, 0, 0), point4(1, 0, 0, 1e-40f)};
    for (const Point4& v : vectors) {
        SCOPED_TRACE(v.q);
        glrec::clear();
        console.clear();
        viewer.projectionVector = v;
        drawFigure();
        EXPECT_EQ(glrec::countOf("glBegin"), 0) << describeCalls();
        EXPECT_EQ(glrec::countOf("glVertex3d"), 0);
        EXPECT_EQ(consoleLines().size(), 9u);
        EXPECT_EQ(glrec::replay().lineWidth, 1.0);
    }
}

// ---- Decorations --------------------------------------------------------------------------

using DecorationsTest = RecordingTest;

TEST_F(DecorationsTest, AxesAreThickColouredLinesWithOutwardCones) {
    drawAxes(1, 1, 1, 2);
    EXPECT_TRUE(callsMatch(0, {{"glLineWidth", {3}},
                               {"glColor3f", {1, 0, 0}},
                               {"glBegin", {kLines}},
                               {"glVertex3d", {0, 0, 0}},
                               {"glVertex3d", {2, 0, 0}},
                               {"glEnd", {}},
                               {"glPushMatrix", {}},
                               {"glTranslated", {2, 0, 0}},
                               {"glRotated", {90, 0, 1, 0}},
                               {"glutSolidCone", {0.1, 0.5, 12, 9}},
                               {"glPopMatrix", {}},
                               {"glColor3f", {0, 1, 0}},
                               {"glBegin", {kLines}},
                               {"glVertex3d", {0, 0, 0}},
                               {"glVertex3d", {0, 2, 0}},
                               {"glEnd", {}},
                               {"glPushMatrix", {}},
                               {"glTranslated", {0, 2, 0}},
                               {"glRotated", {-90, 1, 0, 0}},
                               {"glutSolidCone", {0.1, 0.6, 12, 9}},
                               {"glPopMatrix", {}},
                               {"glColor3f", {0, 0, 1}},
                               {"glBegin", {kLines}},
                               {"glVertex3d", {0, 0, 0}},
                               {"glVertex3d", {0, 0, 2}},
                               {"glEnd", {}},
                               {"glPushMatrix", {}},
                               {"glTranslated", {0, 0, 2}},
                               {"glutSolidCone", {0.1, 0.5, 12, 9}},
                               {"glPopMatrix", {}},
                               {"glLineWidth", {1}}}));
    EXPECT_EQ(glrec::size(), 31);
}

TEST_F(DecorationsTest, AxisFlagsChooseTheAxesButEveryColourIsSet) {
    drawAxes(0, 1, 0, 5);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[1], 0, 5, 0, 0, 1, 0));
    ASSERT_EQ(glrec::countOf("glutSolidCone"), 1);
    EXPECT_EQ(glrec::named("glTranslated")[0].args[1], 5.0);
    EXPECT_EQ(glrec::countOf("glColor3f"), 3);

    // Flags are compared with 1: 0 and 2 both hide.
    for (int flag : {0, 2}) {
        glrec::clear();
        drawAxes(flag, flag, flag, 2);
        EXPECT_EQ(glrec::names(), (std::vector<std::string>{"glLineWidth", "glColor3f", "glColor3f",
                                                            "glColor3f", "glLineWidth"}));
        EXPECT_EQ(glrec::replay().lineWidth, 1.0);
    }
}

TEST_F(DecorationsTest, AllThreeGridsFormOneBlockOf84Vertices) {
    drawGrids(1, 1, 1, 3);
    EXPECT_TRUE(callsMatch(0, {{"glColor3f", {w(0.1f), w(0.1f), w(0.1f)}}, {"glBegin", {kLines}}}));
    EXPECT_EQ(glrec::countOf("glLineWidth"), 0);  // drawn at the width every step leaves, 1
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks[0].vertices.size(), 84u);
    EXPECT_EQ(glrec::at(glrec::size() - 1).name, std::string("glEnd"));

    // Planes in the order xy, yz, xz, 14 segments each: the coordinate across the plane is 0 and
    // every segment runs from -3 to 3 along exactly one axis at an integer offset.
    const int across[3] = {2, 0, 1};
    for (int plane = 0; plane < 3; ++plane) {
        for (int s = 0; s < 14; ++s) {
            SCOPED_TRACE(testing::Message() << "plane " << plane << " segment " << s);
            const glrec::Vertex& a = blocks[0].vertices[plane * 28 + s * 2];
            const glrec::Vertex& b = blocks[0].vertices[plane * 28 + s * 2 + 1];
            const double pa[3] = {a.x, a.y, a.z};
            const double pb[3] = {b.x, b.y, b.z};
            int running = 0;
            for (int k = 0; k < 3; ++k) {
                if (k == across[plane]) {
                    EXPECT_EQ(pa[k], 0.0);
                    EXPECT_EQ(pb[k], 0.0);
                } else if (pa[k] != pb[k]) {
                    ++running;
                    EXPECT_EQ(pa[k], -3.0);
                    EXPECT_EQ(pb[k], 3.0);
                } else {
                    EXPECT_EQ(pa[k], static_cast<double>(s / 2 - 3));  // offsets -3 .. 3
                }
            }
            EXPECT_EQ(running, 1);
            EXPECT_EQ(a.red, w(0.1f));
        }
    }
    // The first two segments of the xy grid, literally.
    EXPECT_TRUE(vertexIs(blocks[0].vertices[0], -3, -3, 0, w(0.1f), w(0.1f), w(0.1f)));
    EXPECT_TRUE(vertexIs(blocks[0].vertices[1], 3, -3, 0, w(0.1f), w(0.1f), w(0.1f)));
    EXPECT_TRUE(vertexIs(blocks[0].vertices[2], -3, -3, 0, w(0.1f), w(0.1f), w(0.1f)));
    EXPECT_TRUE(vertexIs(blocks[0].vertices[3], -3, 3, 0, w(0.1f), w(0.1f), w(0.1f)));
}

TEST_F(DecorationsTest, GridFlagsChooseThePlanes) {
    drawGrids(0, 1, 0, 2);
    std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks[0].vertices.size(), 20u);  // 5 lines each way at half-extent 2
    for (const glrec::Vertex& v : blocks[0].vertices) {
        EXPECT_EQ(v.x, 0.0);
    }

    glrec::clear();
    drawGrids(0, 0, 2, 3);  // nothing chosen: the block is still opened and closed
    blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].vertices.empty());
}

TEST_F(DecorationsTest, CameraShowsGridsAndAxesByItsFlags) {
    viewer.camera.gridShown = 0;
    viewer.camera.drawGridIfShown();
    viewer.camera.axesShown = 0;
    viewer.camera.drawAxesIfShown();
    EXPECT_EQ(glrec::size(), 0) << describeCalls();

    viewer.camera.gridShown = 1;
    viewer.camera.drawGridIfShown();
    std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].vertices.size(), 84u);

    glrec::clear();
    viewer.camera.axesShown = 1;
    viewer.camera.drawAxesIfShown();
    blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[1], 2, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(blocks[2].vertices[1], 0, 0, 2, 0, 0, 1));
    EXPECT_EQ(glrec::countOf("glutSolidCone"), 3);
}

// ---- Q-axis marker and status lines -------------------------------------------------------

using StatusTest = RecordingTest;

TEST_F(StatusTest, WritesTheFourStatusLines) {
    viewer.projectionVector = point4(0, 0, 1, 1);
    drawStatus(3.0f);
    EXPECT_EQ(consoleLines(),
              (std::vector<std::string>{"Projection Vector (x,y,z,q) (0 , 0 , 1 , 1)",
                                        "Q 3D Projection (x,y,z) (0 , 0 , -3)",
                                        "Eye (x,y,z)  -1.6    5     2", "GLOBAL STEP 0"}));
}

TEST_F(StatusTest, ValuesAreCutToTwoDecimalsButTheStepIsNot) {
    viewer.projectionVector = point4(0.999f, -0.999f, 0.004f, 1);
    viewer.camera.eye.set(0.999f, -0.999f, 12345.678f);
    viewer.globalStep = 2.567f;
    drawStatus(3.0f);
    EXPECT_EQ(consoleLines(), (std::vector<std::string>{
                                  "Projection Vector (x,y,z,q) (0.99 , -0.99 , 0 , 1)",
                                  "Q 3D Projection (x,y,z) (-2.99 , 2.99 , -0.01)",
                                  "Eye (x,y,z)  0.99    -0.99     12345.7", "GLOBAL STEP 2.567"}));
}

TEST_F(StatusTest, EveryEyeCoordinateIsCut) {
    const struct {
        float x, y, z;
        const char* line;
    } cases[] = {{1.239f, 0, 0, "Eye (x,y,z)  1.23    0     0"},
                 {0, -2.999f, 0, "Eye (x,y,z)  0    -2.99     0"},
                 {0, 0, 0.999f, "Eye (x,y,z)  0    0     0.99"}};
    for (const auto& c : cases) {
        console.clear();
        viewer.camera.eye.set(c.x, c.y, c.z);
        drawStatus(3.0f);
        ASSERT_EQ(consoleLines().size(), 4u);
        EXPECT_EQ(consoleLines()[2], c.line);
    }
}

TEST_F(StatusTest, MarkerIsAMagentaBallJoinedToTheOrigin) {
    viewer.projectionVector = point4(1, 0, 0, 1);
    drawStatus(3.0f);
    EXPECT_TRUE(callsMatch(0, {{"glColor3f", {1, 0, 1}},
                               {"glPushMatrix", {}},
                               {"glTranslated", {-3, 0, 0}},
                               {"glutSolidSphere", {0.1, 10, 10}},
                               {"glPopMatrix", {}},
                               {"glBegin", {kLines}},
                               {"glVertex3d", {0, 0, 0}},
                               {"glVertex3d", {-3, 0, 0}},
                               {"glEnd", {}}}));
    EXPECT_EQ(glrec::size(), 9);

    // Along the q axis the image is the origin: ball there, a line of zero length.
    glrec::clear();
    viewer.projectionVector = point4(0, 0, 0, 2);
    drawStatus(3.0f);
    EXPECT_EQ(glrec::named("glTranslated")[0].args[0], 0.0);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(vertexIs(blocks[0].vertices[1], 0, 0, 0, 1, 0, 1));
    EXPECT_EQ(consoleLines().at(5), "Q 3D Projection (x,y,z) (0 , 0 , 0)");
}

TEST_F(StatusTest, DropLinesRunFromEachAxisFootToTheMarkerAndTheOrigin) {
    viewer.showDropLines = 1;
    viewer.projectionVector = point4(0.1f, 1, -1.5f, 1);
    const Point3 p = projectTo3D(point4(0, 0, 0, 3), viewer.projectionVector);
    ASSERT_NE(p.x, 0.0f);  // a non-trivial marker, with float coordinates to widen
    drawStatus(3.0f);
    const std::vector<glrec::Block> blocks = glrec::blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].mode, kLines);
    const std::vector<glrec::Vertex>& v = blocks[1].vertices;
    ASSERT_EQ(v.size(), 12u);
    const double x = w(p.x), y = w(p.y), z = w(p.z);
    EXPECT_TRUE(vertexIs(v[0], x, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(v[1], x, y, z, 1, 0, 0));
    EXPECT_TRUE(vertexIs(v[2], x, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(v[3], 0, 0, 0, 1, 0, 0));
    EXPECT_TRUE(vertexIs(v[4], 0, y, 0, 0, 1, 0));
    EXPECT_TRUE(vertexIs(v[5], x, y, z, 0, 1, 0));
    EXPECT_TRUE(vertexIs(v[6], 0, y, 0, 0, 1, 0));
    EXPECT_TRUE(vertexIs(v[7], 0, 0, 0, 0, 1, 0));
    EXPECT_TRUE(vertexIs(v[8], 0, 0, z, 0, 0, 1));
    EXPECT_TRUE(vertexIs(v[9], x, y, z, 0, 0, 1));
    EXPECT_TRUE(vertexIs(v[10], 0, 0, z, 0, 0, 1));
    EXPECT_TRUE(vertexIs(v[11], 0, 0, 0, 0, 0, 1));
    const glrec::Replay state = glrec::replay();
    EXPECT_EQ(state.matrixDepth, 0);
    EXPECT_EQ(state.lineWidth, 1.0);
}

TEST_F(StatusTest, NonFiniteMarkerIsNotDrawnButTheLinesStillPrint) {
    viewer.showDropLines = 1;
    // q of 0 makes every coordinate non-finite; a tiny q overflows only x.
    const Point4 vectors[] = {point4(1, 0, 0, 0), point4(0, 0, 0, 0), point4(1e38f, 0, 0, 1e-38f)};
    for (const Point4& v : vectors) {
        SCOPED_TRACE(testing::Message() << v.x << " " << v.q);
        glrec::clear();
        console.clear();
        viewer.projectionVector = v;
        drawStatus(3.0f);
        EXPECT_EQ(glrec::countOf("glBegin"), 0) << describeCalls();
        EXPECT_EQ(glrec::countOf("glVertex3d"), 0);
        EXPECT_EQ(glrec::countOf("glTranslated"), 0);
        EXPECT_EQ(glrec::countOf("glutSolidSphere"), 0);
        EXPECT_EQ(glrec::replay().matrixDepth, 0);
        const std::vector<std::string> lines = consoleLines();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[1].rfind("Q 3D Projection (x,y,z) (", 0), 0u);
        EXPECT_EQ(lines[3], "GLOBAL STEP 0");
    }
    EXPECT_EQ(consoleLines()[1], "Q 3D Projection (x,y,z) (-inf , 0 , 0)");
    console.clear();
    viewer.projectionVector = point4(1, 0, 0, 0);
    drawStatus(3.0f);
    EXPECT_EQ(consoleLines()[0], "Projection Vector (x,y,z,q) (1 , 0 , 0 , 0)");
    EXPECT_NE(consoleLines()[1].find("inf"), std::string::npos);
    EXPECT_NE(consoleLines()[1].find("nan"), std::string::npos);
}

TEST_F(StatusTest, HugeFiniteMarkerIsDrawnAndPrintedUncut) {
    viewer.projectionVector = point4(1e9f, 0, 0, 1);
    drawStatus(3.0f);
    EXPECT_EQ(glrec::named("glTranslated").at(0).args[0], -3e9);
    EXPECT_EQ(consoleLines()[0], "Projection Vector (x,y,z,q) (1e+09 , 0 , 0 , 1)");
    EXPECT_EQ(consoleLines()[1], "Q 3D Projection (x,y,z) (-3e+09 , 0 , 0)");
}

// ---- The whole frame ----------------------------------------------------------------------

class FrameTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        viewer.loadedFigure = makeFigure({unitSquare()}, 1);
        viewer.projectionVector = point4(0, 0, 1, 1);
    }
};

TEST_F(FrameTest, DrawsEveryStepInItsOrder) {
    viewer.camera.gridShown = 1;
    display();
    EXPECT_TRUE(callsMatch(0, {{"glMatrixMode", {GL_MODELVIEW}},
                               {"glLoadIdentity", {}},
                               {"glClear", {0x4100}},
                               {"glMatrixMode", {GL_MODELVIEW}},
                               {"glLoadIdentity", {}},
                               {"gluLookAt", {w(-1.6f), 5, 2, 0, 0, 0, 0, 1, 0}},
                               {"glColor3f", {w(0.1f), w(0.1f), w(0.1f)}},
                               {"glBegin", {kLines}}}));
    const int gridEnd = glrec::indexOf("glEnd");
    const int axes = glrec::indexOf("glLineWidth");
    const int marker = glrec::indexOf("glutSolidSphere");
    const int lastCone = glrec::lastIndexOf("glutSolidCone");
    const int figure = glrec::indexOf("glPointSize");
    EXPECT_LT(gridEnd, axes);
    EXPECT_LT(lastCone, marker);
    EXPECT_LT(marker, figure);
    const int n = glrec::size();
    ASSERT_GE(n, 2);
    EXPECT_EQ(glrec::at(n - 2).name, std::string("glFlush"));
    EXPECT_EQ(glrec::at(n - 1).name, std::string("glutSwapBuffers"));
    EXPECT_EQ(glrec::countOf("glutSwapBuffers"), 1);
    EXPECT_EQ(glrec::blocks().size(), 1u + 3u + 1u + 1u);  // grid, axes, marker line, figure

    const std::vector<std::string> lines = consoleLines();
    ASSERT_EQ(lines.size(), kFullFrameLines);
    EXPECT_EQ(lines[0], "           Start Draw           ");
    EXPECT_EQ(lines[1], "Projection Vector (x,y,z,q) (0 , 0 , 1 , 1)");
    EXPECT_EQ(lines[4], "GLOBAL STEP 0");
    EXPECT_EQ(lines[5], "Matrix of Affine");
    EXPECT_EQ(lines[14], "-----------End Draw-----------");
    EXPECT_EQ(lines[15], "==============================");
}

TEST_F(FrameTest, EveryLineIsFlushedAsItEnds) {
    viewer.camera.gridShown = 1;
    display();
    ASSERT_EQ(consoleLines().size(), kFullFrameLines);
    EXPECT_TRUE(console.everyLineFlushed());
}

TEST_F(FrameTest, EveryStepLeavesWidthsAndMatricesAsItFoundThem) {
    viewer.camera.gridShown = 1;
    viewer.showDropLines = 1;
    viewer.figureLineWidth = 4.0f;
    viewer.loadedFigure.lineLoop = 3;
    display();
    std::vector<double> widths;
    for (const GlCall& c : glrec::named("glLineWidth")) {
        widths.push_back(c.args[0]);
    }
    EXPECT_EQ(widths, (std::vector<double>{3, 1, 4, 1}));  // axes, then figure, each restored
    EXPECT_EQ(glrec::named("glPointSize").back().args[0], 1.0);
    const glrec::Replay state = glrec::replay();
    EXPECT_EQ(state.matrixDepth, 0);
    EXPECT_EQ(state.lowestDepth, 0);
    EXPECT_FALSE(state.insideBlock);
    EXPECT_FALSE(state.nestedBlock);
    EXPECT_FALSE(state.transformInBlock);
}

TEST_F(FrameTest, WithAxesAndFigureHiddenOnlyTheBracketLinesAreWritten) {
    viewer.camera.axesShown = 0;
    viewer.showFigure = 0;
    display();
    EXPECT_EQ(consoleLines(), (std::vector<std::string>{"           Start Draw           ",
                                                        "-----------End Draw-----------",
                                                        "=============================="}));
    EXPECT_EQ(glrec::names(), (std::vector<std::string>{
                                  "glMatrixMode", "glLoadIdentity", "glClear", "glMatrixMode",
                                  "glLoadIdentity", "gluLookAt", "glFlush", "glutSwapBuffers"}));
}

TEST_F(FrameTest, HidingTheAxesAlsoHidesTheMarkerAndStatusLines) {
    viewer.camera.axesShown = 0;
    display();
    EXPECT_EQ(glrec::countOf("glutSolidCone"), 0);
    EXPECT_EQ(glrec::countOf("glutSolidSphere"), 0);
    EXPECT_EQ(glrec::blocks().size(), 1u);  // the figure alone
    const std::vector<std::string> lines = consoleLines();
    ASSERT_EQ(lines.size(), 3u + 9u);
    EXPECT_EQ(lines[1], "Matrix of Affine");
}

TEST_F(FrameTest, NonFiniteProjectionKeepsTheFrameAndItsLines) {
    viewer.projectionVector = point4(0, 0, 0, 0);
    display();
    const std::vector<std::string> lines = consoleLines();
    ASSERT_EQ(lines.size(), kFullFrameLines);
    EXPECT_EQ(lines[1], "Projection Vector (x,y,z,q) (0 , 0 , 0 , 0)");
    EXPECT_EQ(lines[15], "==============================");
    EXPECT_EQ(glrec::blocks().size(), 3u);  // the three axes only
    EXPECT_EQ(glrec::countOf("glutSolidSphere"), 0);
    EXPECT_EQ(glrec::at(glrec::size() - 1).name, std::string("glutSwapBuffers"));
    EXPECT_EQ(glrec::replay().lineWidth, 1.0);
}

// ---- Start-up -----------------------------------------------------------------------------

TEST_F(RecordingTest, InitSetsStartStatePerspectiveAndLoadsTheSceneFiles) {
    ScratchDir dir;
    dir.write("kvoTessa1F.txt", "3\n0 1 0\n1\n2\n1 2 3 4\n5 6 7 8\n");
    dir.write("kvoTessa1A.txt", "0 0 0 1\n0\n");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);

    resetProcessState();  // the camera all zero, as before start-up
    viewer.globalStep = 5.0f;
    init();
    EXPECT_EQ(chdir(previous), 0);

    EXPECT_EQ(viewer.globalStep, 0.0f);
    EXPECT_EQ(viewer.camera.eye.x, -1.6f);
    EXPECT_EQ(viewer.camera.axesShown, 1);
    EXPECT_EQ(OrbitCamera::azimuth, -2.2f);
    const float aspect = 800.0f / 600.0f;
    EXPECT_TRUE(callsMatch(0, {{"glMatrixMode", {GL_PROJECTION}},
                               {"glLoadIdentity", {}},
                               {"gluPerspective", {50, w(aspect), 0.3, 300}}}));
    EXPECT_EQ(glrec::size(), 3);  // the projection matrix mode is left selected
    EXPECT_EQ(viewer.loadedFigure.lineLoop, 3);
    ASSERT_EQ(viewer.loadedFigure.count, 1);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[1].q, 8.0f);
    EXPECT_EQ(viewer.projectionVector.q, 1.0f);
    EXPECT_NE(console.text().find("read successfull!"), std::string::npos);
}
