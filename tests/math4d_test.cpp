// 4D math: scalar helpers, the point projection, Matrix5 and the elementary transforms.
// Console numbers depend on exact float32 rounding, so most checks here compare exactly.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "math4d/affine_transform.h"
#include "math4d/matrix5.h"
#include "math4d/scalar_helpers.h"
#include "test_helpers.h"

namespace {

Point4 apply(const Matrix5& m, Point4 p) {
    Point4 r;
    r.fromMatrix(multiply(m, p.toMatrix()));
    return r;
}

void expectPoint(Point4 p, float x, float y, float z, float q, float tolerance = 1e-6f) {
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
    EXPECT_NEAR(p.z, z, tolerance);
    EXPECT_NEAR(p.q, q, tolerance);
}

std::string printed(const Matrix5& m) {
    CaptureStdout capture;
    m.print("Title");
    return capture.text();
}

}  // namespace

TEST(TruncateDecimals, CutsTowardZeroFromTheExactHundredfold) {
    // 0.29f lies just below 0.29: the exact product 28.99999... must not be rounded to 29 first.
    EXPECT_EQ(truncateDecimals(0.29f, 2), 0.28f);
    EXPECT_EQ(truncateDecimals(-1.238f, 2), -1.23f);
    EXPECT_EQ(truncateDecimals(3.14159f, 2), 3.14f);
    EXPECT_EQ(truncateDecimals(-2.718f, 2), -2.71f);
    EXPECT_EQ(truncateDecimals(0.999f, 2), 0.99f);
    EXPECT_EQ(truncateDecimals(-0.999f, 2), -0.99f);
    EXPECT_EQ(truncateDecimals(12345.678f, 2), 12345.67f);
    EXPECT_EQ(truncateDecimals(7.9f, 0), 7.0f);
}

TEST(TruncateDecimals, SmallNegativesBecomePositiveZero) {
    const float cut = truncateDecimals(-0.004f, 2);
    EXPECT_EQ(cut, 0.0f);
    EXPECT_FALSE(std::signbit(cut));
    EXPECT_FALSE(std::signbit(truncateDecimals(-0.0f, 2)));
}

TEST(TruncateDecimals, ValuesOutsideTheIntegerRangeComeBackUnchanged) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(truncateDecimals(inf, 2), inf);
    EXPECT_EQ(truncateDecimals(-inf, 2), -inf);
    EXPECT_TRUE(std::isnan(truncateDecimals(std::nanf(""), 2)));
    EXPECT_EQ(truncateDecimals(3.0e7f, 2), 3.0e7f);
    EXPECT_EQ(truncateDecimals(-3.0e7f, 2), -3.0e7f);
    EXPECT_EQ(truncateDecimals(1e30f, 2), 1e30f);
    // Just inside the range the value is still cut.
    EXPECT_EQ(truncateDecimals(21474836.0f, 2), 21474836.0f);
    EXPECT_EQ(truncateDecimals(-20000000.5f, 2), -20000000.0f);
}

TEST(IntPower, RepeatsMultiplicationOrDivision) {
    EXPECT_EQ(intPower(10.0f, 0), 1.0f);
    EXPECT_EQ(intPower(10.0f, 2), 100.0f);
    EXPECT_EQ(intPower(2.0f, -2), 0.25f);
    EXPECT_EQ(intPower(-3.0f, 3), -27.0f);
    EXPECT_EQ(square(-1.5f), 2.25f);
}

TEST(ProjectTo3D, SlidesAlongTheDirectionOntoQZero) {
    Point3 p = projectTo3D(point4(1, 2, 3, 4), point4(0, 0, 0, 1));
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);

    p = projectTo3D(point4(1, 2, 3, 2), point4(1, 1, 1, 2));
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 1.0f);
    EXPECT_EQ(p.z, 2.0f);

    p = projectTo3D(point4(0.5f, -0.25f, 7, 0), point4(0.3f, 0.2f, 0.1f, 0.7f));
    EXPECT_EQ(p.x, 0.5f);
    EXPECT_EQ(p.y, -0.25f);
    EXPECT_EQ(p.z, 7.0f);
}

