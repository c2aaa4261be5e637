// The scene loader: its console echo, number formats, missing files and damaged files.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/process_state.h"
#include "pipeline/composition.h"
#include "scene/scene_loader.h"
#include "test_helpers.h"

namespace {

const char* const kSmallFigure = "1\n1 0 0\n1\n3\n0 0 0 0\n1 0 0 0\n0 1 0 0.5\n";
const char* const kSmallAffine = "0 0 0 1\n1\n2 1 0.5 0 0 0\n";

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { resetProcessState(); }

    // Writes the two files (nullptr leaves a file out), loads them and returns the console text.
    std::string load(const char* figure, const char* affine) {
        figurePath =
            figure != nullptr ? dir.write("kvoTessa1F.txt", figure) : dir.file("kvoTessa1F.txt");
        affinePath =
            affine != nullptr ? dir.write("kvoTessa1A.txt", affine) : dir.file("kvoTessa1A.txt");
        CaptureStdout capture;
        readSpecialFiles(figurePath.c_str(), affinePath.c_str());
        return capture.text();
    }

    std::string figureHeader() const {
        return "Start Read Special Files \nFile Figure Collection " + figurePath +
               " read successfull!\n";
    }
    std::string affineHeader() const {
        return "File Affine Collection " + affinePath + " read successfull!\n";
    }
    static std::string footer() {
        return "Finish Read Special Files \n===========================\n";
    }

