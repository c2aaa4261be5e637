#include "tessascene/cli/commands.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tessascene/cli/command_line.h"
#include "tessascene/cli/input_file.h"
#include "tessascene/cli/report.h"
#include "tessascene/cli/scene_files.h"
#include "tessascene/figures/generators.h"
#include "tessascene/scene_text/scenes.h"
#include "tessascene/scene_text/views.h"
#include "toolkit/shown_name.h"
#include "toolkit/tool_exit.h"

namespace tessascene {

namespace {

// The end of a run that cannot do its work.
[[noreturn]] void failure(const std::string& message) {
    throw toolkit::ToolError(toolkit::kExitFailure, message);
}

// The figure options.operand names: generated when it names a figure generate knows (always for
// generate), else read from the file ("-": standard input) as its content says.
SceneSource sourceOf(const Options& options) {
    SceneSource source;
    std::string error;
    if (generatesFigure(options.command, options.operand)) {
        if (!generatedSource(options.operand, source, error)) {
            throw toolkit::ToolError(toolkit::kExitUsage, error);
        }
        return source;
    }
    const std::string name =
        toolkit::shownName(options.operand == "-" ? "standard input" : options.operand);
    std::unique_ptr<Input> input;
    if (!openInput(options.operand, name, input, error) ||
        !importedSource(*input, name, options.table, source, error)) {
        failure(error);
    }
    if (source.isTable) {
        reportNotes({readNote(source)});
    }
    return source;
}

// Writes texts into folder as one scene; a notice of the writer is printed.
void writeScene(const std::string& folder, const SceneTexts& texts, bool force) {
    std::string notice, error;
    SceneWrite how;
    how.replace = force;
    const bool written = writeSceneFiles(folder, texts, how, notice, error);
    reportNotice(notice);
    if (!written) {
        failure(error);
    }
}

int runCommand(const Options& options) {
    SceneSource source = sourceOf(options);
    std::string error;
    if (options.command == Command::kSlice) {
        MadeCuts cuts;
        if (!makeCuts(source, options, cuts, error)) {
            failure(error);
        }
        if (!cuts.sweep) {
            writeScene(options.output, cuts.scenes[0], options.force);
            reportScene(options.output, cuts.summary);
        } else if (!writeSweep(options.output, cuts.scenes, options.force, error)) {
            failure(error);
        } else {
            reportSweep(options.output, cuts);
        }
        return toolkit::kExitOk;
    }
    std::vector<std::string> notes;
    MadeScene scene;
    const bool made = options.command == Command::kProject
                          ? makeView(source, options, notes, scene, error)
                          : makeScene(source, options, notes, scene, error);
    reportNotes(notes);
    if (!made) {
        failure(error);
    }
    reportNotice(scene.warning);
    writeScene(options.output, scene.texts, options.force);
    reportScene(options.output, scene.summary);
    return toolkit::kExitOk;
}

}  // namespace

int runCommandLine(int argc, const char* const* argv) {
    const CommandLine line = readCommandLine(argc, argv);
    if (line.outcome != Outcome::kRun) {
        std::cout << line.text;
        return toolkit::kExitOk;
    }
    return runCommand(line.options);
}

}  // namespace tessascene
