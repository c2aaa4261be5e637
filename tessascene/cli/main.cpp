// tessascene: writes the two scene files of the viewer for a generated or imported 4D figure,
// for its cross-section by a hyperplane, or for its perspective or stereographic view.

#include "tessascene/cli/commands.h"
#include "toolkit/tool_exit.h"

int main(int argc, char** argv) {
    return toolkit::runTool("tessascene",
                            [argc, argv] { return tessascene::runCommandLine(argc, argv); });
}
