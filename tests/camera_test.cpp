// The orbit camera: start state, distance, orbiting and zooming.

#include <gtest/gtest.h>

#include <cmath>

#include "test_helpers.h"
#include "viewer/orbit_camera.h"

namespace {

OrbitCamera startCamera() {
    OrbitCamera c;
    c.setDefaults();
    return c;
}

}  // namespace

TEST(OrbitCamera, StartState) {
    const OrbitCamera c = startCamera();
    EXPECT_EQ(c.eye.x, -1.6f);
    EXPECT_EQ(c.eye.y, 5.0f);
    EXPECT_EQ(c.eye.z, 2.0f);
    EXPECT_EQ(c.target.x, 0.0f);
    EXPECT_EQ(c.up.y, 1.0f);
    EXPECT_EQ(c.gridShown, 0);
    EXPECT_EQ(c.axesShown, 1);
    EXPECT_EQ(OrbitCamera::azimuth, -2.2f);
    EXPECT_EQ(OrbitCamera::elevation, -1.1f);
    EXPECT_NEAR(c.distance(), 5.6178f, 1e-4f);
}

TEST(OrbitCamera, TheFirstDragPutsTheEyeWhereTheStartAnglesSay) {
    OrbitCamera c = startCamera();
    const float before = c.distance();
    c.rotate(0.0f, 0.0f);
    EXPECT_NEAR(c.eye.x, -1.4996f, 1e-4f);
    EXPECT_NEAR(c.eye.y, 5.0067f, 1e-4f);
    EXPECT_NEAR(c.eye.z, 2.0602f, 1e-4f);
    EXPECT_NEAR(c.distance(), before, 1e-5f);
}

TEST(OrbitCamera, DragsTurnTheAnglesAtTwoHundredPixelsPerRadian) {
    OrbitCamera c = startCamera();
    c.rotate(10.0f, -20.0f);
    EXPECT_EQ(OrbitCamera::azimuth, static_cast<float>(-2.2f + 10.0 / 200.0));
    EXPECT_EQ(OrbitCamera::elevation, static_cast<float>(-1.1f - 20.0 / 200.0));
    // Azimuth is never wrapped.
    for (int i = 0; i < 20; ++i) {
        c.rotate(1257.0f, 0.0f);
    }
    EXPECT_NEAR(OrbitCamera::azimuth, -2.15f + 20 * 6.285f, 1e-3f);
    EXPECT_NEAR(c.distance(), 5.6178f, 1e-3f);
}

TEST(OrbitCamera, ElevationStopsShortOfThePoles) {
    OrbitCamera c = startCamera();
    c.rotate(0.0f, 5000.0f);
    EXPECT_EQ(OrbitCamera::elevation, 1.5607964f);
    EXPECT_LT(c.eye.y, 0.0f);  // a positive elevation puts the eye below the target
    EXPECT_GT(std::hypot(c.eye.x, c.eye.z), 0.05f);
    c.rotate(0.0f, -20000.0f);
    EXPECT_EQ(OrbitCamera::elevation, -1.5607964f);
    EXPECT_GT(c.eye.y, 5.6f);
}

TEST(OrbitCamera, ZoomMovesByPercentOfTheOffset) {
    OrbitCamera c = startCamera();
    c.zoom(10);
    EXPECT_NEAR(c.distance(), 5.0560f, 1e-4f);
    EXPECT_NEAR(c.eye.x, -1.44f, 1e-6f);

    c = startCamera();
    c.zoom(-10);
    EXPECT_NEAR(c.distance(), 6.1796f, 1e-4f);

    // Refused whole: zero or negative distance.
    for (int dy : {100, 150}) {
        c = startCamera();
        c.zoom(dy);
        EXPECT_EQ(c.eye.x, -1.6f);
        EXPECT_EQ(c.eye.y, 5.0f);
    }
}

TEST(OrbitCamera, ZoomRefusesStepsEndingAtOneOr550) {
    OrbitCamera c = startCamera();
    c.eye.set(2.0f, 0.0f, 0.0f);
    c.zoom(50);  // would end at exactly 1
    EXPECT_EQ(c.eye.x, 2.0f);
    c.zoom(49);
    EXPECT_NEAR(c.eye.x, 1.02f, 1e-6f);

    c.eye.set(0.0f, 500.0f, 0.0f);
    c.zoom(-10);  // would end at exactly 550
    EXPECT_EQ(c.eye.y, 500.0f);
    c.zoom(-9);
    EXPECT_EQ(c.eye.y, 545.0f);
}
