// Point tables and fitting them into a figure: the forms of table people save, the errors that
// name file and line, bounded line reading across its chunks, and simplification that keeps only
// data points, stays within the reported distance and never joins two polylines. Then the files
// data tools write (pandas, R, spreadsheets, numpy's .npy and .npz, gzip), as the importer and
// as the tool read them, from files and from a pipe.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tessascene/figures/simplify.h"
#include "tessascene/import/compressed_input.h"
#include "tessascene/import/data_import.h"
#include "tessascene/import/table_import.h"
#include "tessascene/import/text_input.h"
#include "tessascene/scene_text/table_placement.h"
#include "test_helpers.h"

namespace tessascene {

namespace {

bool readTable(const std::string& text, const TableOptions& options, PointTable& table,
               std::string& error) {
    std::istringstream in(text);
    return importTable(in, "t.csv", options, table, error);
}

TEST(PointTable, ReadsTheFormsDataToolsWrite) {
    const struct {
        const char* what;
        std::string text;
        TableOptions options;
        std::vector<std::size_t> pathSizes;
        Vertex4 firstPoint;
    } cases[] = {
        {"numpy header and exponents",
         "# x,y,z,q\n1.5e+00,2e0,3,4\n5,6,7,8\n",
         {},
         {2},
         {1.5, 2, 3, 4}},
        {"TSV with a header and a text column skipped",
         "id\tx\ty\tz\tq\nA\t1\t2\t3\t4\n",
         {},
         {1},
         {1, 2, 3, 4}},
        {"blank lines separate",
         "1 2 3 4\n5 6 7 8\n\n9 9 9 9\n\n\n1 1 1 1\n2 2 2 2\n",
         {},
         {2, 1, 2},
         {1, 2, 3, 4}},
        {"rows of NaN or empty values separate",
         "1,2,3,4\nnan,NaN,nan,nan\n5,6,7,8\n,,,\n9,9,9,9\n",
         {},
         {1, 1, 1},
         {1, 2, 3, 4}},
        {"comments do not separate", "1 2 3 4\n# note\n5 6 7 8\n", {}, {2}, {1, 2, 3, 4}},
        {"columns by name",
         "t,x,y,z,q\n0,1,2,3,4\n",
         {{"q", "z", "y", "x"}, "", ""},
         {1},
         {4, 3, 2, 1}},
        {"columns by number", "9 1 2 3 4\n", {{"5", "1", "2", "3"}, "", ""}, {1}, {4, 9, 1, 2}},
        {"a group column",
         "x,y,z,q,run\n1,1,1,1,a\n2,2,2,2,a\n3,3,3,3,b\n4,4,4,4,a\n",
         {{}, "run", ""},
         {2, 1, 1},
         {1, 1, 1, 1}},
        {"what strtod reads", "1e-3 -0 .5 +2\n0x1p3 1E2 -.25 7.\n", {}, {2}, {1e-3, -0.0, 0.5, 2}},
        {"CRLF, byte order mark, semicolons, quotes",
         "\xEF\xBB\xBF\"x\";\"y\";\"z\";\"q\"\r\n"
         "\"1\";2;3;4\r\n",
         {},
         {1},
         {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PointTable table;
        std::string error;
        ASSERT_TRUE(readTable(c.text, c.options, table, error)) << error;
        std::vector<std::size_t> sizes;
        for (const auto& path : table.paths) {
            sizes.push_back(path.size());
        }
        EXPECT_EQ(sizes, c.pathSizes);
        EXPECT_EQ(table.paths[0][0], c.firstPoint);
    }
}

TEST(PointTable, BadInputNamesTheFileAndLine) {
    const struct {
        std::string text;
        TableOptions options;
        const char* error;
    } cases[] = {
        {"1,2,3,4\n1,2,3\n", {}, "t.csv:2: a ragged row: 3 values where the first row has 4"},
        {"x,y,z,q\n1,2,3,4,5\n", {}, "t.csv:2: a ragged row: 5 values where the header has 4"},
        {"1,2,3,4\n1,2,abc,4\n", {}, "t.csv:2: 'abc' in column 3 is not a number"},
        {"1,2,3,4\n1,nan,3,4\n",
         {},
         "t.csv:2: column 2 is NA, NaN or empty in a row that has numbers"},
        {"1 2 3 4\n1 2 inf 4\n", {}, "t.csv:2: 'inf' in column 3 is infinite"},
        {"1 2 3 4\n1 2 1e301 4\n", {}, "t.csv:2: '1e301' in column 3 is beyond the range"},
        {"", {}, "t.csv:1: the file is empty"},
        {"# x,y,z,q\n\n", {}, "t.csv:2: no rows of numbers"},
        {"1,2,3\n", {}, "t.csv:1: 3 columns; a point table needs four"},
        {"a,b,c,d,e\n1,2,3,x,5\n",
         {{"a", "b", "c", "w"}, "", ""},
         "t.csv:1: --columns: no column is named 'w'"},
        {"1 2 3 4\n",
         {{"x", "y", "z", "q"}, "", ""},
         "t.csv:1: --columns names column 'x', but the table has no header"},
        {"1 2 3 4\n",
         {{"1", "2", "3", "5"}, "", ""},
         "t.csv:1: --columns names column 5, but the table has 4"},
        {"1,5 2,5 3,5 4,5\n", {}, "t.csv:1: '1,5' in column 1 has a decimal comma"},
        {"1;2;3;4\n1;2,5;3;4\n1;2.5;3;4\n",
         {},
         "t.csv:3: '2.5' in column 2 has a decimal point, but line 2 has numbers with a decimal "
         "comma"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PointTable table;
        std::string error;
        EXPECT_FALSE(readTable(c.text, c.options, table, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// Coordinates are checked as placement leaves them: a value beyond a float's range fits once
// scaled or centred, and one that stays beyond it (or below a float's normal range) is refused
// with the line of its row, a comment line counted.
TEST(PointTable, PlacedCoordinatesMustFitAFloat) {
    const struct {
        const char* text;
        double size;  // 0: --size keep
        bool center;
        const char* error;  // "": accepted
        double firstX;      // of the written figure, when accepted
    } cases[] = {
        {"0,0,0,0\n1e30,0,0,0\n", 0.0, false, "", 0.0},
        {"0,0,0,0\n1e39,0,0,0\n", 0.0, false,
         "t.csv:2: a coordinate is 1e+39, beyond the range of a 32-bit float; scale it with --size",
         0.0},
        {"0,0,0,0\n1e39,0,0,0\n", 2.0, false, "", -2.0},
        {"1e39,0,0,0\n1.000002e39,0,0,0\n", 0.0, true, "", -1e33},
        {"# x\n1e-39,0,0,0\n", 0.0, false,
         "t.csv:2: a coordinate is 1e-39, below the normal range of a 32-bit float; scale it with "
         "--size",
         0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PointTable table;
        std::string error;
        ASSERT_TRUE(readTable(c.text, {}, table, error)) << error;
        SceneParameters parameters;
        parameters.center = c.center;
        SceneFigure figure;
        FitReport report;
        const bool placed = placeTable(table, parameters, c.size, "t.csv", figure, report, error);
        if (*c.error != '\0') {
            EXPECT_FALSE(placed);
            EXPECT_EQ(error, c.error);
            continue;
        }
        ASSERT_TRUE(placed) << error;
        EXPECT_FLOAT_EQ(static_cast<float>(figure.polylines.at(0).at(0)[0]),
                        static_cast<float>(c.firstX));
    }
}

TEST(PointTable, OffFamilyFilesAreToldFromTablesByContent) {
    const struct {
        const char* text;
        InputKind kind;
    } cases[] = {
        {"# a comment\n\n4OFF\n", InputKind::kOffFamily},
        {"CN4OFF 1 0 0\n", InputKind::kOffFamily},
        {"4SKEL\n", InputKind::kOffFamily},
        {"nOFF\n4\n", InputKind::kOffFamily},
        {"4VECT\n", InputKind::kOffFamily},
        {"# x,y,z,q\n1,2,3,4\n", InputKind::kTable},
        {"x y z q\n", InputKind::kTable},
        {"OFFSET,x,y,z\n", InputKind::kTable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(kindOfInput(c.text), c.kind);
    }
}

TEST(BoundedLines, LinesAcrossReadChunksComeBackWhole) {
    const std::string longLine(9000, 'a');
    const std::string nul(
        "1\0"
        "2",
        3);
    const struct {
        std::string text;
        std::size_t maxBytes;
        std::vector<std::string> lines;
        LineStatus last;
    } cases[] = {
        {std::string(4095, 'b') + "\n" + std::string(4096, 'c') + "\nd",
         10000,
         {std::string(4095, 'b'), std::string(4096, 'c'), "d"},
         LineStatus::kEnd},
        {longLine + "\n\n", 9000, {longLine, ""}, LineStatus::kEnd},
        {longLine + "\n", 8999, {}, LineStatus::kTooLong},
        {"abc\n", 2, {}, LineStatus::kTooLong},
        {"ab\n", 2, {"ab"}, LineStatus::kEnd},
        {nul + "\n", 10, {nul}, LineStatus::kEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        std::istringstream in(c.text);
        std::string line;
        for (const std::string& expected : c.lines) {
            ASSERT_EQ(readBoundedLine(in, line, c.maxBytes), LineStatus::kLine);
            EXPECT_EQ(line, expected);
        }
        EXPECT_EQ(readBoundedLine(in, line, c.maxBytes), c.last);
        if (c.last == LineStatus::kTooLong) {
            EXPECT_EQ(line.size(), c.maxBytes);
        }
    }
}

// A smooth closed 4D Lissajous curve of n points.
std::vector<Vertex4> lissajous(int n, double phase) {
    std::vector<Vertex4> points;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * i / (n - 1);
        points.push_back({std::sin(3 * t + phase), std::sin(4 * t + 0.5), std::cos(5 * t),
                          std::sin(7 * t + 1.5) + 10});
    }
    return points;
}

// n distinct points on a straight line.
std::vector<Vertex4> line(int n) {
    std::vector<Vertex4> points;
    for (int i = 0; i < n; ++i) {
        points.push_back({i * 1e-3, i * 2e-3, -i * 1e-3, 0});
    }
    return points;
}

// Checks the fitted polylines against the data: each vertex a data point of one path in order,
// and every data point within the reported distance of the segment drawn around it. Returns the
// largest distance found.
double checkFaithful(const std::vector<std::vector<Vertex4>>& paths,
                     const std::vector<std::vector<Vertex4>>& polylines) {
    // Walk the paths in order; polylines come path by path, sharing the vertex at each cut.
    double largest = 0.0;
    std::size_t line = 0, vertex = 0;
    for (const auto& path : paths) {
        std::size_t previous = 0;
        EXPECT_EQ(polylines[line][vertex], path[0]);
        for (std::size_t i = 1; i < path.size(); ++i) {
            if (++vertex == polylines[line].size()) {
                ++line, vertex = 1;  // the next piece starts where this one ended
            }
            const Vertex4& drawn = polylines.at(line).at(vertex);
            std::size_t next = i;
            while (next < path.size() && path[next] != drawn) {
                ++next;
            }
            EXPECT_LT(next, path.size()) << "a vertex that is not a later point of its path";
            if (next == path.size()) {
                return INFINITY;
            }
            for (std::size_t j = previous + 1; j < next; ++j) {
                largest = std::max(largest, distanceToSegment(path[j], path[previous], drawn));
            }
            previous = i = next;
        }
        EXPECT_EQ(vertex + 1, polylines[line].size()) << "a polyline joins two paths";
        ++line, vertex = 0;
    }
    EXPECT_EQ(line, polylines.size());
    return largest;
}

TEST(FitPaths, SimplifiesFaithfullyWithinTheCapacity) {
    const struct {
        const char* what;
        std::vector<std::vector<Vertex4>> paths;
        double limit;  // of the largest distance
    } cases[] = {
        {"a 10000-point curve", {lissajous(10000, 0)}, 0.01},
        {"three curves", {lissajous(5000, 0), lissajous(3000, 1), lissajous(2000, 2)}, 0.01},
        {"a curve and a straight line", {lissajous(20000, 0), line(5000)}, 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<Vertex4>> polylines;
        FitReport report;
        std::string error;
        ASSERT_TRUE(
            fitPaths(c.paths, kLineLoopOpen, FigureCapacity{}, true, polylines, report, error))
            << error;
        EXPECT_TRUE(report.simplified);
        EXPECT_LE(polylines.size(), std::size_t(kMaxPolylines));
        for (const auto& p : polylines) {
            EXPECT_LE(p.size(), std::size_t(kMaxVertices));
        }
        // The capacity is used: only the polylines' shared cut vertices are not new points.
        EXPECT_GE(report.verticesKept + polylines.size(), std::size_t(kMaxVertices * 89));
        const double found = checkFaithful(c.paths, polylines);
        EXPECT_LE(found, report.largestDistance * (1 + 1e-12));
        EXPECT_LT(report.largestDistance, c.limit);  // the curves span a box of diagonal > 4
    }
}

TEST(FitPaths, RefusesWhatCannotFit) {
    const std::vector<Vertex4> curve = lissajous(200, 0);
    const struct {
        std::vector<std::vector<Vertex4>> paths;
        int lineLoop;
        bool simplify;
        const char* error;
    } cases[] = {
        {{curve, curve, curve},
         kLineLoopOpen,
         false,
         "the data needs 69 polylines; a figure holds at most 5"},
        {{curve}, kLineLoopClosed, false, "a closed polyline of 200 points does not fit"},
        {std::vector<std::vector<Vertex4>>(6, curve), kLineLoopOpen, true,
         "the data has 6 polylines"},
        {{curve}, kLineLoopPoints, true, "line-loop 3 shows at most 50 points"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::vector<Vertex4>> polylines;
        FitReport report;
        std::string error;
        EXPECT_FALSE(fitPaths(c.paths, c.lineLoop, FigureCapacity{10, 5}, c.simplify, polylines,
                              report, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // Closed polylines are simplified each into one polyline, never cut.
    std::vector<std::vector<Vertex4>> polylines;
    FitReport report;
    std::string error;
    ASSERT_TRUE(fitPaths({curve, curve}, kLineLoopClosed, FigureCapacity{10, 5}, true, polylines,
                         report, error));
    ASSERT_EQ(polylines.size(), 2u);
    EXPECT_EQ(polylines[0].size(), 10u);
}

// ---------------------------------------------------------------------------------------------
// Files as the tools that make them write them. numpy and pandas do not run here, so their
// formats are written byte for byte as their documentation and source lay them out.

// Little-endian bytes of the values, or big-endian ones.
template <typename T>
std::string rawBytes(const std::vector<T>& values, bool bigEndian = false) {
    std::string bytes(values.size() * sizeof(T), '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    if (bigEndian) {
        for (std::size_t i = 0; i < bytes.size(); i += sizeof(T)) {
            std::reverse(bytes.begin() + i, bytes.begin() + i + sizeof(T));
        }
    }
    return bytes;
}

std::string littleEndian(std::uint64_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
    return text;
}

// What np.save writes: format 1.0; the header dict with its keys sorted, room for the growing
// axis to reach 21 digits, spaces up to a multiple of 64 bytes and a newline; then the data.
std::string npyFile(const std::string& descr, bool fortran, const std::vector<std::size_t>& shape,
                    const std::string& data, int version = 1) {
    std::string shapeText = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        shapeText += (i > 0 ? ", " : "") + std::to_string(shape[i]);
    }
    shapeText += shape.size() == 1 ? ",)" : ")";
    std::string header = "{'descr': '" + descr +
                         "', 'fortran_order': " + (fortran ? "True" : "False") +
                         ", 'shape': " + shapeText + ", }";
    header += std::string(21 - std::to_string(shape[fortran ? shape.size() - 1 : 0]).size(), ' ');
    const int lengthBytes = version == 1 ? 2 : 4;  // 2.0 and 3.0 (UTF-8 names) need 4
    header += std::string(64 - (8 + lengthBytes + header.size() + 1) % 64, ' ') + "\n";
    return std::string("\x93NUMPY", 6) + static_cast<char>(version) + '\0' +
           littleEndian(header.size(), lengthBytes) + header + data;
}

// What np.savez (stored) or np.savez_compressed (deflated) writes: Python's zipfile with
// force_zip64, one member NAME.npy per array (a name with a dot is taken as it is), dated
// 1980-01-01, checked against Python's own output for the same bytes.
std::string npzFile(const std::vector<std::pair<std::string, std::string>>& arrays, bool deflated) {
    std::string archive, directory;
    for (const auto& [name, npy] : arrays) {
        std::string data = npy;
        if (deflated) {
            z_stream stream{};
            deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            data.assign(deflateBound(&stream, npy.size()), '\0');
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(npy.data()));
            stream.avail_in = static_cast<uInt>(npy.size());
            stream.next_out = reinterpret_cast<Bytef*>(data.data());
            stream.avail_out = static_cast<uInt>(data.size());
            deflate(&stream, Z_FINISH);
            data.resize(stream.total_out);
            deflateEnd(&stream);
        }
        const std::string member = name.find('.') == std::string::npos ? name + ".npy" : name;
        const std::uint32_t crc =
            crc32(0, reinterpret_cast<const Bytef*>(npy.data()), static_cast<uInt>(npy.size()));
        const std::string common = littleEndian(0, 2) + littleEndian(deflated ? 8 : 0, 2) +
                                   littleEndian(0, 2) + littleEndian(0x21, 2) +
                                   littleEndian(crc, 4);
        const std::size_t offset = archive.size();
        archive += std::string("PK\x03\x04", 4) + littleEndian(45, 2) + common +
                   littleEndian(0xffffffff, 4) + littleEndian(0xffffffff, 4) +
                   littleEndian(member.size(), 2) + littleEndian(20, 2) + member +
                   littleEndian(1, 2) + littleEndian(16, 2) + littleEndian(npy.size(), 8) +
                   littleEndian(data.size(), 8) + data;
        directory += std::string("PK\x01\x02", 4) + littleEndian(0x032d, 2) + littleEndian(45, 2) +
                     common + littleEndian(data.size(), 4) + littleEndian(npy.size(), 4) +
                     littleEndian(member.size(), 2) + littleEndian(0, 2) + littleEndian(0, 2) +
                     littleEndian(0, 2) + littleEndian(0, 2) + littleEndian(0600u << 16, 4) +
                     littleEndian(offset, 4) + member;
    }
    return archive + directory + std::string("PK\x05\x06", 4) + littleEndian(0, 4) +
           littleEndian(arrays.size(), 2) + littleEndian(arrays.size(), 2) +
           littleEndian(directory.size(), 4) + littleEndian(archive.size(), 4) + littleEndian(0, 2);
}

// What Python's gzip module writes for a file name (pandas' .csv.gz): the name in the header.
std::string gzipFile(const std::string& text, const char* name) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
    gz_header header{};
    header.name = reinterpret_cast<Bytef*>(const_cast<char*>(name));
    header.os = 255;
    deflateSetHeader(&stream, &header);
    std::string out(deflateBound(&stream, text.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// A 4D curve of n points, row-major, whose values float32 holds exactly.
std::vector<double> curveRows(std::size_t n) {
    std::vector<double> values;
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 4; ++c) {
            values.push_back(static_cast<double>(static_cast<float>(std::sin(0.01 * i + c))));
        }
    }
    return values;
}

// The same values in column-major (Fortran) order, as float32: shape (n, 4), or (paths, n, 4)
// when the rows are paths polylines one after the other.
std::vector<float> fortranFloats(const std::vector<double>& rows, std::size_t paths = 1) {
    const std::size_t n = rows.size() / 4 / paths;
    std::vector<float> values(rows.size());
    for (std::size_t a = 0; a < paths; ++a) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < 4; ++c) {
                values[a + paths * (i + n * c)] = static_cast<float>(rows[(a * n + i) * 4 + c]);
            }
        }
    }
    return values;
}

// A file of tests/data/writers, written by pandas, numpy, Python's zipfile or R themselves
// (scripts/make-writer-files.sh); bit, when given, flips one bit at byte offset.
std::string writerFile(const std::string& name, std::size_t offset = 0, int bit = -1) {
    std::ifstream in(std::string(TESSAVIEW_SOURCE_DIR) + "/tests/data/writers/" + name,
                     std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (bit >= 0 && offset < bytes.size()) {
        bytes[offset] = static_cast<char>(bytes[offset] ^ (1 << bit));
    }
    return bytes;
}

bool importBytes(const std::string& bytes, const TableOptions& options, PointTable& table,
                 std::string& error) {
    const std::unique_ptr<Input> input = inputOf(memorySource(bytes), memoryAccess(bytes), error);
    EdgeGraph graph;
    bool isTable = false;
    return input != nullptr && importInput(*input, "data", options, graph, table, isTable, error) &&
           isTable;
}

TEST(DataFiles, ReadsWhatDataToolsWrite) {
    const std::vector<double> rows = curveRows(1000);
    std::vector<double> three;  // (3, 200, 4): three polylines
    for (int k = 0; k < 3; ++k) {
        const std::vector<double> part = curveRows(200);
        three.insert(three.end(), part.begin(), part.end());
    }
    const std::string floats = npyFile("<f8", false, {1000, 4}, rawBytes(rows));
    const std::string csv =
        "# x,y,z,q\n0.5,1,2,3\n1.5,2,3,4\n\n,,,\n9,9,9,9\n";  // blank and empty rows: 2 paths
    const struct {
        const char* what;
        std::string bytes;
        TableOptions options;
        std::vector<std::size_t> pathSizes;
        Vertex4 firstPoint;
        const char* description;
    } cases[] = {
        {"pandas to_csv: an unnamed index, a quoted text column",
         ",label,x,y,z,q\n0,\"run \"\"A\"\", trial\",1.5,0,1,0\n1,\"two\nlines\",2,0.5,1.5,0.25\n",
         {},
         {2},
         {1.5, 0, 1, 0},
         "using columns x, y, z, q (3 to 6) as x, y, z, q"},
        {"pandas' default names: an index and columns 0 to 4",
         ",0,1,2,3,4\n0,7,1,2,3,4\n1,7,5,6,7,8\n",
         {},
         {2},
         {7, 1, 2, 3},
         "using columns 0, 1, 2, 3 (2 to 5) as x, y, z, q"},
        {"an index named Unnamed: 0, no names for x",
         "Unnamed: 0,a,b,c,d\n1,5,6,7,8\n",
         {},
         {1},
         {5, 6, 7, 8},
         "using columns a, b, c, d (2 to 5) as x, y, z, q"},
        {"t,x,y,z,w",
         "t,x,y,z,w\n0,1,2,3,4\n1,5,6,7,8\n",
         {},
         {2},
         {1, 2, 3, 4},
         "using columns x, y, z, w (2 to 5) as x, y, z, q"},
        {"names in any order and case",
         "Q;Z;note;Y;X\n4;3;a;2;1\n",
         {},
         {1},
         {1, 2, 3, 4},
         "using columns X, Y, Z, Q (5, 4, 2, 1) as x, y, z, q"},
        {"R write.csv: quoted names, row names",
         "\"\",\"x\",\"y\",\"z\",\"q\"\n\"1\",0.5,-1,2,3\n"
         "\"2\",NA,NA,NA,NA\n\"3\",1,2,3,4\n",
         {},
         {1, 1},
         {0.5, -1, 2, 3},
         "using columns x, y, z, q (2 to 5) as x, y, z, q"},
        {"R write.table: quoted, blank-separated, no name for the row names",
         "\"x\" \"y\" \"z\" \"q\"\n\"a 1\" 1 2 3 4\n\"a 2\" 5 6 7 8\n",
         {},
         {2},
         {1, 2, 3, 4},
         "using columns x, y, z, q (2 to 5) as x, y, z, q"},
        {"a European spreadsheet: BOM, CRLF, ';', decimal commas",
         "\xEF\xBB\xBFx;y;z;q\r\n0,5;1,25;-2;3,75\r\n1;2;3;4\r\n",
         {},
         {2},
         {0.5, 1.25, -2, 3.75},
         "using columns x, y, z, q (1 to 4) as x, y, z, q"},
        {"NA rows split polylines",
         "x,y,z,q\n1,2,3,4\n2,3,4,5\nNA,NA,NA,NA\n3,4,5,6\n",
         {},
         {2, 1},
         {1, 2, 3, 4},
         "using columns x, y, z, q (1 to 4) as x, y, z, q"},
        {"np.save (1000, 4) float64",
         floats,
         {},
         {1000},
         {rows[0], rows[1], rows[2], rows[3]},
         "a float64 array of shape (1000, 4), using columns 1 to 4 as x, y, z, q"},
        {"np.save float32 in Fortran order",
         npyFile("<f4", true, {1000, 4}, rawBytes(fortranFloats(rows))),
         {},
         {1000},
         {rows[0], rows[1], rows[2], rows[3]},
         "a float32 array of shape (1000, 4) in Fortran order, using columns 1 to 4 as x, y, z, q"},
        {"format 3.0",
         npyFile("<i8", false, {1, 4}, rawBytes(std::vector<std::int64_t>{-5, 6, 7, 8}), 3),
         {},
         {1},
         {-5, 6, 7, 8},
         "an int64 array of shape (1, 4), using columns 1 to 4 as x, y, z, q"},
        {"np.save (3, 200, 4): three polylines",
         npyFile("<f8", false, {3, 200, 4}, rawBytes(three)),
         {},
         {200, 200, 200},
         {three[0], three[1], three[2], three[3]},
         "a float64 array of shape (3, 200, 4), using columns 1 to 4 as x, y, z, q"},
        {"big-endian int16 with six columns, --columns 6,5,4,3",
         npyFile(">i2", false, {1, 6},
                 rawBytes(std::vector<std::int16_t>{-1, 2, 3, 4, 5, -300}, true)),
         {{"6", "5", "4", "3"}, "", ""},
         {1},
         {-300, 5, 4, 3},
         "an int16 array of shape (1, 6), using columns 6, 5, 4, 3 as x, y, z, q"},
        {"np.savez: the only array",
         npzFile({{"pts", floats}}, false),
         {},
         {1000},
         {rows[0], rows[1], rows[2], rows[3]},
         "array 'pts', a float64 array of shape (1000, 4), using columns 1 to 4 as x, y, z, q"},
        {"np.savez_compressed: --array chooses",
         npzFile({{"arr_0", npyFile("<u1", false, {1, 4}, std::string("\x01\x02\x03\x04", 4))},
                  {"walk", floats}},
                 true),
         {{}, "", "walk"},
         {1000},
         {rows[0], rows[1], rows[2], rows[3]},
         "array 'walk', a float64 array of shape (1000, 4), using columns 1 to 4 as x, y, z, q"},
        {"a .csv.gz",
         gzipFile(csv, "data.csv"),
         {},
         {2, 1},
         {0.5, 1, 2, 3},
         "using columns x, y, z, q (1 to 4) as x, y, z, q"},
        {"a gzip-compressed .npy",
         gzipFile(floats, "a.npy"),
         {},
         {1000},
         {rows[0], rows[1], rows[2], rows[3]},
         "a float64 array of shape (1000, 4), using columns 1 to 4 as x, y, z, q"},
        {"pandas to_csv(sep='\\t') with its index: the header starts with a tab, NaN rows end in "
         "tabs",
         writerFile("pandas-index.tsv"),
         {},
         {2, 1},
         {1, 4, 7, 0.5},
         "using columns x, y, z, w (2 to 5) as x, y, z, q"},
        {"numpy's np.savez, stored",
         writerFile("stored.npz"),
         {},
         {6},
         {0.5, -1.25, 2, 3},
         "array 'pts', a float64 array of shape (6, 4), using columns 1 to 4 as x, y, z, q"},
        {"numpy's np.savez_compressed, deflated",
         writerFile("deflated.npz"),
         {},
         {6},
         {0.5, -1.25, 2, 3},
         "array 'arr_0', a float64 array of shape (6, 4), using columns 1 to 4 as x, y, z, q"},
        {"zipfile with every zip64 record",
         writerFile("zip64.npz"),
         {},
         {6},
         {0.5, -1.25, 2, 3},
         "array 'pts', a float64 array of shape (6, 4), using columns 1 to 4 as x, y, z, q"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PointTable table;
        std::string error;
        ASSERT_TRUE(importBytes(c.bytes, c.options, table, error)) << error;
        std::vector<std::size_t> sizes;
        for (const auto& path : table.paths) {
            sizes.push_back(path.size());
        }
        EXPECT_EQ(sizes, c.pathSizes);
        EXPECT_EQ(table.paths[0][0], c.firstPoint);
        EXPECT_EQ(table.description, c.description);
    }
    // Every point of the arrays, not just the first, lands where it belongs, in C and Fortran
    // order, in one polyline or three.
    const std::vector<double> six = curveRows(600);  // (3, 200, 4)
    const struct {
        std::string bytes;
        const std::vector<double>& values;
        std::size_t paths;
    } whole[] = {
        {floats, rows, 1},
        {npyFile("<f4", true, {1000, 4}, rawBytes(fortranFloats(rows))), rows, 1},
        {npyFile("<f4", true, {3, 200, 4}, rawBytes(fortranFloats(six, 3))), six, 3},
    };
    for (const auto& w : whole) {
        PointTable table;
        std::string error;
        ASSERT_TRUE(importBytes(w.bytes, {}, table, error)) << error;
        ASSERT_EQ(table.paths.size(), w.paths);
        const std::size_t n = w.values.size() / 4 / w.paths;
        for (std::size_t k = 0; k < w.paths; ++k) {
            ASSERT_EQ(table.paths[k].size(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const double* v = &w.values[(k * n + i) * 4];
                ASSERT_EQ(table.paths[k][i], (Vertex4{v[0], v[1], v[2], v[3]}))
                    << "polyline " << k << ", row " << i;
            }
        }
    }
}

TEST(DataFiles, RefusesWhatItCannotUseAndSaysWhat) {
    const std::string two = npyFile("<f8", false, {2, 4}, rawBytes(curveRows(2)));
    std::string rowsText;
    for (int i = 0; i < 2000; ++i) {
        rowsText +=
            std::to_string(i) + "," + std::to_string(i % 7) + ",1," + std::to_string(i % 3) + "\n";
    }
    const std::string gz = gzipFile(rowsText, "data.csv");
    const struct {
        std::string bytes;
        TableOptions options;
        const char* error;
    } cases[] = {
        {npyFile("|O", false, {2, 4}, "\x80\x02]q\x00."), {}, "data: holds Python objects"},
        {npyFile("<c16", false, {2, 4}, std::string(128, '\0')), {}, "holds complex numbers"},
        {npyFile("<f8", false, {5, 3}, std::string(120, '\0')),
         {},
         "holds an array of shape (5, 3): 3 columns where a point needs four"},
        {npyFile("<f8", false, {7}, std::string(56, '\0')), {}, "holds an array of shape (7,)"},
        {npyFile("<f8", false, {1000000, 4}, std::string(64, '\0')),
         {},
         "but only 64 bytes follow the header (a truncated file?)"},
        {std::string("\x80\x04\x95\x10", 4) + "pickled", {}, "data: is a Python pickle"},
        {npzFile({{"a", two}, {"b", two}}, false),
         {},
         "holds several arrays; choose one with --array NAME: 'a', 'b'"},
        {npzFile({{"a", two}}, false), {{}, "", "c"}, "holds no array 'c'; it holds 'a'"},
        {npzFile({{"xl/workbook.xml", "<workbook/>"}}, true),
         {},
         "is a zip archive without .npy arrays"},
        {gz.substr(0, gz.size() - 4),
         {},
         "the compressed data ends early (a truncated file?)"},  // in its trailer
        {gz.substr(0, gz.size() / 2), {}, "the compressed data ends early (a truncated file?)"},
        {"x,y,z,q\n1,\"2\n", {}, "data:2: a quoted value is not closed"},
        {",label,x,y,z,q\n0,a,1,2,3,4\n1,\"three\nline\nlabel\",1,x,3,4\n",
         {},
         "data:3: 'x' in column 4 ('y') is not a number"},
        {"x,y,z,q\n1,2,NA,4\n", {}, "data:2: column 3 ('z') is NA, NaN or empty"},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         {},
         "data does not look like a text table, an OFF-family file or a .npy array"},
        // Some names of coordinates, but no set of four: not guessed at.
        {writerFile("time-x-y-z.csv"),
         {},
         "data:1: the header (time, x, y, z) names x, y, z, not all of x, y, z and q or w; "
         "choose the columns for x, y, z, q with --columns"},
        {writerFile("percent-header.csv"), {}, "data:1: the header (% q, x, y, z) names x, y, z"},
        // One bit flipped in an array's data (the 10th value: 5 becomes 7), in compressed data.
        {writerFile("stored.npz", 57 + 128 + 9 * 8 + 6, 3),
         {},
         "data: the member 'pts.npy' is damaged: CRC error"},
        {writerFile("deflated.npz", 159, 4), {}, "data: the member 'arr_0.npy' is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        PointTable table;
        std::string error;
        EXPECT_FALSE(importBytes(c.bytes, c.options, table, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// Runs tessascene with arguments (and standard input from a file when given): its exit status.
int runTessascene(const std::string& arguments, const std::string& input, std::string& output) {
    ScratchDir logs;
    const std::string command = std::string("'") + TESSASCENE_PATH + "' " + arguments +
                                (input.empty() ? "" : " < '" + input + "'") + " > '" +
                                logs.file("out") + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream log(logs.file("out"));
    output.assign(std::istreambuf_iterator<char>(log), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The vertices of a written figure file: its lines of four numbers.
std::vector<std::vector<double>> figureVertices(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::vector<double>> vertices;
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::vector<double> numbers;
        for (double v; words >> v;) {
            numbers.push_back(v);
        }
        if (numbers.size() == 4) {
            vertices.push_back(numbers);
        }
    }
    return vertices;
}

// Whatever their sizes beside each other, coordinates are written as their floats: a GPS track
// (degrees beside ms since 1970), values of 1e-12 and of 1e12 beside 0.25, also centred.
TEST(DataFiles, TheToolWritesEveryCoordinateAsRead) {
    const struct {
        const char* file;
        const char* options;
        std::vector<std::vector<double>> vertices;
    } cases[] = {
        {"gps.csv",
         "",
         {{8.5417, 47.3769, 408.2, 1700000000000},
          {8.54183, 47.37702, 408.9, 1700000001000},
          {8.54201, 47.37719, 409.4, 1700000002000},
          {8.54226, 47.37731, 410.1, 1700000003000},
          {8.54248, 47.3775, 410.0, 1700000004000}}},
        {"tiny.csv",
         "",
         {{1.5e-12, -4e-12, 7.125e-12, 3.3e-12},
          {2.25e-12, 1e-13, 0, -2.2e-14},
          {-3.5e-15, 6.02e-12, -1e-12, 5e-12}}},
        {"huge.csv",
         "",
         {{1.5e12, 0.25, -2e12, 3}, {2.5e12, -0.5, 4e11, 7e12}, {1e12, 0.125, 0, -6.5e12}}},
        {"huge.csv",
         "--center",
         {{-2.5e11, 0.375, -1.2e12, -2.5e11},
          {7.5e11, -0.375, 1.2e12, 6.75e12},
          {-7.5e11, 0.25, 8e11, -6.75e12}}},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.options);
        const std::string out = dir.file(std::string(c.file) + c.options);
        std::string output;
        ASSERT_EQ(
            runTessascene("import '" + std::string(TESSAVIEW_SOURCE_DIR) + "/tests/data/writers/" +
                              c.file + "' --size keep " + c.options + " -o '" + out + "'",
                          "", output),
            0)
            << output;
        const auto written = figureVertices(out + "/kvoTessa1F.txt");
        ASSERT_EQ(written.size(), c.vertices.size());
        for (std::size_t v = 0; v < written.size(); ++v) {
            for (std::size_t i = 0; i < 4; ++i) {
                EXPECT_EQ(static_cast<float>(written[v][i]), static_cast<float>(c.vertices[v][i]))
                    << "vertex " << v << ", coordinate " << i;
            }
        }
    }
}

TEST(DataFiles, TheToolWritesDataRowsFromFilesAndPipes) {
    ScratchDir dir;
    const std::string pandas = dir.write(
        "pandas.csv",
        ",label,x,y,z,q\n0,\"run \"\"A\"\", trial\",1.5,0.0,1.0,0.0\n1,b,2.0,0.5,1.5,0.25\n"
        "2,\"c, d\",-3.0,0.125,2.5,-0.75\n");
    const std::set<std::vector<double>> rows = {
        {1.5, 0, 1, 0}, {2, 0.5, 1.5, 0.25}, {-3, 0.125, 2.5, -0.75}};
    std::string output;
    for (const std::string& how : {"'" + pandas + "'", std::string("-")}) {
        SCOPED_TRACE(how);
        const std::string out = dir.file(how == "-" ? "piped" : "file");
        ASSERT_EQ(runTessascene("import " + how + " --size keep -o '" + out + "'",
                                how == "-" ? pandas : "", output),
                  0)
            << output;
        EXPECT_NE(output.find("using columns x, y, z, q (3 to 6) as x, y, z, q"), std::string::npos)
            << output;
        const auto vertices = figureVertices(out + "/kvoTessa1F.txt");
        EXPECT_EQ(vertices.size(), rows.size());
        for (const auto& v : vertices) {
            EXPECT_EQ(rows.count(v), 1u) << v[0] << " " << v[1] << " " << v[2] << " " << v[3];
        }
    }
    // A program is no table: refused, and nothing is written.
    std::ifstream program("/bin/ls", std::ios::binary);
    const std::string data =
        dir.write("data.csv", std::string(std::istreambuf_iterator<char>(program), {}));
    EXPECT_EQ(runTessascene("import '" + data + "' -o '" + dir.file("ls") + "'", "", output), 1);
    EXPECT_NE(output.find("data.csv does not look like a text table, an OFF-family file or a "
                          ".npy array"),
              std::string::npos)
        << output;
    EXPECT_FALSE(std::ifstream(dir.file("ls") + "/kvoTessa1F.txt").good());
    // A file name is shown with its control characters escaped.
    const std::string odd = dir.write("a\nb.csv", "1,2,3\n");
    EXPECT_EQ(runTessascene("import '" + odd + "' -o '" + dir.file("odd") + "'", "", output), 1);
    EXPECT_NE(output.find("a\\nb.csv:1: 3 columns"), std::string::npos) << output;
}

}  // namespace

}  // namespace tessascene
