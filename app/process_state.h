// Every process-wide record of the program: the one ViewerState, which starts at the values its
// fields give before main runs, is never freed, and is touched only from the GLUT thread. The
// window size is fixed.
#pragma once

#include "viewer/viewer_state.h"

// The window never changes size; integer sizes are these truncated toward zero.
constexpr float kWindowWidth = 800.0f;
constexpr float kWindowHeight = 600.0f;

// Filled by readSpecialFiles, moved by the input callbacks, read by every frame.
extern ViewerState viewer;

// Reads the figure file and the affine file into the records above and echoes them; called once,
// by init, with kFigureFileName and kAffineFileName.
void readSpecialFiles(const char* figureName, const char* affineName);
