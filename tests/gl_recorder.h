// Recording stand-in for OpenGL, GLU and GLUT: the drawing code under test links against
// gl_recorder.cpp instead of the real libraries, and every call lands here with its arguments.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_helpers.h"

// One recorded call. Integer, enum and float arguments are widened to double exactly.
struct GlCall {
    const char* name = "";
    int argCount = 0;
    double args[9] = {};
};

// The recording itself lives in fixed static storage, so recording never touches the heap.
// Everything below that returns a vector or a string is for checking, outside measured code.
namespace glrec {

// Forgets every recorded call.
void clear();
int size();
const GlCall& at(int i);
// True when more calls came than the fixed storage holds (the surplus is dropped).
bool overflowed();

std::vector<GlCall> calls();
std::vector<std::string> names();
int countOf(const std::string& name);
// The recorded calls with this name, in order.
std::vector<GlCall> named(const std::string& name);
// Index of the first call with this name at or after from, or -1.
int indexOf(const std::string& name, int from = 0);
// Index of the last call with this name, or -1.
int lastIndexOf(const std::string& name);

// A vertex as issued, with the colour current at that moment.
struct Vertex {
    double x, y, z;
    double red, green, blue;
};

// One glBegin ... glEnd block.
struct Block {
    double mode;
    std::vector<Vertex> vertices;
};

// Every glBegin/glEnd block in order; vertices outside a block are not collected.
std::vector<Block> blocks();

// The GL state the recorded calls leave behind, replayed from the start of the recording.
struct Replay {
    double lineWidth = 1.0;
    double pointSize = 1.0;
    int matrixDepth = 0;            // pushes minus pops
    int lowestDepth = 0;            // below 0 means a pop without its push
    bool insideBlock = false;       // a glBegin without its glEnd
    bool nestedBlock = false;       // a glBegin inside a block
    bool transformInBlock = false;  // a matrix call inside a block, which GL rejects
};
Replay replay();

}  // namespace glrec

// One expected call: its name and its arguments, compared exactly.
struct ExpectedCall {
    std::string name;
    std::vector<double> args;
};

// Whether the recorded calls from index from on begin with exactly the expected ones.
::testing::AssertionResult callsMatch(int from, const std::vector<ExpectedCall>& expected);

// The calls as one readable line each, for failure messages.
std::string describeCalls(int from = 0, int to = -1);

// Splits captured console text at newlines; a final unterminated piece is kept.
std::vector<std::string> splitLines(const std::string& text);

// A fixture for drawing and input tests: process state as init leaves it (camera in its start
// state, step 0), an empty recording, and the console captured.
class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        viewer.camera.setDefaults();
        glrec::clear();
    }
    void TearDown() override { EXPECT_FALSE(glrec::overflowed()) << "recording storage too small"; }

    std::vector<std::string> consoleLines() const { return splitLines(console.text()); }

    CaptureStdout console;
};
