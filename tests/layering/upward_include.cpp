// Compiled with the math4d layer's include folders only: the include of a layer above must not
// compile (tests/CMakeLists.txt expects exactly that failure).
#include "math4d/affine_transform.h"
#include "pipeline/composition.h"

AffineTransform probeUpward() {
    return composeAffineCollection(AffineCollection{}, 0.0f);
}
