// Every process-wide record of the program. All have static storage, start at the value given
// here before main runs, are never freed, and are touched only from the GLUT thread.
#pragma once

#include "math4d/point.h"
#include "scene/scene_records.h"
#include "viewer/orbit_camera.h"

// The window never changes size; integer sizes are these truncated toward zero.
constexpr float kWindowWidth = 800.0f;
constexpr float kWindowHeight = 600.0f;

extern FigureCollection loadedFigure;   // zero until readSpecialFiles fills it once at start-up
extern AffineCollection loadedAffines;  // zero until readSpecialFiles fills it once at start-up
extern Point4 projectionVector;  // zero until loaded; then changed only by the projection keys
extern float globalStep;         // 0.0 at start, set by init; changed only by the step keys
extern OrbitCamera camera;       // zero until init puts it in its start state; moved by the mouse
extern int showFigure;           // 1 at start; toggled by the V key
extern int showDropLines;        // 0 at start; toggled by the B key
extern float figureLineWidth;    // 1.0 at start; changed by O and L, kept within 1 to 10
extern int lastMouseX;           // -1 at start; written by the mouse and motion callbacks
extern int lastMouseY;           // -1 at start; written by the mouse and motion callbacks
extern int mouseButton;          // 0 (left) at start; the button of the latest button event
