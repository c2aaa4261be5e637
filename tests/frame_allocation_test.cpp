// Allocation test: a whole frame with a full 90 x 90 figure runs on fixed-capacity values alone.
// This file replaces the global operator new of the gl_tests binary with a counting one.
#include <cstdlib>
#include <iostream>
#include <new>

#include "app/frame.h"
#include "gl_recorder.h"

namespace {
bool counting = false;
long allocations = 0;

// Swallows console output without allocating, counting the lines.
class LineCounter : public std::streambuf {
public:
    int lines = 0;

protected:
    int overflow(int c) override {
        if (c == '\n') {
            ++lines;
        }
        return traits_type::not_eof(c);
    }
};
}  // namespace

void* operator new(std::size_t size) {
    if (counting) {
        ++allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
// Out of line: inlined next to operator new, gcc would take free() for a mismatched release.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

TEST(FrameAllocationTest, FullFrameAllocatesNoHeapMemory) {
    // The counter itself must see an allocation, or the check below proves nothing.
    counting = true;
    ::operator delete(::operator new(16));
    counting = false;
    ASSERT_EQ(allocations, 1);

    resetProcessState();
    viewer.camera.setDefaults();
    viewer.camera.gridShown = 1;
    viewer.showDropLines = 1;
    viewer.globalStep = 2.0f;
    viewer.projectionVector = point4(0.1f, 0.2f, 0.3f, 1.0f);
    viewer.loadedFigure.count = kMaxPolylines;
    for (int i = 0; i < kMaxPolylines; ++i) {
        Polyline& p = viewer.loadedFigure.polylines[i];
        p.count = kMaxVertices;
        for (int j = 0; j < kMaxVertices; ++j) {
            p.setVertex(j, 0.01f * static_cast<float>(i), 0.02f * static_cast<float>(j), 0.5f,
                        1.0f);
        }
        p.setColour(0.5f, 0.25f, 0.125f);
    }
    viewer.loadedAffines.count = kMaxAffines;
    for (int i = 0; i < kMaxAffines; ++i) {
        viewer.loadedAffines.setAffine(i, 1 + i % 6, 0.01f, 1, 1, 1, 1, 1, 1);
    }

    LineCounter sink;
    std::streambuf* saved = std::cout.rdbuf(&sink);
    glrec::clear();
    allocations = 0;
    counting = true;
    display();
    counting = false;
    std::cout.rdbuf(saved);

    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(sink.lines, 3 + 4 + 9);
    ASSERT_FALSE(glrec::overflowed());
    // Grid, axes, marker with drop lines, and every vertex of the figure reached GL.
    EXPECT_EQ(glrec::countOf("glVertex3d"), 84 + 6 + 2 + 12 + kMaxPolylines * kMaxVertices);
    resetProcessState();
}
