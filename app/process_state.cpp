#include "app/process_state.h"

FigureCollection loadedFigure;
AffineCollection loadedAffines;
Point4 projectionVector;
float globalStep = 0.0f;
OrbitCamera camera;
int showFigure = 1;
int showDropLines = 0;
float figureLineWidth = 1.0f;
int lastMouseX = -1;
int lastMouseY = -1;
int mouseButton = 0;
