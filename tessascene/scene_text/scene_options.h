// The options that shape a scene, by the long names tessascene's command line gives them
// (--size, --color, --rotate, --at, ...), each read from its text into the parameter record by
// one reader: the command line and any other program that fills the record (the web page) read
// a value the same way and say the same about a wrong one.
#pragma once

#include <string>
#include <vector>

#include "tessascene/scene_text/scene_parameters.h"

namespace tessascene {

enum class Command { kGenerate, kImport, kSlice, kProject };

// One option with a value. Reading a value of an option that may be repeated adds to what the
// earlier ones gave; any other value replaces the earlier one.
struct SceneOption {
    const char* name;  // the long name, "--size"
    bool repeatable;
    // Reads text into parameters; returns "" or what is wrong with the value.
    std::string (*read)(const std::string& text, SceneParameters& parameters);
};

// Every option of the scene with a value, in the order of tessascene's help. (The flags
// --center, --no-simplify and --stereographic are the record's fields center, noSimplify and
// project.stereographic.)
const std::vector<SceneOption>& sceneOptions();

// The option called name ("--size"), or nullptr.
const SceneOption* findSceneOption(const std::string& name);

// Reads text as a value of option into parameters. Returns "" or the message "bad value 'TEXT'
// for --NAME: what is wrong", a number beyond the range of a float named first.
std::string readSceneOption(const SceneOption& option, const std::string& text,
                            SceneParameters& parameters);

// Whether command makes its figure by generating it (generate, or slice or project of a SOURCE
// that names a figure generate knows) rather than by importing operand.
bool generatesFigure(Command command, const std::string& operand);

// Checks a request as a whole once every option is read: options for another command, the slice
// and view options, and the figure's name when generated. false with a usage error.
bool checkSceneRequest(Command command, const std::string& operand, bool generated,
                       const SceneParameters& parameters, std::string& error);

}  // namespace tessascene
