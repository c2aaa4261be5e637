#include "viewer/orbit_camera.h"

#include <cmath>

#include "math4d/scalar_helpers.h"

float OrbitCamera::azimuth = 0.0f;
float OrbitCamera::elevation = 0.0f;

namespace {
// Pixels of mouse movement per radian of orbit.
constexpr double kPixelsPerRadian = 200.0;
// The elevation never reaches the poles, where the up vector would be parallel to the view.
const float kElevationLimit = static_cast<float>(kPi / 2.0 - 0.01);
constexpr double kMinDistance = 1.0;
constexpr double kMaxDistance = 550.0;
}  // namespace

void OrbitCamera::setDefaults() {
    azimuth = -2.2f;
    elevation = -1.1f;
    eye.set(-1.6f, 5.0f, 2.0f);
    target.set(0.0f, 0.0f, 0.0f);
    up.set(0.0f, 1.0f, 0.0f);
    gridShown = 0;
    axesShown = 1;
}

float OrbitCamera::distance() const {
    const double sum = static_cast<double>(square(eye.x - target.x)) +
                       static_cast<double>(square(eye.y - target.y)) +
                       static_cast<double>(square(eye.z - target.z));
    return static_cast<float>(std::sqrt(sum));
}

void OrbitCamera::rotate(float dx, float dy) {
    const double d = distance();
    azimuth = static_cast<float>(azimuth + dx / kPixelsPerRadian);
    elevation = static_cast<float>(elevation + dy / kPixelsPerRadian);
    if (elevation > kElevationLimit) {
        elevation = kElevationLimit;
    }
    if (elevation < -kElevationLimit) {
        elevation = -kElevationLimit;
    }
    const double az = azimuth;
    const double el = elevation;
    eye.x = static_cast<float>(target.x + d * std::cos(el) * std::cos(-az));
    eye.z = static_cast<float>(target.z + d * std::cos(el) * std::sin(-az));
    eye.y = static_cast<float>(target.y + d * std::sin(-el));
}

void OrbitCamera::zoom(int dy) {
    const double d = distance();
    const double newDistance = d - dy * d / 100.0;
    if (!(newDistance > kMinDistance && newDistance < kMaxDistance)) {
        return;
    }
    eye.x = static_cast<float>(eye.x - (static_cast<double>(eye.x) - target.x) * dy / 100.0);
    eye.y = static_cast<float>(eye.y - (static_cast<double>(eye.y) - target.y) * dy / 100.0);
    eye.z = static_cast<float>(eye.z - (static_cast<double>(eye.z) - target.z) * dy / 100.0);
}