TEST(ProjectTo3D, RoundsEachCoordinateOnceFromDoubleIntermediates) {
    // With float intermediates this gives -3.1999998; rounded once it is the float of -3.2.
    const Point3 p = projectTo3D(point4(-1.7f, 0, 0, -0.5f), point4(-0.9f, 0, 0, 0.3f));
    EXPECT_EQ(p.x, -3.2f);
}

TEST(ProjectTo3D, ZeroQDirectionFollowsIeeeRules) {
    const Point3 p = projectTo3D(point4(1, 2, 3, 1), point4(1, 0, 0, 0));
    EXPECT_TRUE(std::isinf(p.x));
    EXPECT_TRUE(std::isnan(p.y));  // 0 / 0
    EXPECT_FALSE(isFinite(p));
    EXPECT_TRUE(isFinite(projectTo3D(point4(1, 2, 3, 1), point4(1, 0, 0, 2))));
}

TEST(Matrix5, IsRowMajorWithOneBasedAccess) {
    Matrix5 m;
    m.clear();
    m.set(1, 2, 7.0f);
    m.set(2, 1, 9.0f);
    m.set(5, 5, 3.0f);
    EXPECT_EQ(m.elements[1], 7.0f);
    EXPECT_EQ(m.elements[5], 9.0f);
    EXPECT_EQ(m.elements[24], 3.0f);
    m.addTo(1, 2, 0.5f);
    EXPECT_EQ(m.get(1, 2), 7.5f);

    Matrix5 id;
    id.setIdentity();
    for (int r = 1; r <= 5; ++r) {
        for (int c = 1; c <= 5; ++c) {
            EXPECT_EQ(id.get(r, c), r == c ? 1.0f : 0.0f);
        }
    }
}

TEST(Matrix5, ProductKeepsOperandOrderAndAscendingFloatSums) {
    Matrix5 a, b, id;
    id.setIdentity();
    for (int i = 0; i < 25; ++i) {
        a.elements[i] = 0.5f * static_cast<float>(i) - 3.0f;
        b.elements[i] = static_cast<float>((i * 7) % 11) - 5.0f;
    }
    const Matrix5 left = multiply(id, a), right = multiply(a, id);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(left.elements[i], a.elements[i]);
        EXPECT_EQ(right.elements[i], a.elements[i]);
    }
    EXPECT_FALSE(matricesNear(multiply(a, b), multiply(b, a), 0.5f));
    // Element (1,1) of a x b computed by hand.
    float sum = 0.0f;
    for (int k = 1; k <= 5; ++k) {
        sum += a.get(1, k) * b.get(k, 1);
    }
    EXPECT_EQ(multiply(a, b).get(1, 1), sum);

    // Summed in float from k = 1: 1e8 + 1 is still 1e8, so only the last 1 survives.
    Matrix5 row;
    row.clear();
    row.set(1, 1, 1e8f);
    row.set(1, 2, 1.0f);
    row.set(1, 3, -1e8f);
    row.set(1, 4, 1.0f);
    EXPECT_EQ(apply(row, point4(1, 1, 1, 1)).x, 1.0f);
}

TEST(Matrix5, PointsGoThroughColumnOneWithoutDivision) {
    const Point4 p = point4(1.5f, -2.0f, 3.25f, 4.0f);
    Matrix5 id;
    id.setIdentity();
    const Point4 same = apply(id, p);
    EXPECT_EQ(same.x, p.x);
    EXPECT_EQ(same.y, p.y);
    EXPECT_EQ(same.z, p.z);
    EXPECT_EQ(same.q, p.q);

    const Matrix5 column = p.toMatrix();
    EXPECT_EQ(column.get(5, 1), 1.0f);
    EXPECT_EQ(column.get(1, 2), 0.0f);

    // A row 5 other than (0, 0, 0, 0, 1) does not scale the result.
    Matrix5 m;
    m.setIdentity();
    m.set(5, 5, 4.0f);
    m.set(5, 1, 2.0f);
    expectPoint(apply(m, p), 1.5f, -2.0f, 3.25f, 4.0f, 0.0f);
}

