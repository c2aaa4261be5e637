#include "app/process_state.h"

#include "scene/scene_loader.h"

ViewerState viewer;

void readSpecialFiles(const char* figureName, const char* affineName) {
    readSceneFiles(figureName, affineName, viewer.loadedFigure, viewer.loadedAffines,
                   viewer.projectionVector);
}
