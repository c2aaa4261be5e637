// The figure pipeline: composing the transform list under the global step, transforming the
// figure and projecting it from 4D into 3D.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "math4d/affine_transform.h"
#include "math4d/scalar_helpers.h"
#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"
#include "test_helpers.h"

namespace {

// A transform list as the loader stores it: angles of types 3 and 6 given here in degrees.
struct Record {
    int type;
    float p[7];
};

AffineCollection makeList(std::initializer_list<Record> records) {
    AffineCollection list;
    list.reset();
    for (const Record& r : records) {
        float p0 = r.p[0];
        if (r.type == 3 || r.type == 6) {
            p0 = static_cast<float>(static_cast<double>(p0) * kPi / 180.0);
        }
        list.setAffine(list.count, r.type, p0, r.p[1], r.p[2], r.p[3], r.p[4], r.p[5], r.p[6]);
        ++list.count;
    }
    return list;
}

// Where the composed list takes a single point, and the printed matrix block.
Point4 compose(const AffineCollection& list, float step, Point4 p, std::string* log = nullptr) {
    CaptureStdout capture;
    const FigureCollection out = applyAffineCollection(makeFigure({makePolyline({p})}), list, step);
    if (log != nullptr) {
        *log = capture.text();
    }
    return out.polylines[0].vertices[0];
}

const Record kMoveX = {2, {1, 1, 0, 0, 0, 1, 1}};
const Record kQuarterTurnXY = {3, {90, 1, 0, 0, 0, 0, 0}};

}  // namespace

TEST(Composition, AnEmptyListPrintsTheIdentityAndChangesNothing) {
    AffineCollection empty;
    empty.reset();
    const FigureCollection figure = makeFigure({unitSquare(0.5f), unitSquare(-2.0f)}, 0);
    CaptureStdout capture;
    const FigureCollection out = applyAffineCollection(figure, empty, 5.0f);
    EXPECT_EQ(capture.text(),
              "Matrix of Affine\n--------\n"
              "1\t0\t0\t0\t0\n0\t1\t0\t0\t0\n0\t0\t1\t0\t0\n0\t0\t0\t1\t0\n0\t0\t0\t0\t1\n"
              "--------\n \n");
    ASSERT_EQ(out.count, 2);
    EXPECT_EQ(out.lineLoop, 0);
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(out.polylines[i].vertices[j].x, figure.polylines[i].vertices[j].x);
            EXPECT_EQ(out.polylines[i].vertices[j].q, figure.polylines[i].vertices[j].q);
        }
    }
}

TEST(Composition, PrintsTheComposedMatrixCutToTwoDecimals) {
    std::string log;
    compose(makeList({{1, {2, 1, 1, 1, 1, 1, 1}}, {2, {1, 0.5f, -0.25f, 0, 1.999f, 1, 1}}}), 0,
            point4(0, 0, 0, 0), &log);
    EXPECT_EQ(log,
              "Matrix of Affine\n--------\n"
              "2\t0\t0\t0\t0.5\n0\t2\t0\t0\t-0.25\n0\t0\t2\t0\t0\n0\t0\t0\t2\t1.99\n"
              "0\t0\t0\t0\t1\n--------\n \n");
}

TEST(Composition, TheFirstRecordActsFirst) {
    // Moved to (1, 0, 0, 0) and then turned a quarter in xy: (0, 1, 0, 0).
    Point4 p = compose(makeList({kMoveX, kQuarterTurnXY}), 0, point4(0, 0, 0, 0));
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
    // Turned first (the origin stays) and then moved.
    p = compose(makeList({kQuarterTurnXY, kMoveX}), 0, point4(0, 0, 0, 0));
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 0.0f);
}

TEST(Composition, EmptyAndUnknownRecordsContributeNothing) {
    const Record scale = {1, {1, 2, 2, 2, 2, 1, 1}};
    const Point4 start = point4(1, 2, 3, 4);
    const Point4 plain = compose(makeList({kMoveX, scale}), 0, start);
    std::string log;
    const Point4 withOthers = compose(makeList({{0, {5, 5, 5, 5, 5, 5, 5}},
                                                kMoveX,
                                                {7, {9, 9, 9, 9, 9, 9, 9}},
                                                {-1, {9, 9, 9, 9, 9, 9, 9}},
                                                scale}),
                                      0, start, &log);
    EXPECT_EQ(withOthers.x, plain.x);
    EXPECT_EQ(withOthers.y, plain.y);
    EXPECT_EQ(withOthers.q, plain.q);
    EXPECT_EQ(plain.x, 4.0f);
    EXPECT_EQ(log.find("Matrix of Affine"), 0u);
    EXPECT_EQ(log.rfind("Matrix of Affine"), 0u);  // one block per call
}

