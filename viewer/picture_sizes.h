// The fixed sizes of what every frame shows besides the figure: the camera's lens, the axes with
// their cones, the q marker's ball and the grids. The window and the web page both draw with
// these, so the two pictures agree.
#pragma once

// The perspective: vertical field of view in degrees, near and far planes in scene units.
constexpr double kFieldOfViewDegrees = 50.0;
constexpr double kNearPlane = 0.3;
constexpr double kFarPlane = 300.0;

// The axes: lines kAxisLineWidth pixels wide from the origin to kAxisLength on each axis, each
// ending in a cone (the y axis's is taller), cut into slices and stacks as GLUT cuts it.
constexpr float kAxisLineWidth = 3.0f;
constexpr int kAxisLength = 2;
constexpr double kConeRadius = 0.1;
constexpr double kConeHeight = 0.5;
constexpr double kYConeHeight = 0.6;
constexpr int kConeSlices = 12;
constexpr int kConeStacks = 9;

// The q marker's ball, in scene units, slices and stacks.
constexpr double kBallRadius = 0.1;
constexpr int kBallSlices = 10;
constexpr int kBallStacks = 10;

// The plane grids: lines at whole units from -kGridHalfExtent to kGridHalfExtent, dark grey.
constexpr int kGridHalfExtent = 3;
constexpr float kGridGrey = 0.1f;
