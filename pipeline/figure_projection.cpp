#include "pipeline/figure_projection.h"

#include "math4d/affine_transform.h"
#include "math4d/matrix5.h"
#include "math4d/scalar_helpers.h"

void FigureCollection3::setPolylineColour(int i, float red, float green, float blue) {
    polylines[i].red = red;
    polylines[i].green = green;
    polylines[i].blue = blue;
}

namespace {

// A matrix ready to take many points: rows 1 to 4 of each column side by side, so the four
// coordinates of a point advance together (the compiler makes that one vector operation per
// column). Each coordinate still gets exactly the float products and partial sums, in the same
// order and started from 0, that multiply(m, p.toMatrix()) forms for its column 1; the other
// 20 products of that multiply, all with a factor of 0, are skipped because fromMatrix never
// reads them.
class PointTransform {
public:
    explicit PointTransform(const Matrix5& m) {
        for (int col = 0; col < 5; ++col) {
            for (int row = 0; row < 4; ++row) {
                columns_[col][row] = m.elements[5 * row + col];
            }
        }
    }

    Point4 apply(const Point4& p) const {
        float r[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        accumulate(r, columns_[0], p.x);
        accumulate(r, columns_[1], p.y);
        accumulate(r, columns_[2], p.z);
        accumulate(r, columns_[3], p.q);
        accumulate(r, columns_[4], 1.0f);
        Point4 result;
        result.set(r[0], r[1], r[2], r[3]);
        return result;
    }

private:
    static void accumulate(float* r, const float* column, float factor) {
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + column[row] * factor;
        }
    }

    float columns_[5][4];
};

}  // namespace

FigureCollection FigureCollection::transform(AffineTransform transform) const {
    const PointTransform columns(transform.composite);
    FigureCollection result;
    result.count = count;
    result.lineLoop = lineLoop;
    for (int i = 0; i < count; ++i) {
        const Polyline& source = polylines[i];
        Polyline& target = result.polylines[i];
        result.copyPolylineColour(i, source);
        target.count = source.count;
        for (int j = 0; j < source.count; ++j) {
            target.vertices[j] = columns.apply(source.vertices[j]);
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