TEST(Composition, AnimatedRecordsFollowTheStep) {
    const Point4 unitX = point4(1, 0, 0, 0);
    // At step 0 an animated move or turn is the identity.
    const AffineCollection still =
        makeList({{5, {3, 1, 1, 1, 1, 1, 1}}, {6, {10, 1, 1, 1, 1, 1, 1}}});
    std::string log;
    Point4 p = compose(still, 0, unitX, &log);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_NE(log.find("1\t0\t0\t0\t0\n0\t1\t0\t0\t0\n"), std::string::npos);

    // 10 degrees per unit of step in xy: 30 degrees at step 3, -10 degrees at step -1.
    const AffineCollection turn = makeList({{6, {10, 1, 0, 0, 0, 0, 0}}});
    const double tenDegrees = 10.0 * M_PI / 180.0;
    p = compose(turn, 3, unitX);
    EXPECT_NEAR(p.x, std::cos(3 * tenDegrees), 1e-6);
    EXPECT_NEAR(p.y, std::sin(3 * tenDegrees), 1e-6);
    p = compose(turn, -1, unitX);
    EXPECT_NEAR(p.x, std::cos(tenDegrees), 1e-6);
    EXPECT_NEAR(p.y, -std::sin(tenDegrees), 1e-6);

    // Each unit of step adds p0 * (p1..p4) to an animated move.
    p = compose(makeList({{5, {0.5f, 1, 2, 0, -4, 1, 1}}}), 2, point4(0, 0, 0, 0));
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.q, -4.0f);
}

TEST(Composition, AnimatedScalingAddsTheStepToItsBaseFactor) {
    const Record grow = {4, {2, 1, 1, 1, 0.5f, 1, 1}};
    const Point4 p = compose(makeList({grow}), 0, point4(1, 1, 1, 1));
    const Point4 same = compose(makeList({{1, {2, 1, 1, 1, 0.5f, 1, 1}}}), 0, point4(1, 1, 1, 1));
    EXPECT_EQ(p.x, same.x);
    EXPECT_EQ(p.q, same.q);
    EXPECT_EQ(compose(makeList({grow}), 1, point4(1, 1, 1, 1)).x, 3.0f);

    // At step -p0 everything collapses to the origin before later records act.
    const Point4 collapsed =
        compose(makeList({grow, {2, {1, 0, 7, 0, 0, 1, 1}}}), -2, point4(5, -3, 2, 9));
    EXPECT_EQ(collapsed.x, 0.0f);
    EXPECT_EQ(collapsed.y, 7.0f);
    EXPECT_EQ(collapsed.q, 0.0f);
}

TEST(FigureTransform, CarriesCountsLineLoopAndColours) {
    FigureCollection figure =
        makeFigure({makePolyline({point4(1, 2, 3, 4)}, 0.2f, 0.4f, 0.6f), unitSquare()}, 3);
    AffineTransform t;
    t.translate(1, 1, 1, 1, 1);
    const FigureCollection moved = figure.transform(t);
    EXPECT_EQ(moved.count, 2);
    EXPECT_EQ(moved.lineLoop, 3);
    EXPECT_EQ(moved.polylines[0].count, 1);
    EXPECT_EQ(moved.polylines[0].green, 0.4f);
    EXPECT_EQ(moved.polylines[0].vertices[0].q, 5.0f);
    EXPECT_EQ(moved.polylines[1].count, 4);
    EXPECT_EQ(figure.polylines[0].vertices[0].q, 4.0f);  // the source is untouched

    const FigureCollection3 flat = moved.project(point4(0, 0, 0, 1));
    EXPECT_EQ(flat.count, 2);
    EXPECT_EQ(flat.lineLoop, 3);
    EXPECT_EQ(flat.polylines[0].red, 0.2f);
    EXPECT_EQ(flat.polylines[0].blue, 0.6f);
    EXPECT_EQ(flat.polylines[1].count, 4);
}

TEST(FigureTransform, EmptyAndNegativeCountsStayEmpty) {
    FigureCollection empty;
    EXPECT_EQ(empty.transform(AffineTransform()).count, 0);
    EXPECT_EQ(empty.project(point4(0, 0, 0, 1)).count, 0);
    empty.count = -2;
    EXPECT_EQ(empty.project(point4(0, 0, 0, 1)).count, -2);
}

