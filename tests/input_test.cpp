// Input tests: every key of the keyboard table in both cases, the line-width bounds, the
// single-precision projection steps, and the mouse button and drag callbacks, each checked for
// its effect and for the frame it draws (or, for button events, does not draw).
#include <GL/glut.h>

#include <cmath>
#include <functional>

#include "app/input_callbacks.h"
#include "gl_recorder.h"

namespace {

// Everything a key can change.
struct Settings {
    int gridShown;
    int axesShown;
    int showFigure;
    int showDropLines;
    Point4 projection;
    float step;
    float lineWidth;
};

Settings current() {
    return {viewer.camera.gridShown, viewer.camera.axesShown, viewer.showFigure,
            viewer.showDropLines,    viewer.projectionVector, viewer.globalStep,
            viewer.figureLineWidth};
}

::testing::AssertionResult sameSettings(const Settings& a, const Settings& b) {
    if (a.gridShown == b.gridShown && a.axesShown == b.axesShown && a.showFigure == b.showFigure &&
        a.showDropLines == b.showDropLines && a.projection.x == b.projection.x &&
        a.projection.y == b.projection.y && a.projection.z == b.projection.z &&
        a.projection.q == b.projection.q && a.step == b.step && a.lineWidth == b.lineWidth) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "flags " << a.gridShown << a.axesShown << a.showFigure << a.showDropLines << " vs "
           << b.gridShown << b.axesShown << b.showFigure << b.showDropLines << "; vector ("
           << a.projection.x << ", " << a.projection.y << ", " << a.projection.z << ", "
           << a.projection.q << ") vs (" << b.projection.x << ", " << b.projection.y << ", "
           << b.projection.z << ", " << b.projection.q << "); step " << a.step << " vs " << b.step
           << "; width " << a.lineWidth << " vs " << b.lineWidth;
}

// Frames drawn since the recording was last cleared.
int framesDrawn() {
    return glrec::countOf("glutSwapBuffers");
}

}  // namespace

class KeyboardTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        viewer.loadedFigure = makeFigure({unitSquare()}, 1);
        setBase();
    }

    // A state where every key's effect is visible: no value at a bound.
    void setBase() {
        viewer.camera.gridShown = 0;
        viewer.camera.axesShown = 1;
        viewer.showFigure = 1;
        viewer.showDropLines = 0;
        // Components where a double-precision step would round differently.
        viewer.projectionVector = point4(-0.11f, 0.08f, 0.11f, -0.08f);
        viewer.globalStep = 3.0f;
        viewer.figureLineWidth = 5.0f;
    }
};

TEST_F(KeyboardTest, EveryKeyOfTheTableInBothCases) {
    struct Entry {
        unsigned char keys[2];
        std::function<void(Settings&)> effect;
    };
    const Entry table[] = {
        {{'X', 'x'}, [](Settings& s) { s.gridShown = 1; }},
        {{'C', 'c'}, [](Settings& s) { s.axesShown = 0; }},
        {{'V', 'v'}, [](Settings& s) { s.showFigure = 0; }},
        {{'B', 'b'}, [](Settings& s) { s.showDropLines = 1; }},
        {{'Q', 'q'}, [](Settings& s) { s.projection.x = -0.11f + 0.1f; }},
        {{'A', 'a'}, [](Settings& s) { s.projection.x = -0.11f - 0.1f; }},
        {{'W', 'w'}, [](Settings& s) { s.projection.y = 0.08f + 0.1f; }},
        {{'S', 's'}, [](Settings& s) { s.projection.y = 0.08f - 0.1f; }},
        {{'E', 'e'}, [](Settings& s) { s.projection.z = 0.11f + 0.1f; }},
        {{'D', 'd'}, [](Settings& s) { s.projection.z = 0.11f - 0.1f; }},
        {{'R', 'r'}, [](Settings& s) { s.projection.q = -0.08f + 0.1f; }},
        {{'F', 'f'}, [](Settings& s) { s.projection.q = -0.08f - 0.1f; }},
        {{'O', 'o'}, [](Settings& s) { s.lineWidth = 6.0f; }},
        {{'L', 'l'}, [](Settings& s) { s.lineWidth = 4.0f; }},
        {{'.', '>'}, [](Settings& s) { s.step = 4.0f; }},
        {{',', '<'}, [](Settings& s) { s.step = 2.0f; }},
    };
    for (const Entry& entry : table) {
        for (unsigned char key : entry.keys) {
            SCOPED_TRACE(testing::Message() << "key '" << key << "'");
            setBase();
            Settings expected = current();
            entry.effect(expected);
            glrec::clear();
            console.clear();
            keyboard(key, 1, 1);
            EXPECT_TRUE(sameSettings(current(), expected));
            EXPECT_EQ(framesDrawn(), 1);
            EXPECT_EQ(consoleLines().at(0), "           Start Draw           ");
        }
    }
}

