#include "pipeline/composition.h"

AffineTransform composeAffineCollection(const AffineCollection& affines, float step) {
    AffineTransform t;
    for (int i = 0; i < affines.count; ++i) {
        const Affine& a = affines.records[i];
        const float* p = a.params;
        switch (a.type) {
            case kTransformScale:
                t.scale(p[0], p[1], p[2], p[3], p[4]);
                break;
            case kTransformTranslate:
                t.translate(p[0], p[1], p[2], p[3], p[4]);
                break;
            case kTransformRotate:
                t.rotate(p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
                break;
            case kTransformStepScale:
                t.scale(step + p[0], p[1], p[2], p[3], p[4]);
                break;
            case kTransformStepTranslate:
                t.translate(step * p[0], p[1], p[2], p[3], p[4]);
                break;
            case kTransformStepRotate:
                t.rotateStep(step * p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
                break;
            default:
                break;  // empty or unknown record: contributes nothing
        }
    }
    return t;
}

FigureCollection applyAffineCollection(FigureCollection figure, AffineCollection affines,
                                       float step) {
    const AffineTransform t = composeAffineCollection(affines, step);
    t.composite.print("Matrix of Affine");
    return figure.transform(t);
}
