// Shared test helpers: console capture, scratch scene files, figure builders and a matrix
// tolerance check.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "math4d/matrix5.h"
#include "scene/scene_records.h"

// A string buffer that notes the length of the text at each flush of its stream.
class FlushNotingBuffer : public std::stringbuf {
public:
    std::vector<std::size_t> flushes;

protected:
    int sync() override {
        flushes.push_back(str().size());
        return 0;
    }
};

// Collects everything written to std::cout while it lives, and where the stream was flushed.
class CaptureStdout {
public:
    CaptureStdout() : saved_(std::cout.rdbuf(&buffer_)) {}
    ~CaptureStdout() { std::cout.rdbuf(saved_); }
    CaptureStdout(const CaptureStdout&) = delete;
    CaptureStdout& operator=(const CaptureStdout&) = delete;

    std::string text() const { return buffer_.str(); }
    void clear() {
        buffer_.str("");
        buffer_.flushes.clear();
    }

    // Whether the stream was flushed right after every newline, as a line end that flushes does.
    ::testing::AssertionResult everyLineFlushed() const {
        const std::string all = buffer_.str();
        for (std::size_t at = all.find('\n'); at != std::string::npos;
             at = all.find('\n', at + 1)) {
            const auto& f = buffer_.flushes;
            if (std::find(f.begin(), f.end(), at + 1) == f.end()) {
                const std::size_t start = all.rfind('\n', at == 0 ? 0 : at - 1);
                return ::testing::AssertionFailure()
                       << "no flush after the line \""
                       << all.substr(start == std::string::npos ? 0 : start + 1,
                                     at - (start == std::string::npos ? 0 : start + 1))
                       << "\"";
            }
        }
        return ::testing::AssertionSuccess();
    }

private:
    FlushNotingBuffer buffer_;
    std::streambuf* saved_;
};

// A fresh directory under /tmp, removed with its files when the object goes.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/tessaview-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "/tmp";
    }
    ~ScratchDir() {
        const std::string command = "rm -rf '" + path_ + "'";
        if (std::system(command.c_str()) != 0) {
            std::cerr << "could not remove " << path_ << "\n";
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Writes contents to the named file in the directory and returns its full path.
    std::string write(const std::string& name, const std::string& contents) const {
        const std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary) << contents;
        return full;
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Puts every process-wide record back to its value before start-up.
inline void resetProcessState() {
    viewer = ViewerState{};
    OrbitCamera::azimuth = 0.0f;
    OrbitCamera::elevation = 0.0f;
}

inline Point4 point4(float x, float y, float z, float q) {
    Point4 p;
    p.set(x, y, z, q);
    return p;
}

// A polyline of the given vertices in one colour.
inline Polyline makePolyline(std::initializer_list<Point4> vertices, float red = 1.0f,
                             float green = 0.0f, float blue = 0.0f) {
    Polyline p;
    for (const Point4& v : vertices) {
        p.setVertex(p.count, v.x, v.y, v.z, v.q);
        ++p.count;
    }
    p.setColour(red, green, blue);
    return p;
}

// The unit square in the xy plane at the given q, counter-clockwise from (0, 0).
inline Polyline unitSquare(float q = 0.0f) {
    return makePolyline(
        {point4(0, 0, 0, q), point4(1, 0, 0, q), point4(1, 1, 0, q), point4(0, 1, 0, q)});
}

// A figure of the given polylines drawn with the given line-loop value.
inline FigureCollection makeFigure(std::initializer_list<Polyline> polylines, int lineLoop = 1) {
    FigureCollection f;
    f.lineLoop = lineLoop;
    for (const Polyline& p : polylines) {
        f.setPolyline(f.count, p);
        ++f.count;
    }
    return f;
}

// Element-wise comparison within an absolute tolerance, for where exactness is not the point.
inline ::testing::AssertionResult matricesNear(const Matrix5& a, const Matrix5& b,
                                               float tolerance = 1e-6f) {
    for (int r = 1; r <= 5; ++r) {
        for (int c = 1; c <= 5; ++c) {
            if (!(std::fabs(a.get(r, c) - b.get(r, c)) <= tolerance)) {
                return ::testing::AssertionFailure()
                       << "element (" << r << "," << c << "): " << a.get(r, c) << " vs "
                       << b.get(r, c);
            }
        }
    }
    return ::testing::AssertionSuccess();
}
