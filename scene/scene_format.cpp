#include "scene/scene_format.h"

#include <sstream>

#include "math4d/scalar_helpers.h"

std::string sceneNumberText(float value) {
    std::ostringstream out;
    out << consoleFloat(value);
    return out.str();
}
