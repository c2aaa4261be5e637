#include "pipeline/figure_projection.h"

#include "math4d/affine_transform.h"
#include "math4d/scalar_helpers.h"

void FigureCollection3::setPolylineColour(int i, float red, float green, float blue) {
    polylines[i].red = red;
    polylines[i].green = green;
    polylines[i].blue = blue;
}

FigureCollection FigureCollection::transform(AffineTransform transform) const {
    FigureCollection result;
    result.count = count;
    result.lineLoop = lineLoop;
    for (int i = 0; i < count; ++i) {
        const Polyline& source = polylines[i];
        Polyline& target = result.polylines[i];
        result.copyPolylineColour(i, source);
        target.count = source.count;
        for (int j = 0; j < source.count; ++j) {
            target.vertices[j].fromMatrix(
                multiply(transform.composite, source.vertices[j].toMatrix()));
        }
    }
    return result;
}

FigureCollection3 FigureCollection::project(Point4 direction) const {
    FigureCollection3 result;
    result.count = count;
    result.lineLoop = lineLoop;
    for (int i = 0; i < count; ++i) {
        const Polyline& source = polylines[i];
        Polyline3& target = result.polylines[i];
        result.setPolylineColour(i, source.red, source.green, source.blue);
        target.count = source.count;
        for (int j = 0; j < source.count; ++j) {
            target.vertices[j] = projectTo3D(source.vertices[j], direction);
        }
    }
    return result;
}