    ScratchDir dir;
    std::string figurePath;
    std::string affinePath;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(LoaderTest, EchoesEveryValueOfASmallScene) {
    const std::string out =
        load("1\n1 0 0\n1\n3\n0 0 0 0\n1 0 0 0\n0 1 0 0.5\n",
             "0.25 0 0 1\n3\n2 1 0.5 0 0 0\n3 90 1 0 0 0 0 0\n6 3.1415927 0 0 1 0 0 0.1\n");
    EXPECT_EQ(out, figureHeader() +
                       "Line Loop 1\n"
                       "Color 1 0 0\n"
                       "Number Polylines 1\n"
                       "----- Polyline#1 Number Vertex 3\n"
                       "       x,y,z,q 0 0 0 0\n"
                       "       x,y,z,q 1 0 0 0\n"
                       "       x,y,z,q 0 1 0 0.5\n" +
                       affineHeader() +
                       "Projection Vector (x,y,z,q) 0.25 0 0 1\n"
                       "Number Affine  3\n"
                       "----- Affine#1 Type 2 Parameters: 1 0.5 0 0 0\n"
                       "----- Affine#2 Type 3 Parameters: 90 1 0 0 0 0 0\n"
                       "----- Affine#3 Type 6 Parameters: 3.14159 0 0 1 0 0 0.1\n" +
                       footer());

    // One red closed triangle.
    EXPECT_EQ(viewer.loadedFigure.lineLoop, 1);
    ASSERT_EQ(viewer.loadedFigure.count, 1);
    const Polyline& p = viewer.loadedFigure.polylines[0];
    EXPECT_EQ(p.count, 3);
    EXPECT_EQ(p.red, 1.0f);
    EXPECT_EQ(p.green, 0.0f);
    EXPECT_EQ(p.vertices[1].x, 1.0f);
    EXPECT_EQ(p.vertices[2].q, 0.5f);

    EXPECT_EQ(viewer.projectionVector.x, 0.25f);
    EXPECT_EQ(viewer.projectionVector.q, 1.0f);
    ASSERT_EQ(viewer.loadedAffines.count, 3);
    const Affine& move = viewer.loadedAffines.records[0];
    EXPECT_EQ(move.type, 2);
    EXPECT_EQ(move.params[1], 0.5f);
    EXPECT_EQ(move.params[5], 1.0f);  // not in the file: set to 1
    EXPECT_EQ(move.params[6], 1.0f);
}

TEST_F(LoaderTest, RotationAnglesBecomeRadiansFromTheFloatPi) {
    load(kSmallFigure, "0 0 0 1\n2\n3 90 1 0 0 0 0 0\n6 -45 0 0 1 0 0.5 2\n");
    EXPECT_EQ(viewer.loadedAffines.records[0].params[0], 1.5707964f);  // the float nearest pi/2
    const float expected = static_cast<float>(-45.0 * static_cast<double>(3.1415927f) / 180.0);
    EXPECT_EQ(viewer.loadedAffines.records[1].params[0], expected);
    // The plane weights are taken as read.
    EXPECT_EQ(viewer.loadedAffines.records[1].params[3], 1.0f);
    EXPECT_EQ(viewer.loadedAffines.records[1].params[5], 0.5f);
    EXPECT_EQ(viewer.loadedAffines.records[1].params[6], 2.0f);
}

TEST_F(LoaderTest, AnglesAreConvertedInDoubleWhereFloatArithmeticWouldDiffer) {
    // Each angle's product with pi over 180 rounds differently when worked in float.
    const struct {
        const char* degrees;
        float radians;
    } cases[] = {{"150", 0x1.4f1a6cp+1f},
                 {"-225", -0x1.f6a7a4p+1f},
                 {"-300", -0x1.4f1a6cp+2f},
                 {"-358", -0x1.8fe3cep+2f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.degrees);
        resetProcessState();
        load(kSmallFigure, (std::string("0 0 0 1\n1\n3 ") + c.degrees + " 1 0 0 0 0 0\n").c_str());
        EXPECT_EQ(viewer.loadedAffines.records[0].params[0], c.radians);
    }

    // 150 degrees in the xy plane: sin is 0.5 and prints so; the float-worked angle gives 0.49.
    resetProcessState();
    load(kSmallFigure, "0 0 0 1\n1\n3 150 1 0 0 0 0 0\n");
    CaptureStdout capture;
    composeAffineCollection(viewer.loadedAffines, 0.0f).composite.print("Matrix of Affine");
    EXPECT_TRUE(contains(capture.text(), "-0.86\t-0.5\t0\t0\t0\n0.5\t-0.86\t0\t0\t0\n"))
        << capture.text();
}

TEST_F(LoaderTest, UnknownTypesReadNothingAndStayEmpty) {
    const std::string out = load(kSmallFigure, "0 0 0 1\n3\n9\n2 1 0 0 0 1\n0\n");
    EXPECT_TRUE(contains(out,
                         "----- Affine#1 Type 9\n----- Affine#2 Type 2 Parameters: 1 0 0 0 1\n"
                         "----- Affine#3 Type 0\n"));
    ASSERT_EQ(viewer.loadedAffines.count, 3);
    EXPECT_EQ(viewer.loadedAffines.records[0].type, 0);
    EXPECT_EQ(viewer.loadedAffines.records[0].params[0], 0.0f);
    EXPECT_EQ(viewer.loadedAffines.records[1].type, 2);
    EXPECT_EQ(viewer.loadedAffines.records[1].params[4], 1.0f);
}

TEST_F(LoaderTest, IntegersFollowTheirOctalOrHexPrefix) {
    // Line loop 03, one polyline (0x1) of 010 = 8 vertices; floats stay decimal.
    std::string figure = "03 1 1 1 0x1 010\n";
    for (int j = 0; j < 8; ++j) {
        figure += "010 0 0 " + std::to_string(j) + "\n";
    }
    const std::string out = load(figure.c_str(), "0 0 0 1\n0x2\n02 1 2 0 0 0\n0x3 0 0 0 0 0 0 0\n");
    EXPECT_EQ(viewer.loadedFigure.lineLoop, 3);
    EXPECT_EQ(viewer.loadedFigure.count, 1);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].count, 8);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[7].x, 10.0f);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[7].q, 7.0f);
    EXPECT_EQ(viewer.loadedAffines.count, 2);
    EXPECT_EQ(viewer.loadedAffines.records[0].type, 2);
    EXPECT_EQ(viewer.loadedAffines.records[1].type, 3);
    EXPECT_TRUE(contains(out, "Line Loop 3\n"));
    EXPECT_TRUE(contains(out, "----- Polyline#1 Number Vertex 8\n"));
    EXPECT_TRUE(contains(out, "Number Affine  2\n"));
    EXPECT_TRUE(contains(out, "       x,y,z,q 10 0 0 7\n"));
}

TEST_F(LoaderTest, LineLayoutCarriesNoMeaningAndTrailingValuesAreIgnored) {
    const std::string multiLine = load(kSmallFigure, kSmallAffine);
    const FigureCollection first = viewer.loadedFigure;

    resetProcessState();
    const std::string oneLine =
        load("1 1 0 0 1 3 0 0 0 0 1 0 0 0 0 1 0 0.5 99 98", "0 0 0 1 1 2 1 0.5 0 0 0 7 7 7");
    EXPECT_EQ(oneLine, multiLine);

    resetProcessState();
    std::string perLine;
    for (const char* c = "1 1 0 0 1 3 0 0 0 0 1 0 0 0 0 1 0 0.5"; *c != '\0'; ++c) {
        perLine += *c == ' ' ? '\n' : *c;
    }
    EXPECT_EQ(load(perLine.c_str(), "\t0\t0\t0\t1\r\n1\r\n2 1 0.5 0 0 0\r\n"), multiLine);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[2].y, first.polylines[0].vertices[2].y);
    EXPECT_EQ(viewer.loadedAffines.count, 1);
}