TEST_F(KeyboardTest, KeysOutsideTheTableChangeNothingButStillRedraw) {
    const Settings before = current();
    for (unsigned char key : {'Z', 'z', '7', ' ', 'y', 'P', '\x1b', '\r', '\0', '\xff'}) {
        SCOPED_TRACE(static_cast<int>(key));
        glrec::clear();
        console.clear();
        keyboard(key, 1, 1);
        EXPECT_TRUE(sameSettings(current(), before));
        EXPECT_EQ(framesDrawn(), 1);
        const std::vector<std::string> lines = consoleLines();
        ASSERT_EQ(lines.size(), 3u + 4u + 9u);  // a full frame: brackets, status, matrix
        EXPECT_EQ(lines[4], "GLOBAL STEP 3");
        EXPECT_EQ(lines[15], "==============================");
    }
}

TEST_F(KeyboardTest, TogglesShowInTheNextFrameAndTurnBack) {
    keyboard('v', 0, 0);
    EXPECT_EQ(glrec::countOf("glPointSize"), 0);  // the figure pass did not run
    EXPECT_EQ(console.text().find("Matrix of Affine"), std::string::npos);
    glrec::clear();
    keyboard('V', 0, 0);
    EXPECT_EQ(viewer.showFigure, 1);
    EXPECT_EQ(glrec::countOf("glPointSize"), 2);
    EXPECT_EQ(viewer.globalStep, 3.0f);

    glrec::clear();
    keyboard('x', 0, 0);
    EXPECT_EQ(glrec::blocks().at(0).vertices.size(), 84u);  // grids first in the frame
    keyboard('x', 0, 0);
    EXPECT_EQ(viewer.camera.gridShown, 0);

    glrec::clear();
    keyboard('b', 0, 0);
    EXPECT_EQ(glrec::blocks().size(), 3u + 2u + 1u);  // axes, marker line and drop lines, figure
    keyboard('c', 0, 0);
    keyboard('C', 0, 0);
    EXPECT_EQ(viewer.camera.axesShown, 1);
}

TEST_F(KeyboardTest, LineWidthStaysWithinOneAndTen) {
    viewer.figureLineWidth = 1.0f;
    keyboard('L', 0, 0);
    EXPECT_EQ(viewer.figureLineWidth, 1.0f);
    keyboard('l', 0, 0);
    EXPECT_EQ(viewer.figureLineWidth, 1.0f);

    for (int i = 1; i <= 10; ++i) {
        keyboard('O', 0, 0);
        EXPECT_EQ(viewer.figureLineWidth, std::min(1.0f + static_cast<float>(i), 10.0f)) << i;
    }
    EXPECT_EQ(viewer.figureLineWidth, 10.0f);
    glrec::clear();
    keyboard('o', 0, 0);
    EXPECT_EQ(viewer.figureLineWidth, 10.0f);
    EXPECT_EQ(glrec::named("glLineWidth").at(2).args[0], 10.0);  // the figure drawn at 10

    // The bound runs after every key, also one without an effect.
    viewer.figureLineWidth = 0.25f;
    keyboard('z', 0, 0);
    EXPECT_EQ(viewer.figureLineWidth, 1.0f);
    viewer.figureLineWidth = 12.5f;
    keyboard('z', 0, 0);
    EXPECT_EQ(viewer.figureLineWidth, 10.0f);
}

TEST_F(KeyboardTest, ProjectionStepsAccumulateInSinglePrecision) {
    viewer.projectionVector = point4(0, 0, 0, 1);
    for (int i = 0; i < 10; ++i) {
        keyboard('Q', 0, 0);
        keyboard('f', 0, 0);
    }
    EXPECT_EQ(viewer.projectionVector.x, 1.0000001f);
    EXPECT_NE(viewer.projectionVector.x, 1.0f);
    EXPECT_NEAR(viewer.projectionVector.q, -7.5e-8, 0.1e-8);
    EXPECT_LT(viewer.projectionVector.q, 0.0f);
    EXPECT_EQ(framesDrawn(), 20);
}

TEST_F(KeyboardTest, GlobalStepHasNoBounds) {
    viewer.globalStep = 0.0f;
    keyboard(',', 0, 0);
    EXPECT_EQ(viewer.globalStep, -1.0f);
    for (int i = 0; i < 200; ++i) {
        keyboard('<', 0, 0);
    }
    EXPECT_EQ(viewer.globalStep, -201.0f);
    for (int i = 0; i < 500; ++i) {
        keyboard('>', 0, 0);
    }
    EXPECT_EQ(viewer.globalStep, 299.0f);
    EXPECT_EQ(consoleLines().at(consoleLines().size() - 12), "GLOBAL STEP 299");
}

// ---- Mouse --------------------------------------------------------------------------------

class MouseTest : public RecordingTest {
protected:
    // The camera after rotate(dx, dy) from the current state, leaving the real one untouched.
    OrbitCamera rotatedCopy(float dx, float dy, float* azimuth, float* elevation) {
        const float savedAzimuth = OrbitCamera::azimuth;
        const float savedElevation = OrbitCamera::elevation;
        OrbitCamera copy = viewer.camera;
        copy.rotate(dx, dy);
        *azimuth = OrbitCamera::azimuth;
        *elevation = OrbitCamera::elevation;
        OrbitCamera::azimuth = savedAzimuth;
        OrbitCamera::elevation = savedElevation;
        return copy;
    }
};

