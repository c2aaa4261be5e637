// Views of a figure in 3D, without files: the perspective from an eye on the q axis and the
// stereographic projection (figures/projection4d.h does the geometry), made into a scene whose
// every vertex has q = 0, with the lines that tell the user how the view was made.
#pragma once

#include <string>
#include <vector>

#include "tessascene/scene_text/scene_parameters.h"
#include "tessascene/scene_text/scenes.h"

namespace tessascene {

// The view of source that parameters.project asks for. source is placed as makeScene places it
// (parameters.center, the size), projected, and the view scaled to the size again (0: as
// projected); a point table's points are projected one by one, then fitted as makeScene fits a
// table. Without a spin in parameters the view spins in xz, as a 3D figure turns. notes receives
// the lines the user reads before the scene is written (how the view was made, what
// simplification did), scene.warning the vertices that land on one written point. false with a
// one-line error when the eye is not beyond the figure, the figure has no stereographic view, or
// the view cannot be fitted or written.
bool makeView(SceneSource& source, const SceneParameters& parameters,
              std::vector<std::string>& notes, MadeScene& scene, std::string& error);

}  // namespace tessascene