TEST_F(LoaderTest, AnEmptyFigureStillReadsTheAffineFile) {
    const std::string out = load("0 0.5 0.5 0.5 0\n", kSmallAffine);
    EXPECT_FALSE(contains(out, "Polyline#"));
    EXPECT_TRUE(contains(out, "Number Polylines 0\n"));
    EXPECT_EQ(viewer.loadedFigure.count, 0);
    EXPECT_EQ(viewer.loadedAffines.count, 1);
    EXPECT_TRUE(contains(out, footer()));
}

TEST_F(LoaderTest, MissingFigureFileStopsBeforeTheAffineFile) {
    viewer.loadedAffines.count = 5;  // the list is not even reset when the figure file is missing
    const std::string out = load(nullptr, kSmallAffine);
    EXPECT_EQ(out, "Start Read Special Files \nPROBLEM WITH FIGURE FILE!!! " + figurePath + "\n");
    EXPECT_EQ(viewer.loadedFigure.count, 0);
    EXPECT_EQ(viewer.loadedAffines.count, 5);
    EXPECT_EQ(viewer.projectionVector.q, 0.0f);
}

TEST_F(LoaderTest, MissingAffineFileLeavesAnEmptyListAndNoFinish) {
    viewer.loadedAffines.count = 3;
    viewer.loadedAffines.records[1].type = 4;
    const std::string out = load(kSmallFigure, nullptr);
    const std::string ending =
        "       x,y,z,q 0 1 0 0.5\nPROBLEM WITH AFFINE FILE!!! " + affinePath + "\n";
    ASSERT_GE(out.size(), ending.size());
    EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
    EXPECT_FALSE(contains(out, "Finish"));
    EXPECT_EQ(viewer.loadedFigure.count, 1);
    EXPECT_EQ(viewer.loadedAffines.count, 0);
    EXPECT_EQ(viewer.loadedAffines.records[1].type, 0);
    EXPECT_EQ(viewer.projectionVector.x, 0.0f);
    EXPECT_EQ(viewer.projectionVector.q, 0.0f);
}

TEST_F(LoaderTest, BothFilesMissingGiveTwoLines) {
    const std::string out = load(nullptr, nullptr);
    EXPECT_EQ(out, "Start Read Special Files \nPROBLEM WITH FIGURE FILE!!! " + figurePath + "\n");
}

TEST_F(LoaderTest, NegativeCountsAreEmptyLists) {
    const std::string out = load("0 1 1 1 -3 1 1 1 1 1\n", "0 0 0 1 -1 2 1 1 1 1 1\n");
    EXPECT_EQ(viewer.loadedFigure.count, -3);
    EXPECT_EQ(viewer.loadedAffines.count, -1);
    EXPECT_FALSE(contains(out, "Polyline#"));
    EXPECT_FALSE(contains(out, "Affine#"));
    EXPECT_TRUE(contains(out, footer()));

    resetProcessState();
    load("0 1 1 1 2 -4 1 0 0 0 0\n", kSmallAffine);
    EXPECT_EQ(viewer.loadedFigure.count, 2);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].count, -4);
    EXPECT_EQ(viewer.loadedFigure.polylines[1].count, 1);
}

// ----- Damaged and oversized files -----

TEST_F(LoaderTest, ExactlyNinetyIsNotLeftOutButNinetyOneIs) {
    for (const int n : {90, 91}) {
        SCOPED_TRACE(n);
        std::string figure = "0 1 1 1 " + std::to_string(n) + "\n";
        std::string affine = "0 0 0 1 " + std::to_string(n) + "\n";
        for (int i = 0; i < n; ++i) {
            figure += "1 " + std::to_string(i) + " 0 0 0\n";
            affine += "2 1 0 0 0 0\n";
        }
        resetProcessState();
        const std::string out = load(figure.c_str(), affine.c_str());
        EXPECT_EQ(contains(out, "Polylines 91 to 91 are left out"), n == 91);
        EXPECT_EQ(contains(out, "Affines 91 to 91 are left out"), n == 91);
        EXPECT_EQ(countOf(out, "left out"), n == 91 ? 2 : 0);
        EXPECT_EQ(viewer.loadedFigure.count, 90);
        EXPECT_EQ(viewer.loadedAffines.count, 90);
    }
}

