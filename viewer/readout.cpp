#include "viewer/readout.h"

#include <iostream>

#include "math4d/scalar_helpers.h"

namespace {
// Every number of the readout keeps two decimals, cut toward zero.
ConsoleFloat cut(float value) {
    return consoleFloat(truncateDecimals(value, 2));
}
}  // namespace

Point3 qMarkerImage(Point4 projection, float length) {
    Point4 end;
    end.set(0.0f, 0.0f, 0.0f, length);
    return projectTo3D(end, projection);
}

void writeFrameStart() {
    std::cout << "           Start Draw           " << std::endl;
}

void writeStatusLines(const ViewerState& state, const Point3& p) {
    const Point4& v = state.projectionVector;
    const Point3& eye = state.camera.eye;
    std::cout << "Projection Vector (x,y,z,q) (" << cut(v.x) << " , " << cut(v.y) << " , "
              << cut(v.z) << " , " << cut(v.q) << ")" << std::endl;
    std::cout << "Q 3D Projection (x,y,z) (" << cut(p.x) << " , " << cut(p.y) << " , " << cut(p.z)
              << ")" << std::endl;
    std::cout << "Eye (x,y,z)  " << cut(eye.x) << "    " << cut(eye.y) << "     " << cut(eye.z)
              << std::endl;
    std::cout << "GLOBAL STEP " << consoleFloat(state.globalStep) << std::endl;
}

void writeFrameEnd() {
    std::cout << "-----------End Draw-----------" << std::endl;
    std::cout << "==============================" << std::endl;
}
