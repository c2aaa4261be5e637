// The part of importing that needs zlib: gzip-compressed data, and the input that is
// decompressed when it starts with gzip's magic bytes. It is handed
// sources of bytes and opens nothing itself.
#pragma once

#include <memory>
#include <string>

#include "tessascene/import/input_source.h"

namespace tessascene {

// Decompresses inner, gzip data (members one after another, as cat joins them).
std::unique_ptr<ByteSource> inflateSource(std::unique_ptr<ByteSource> inner);

// The input that bytes hold, read through zlib when they start with gzip's magic bytes. file,
// when given, is the same bytes with random access; it is dropped for compressed bytes. nullptr
// with failure set to why when the first bytes cannot be read.
std::unique_ptr<Input> inputOf(std::unique_ptr<ByteSource> bytes,
                               std::unique_ptr<RandomAccess> file, std::string& failure);

}  // namespace tessascene
