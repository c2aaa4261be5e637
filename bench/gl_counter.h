// The counting GL stand-in's one query.
#pragma once

// Number of GL, GLU and GLUT calls made so far.
long glCallCount();
