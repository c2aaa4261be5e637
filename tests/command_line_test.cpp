// tessascene's command line: each usage error (exit 2) with the words that tell the user what to
// fix, and the options record a good command line gives.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tessascene/cli/command_line.h"
#include "toolkit/tool_exit.h"

namespace tessascene {

namespace {

// Reads a command line given as one string split at spaces (no argument holds a space).
CommandLine parse(const std::string& line) {
    std::vector<std::string> words = {"tessascene"};
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    return readCommandLine(static_cast<int>(argv.size()), argv.data());
}

// The message of the usage error a command line gives (exit status 2), or "" for none.
std::string usageError(const std::string& line) {
    try {
        parse(line);
    } catch (const toolkit::ToolError& e) {
        EXPECT_EQ(e.status(), toolkit::kExitUsage);
        return e.what();
    }
    return "";
}

TEST(CommandLine, UsageErrorsExitTwoAndSayWhatIsWrong) {
    const struct {
        const char* line;
        const char* message;  // a part of it
    } cases[] = {
        {"", "missing command: generate, import, slice or project"},
        {"frobnicate 24-cell", "unknown command 'frobnicate'"},
        {"generate", "generate needs a FIGURE"},
        {"generate dodecahedron", "unknown figure 'dodecahedron'"},
        {"generate 24-cell --bogus", "unknown option '--bogus'"},
        {"generate 24-cell --size", "option --size needs a value"},
        {"generate 24-cell --size -1", "expected a number above 0"},
        {"generate 24-cell --size 1.5x", "expected a number above 0, or keep"},
        {"generate 24-cell --color 255,0,0", "each from 0 to 1"},
        {"generate 24-cell --color 1,0", "each from 0 to 1"},
        {"generate 24-cell --projection 1,1,1,0", "Q not 0"},
        {"generate 24-cell --line-loop 2", "expected 0, 1 or 3"},
        {"generate 24-cell --spin xw", "PLANE one of"},
        {"generate 24-cell --rotate xy", "PLANE one of"},
        {"generate duoprism:2,5", "bad parameters '2,5' for duoprism"},
        {"generate 5-cell --projection 0.4,-0.3,0.2,1e-40",
         "for --projection: 1e-40 is not 0 and does not fit a 32-bit float"},
        {"generate 5-cell --size 1e-39", "for --size: 1e-39 is not 0"},
        {"generate 5-cell --rotate xy:1e-400", "for --rotate: 1e-400 is not 0"},
        {"generate 24-cell:3,3", "takes no parameters"},
        {"generate 24-cell extra", "unexpected argument 'extra'"},
        {"import named.txt --columns x,y,z", "expected four column names"},
        {"generate 5-cell --no-simplify", "are for imported point tables"},
        {"slice tesseract --hyperplane 0,0,0,0:1", "the normal 0,0,0,0 gives no hyperplane"},
        {"slice tesseract --at q=nan", "bad value 'q=nan' for --at"},
        {"slice tesseract --at x=inf", "bad value 'x=inf' for --at"},
        {"slice tesseract --hyperplane 1,inf,0,0:0", "bad value '1,inf,0,0:0' for --hyperplane"},
        {"slice tesseract --hyperplane 1,0,0,0:nan", "bad value '1,0,0,0:nan' for --hyperplane"},
        {"slice 24-cell", "slice needs a hyperplane"},
        {"slice 24-cell --sweep 3 --at q=0", "without a value C"},
        {"generate 24-cell --at q=0", "are for the slice command"},
        // Each limit just outside: the value just inside is taken in tessascene_cli_test.sh. A
        // figure given more or fewer parameters than it takes is refused, never cut short.
        {"generate duoprism:2,4", "bad parameters '2,4' for duoprism"},
        {"generate duoprism:3,1001", "bad parameters '3,1001' for duoprism"},
        {"generate duoprism:5,7,9", "bad parameters '5,7,9' for duoprism"},
        {"generate duoprism:5", "bad parameters '5' for duoprism"},
        {"generate clifford-torus:3,2", "bad parameters '3,2' for clifford-torus"},
        {"generate clifford-torus:1001,3", "bad parameters '1001,3' for clifford-torus"},
        {"generate clifford-torus:16,16,16", "bad parameters '16,16,16' for clifford-torus"},
        {"generate 3-sphere:1,0", "bad parameters '1,0' for 3-sphere"},
        {"generate 3-sphere:91,1", "bad parameters '91,1' for 3-sphere"},
        {"generate 3-sphere:1,2,3", "bad parameters '1,2,3' for 3-sphere"},
        {"generate 5-cell --color 1.001,0,0", "each from 0 to 1"},
        {"generate 5-cell --color 0,-0.001,0", "each from 0 to 1"},
        {"generate 5-cell --color 0,0,1,0", "each from 0 to 1"},
        {"generate 5-cell --size 0", "expected a number above 0"},
        {"generate 5-cell --size 3.5e38", "3.5e38 is not 0 and does not fit a 32-bit float"},
        {"generate 5-cell --line-loop 4", "expected 0, 1 or 3"},
        {"generate 5-cell --line-loop -1", "expected 0, 1 or 3"},
        {"generate 5-cell --projection 0,0,0,-0", "Q not 0"},
        // Flags take no value; the figure of slice is checked as generate checks it.
        {"generate 5-cell --force=1", "option --force takes no value"},
        {"slice tesseract:2,2 --at q=0", "the figure tesseract takes no parameters"},
        // project needs one view; its options belong to it; its source is checked too.
        {"project", "project needs a SOURCE"},
        {"project 24-cell", "project needs --perspective D or --stereographic"},
        {"project 24-cell --perspective 3 --stereographic", "give project one of"},
        {"generate 24-cell --stereographic", "are for the project command"},
        {"project tesseract --perspective 0", "expected a distance above 0"},
        {"project wythoff:G2:1000 --stereographic", "GROUP must be A4, B4, D4, F4 or H4"},
        {"generate antiprism-prism:1001", "bad parameter '1001' for antiprism-prism"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string error = usageError(c.line);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// Options before or after the command, both value forms, and the records they give.
TEST(CommandLine, GoodCommandLinesFillTheRecord) {
    const CommandLine a =
        parse("--size=1 generate 24-cell --rotate xy:30 --spin yz:10 --spin qx:20 --size 3 -o d");
    ASSERT_EQ(a.outcome, Outcome::kRun) << a.text;
    EXPECT_EQ(a.options.command, Command::kGenerate);
    EXPECT_EQ(a.options.operand, "24-cell");
    EXPECT_EQ(a.options.output, "d");
    EXPECT_EQ(a.options.size, 3.0);  // the last one given
    ASSERT_EQ(a.options.rotations.size(), 1u);
    EXPECT_EQ(a.options.rotations[0].plane, 0);
    ASSERT_EQ(a.options.spins->size(), 2u);
    EXPECT_EQ((*a.options.spins)[1].plane, 2);  // qx is xq turned back
    EXPECT_EQ((*a.options.spins)[1].degrees, -20.0);

    const CommandLine b = parse("import - --size keep --line-loop 3 --columns a,b,c,d");
    ASSERT_EQ(b.outcome, Outcome::kRun) << b.text;
    EXPECT_EQ(b.options.operand, "-");
    EXPECT_EQ(b.options.size, 0.0);
    EXPECT_EQ(b.options.lineLoop, 3);
    EXPECT_EQ(b.options.table.columns, (std::vector<std::string>{"a", "b", "c", "d"}));
    ASSERT_EQ(affinesFor(b.options).records.size(), 1u);  // xq by 15 degrees without --spin
    EXPECT_EQ(affinesFor(b.options).records[0].params, (std::vector<double>{15, 0, 0, 1, 0, 0, 0}));

    const CommandLine c = parse("slice 24-cell --sweep 9 --hyperplane 1,1,0,0 --spin none");
    ASSERT_EQ(c.outcome, Outcome::kRun) << c.text;
    EXPECT_EQ(c.options.slice.sweep, 9);
    EXPECT_EQ(c.options.slice.axis, -1);
    EXPECT_TRUE(c.options.spins->empty());

    const CommandLine p = parse("project runcinated-600-cell --perspective 2.5");
    ASSERT_EQ(p.outcome, Outcome::kRun) << p.text;
    EXPECT_EQ(p.options.command, Command::kProject);
    EXPECT_TRUE(p.options.project.perspective);
    EXPECT_EQ(p.options.project.eye, 2.5);

    // A file named like a command is read as a file.
    const CommandLine d = parse("import slice -o d");
    ASSERT_EQ(d.outcome, Outcome::kRun) << d.text;
    EXPECT_EQ(d.options.command, Command::kImport);
    EXPECT_EQ(d.options.operand, "slice");

    // Option values follow the one number rule.
    const CommandLine e = parse("generate 5-cell --scale 0x1p3 --line-loop 1.0");
    EXPECT_EQ(e.options.scale, 8.0);
    EXPECT_EQ(e.options.lineLoop, 1);

    EXPECT_EQ(parse("generate 5-cell --help").outcome, Outcome::kHelp);
    EXPECT_EQ(parse("--version").text.rfind("tessascene ", 0), 0u);
}

}  // namespace

}  // namespace tessascene
