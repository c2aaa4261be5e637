// Importing whatever a user hands tessascene: told apart by content, never by the file's name.
// An OFF-family figure, a .npy array, an .npz archive or a text table, each possibly
// gzip-compressed; anything else binary is refused.
#pragma once

#include <string>
#include <string_view>

#include "tessascene/figures/edge_graph.h"
#include "tessascene/import/input_source.h"
#include "tessascene/import/table_import.h"

namespace tessascene {

enum class InputKind {
    kOffFamily,  // the first word is an OFF-family keyword (4OFF, nOFF, 4SKEL, 4VECT, ...)
    kTable,      // text that is not an OFF-family file: read as a point table
    kNpy,        // numpy's magic bytes
    kNpz,        // a zip archive (numpy's savez)
    kPickle,     // a Python pickle (ndarray.dump, pickle.dump)
    kUtf16,      // text with a UTF-16 byte order mark
    kBinary,     // anything else that is not text
};

// The kind of an input from its first bytes (up to Input::kPrefixBytes of them).
InputKind kindOfInput(std::string_view prefix);

// Imports input as its content says: an OFF-family figure into graph (isTable false) or points
// into table (isTable true). name is the file as messages show it. false with error naming the
// file (and the line, for text).
bool importInput(Input& input, const std::string& name, const TableOptions& options,
                 EdgeGraph& graph, PointTable& table, bool& isTable, std::string& error);

}  // namespace tessascene
