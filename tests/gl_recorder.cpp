// Recording definitions of every GL, GLU and GLUT function the drawing code calls, plus the
// helpers the tests use to read the recording back.
#include "gl_recorder.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include <algorithm>
#include <sstream>

namespace {
// Enough for several frames of a full 90 x 90 figure.
constexpr int kCapacity = 1 << 17;
GlCall recorded[kCapacity];
int recordedCount = 0;
bool recordedOverflow = false;

void record(const char* name, std::initializer_list<double> args) {
    if (recordedCount >= kCapacity) {
        recordedOverflow = true;
        return;
    }
    GlCall& call = recorded[recordedCount++];
    call.name = name;
    call.argCount = 0;
    for (double a : args) {
        call.args[call.argCount++] = a;
    }
}
}  // namespace

extern "C" {
void glBegin(GLenum mode) {
    record("glBegin", {static_cast<double>(mode)});
}
void glEnd() {
    record("glEnd", {});
}
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
    record("glVertex3d", {x, y, z});
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    record("glColor3f", {r, g, b});
}
void glLineWidth(GLfloat width) {
    record("glLineWidth", {width});
}
void glPointSize(GLfloat size) {
    record("glPointSize", {size});
}
void glMatrixMode(GLenum mode) {
    record("glMatrixMode", {static_cast<double>(mode)});
}
void glLoadIdentity() {
    record("glLoadIdentity", {});
}
void glPushMatrix() {
    record("glPushMatrix", {});
}
void glPopMatrix() {
    record("glPopMatrix", {});
}
void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    record("glTranslated", {x, y, z});
}
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    record("glRotated", {angle, x, y, z});
}
void glClear(GLbitfield mask) {
    record("glClear", {static_cast<double>(mask)});
}
void glFlush() {
    record("glFlush", {});
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record("gluPerspective", {fovy, aspect, zNear, zFar});
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    record("gluLookAt", {eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ});
}

void glutSwapBuffers() {
    record("glutSwapBuffers", {});
}
void glutSolidCone(double base, double height, GLint slices, GLint stacks) {
    record("glutSolidCone",
           {base, height, static_cast<double>(slices), static_cast<double>(stacks)});
}
void glutSolidSphere(double radius, GLint slices, GLint stacks) {
    record("glutSolidSphere", {radius, static_cast<double>(slices), static_cast<double>(stacks)});
}
}  // extern "C"

namespace glrec {

void clear() {
    recordedCount = 0;
    recordedOverflow = false;
}

int size() {
    return recordedCount;
}

const GlCall& at(int i) {
    return recorded[i];
}

bool overflowed() {
    return recordedOverflow;
}

std::vector<GlCall> calls() {
    return std::vector<GlCall>(recorded, recorded + recordedCount);
}

std::vector<std::string> names() {
    std::vector<std::string> result;
    for (int i = 0; i < recordedCount; ++i) {
        result.emplace_back(recorded[i].name);
    }
    return result;
}

int countOf(const std::string& name) {
    return static_cast<int>(named(name).size());
}

std::vector<GlCall> named(const std::string& name) {
    std::vector<GlCall> result;
    for (int i = 0; i < recordedCount; ++i) {
        if (name == recorded[i].name) {
            result.push_back(recorded[i]);
        }
    }
    return result;
}

int indexOf(const std::string& name, int from) {
    for (int i = from; i < recordedCount; ++i) {
        if (name == recorded[i].name) {
            return i;
        }
    }
    return -1;
}

int lastIndexOf(const std::string& name) {
    for (int i = recordedCount - 1; i >= 0; --i) {
        if (name == recorded[i].name) {
            return i;
        }
    }
    return -1;
}

std::vector<Block> blocks() {
    std::vector<Block> result;
    bool inside = false;
    double colour[3] = {1.0, 1.0, 1.0};  // GL's initial colour
    for (int i = 0; i < recordedCount; ++i) {
        const GlCall& c = recorded[i];
        const std::string name = c.name;
        if (name == "glColor3f") {
            colour[0] = c.args[0];
            colour[1] = c.args[1];
            colour[2] = c.args[2];
        } else if (name == "glBegin") {
            result.push_back(Block{c.args[0], {}});
            inside = true;
        } else if (name == "glEnd") {
            inside = false;
        } else if (name == "glVertex3d" && inside) {
            result.back().vertices.push_back(
                Vertex{c.args[0], c.args[1], c.args[2], colour[0], colour[1], colour[2]});
        }
    }
    return result;
}

Replay replay() {
    Replay r;
    for (int i = 0; i < recordedCount; ++i) {
        const GlCall& c = recorded[i];
        const std::string name = c.name;
        if (name == "glLineWidth") {
            r.lineWidth = c.args[0];
        } else if (name == "glPointSize") {
            r.pointSize = c.args[0];
        } else if (name == "glPushMatrix" || name == "glPopMatrix") {
            r.matrixDepth += name == "glPushMatrix" ? 1 : -1;
            r.lowestDepth = std::min(r.lowestDepth, r.matrixDepth);
            r.transformInBlock = r.transformInBlock || r.insideBlock;
        } else if (name == "glTranslated" || name == "glRotated" || name == "glLoadIdentity") {
            r.transformInBlock = r.transformInBlock || r.insideBlock;
        } else if (name == "glBegin") {
            r.nestedBlock = r.nestedBlock || r.insideBlock;
            r.insideBlock = true;
        } else if (name == "glEnd") {
            r.insideBlock = false;
        }
    }
    return r;
}

}  // namespace glrec

::testing::AssertionResult callsMatch(int from, const std::vector<ExpectedCall>& expected) {
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const int i = from + static_cast<int>(k);
        const ExpectedCall& want = expected[k];
        if (i >= glrec::size()) {
            return ::testing::AssertionFailure()
                   << "call " << i << " missing, wanted " << want.name << "\n"
                   << describeCalls(from);
        }
        const GlCall& got = glrec::at(i);
        bool same = want.name == got.name && static_cast<int>(want.args.size()) == got.argCount;
        for (int a = 0; same && a < got.argCount; ++a) {
            same = want.args[a] == got.args[a];
        }
        if (!same) {
            std::ostringstream wanted;
            wanted.precision(10);
            wanted << want.name << "(";
            for (std::size_t a = 0; a < want.args.size(); ++a) {
                wanted << (a > 0 ? ", " : "") << want.args[a];
            }
            wanted << ")";
            return ::testing::AssertionFailure()
                   << "call " << i << " differs, wanted " << wanted.str() << "\n"
                   << describeCalls(from, i + 1);
        }
    }
    return ::testing::AssertionSuccess();
}

std::string describeCalls(int from, int to) {
    if (to < 0 || to > glrec::size()) {
        to = glrec::size();
    }
    std::ostringstream out;
    out.precision(10);  // enough to tell 0.1 from 0.1f
    for (int i = from; i < to; ++i) {
        const GlCall& c = glrec::at(i);
        out << i << ": " << c.name << "(";
        for (int a = 0; a < c.argCount; ++a) {
            out << (a > 0 ? ", " : "") << c.args[a];
        }
        out << ")\n";
    }
    return out.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
