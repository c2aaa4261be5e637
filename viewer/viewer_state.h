// The values the program keeps from start-up to exit, as one plain record. The program holds one
// of them (see app/process_state.h); everything below the application shell is handed the parts
// it reads or changes.
#pragma once

#include "math4d/point.h"
#include "scene/scene_records.h"
#include "viewer/orbit_camera.h"

struct ViewerState {
    FigureCollection loadedFigure;   // zero until the loader fills it once at start-up
    AffineCollection loadedAffines;  // zero until the loader fills it once at start-up
    Point4 projectionVector;         // zero until loaded; then changed only by the projection keys
    float globalStep = 0.0f;         // 0.0; set by init, changed only by the step keys
    OrbitCamera camera;              // zero until init puts it in its start state; moved by drags
    int showFigure = 1;              // 1; toggled by the V key
    int showDropLines = 0;           // 0; toggled by the B key
    float figureLineWidth = 1.0f;    // 1.0; changed by O and L, kept within 1 to 10
    int lastMouseX = -1;             // -1; written by the mouse and motion callbacks
    int lastMouseY = -1;             // -1; written by the mouse and motion callbacks
    int mouseButton = 0;             // 0 (left); the button of the latest button event
};