TEST_F(LoaderTest, PolylinesBeyondNinetyAreEchoedButNotStored) {
    std::string figure = "0 1 1 1 95\n";
    for (int i = 0; i < 95; ++i) {
        figure += "1 " + std::to_string(i) + " 0 0 0\n";
    }
    const std::string out = load(figure.c_str(), kSmallAffine);
    EXPECT_EQ(countOf(out, "----- Polyline#"), 95);
    EXPECT_TRUE(contains(out, "----- Polyline#95 Number Vertex 1\n       x,y,z,q 94 0 0 0\n"));
    EXPECT_EQ(countOf(out, "left out"), 1);
    EXPECT_TRUE(contains(out,
                         "Number Polylines 95\nPolylines 91 to 95 are left out: a figure "
                         "holds at most 90\n"));
    EXPECT_EQ(viewer.loadedFigure.count, 90);
    EXPECT_EQ(viewer.loadedFigure.polylines[89].vertices[0].x, 89.0f);
    EXPECT_TRUE(contains(out, footer()));
}

TEST_F(LoaderTest, VerticesBeyondNinetyAreEchoedButNotStoredAndValuesStayAligned) {
    std::string figure = "0 1 1 1 2 100\n";
    for (int j = 0; j < 100; ++j) {
        figure += std::to_string(j) + " 1 2 3\n";
    }
    figure += "2 5 6 7 8 9 10 11 12\n";
    const std::string out = load(figure.c_str(), kSmallAffine);
    EXPECT_EQ(countOf(out, "       x,y,z,q"), 102);
    EXPECT_TRUE(contains(out,
                         "Vertices 91 to 100 of polyline 1 are left out: a polyline holds "
                         "at most 90\n"));
    ASSERT_EQ(viewer.loadedFigure.count, 2);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].count, 90);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[89].x, 89.0f);
    EXPECT_EQ(viewer.loadedFigure.polylines[1].count, 2);
    EXPECT_EQ(viewer.loadedFigure.polylines[1].vertices[1].x, 9.0f);
    EXPECT_EQ(viewer.loadedFigure.polylines[1].vertices[1].q, 12.0f);
}

TEST_F(LoaderTest, RecordsBeyondNinetyAreEchoedButNotStored) {
    std::string affine = "0 0 0 1 92\n";
    for (int i = 0; i < 91; ++i) {
        affine += "2 1 " + std::to_string(i) + " 0 0 0\n";
    }
    affine += "3 45 1 0 0 0 0 0\n";
    const std::string out = load(kSmallFigure, affine.c_str());
    EXPECT_TRUE(contains(out, "Affines 91 to 92 are left out: the list holds at most 90\n"));
    EXPECT_TRUE(contains(out, "----- Affine#92 Type 3 Parameters: 45 1 0 0 0 0 0\n" + footer()));
    EXPECT_EQ(viewer.loadedAffines.count, 90);
    EXPECT_EQ(viewer.loadedAffines.records[89].params[1], 89.0f);
}

TEST_F(LoaderTest, AFigureFileThatEndsEarlyKeepsWhatWasReadAndTheAffineFileIsStillRead) {
    const std::string out =
        load("1\n1 0 0\n3\n1\n0 0 0 0\n2\n1 1 1 1\n2 2", "0 0 0 1\n1\n1 2 1 1 1 1\n");
    EXPECT_TRUE(contains(out, "       x,y,z,q 1 1 1 1\nPROBLEM READING FIGURE FILE!!! " +
                                  figurePath +
                                  " ends before value 18, the z of vertex 2 of polyline 2; "
                                  "reading stopped there\n" +
                                  affineHeader()));
    ASSERT_EQ(viewer.loadedFigure.count, 2);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].count, 1);
    EXPECT_EQ(viewer.loadedFigure.polylines[1].count, 1);  // only the whole vertex is kept
    EXPECT_EQ(viewer.loadedFigure.polylines[1].red, 1.0f);
    EXPECT_EQ(viewer.loadedAffines.count, 1);
    EXPECT_EQ(viewer.loadedAffines.records[0].type, 1);
    EXPECT_TRUE(contains(out, footer()));
}

TEST_F(LoaderTest, TokensThatAreNotNumbersStopTheReading) {
    for (const char* bad : {"abc", "1e999", "inf", "nan", "1.5e", "--1"}) {
        SCOPED_TRACE(bad);
        resetProcessState();
        const std::string figure = std::string("0 1 1 1 1 2 0 0 0 0 1 ") + bad + " 0 0\n";
        const std::string out = load(figure.c_str(), kSmallAffine);
        EXPECT_TRUE(contains(out, "PROBLEM READING FIGURE FILE!!! " + figurePath +
                                      " has no readable number at value 12, the y of vertex 2 "
                                      "of polyline 1; reading stopped there\n"));
        EXPECT_EQ(countOf(out, "       x,y,z,q"), 1);
        ASSERT_EQ(viewer.loadedFigure.count, 1);
        EXPECT_EQ(viewer.loadedFigure.polylines[0].count, 1);
        EXPECT_EQ(viewer.loadedAffines.count, 1);
    }
}

