// Compiled with the include folders of tessascene's import library only: the include of the
// scene_text folder above it must not compile (tests/CMakeLists.txt expects exactly that
// failure).
#include "tessascene/import/table_import.h"
#include "tessascene/scene_text/scenes.h"

tessascene::SceneSource probeUpward() {
    return tessascene::SceneSource{};
}