TEST(FigureProjection, SlidesEveryVertexAlongTheProjectionVector) {
    const FigureCollection figure =
        makeFigure({makePolyline({point4(1, 2, 3, 4), point4(0, 0, 0, 2)})});
    FigureCollection3 flat = figure.project(point4(0, 0, 0, 1));
    EXPECT_EQ(flat.polylines[0].vertices[0].x, 1.0f);
    EXPECT_EQ(flat.polylines[0].vertices[0].z, 3.0f);

    flat = figure.project(point4(1, 0, 0, 1));
    EXPECT_EQ(flat.polylines[0].vertices[1].x, -2.0f);
    EXPECT_EQ(flat.polylines[0].vertices[1].y, 0.0f);

    // Scaling the vector changes nothing.
    const FigureCollection3 a = figure.project(point4(1, 2, 3, 4));
    const FigureCollection3 b = figure.project(point4(2, 4, 6, 8));
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(a.polylines[0].vertices[j].x, b.polylines[0].vertices[j].x);
        EXPECT_EQ(a.polylines[0].vertices[j].y, b.polylines[0].vertices[j].y);
        EXPECT_EQ(a.polylines[0].vertices[j].z, b.polylines[0].vertices[j].z);
    }
    EXPECT_EQ(a.polylines[0].vertices[0].x, 0.0f);
    EXPECT_EQ(a.polylines[0].vertices[0].y, 0.0f);
}

// ---- The frame's fast paths against the plain definitions, to the bit ----

namespace {

// The product as plainly defined: 1-based access, every term added to the stored element.
Matrix5 referenceMultiply(const Matrix5& a, const Matrix5& b) {
    Matrix5 r;
    r.clear();
    for (int i = 1; i <= 5; ++i) {
        for (int j = 1; j <= 5; ++j) {
            for (int k = 1; k <= 5; ++k) {
                r.addTo(i, j, a.get(i, k) * b.get(k, j));
            }
        }
    }
    return r;
}

// Floats to draw from: ordinary values and every kind of special one.
float drawFloat(std::mt19937& random) {
    static const float specials[] = {0.0f,      -0.0f, 1.0f,   -1.0f, 1e-40f,
                                     -1e-42f,   3e38f, -3e38f, 1e20f, INFINITY,
                                     -INFINITY, NAN,   -NAN,   0.1f,  16777217.0f};
    std::uniform_int_distribution<int> pick(0, 39);
    const int choice = pick(random);
    if (choice < 15) {
        return specials[choice];
    }
    return std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(random);
}

// Equal to the bit, except that any two NaNs match: IEEE arithmetic leaves the sign of a NaN
// to the hardware's operand order, which a compiler may swap in any addition, the plain
// definition included (the console's "nan" or "-nan" is no more fixed than that).
bool sameFloats(const float* a, const float* b, int count) {
    for (int i = 0; i < count; ++i) {
        const bool bothNan = std::isnan(a[i]) && std::isnan(b[i]);
        if (!bothNan && std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(FastPaths, ProductEqualsThePlainDefinitionToTheBit) {
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 20000; ++trial) {
        Matrix5 a, b;
        for (int e = 0; e < 25; ++e) {
            a.elements[e] = drawFloat(random);
            // Once all negative zeros: the sums must start from +0, which turns them positive.
            b.elements[e] = trial == 0 ? -0.0f : drawFloat(random);
        }
        const Matrix5 fast = multiply(a, b), plain = referenceMultiply(a, b);
        ASSERT_TRUE(sameFloats(fast.elements, plain.elements, 25)) << "trial " << trial;
    }
}

TEST(FastPaths, PointTransformEqualsTheFullProductToTheBit) {
    std::mt19937 random(7);
    FigureCollection figure;
    figure.count = kMaxPolylines;
    for (int i = 0; i < kMaxPolylines; ++i) {
        figure.polylines[i].count = kMaxVertices;
        for (int j = 0; j < kMaxVertices; ++j) {
            figure.polylines[i].setVertex(j, drawFloat(random), drawFloat(random),
                                          drawFloat(random), drawFloat(random));
        }
    }
    for (int trial = 0; trial < 20; ++trial) {
        AffineTransform t;
        for (int e = 0; e < 25; ++e) {
            // The identity, then all negative zeros (sums start from +0), then random matrices.
            t.composite.elements[e] = trial == 0   ? t.composite.elements[e]
                                      : trial == 1 ? -0.0f
                                                   : drawFloat(random);
        }
        const FigureCollection fast = figure.transform(t);
        for (int i = 0; i < kMaxPolylines; ++i) {
            for (int j = 0; j < kMaxVertices; ++j) {
                Point4 plain;
                plain.fromMatrix(
                    referenceMultiply(t.composite, figure.polylines[i].vertices[j].toMatrix()));
                const Point4& got = fast.polylines[i].vertices[j];
                const float fastXyzq[4] = {got.x, got.y, got.z, got.q};
                const float plainXyzq[4] = {plain.x, plain.y, plain.z, plain.q};
                ASSERT_TRUE(sameFloats(fastXyzq, plainXyzq, 4))
                    << "trial " << trial << ", polyline " << i << ", vertex " << j;
            }
        }
    }
}