TEST(Matrix5, PrintsNineLinesOfCutValues) {
    Matrix5 id;
    id.setIdentity();
    EXPECT_EQ(printed(id),
              "Title\n--------\n"
              "1\t0\t0\t0\t0\n0\t1\t0\t0\t0\n0\t0\t1\t0\t0\n0\t0\t0\t1\t0\n0\t0\t0\t0\t1\n"
              "--------\n \n");

    Matrix5 m;
    m.clear();
    m.set(1, 1, 0.999f);
    m.set(1, 2, -0.004f);
    m.set(1, 3, 1.0f);
    m.set(1, 4, 12345.678f);
    m.set(1, 5, -0.5f);
    m.set(2, 1, std::numeric_limits<float>::infinity());
    m.set(2, 2, 0.29f);
    EXPECT_EQ(printed(m),
              "Title\n--------\n"
              "0.99\t0\t1\t12345.7\t-0.5\ninf\t0.28\t0\t0\t0\n0\t0\t0\t0\t0\n0\t0\t0\t0\t0\n"
              "0\t0\t0\t0\t0\n--------\n \n");
}

TEST(AffineTransform, ScalingMultipliesTheFactorIntoEveryAxis) {
    AffineTransform t;
    t.scale(2, 1, 1, 1, 1);
    expectPoint(apply(t.composite, point4(1, 2, 3, 4)), 2, 4, 6, 8, 0.0f);

    AffineTransform u;
    u.scale(1, 2, 3, 4, 5);
    expectPoint(apply(u.composite, point4(1, 1, 1, 1)), 2, 3, 4, 5, 0.0f);

    // A zero scale sends every point to the origin; later steps act on that origin.
    AffineTransform z;
    z.scale(0, 1, 1, 1, 1);
    for (int r = 1; r <= 4; ++r) {
        for (int c = 1; c <= 5; ++c) {
            EXPECT_EQ(z.composite.get(r, c), 0.0f);
        }
    }
    z.translate(1, 0, 5, 0, 0);
    expectPoint(apply(z.composite, point4(9, 9, 9, 9)), 0, 5, 0, 0, 0.0f);
}

TEST(AffineTransform, TranslationFillsColumnFive) {
    AffineTransform t;
    t.translate(2, 1, 0, 0, 0);
    expectPoint(apply(t.composite, point4(1, 1, 1, 1)), 3, 1, 1, 1, 0.0f);
    EXPECT_EQ(t.composite.get(1, 5), 2.0f);

    AffineTransform none;
    none.translate(0, 5, 6, 7, 8);
    expectPoint(apply(none.composite, point4(1, 2, 3, 4)), 1, 2, 3, 4, 0.0f);
}

TEST(AffineTransform, LaterStepsActLater) {
    // Translate then scale takes the origin to (2, 0, 0, 0); the reverse order to (1, 0, 0, 0).
    AffineTransform ts;
    ts.translate(1, 1, 0, 0, 0);
    ts.scale(1, 2, 2, 2, 2);
    expectPoint(apply(ts.composite, point4(0, 0, 0, 0)), 2, 0, 0, 0, 0.0f);

    AffineTransform st;
    st.scale(1, 2, 2, 2, 2);
    st.translate(1, 1, 0, 0, 0);
    expectPoint(apply(st.composite, point4(0, 0, 0, 0)), 1, 0, 0, 0, 0.0f);
}