TEST_F(MouseTest, ButtonEventsRecordButtonAndPositionWithoutDrawing) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 120, 340);
    EXPECT_EQ(viewer.mouseButton, GLUT_RIGHT_BUTTON);
    EXPECT_EQ(viewer.lastMouseX, 120);
    EXPECT_EQ(viewer.lastMouseY, 340);
    mouse(GLUT_MIDDLE_BUTTON, GLUT_UP, -5, 900);  // a release counts the same as a press
    EXPECT_EQ(viewer.mouseButton, GLUT_MIDDLE_BUTTON);
    EXPECT_EQ(viewer.lastMouseX, -5);
    EXPECT_EQ(viewer.lastMouseY, 900);
    EXPECT_EQ(glrec::size(), 0);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(viewer.camera.eye.x, -1.6f);
}

TEST_F(MouseTest, LeftDragOrbitsByPreviousMinusNew) {
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
    float azimuth = 0.0f;
    float elevation = 0.0f;
    const OrbitCamera expected = rotatedCopy(10.0f, 0.0f, &azimuth, &elevation);
    motion(90, 100);
    EXPECT_EQ(viewer.camera.eye.x, expected.eye.x);
    EXPECT_EQ(viewer.camera.eye.y, expected.eye.y);
    EXPECT_EQ(viewer.camera.eye.z, expected.eye.z);
    EXPECT_EQ(OrbitCamera::azimuth, azimuth);
    EXPECT_FLOAT_EQ(OrbitCamera::azimuth, -2.2f + 0.05f);  // leftward raises the azimuth
    EXPECT_EQ(OrbitCamera::elevation, -1.1f);
    EXPECT_EQ(viewer.lastMouseX, 90);
    EXPECT_EQ(viewer.lastMouseY, 100);
    EXPECT_EQ(framesDrawn(), 1);
    // The frame looks from the moved eye.
    const GlCall lookAt = glrec::named("gluLookAt").at(0);
    EXPECT_EQ(lookAt.args[0], static_cast<double>(viewer.camera.eye.x));
    EXPECT_EQ(lookAt.args[1], static_cast<double>(viewer.camera.eye.y));
    EXPECT_EQ(lookAt.args[2], static_cast<double>(viewer.camera.eye.z));

    // The next event measures from the last one: upward by 20 raises the elevation by 0.1.
    motion(90, 80);
    EXPECT_FLOAT_EQ(OrbitCamera::elevation, -1.1f + 0.1f);
    EXPECT_FLOAT_EQ(OrbitCamera::azimuth, -2.2f + 0.05f);
    EXPECT_EQ(framesDrawn(), 2);
}

TEST_F(MouseTest, RightDragZoomsByTheVerticalMovement) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 300, 200);
    const float startDistance = viewer.camera.distance();
    motion(250, 190);  // dy = 10: ten percent closer; x is ignored
    EXPECT_NEAR(viewer.camera.distance(), 0.9 * startDistance, 1e-5);
    EXPECT_NEAR(viewer.camera.eye.x, -1.44, 1e-6);
    EXPECT_EQ(OrbitCamera::azimuth, -2.2f);
    EXPECT_EQ(framesDrawn(), 1);

    motion(250, 90);  // dy = 100 would end at distance 0: refused, still redrawn
    EXPECT_NEAR(viewer.camera.distance(), 0.9 * startDistance, 1e-5);
    EXPECT_EQ(viewer.lastMouseY, 90);
    EXPECT_EQ(framesDrawn(), 2);
}

TEST_F(MouseTest, MiddleDragLeavesTheCameraButRedraws) {
    mouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 10, 10);
    const OrbitCamera before = viewer.camera;
    motion(60, -40);
    motion(0, 300);
    EXPECT_EQ(viewer.camera.eye.x, before.eye.x);
    EXPECT_EQ(viewer.camera.eye.y, before.eye.y);
    EXPECT_EQ(viewer.camera.eye.z, before.eye.z);
    EXPECT_EQ(OrbitCamera::azimuth, -2.2f);
    EXPECT_EQ(OrbitCamera::elevation, -1.1f);
    EXPECT_EQ(viewer.lastMouseX, 0);
    EXPECT_EQ(viewer.lastMouseY, 300);
    EXPECT_EQ(framesDrawn(), 2);
    EXPECT_EQ(splitLines(console.text()).size(), 2u * (3u + 4u + 9u));
}

TEST_F(MouseTest, TheLatestButtonEventDecidesWhatADragDoes) {
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 100, 100);
    mouse(GLUT_RIGHT_BUTTON, GLUT_UP, 100, 100);  // left still held
    EXPECT_EQ(viewer.mouseButton, GLUT_RIGHT_BUTTON);
    const float startDistance = viewer.camera.distance();
    motion(100, 95);
    EXPECT_LT(viewer.camera.distance(), startDistance);  // zoomed, not orbited
    EXPECT_EQ(OrbitCamera::azimuth, -2.2f);
    EXPECT_EQ(OrbitCamera::elevation, -1.1f);
}