TEST_F(LoaderTest, OutOfRangeCountsStopTheReading) {
    const std::string out = load("0 1 1 1 99999999999 1 0 0 0 0\n", kSmallAffine);
    EXPECT_TRUE(contains(out, " has no readable number at value 5, the polyline count;"));
    EXPECT_FALSE(contains(out, "Number Polylines"));
    EXPECT_EQ(viewer.loadedFigure.count, 0);
}

TEST_F(LoaderTest, AHugeCountInAShortFileEndsAtOnce) {
    const std::string out =
        load("0 1 1 1 2147483647 2147483647 1 2 3 4\n", "0 0 0 1 2147483647 5 1 1 1 1 1\n");
    EXPECT_EQ(viewer.loadedFigure.count, 1);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].count, 1);
    EXPECT_EQ(viewer.loadedFigure.polylines[0].vertices[0].q, 4.0f);
    EXPECT_EQ(viewer.loadedAffines.count, 1);
    EXPECT_EQ(viewer.loadedAffines.records[0].type, 5);
    EXPECT_TRUE(contains(out, "ends before value 11, the x of vertex 2 of polyline 1;"));
    EXPECT_TRUE(contains(out, "ends before value 12, the type of affine 2;"));
}

TEST_F(LoaderTest, DamageBeforeTheColourOrInsideARecordIsReportedOnItsOwnLine) {
    std::string out = load("1 0.5", kSmallAffine);
    EXPECT_TRUE(contains(out, "Line Loop 1\nPROBLEM READING FIGURE FILE!!! " + figurePath +
                                  " ends before value 3, the colour; reading stopped there\n"));
    EXPECT_EQ(viewer.loadedFigure.lineLoop, 1);
    EXPECT_EQ(viewer.loadedFigure.count, 0);

    resetProcessState();
    out = load(kSmallFigure, "0 0 0 1 3\n2 1 0 0 0 0\n3 90 1 x 0 0 0 0\n2 1 1 1 1 1\n");
    EXPECT_TRUE(contains(out, "----- Affine#2 Type 3\nPROBLEM READING AFFINE FILE!!! " +
                                  affinePath +
                                  " has no readable number at value 15, parameter 3 of affine 2; "
                                  "reading stopped there\n" +
                                  footer()));
    EXPECT_EQ(viewer.loadedAffines.count, 1);
    EXPECT_EQ(viewer.loadedAffines.records[1].type, 0);

    resetProcessState();
    out = load(kSmallFigure, "0 0 zero 1 1 2 1 1 1 1 1\n");
    EXPECT_TRUE(contains(out,
                         " has no readable number at value 3, the z of the projection "
                         "vector; reading stopped there\n"));
    EXPECT_FALSE(contains(out, "Projection Vector"));
    EXPECT_EQ(viewer.projectionVector.x, 0.0f);
    EXPECT_EQ(viewer.loadedAffines.count, 0);

    // A file that ends inside the vector keeps the components read; only the rest are 0.
    resetProcessState();
    out = load(kSmallFigure, "0.5 -0.25 0");
    EXPECT_TRUE(contains(out, " ends before value 4, the q of the projection vector;"));
    EXPECT_EQ(viewer.projectionVector.x, 0.5f);
    EXPECT_EQ(viewer.projectionVector.y, -0.25f);
    EXPECT_EQ(viewer.projectionVector.z, 0.0f);
    EXPECT_EQ(viewer.projectionVector.q, 0.0f);
}

TEST_F(LoaderTest, EmptyFilesAndDirectoriesAreDamageNotCrashes) {
    std::string out = load("", "");
    EXPECT_TRUE(contains(out, " ends before value 1, the line-loop value;"));
    EXPECT_TRUE(contains(out, " ends before value 1, the x of the projection vector;"));

    resetProcessState();
    dir.write("sub/.keep", "");
    const std::string sub = dir.file("sub");
    ASSERT_EQ(std::system(("mkdir -p '" + sub + "'").c_str()), 0);
    CaptureStdout capture;
    readSpecialFiles(sub.c_str(), sub.c_str());
    EXPECT_EQ(viewer.loadedFigure.count, 0);
    EXPECT_TRUE(contains(capture.text(), "Start Read Special Files \n"));
}
