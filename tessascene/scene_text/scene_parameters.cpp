#include "tessascene/scene_text/scene_parameters.h"

namespace tessascene {

SceneAffines affinesFor(const SceneParameters& parameters) {
    SceneAffines affines;
    affines.projection = parameters.projection;
    if (parameters.scale) {
        affines.records.push_back({kTransformScale, {*parameters.scale, 1, 1, 1, 1}});
    }
    const auto turnRecord = [](int type, const PlaneTurn& turn) {
        AffineRecord record{type, {turn.degrees, 0, 0, 0, 0, 0, 0}};
        record.params[1 + turn.plane] = 1.0;
        return record;
    };
    for (const PlaneTurn& turn : parameters.rotations) {
        affines.records.push_back(turnRecord(kTransformRotate, turn));
    }
    for (const PlaneTurn& turn : parameters.spins.value_or(std::vector<PlaneTurn>{{2, 15.0}})) {
        affines.records.push_back(turnRecord(kTransformStepRotate, turn));
    }
    return affines;
}

}  // namespace tessascene
