#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// Reads a 4D figure in one of the OFF-family text formats (4OFF, nOFF with n = 4, 4VECT, 4SKEL,
// and 4OFF with a cell count) into graph; faces and polylines become edges. Numbers follow
// tessascene's number rule (figures/numbers.h). name is the input as messages show it. Returns
// false with error set to "NAME:LINE: what is wrong" on failure, in which case graph is left as
// it was.
bool importFigure(std::istream& in, const std::string& name, EdgeGraph& graph, std::string& error);

// True when word is a keyword of the OFF family (4OFF, nOFF, 4SKEL, 4VECT, CN4OFF, ...), also
// one whose prefixes its type does not take: importFigure refuses those with a message.
bool isOffKeyword(std::string_view word);

}  // namespace tessascene
