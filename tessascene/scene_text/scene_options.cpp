#include "tessascene/scene_text/scene_options.h"

#include <array>
#include <cfloat>
#include <cmath>

#include "tessascene/figures/generators.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/scene_text/slice_options.h"

namespace tessascene {

namespace {

const char* const kPlanes[6] = {"xy", "xz", "xq", "yz", "yq", "zq"};

// Splits text at commas.
std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// A number that fits a 32-bit float.
bool parseNumber(const std::string& text, double& value) {
    return readNumber(text, value) == NumberRead::kNumber && std::isfinite(value) &&
           std::fabs(value) <= FLT_MAX;
}

// Exactly count comma-separated numbers.
bool parseNumbers(const std::string& text, size_t count, std::vector<double>& values) {
    const std::vector<std::string> parts = splitCommas(text);
    values.assign(parts.size(), 0.0);
    if (parts.size() != count) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!parseNumber(parts[i], values[i])) {
            return false;
        }
    }
    return true;
}

// The first number in text (parts between commas and colons) that is not 0 and does not fit a
// 32-bit float as a normal number, or "" when there is none; text that is no number is left to
// the option's own reader.
std::string numberBeyondFloat(const std::string& text) {
    std::string part;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ',' && text[i] != ':') {
            part.push_back(text[i]);
            continue;
        }
        double value = 0.0;
        const NumberRead read = readNumber(part, value);
        if (read == NumberRead::kOverflow || read == NumberRead::kUnderflow ||
            (read == NumberRead::kNumber && value != 0.0 &&
             !(std::fabs(value) >= FLT_MIN && std::fabs(value) <= FLT_MAX))) {
            return part;
        }
        part.clear();
    }
    return "";
}

// PLANE or PLANE:DEG (the angle optional for a spin, 15 degrees); a reversed plane name
// negates the angle.
bool parsePlaneTurn(const std::string& text, bool angleOptional, PlaneTurn& turn) {
    const size_t colon = text.find(':');
    const std::string plane = text.substr(0, colon);
    turn.degrees = 15.0;
    if (colon == std::string::npos ? !angleOptional
                                   : !parseNumber(text.substr(colon + 1), turn.degrees)) {
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string name = kPlanes[i];
        if (plane == name || plane == std::string(name.rbegin(), name.rend())) {
            turn.plane = i;
            if (plane != name) {
                turn.degrees = -turn.degrees;
            }
            return true;
        }
    }
    return false;
}

// The readers of the options' values. Each reads one value into its field and returns "", or
// returns what is wrong with the value.

std::string readSize(const std::string& text, SceneParameters& parameters) {
    std::vector<double> n;
    if (text == "keep") {
        parameters.size = 0.0;
    } else if (parseNumbers(text, 1, n) && n[0] > 0.0) {
        parameters.size = n[0];
    } else {
        return "expected a number above 0, or keep";
    }
    return "";
}

std::string readColour(const std::string& text, SceneParameters& parameters) {
    std::vector<double> n;
    if (!parseNumbers(text, 3, n) ||
        !(n[0] >= 0 && n[0] <= 1 && n[1] >= 0 && n[1] <= 1 && n[2] >= 0 && n[2] <= 1)) {
        return "expected R,G,B, each from 0 to 1";
    }
    parameters.colour = std::array<double, 3>{n[0], n[1], n[2]};
    return "";
}

std::string readLineLoop(const std::string& text, SceneParameters& parameters) {
    long long mode = -1;
    if (readWholeNumber(text, mode) != NumberRead::kNumber ||
        (mode != kLineLoopOpen && mode != kLineLoopClosed && mode != kLineLoopPoints)) {
        return "expected 0, 1 or 3";
    }
    parameters.lineLoop = static_cast<int>(mode);
    return "";
}

std::string readProjection(const std::string& text, SceneParameters& parameters) {
    // q must stay non-zero also once rounded to a float.
    std::vector<double> n;
    if (!parseNumbers(text, 4, n) || static_cast<float>(n[3]) == 0.0f) {
        return "expected X,Y,Z,Q with Q not 0";
    }
    parameters.projection = {n[0], n[1], n[2], n[3]};
    return "";
}

std::string readScale(const std::string& text, SceneParameters& parameters) {
    std::vector<double> n;
    if (!parseNumbers(text, 1, n)) {
        return "expected a number";
    }
    parameters.scale = n[0];
    return "";
}

std::string readRotation(const std::string& text, SceneParameters& parameters) {
    PlaneTurn turn;
    if (!parsePlaneTurn(text, false, turn)) {
        return "expected PLANE:DEG with PLANE one of xy xz xq yz yq zq";
    }
    parameters.rotations.push_back(turn);
    return "";
}

