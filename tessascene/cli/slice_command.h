// The slice command: the cross-section of a figure by a hyperplane, or a sweep of cuts through
// it, written as scenes. The command line (tessascene/command_line.cpp) hands this part the
// values of its own options; it reads them, cuts and writes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/edge_graph.h"
#include "tessascene/scene_writer.h"
#include "tessascene/slice.h"

// The options --at, --hyperplane and --sweep.
struct SliceOptions {
    int given = 0;     // how many of --at and --hyperplane were given
    Hyperplane plane;  // the normal defaults to the q axis
    bool offsetGiven = false;
    int axis = 3;      // the axis --at names (0 x, 1 y, 2 z, 3 q), or -1 for --hyperplane
    int sweep = 0;     // --sweep N; 0: one cut
    bool any = false;  // any of the three options was given
};

// Reads the value of --at (AXIS=C, or AXIS alone for a sweep), --hyperplane (NX,NY,NZ,NQ:C, or
// the normal alone for a sweep) or --sweep (1 to 1000). false with problem set to what is wrong
// with the value.
bool parseSliceOption(const std::string& option, const std::string& value, SliceOptions& slice,
                      std::string& problem);

// Checks the slice options once the whole command line is read, for the slice command or
// another one; false with a usage error.
bool checkSliceOptions(bool sliceCommand, const SliceOptions& slice, std::string& error);

// A table's polylines as an edge graph: consecutive points joined, each polyline of three or
// more points closed when closed is set.
EdgeGraph graphFromPaths(const std::vector<std::vector<Vertex4>>& paths, bool closed);

// Where and how the cuts are written.
struct SliceOutput {
    std::string folder;
    bool force = false;
    int lineLoop = 0;  // for a cut with edges; a cut without edges is written as points
    std::array<double, 3> colour = {1.0, 1.0, 1.0};
    SceneAffines affines;
};

// Cuts figure (placed and scaled as it is to be written; at least one vertex) as slice asks and
// writes the scene, or the sweep into output.folder/000, ...; prints what was written on
// standard output. false with a one-line error (nothing written) when the hyperplane misses
// the figure, a cut cannot be laid out or written.
bool runSlice(const EdgeGraph& figure, const SliceOptions& slice, const SliceOutput& output,
              std::string& error);
