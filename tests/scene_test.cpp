// Scene records: polylines, the figure, affine records and the transform list.

#include <gtest/gtest.h>

#include "scene/scene_records.h"
#include "test_helpers.h"

TEST(SceneRecords, StoringAShorterPolylineKeepsTheOldSlotsBeyondItsCount) {
    FigureCollection f;
    Polyline five = makePolyline({point4(1, 1, 1, 1), point4(2, 2, 2, 2), point4(3, 3, 3, 3),
                                  point4(4, 4, 4, 4), point4(5, 5, 5, 5)},
                                 0.1f, 0.2f, 0.3f);
    f.setPolyline(0, five);
    Polyline three = makePolyline({point4(7, 0, 0, 0), point4(8, 0, 0, 0), point4(9, 0, 0, 0)},
                                  1.0f, 0.5f, 0.0f);
    f.setPolyline(0, three);

    const Polyline& slot = f.polylines[0];
    EXPECT_EQ(slot.count, 3);
    EXPECT_EQ(slot.vertices[2].x, 9.0f);
    EXPECT_EQ(slot.vertices[3].x, 4.0f);  // left over, neither cleared nor meaningful
    EXPECT_EQ(slot.vertices[4].q, 5.0f);
    EXPECT_EQ(slot.red, 1.0f);
    EXPECT_EQ(slot.green, 0.5f);
    EXPECT_EQ(slot.blue, 0.0f);
}

TEST(SceneRecords, ColoursAreStoredUnclampedAndCopiedAlone) {
    Polyline source = makePolyline({point4(1, 2, 3, 4)}, 2.5f, -1.0f, 0.25f);
    Polyline target = makePolyline({point4(9, 9, 9, 9), point4(8, 8, 8, 8)});
    target.copyColour(source);
    EXPECT_EQ(target.red, 2.5f);
    EXPECT_EQ(target.green, -1.0f);
    EXPECT_EQ(target.blue, 0.25f);
    EXPECT_EQ(target.count, 2);
    EXPECT_EQ(target.vertices[0].x, 9.0f);

    FigureCollection f = makeFigure({target});
    f.copyPolylineColour(0, makePolyline({}, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(f.polylines[0].blue, 1.0f);
    EXPECT_EQ(f.polylines[0].red, 0.0f);
}

TEST(SceneRecords, CopiesAreIndependentValues) {
    FigureCollection a = makeFigure({unitSquare()});
    FigureCollection b = a;
    b.polylines[0].vertices[1].x = 42.0f;
    b.count = 0;
    EXPECT_EQ(a.polylines[0].vertices[1].x, 1.0f);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(b.polylines[0].vertices[1].x, 42.0f);

    AffineCollection list;
    list.reset();
    list.setAffine(0, 7, 1, 2, 3, 4, 5, 6, 7);
    list.count = 1;
    AffineCollection copy = list;
    EXPECT_EQ(copy.records[0].type, 7);
    EXPECT_EQ(copy.records[0].params[6], 7.0f);
}

TEST(SceneRecords, ResetEmptiesTheWholeList) {
    AffineCollection list;
    for (int i = 0; i < kMaxAffines; ++i) {
        list.setAffine(i, 3, 1, 2, 3, 4, 5, 6, 7);
    }
    list.count = 12;
    list.reset();
    EXPECT_EQ(list.count, 0);
    for (const Affine& a : list.records) {
        EXPECT_EQ(a.type, 0);
        for (float p : a.params) {
            EXPECT_EQ(p, 0.0f);
        }
    }
}

TEST(SceneRecords, SetAffineLeavesTheCountAlone) {
    AffineCollection list;
    list.reset();
    list.count = 2;
    list.setAffine(4, 2, 1.0f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.records[4].type, 2);
    EXPECT_EQ(list.records[4].params[1], 0.5f);
    EXPECT_EQ(list.records[4].params[5], 1.0f);
}