std::string readSpin(const std::string& text, SceneParameters& parameters) {
    PlaneTurn turn;
    if (text != "none" && !parsePlaneTurn(text, true, turn)) {
        return "expected PLANE[:DEG] with PLANE one of xy xz xq yz yq zq";
    }
    if (!parameters.spins) {
        parameters.spins.emplace();  // the first --spin replaces the default spin
    }
    if (text != "none") {
        parameters.spins->push_back(turn);
    }
    return "";
}

std::string readEye(const std::string& text, SceneParameters& parameters) {
    std::vector<double> n;
    if (!parseNumbers(text, 1, n) || !(n[0] > 0.0)) {
        return "expected a distance above 0";
    }
    parameters.project.perspective = true;
    parameters.project.eye = n[0];
    return "";
}

// A reader of --at, --hyperplane or --sweep into the slice options.
template <const char* option>
std::string readSlice(const std::string& text, SceneParameters& parameters) {
    std::string problem;
    return parseSliceOption(option, text, parameters.slice, problem) ? std::string() : problem;
}
constexpr char kAt[] = "--at";
constexpr char kHyperplane[] = "--hyperplane";
constexpr char kSweep[] = "--sweep";

std::string readColumns(const std::string& text, SceneParameters& parameters) {
    const std::vector<std::string> c = splitCommas(text);
    if (c.size() != 4 || c[0].empty() || c[1].empty() || c[2].empty() || c[3].empty()) {
        return "expected four column names or numbers, A,B,C,D";
    }
    parameters.table.columns = c;
    return "";
}

std::string readGroup(const std::string& text, SceneParameters& parameters) {
    parameters.table.group = text;
    return text.empty() ? "expected a column name or number" : "";
}

std::string readArray(const std::string& text, SceneParameters& parameters) {
    parameters.table.array = text;
    return text.empty() ? "expected the name of an array in an .npz archive" : "";
}

}  // namespace

const std::vector<SceneOption>& sceneOptions() {
    static const std::vector<SceneOption> options = {
        {"--size", false, readSize},
        {"--color", false, readColour},
        {"--line-loop", false, readLineLoop},
        {"--projection", false, readProjection},
        {"--scale", false, readScale},
        {"--rotate", true, readRotation},
        {"--spin", true, readSpin},
        {kAt, true, readSlice<kAt>},
        {kHyperplane, true, readSlice<kHyperplane>},
        {kSweep, false, readSlice<kSweep>},
        {"--perspective", false, readEye},
        {"--columns", false, readColumns},
        {"--group", false, readGroup},
        {"--array", false, readArray},
    };
    return options;
}

const SceneOption* findSceneOption(const std::string& name) {
    for (const SceneOption& option : sceneOptions()) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

std::string readSceneOption(const SceneOption& option, const std::string& text,
                            SceneParameters& parameters) {
    const std::string beyond = numberBeyondFloat(text);
    const std::string problem = beyond.empty() ? option.read(text, parameters)
                                               : beyond +
                                                     " is not 0 and does not fit a 32-bit float "
                                                     "as a normal number (about 1.2e-38 to "
                                                     "3.4e+38 in size)";
    return problem.empty() ? problem
                           : "bad value '" + text + "' for " + option.name + ": " + problem;
}

bool generatesFigure(Command command, const std::string& operand) {
    const bool sourced = command == Command::kSlice || command == Command::kProject;
    return command == Command::kGenerate || (sourced && namesGenerator(operand));
}

bool checkSceneRequest(Command command, const std::string& operand, bool generated,
                       const SceneParameters& parameters, std::string& error) {
    if (command == Command::kGenerate &&
        (!parameters.table.columns.empty() || !parameters.table.group.empty() ||
         !parameters.table.array.empty() || parameters.noSimplify)) {
        error = "--columns, --group, --array and --no-simplify are for imported point tables";
        return false;
    }
    if (!checkSliceOptions(command == Command::kSlice, parameters.slice, error)) {
        return false;
    }
    const ProjectOptions& project = parameters.project;
    const bool projecting = project.perspective || project.stereographic;
    if (command != Command::kProject && projecting) {
        error = "--perspective and --stereographic are for the project command";
        return false;
    }
    if (command == Command::kProject && project.perspective == project.stereographic) {
        error = projecting ? "give project one of --perspective D and --stereographic"
                           : "project needs --perspective D or --stereographic";
        return false;
    }
    return !generated || checkFigureRequest(operand, error);
}

}  // namespace tessascene
