#include "scene/scene_records.h"

void Polyline::setVertex(int j, float x, float y, float z, float q) {
    vertices[j].set(x, y, z, q);
}

void Polyline::setColour(float r, float g, float b) {
    red = r;
    green = g;
    blue = b;
}

void Polyline::copyColour(const Polyline& source) {
    red = source.red;
    green = source.green;
    blue = source.blue;
}

void FigureCollection::setPolyline(int i, Polyline p) {
    Polyline& slot = polylines[i];
    slot.copyColour(p);
    slot.count = p.count;
    for (int j = 0; j < p.count; ++j) {
        slot.vertices[j] = p.vertices[j];
    }
}

void FigureCollection::copyPolylineColour(int i, const Polyline& source) {
    polylines[i].copyColour(source);
}

void Affine::set(int newType, float p0, float p1, float p2, float p3, float p4, float p5,
                 float p6) {
    type = newType;
    params[0] = p0;
    params[1] = p1;
    params[2] = p2;
    params[3] = p3;
    params[4] = p4;
    params[5] = p5;
    params[6] = p6;
}

void AffineCollection::reset() {
    count = 0;
    for (Affine& record : records) {
        record.set(0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    }
}

void AffineCollection::setAffine(int i, int type, float p0, float p1, float p2, float p3, float p4,
                                 float p5, float p6) {
    records[i].set(type, p0, p1, p2, p3, p4, p5, p6);
}
