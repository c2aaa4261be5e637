// Counting stand-in for OpenGL, GLU and GLUT: every call only adds one to a counter, so a
// benchmark of the frame pass measures the program's own CPU work and nothing of a driver.
#include <GL/glu.h>
#include <GL/glut.h>

#include "bench/gl_counter.h"

namespace {
long callCount = 0;
}

long glCallCount() {
    return callCount;
}

void glBegin(GLenum) {
    ++callCount;
}
void glEnd() {
    ++callCount;
}
void glVertex3d(GLdouble, GLdouble, GLdouble) {
    ++callCount;
}
void glColor3f(GLfloat, GLfloat, GLfloat) {
    ++callCount;
}
void glLineWidth(GLfloat) {
    ++callCount;
}
void glPointSize(GLfloat) {
    ++callCount;
}
void glMatrixMode(GLenum) {
    ++callCount;
}
void glLoadIdentity() {
    ++callCount;
}
void glPushMatrix() {
    ++callCount;
}
void glPopMatrix() {
    ++callCount;
}
void glTranslated(GLdouble, GLdouble, GLdouble) {
    ++callCount;
}
void glRotated(GLdouble, GLdouble, GLdouble, GLdouble) {
    ++callCount;
}
void glClear(GLbitfield) {
    ++callCount;
}
void glFlush() {
    ++callCount;
}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {
    ++callCount;
}
void gluLookAt(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble,
               GLdouble) {
    ++callCount;
}
void glutSwapBuffers() {
    ++callCount;
}
void glutSolidCone(double, double, GLint, GLint) {
    ++callCount;
}
void glutSolidSphere(double, GLint, GLint) {
    ++callCount;
}
