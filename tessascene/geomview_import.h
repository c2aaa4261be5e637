#pragma once

#include <istream>
#include <string>

#include "tessascene/edge_graph.h"

// Reads a 4D figure in one of the OFF-family text formats (4OFF, nOFF with n = 4, 4VECT, 4SKEL,
// and 4OFF with a cell count) into graph; faces and polylines become edges. name is used in
// error messages only. Returns false with error set to "NAME:LINE: what is wrong" on failure,
// in which case graph is left unspecified.
bool importFigure(std::istream& in, const std::string& name, EdgeGraph& graph, std::string& error);

// Opens path and imports it as above; a file that cannot be opened is an error naming it.
bool importFigureFile(const std::string& path, EdgeGraph& graph, std::string& error);