TEST(AffineTransform, RotationTurnsThePositiveFirstAxisTowardTheSecond) {
    const float theta = 0.3f;
    AffineTransform xy;
    xy.rotate(theta, 1, 0, 0, 0, 0, 0);
    expectPoint(apply(xy.composite, point4(1, 0, 0, 0)), std::cos(theta), std::sin(theta), 0, 0);

    AffineTransform zq;
    zq.rotate(theta, 0, 0, 0, 0, 0, 1);
    expectPoint(apply(zq.composite, point4(0, 0, 1, 0)), 0, 0, std::cos(theta), std::sin(theta));
    expectPoint(apply(zq.composite, point4(0, 0, 0, 1)), 0, 0, -std::sin(theta), std::cos(theta));

    // Each plane by its own weight: xq by 2 theta.
    AffineTransform xq;
    xq.rotate(theta, 0, 0, 2, 0, 0, 0);
    expectPoint(apply(xq.composite, point4(1, 0, 0, 0)), std::cos(2 * theta), 0, 0,
                std::sin(2 * theta));
    // Off-diagonal entries are exact negations of each other.
    EXPECT_EQ(xq.composite.get(1, 4), -xq.composite.get(4, 1));
}

TEST(AffineTransform, QuarterTurnFromTheFloatPiKeepsItsRoundingButPrintsZero) {
    const float halfPi = static_cast<float>(static_cast<double>(kPi) / 2.0);
    AffineTransform t;
    t.rotate(halfPi, 1, 0, 0, 0, 0, 0);
    EXPECT_NEAR(t.composite.get(1, 1), -4.37e-8f, 1e-9f);
    EXPECT_NE(t.composite.get(1, 1), 0.0f);
    EXPECT_EQ(t.composite.get(2, 1), 1.0f);
    EXPECT_EQ(truncateDecimals(t.composite.get(1, 1), 2), 0.0f);
}

TEST(AffineTransform, PlanesInsideOneCallActInFixedOrder) {
    const float theta = 0.7f;
    AffineTransform oneCall;
    oneCall.rotate(theta, 1, 1, 0, 0, 0, 0);  // xy first, then xz

    AffineTransform twoCalls;
    twoCalls.rotate(theta, 0, 1, 0, 0, 0, 0);  // xz first
    twoCalls.rotate(theta, 1, 0, 0, 0, 0, 0);  // then xy
    EXPECT_FALSE(matricesNear(oneCall.composite, twoCalls.composite, 1e-3f));

    AffineTransform inOrder;
    inOrder.rotate(theta, 1, 0, 0, 0, 0, 0);
    inOrder.rotate(theta, 0, 1, 0, 0, 0, 0);
    EXPECT_TRUE(matricesNear(oneCall.composite, inOrder.composite, 0.0f));
}

TEST(AffineTransform, ZeroAnglesAndRotateStepChangeNothingOfTheirOwn) {
    AffineTransform t;
    t.scale(1, 2, 3, 4, 5);
    t.translate(1, 1, 2, 3, 4);
    const Matrix5 before = t.composite;
    t.rotate(1.234f, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(matricesNear(t.composite, before, 0.0f));

    AffineTransform a, b;
    a.rotate(0.4f, 1, -2, 0.5f, 3, 0, 1);
    b.rotateStep(0.4f, 1, -2, 0.5f, 3, 0, 1);
    EXPECT_TRUE(matricesNear(a.composite, b.composite, 0.0f));
}

TEST(ConsoleFloat, WritesExactlyWhatTheStreamWrites) {
    std::vector<float> values = {0.0f,      -0.0f,     1.0f,         -1.0f,     0.1f,     -0.99f,
                                 123456.5f, 999999.5f, 1e6f,         1e-5f,     1e-4f,    100000.0f,
                                 9999995.f, 3.4e38f,   -3.4e38f,     1e-45f,    INFINITY, -INFINITY,
                                 NAN,       -NAN,      2147483648.f, 0.0001234f};
    std::mt19937 random(3);
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t bits = random();
        float any;
        std::memcpy(&any, &bits, sizeof any);
        values.push_back(any);
        values.push_back(
            truncateDecimals(std::uniform_real_distribution<float>(-5000.0f, 5000.0f)(random), 2));
    }
    for (const float x : values) {
        std::ostringstream viaStream, viaCharconv;
        viaStream << x;
        viaCharconv << consoleFloat(x);
        ASSERT_EQ(viaCharconv.str(), viaStream.str()) << std::hexfloat << x;
    }
}
