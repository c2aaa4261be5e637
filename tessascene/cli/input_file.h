// The bytes an import reads from a file or standard input: a source over a file descriptor, and
// random access to a regular file.
#pragma once

#include <memory>
#include <string>

#include "tessascene/import/input_source.h"

namespace tessascene {

// Opens path for import ("-": standard input) as an input, read through zlib when it starts with
// gzip's magic bytes. A missing file, a folder or a device is an error naming it (name is path as
// messages show it); false then.
bool openInput(const std::string& path, const std::string& name, std::unique_ptr<Input>& input,
               std::string& error);

}  // namespace tessascene
