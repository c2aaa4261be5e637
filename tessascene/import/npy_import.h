// numpy's binary arrays as point tables: .npy files (format versions 1.0 to 3.0) and .npz
// archives of them (zip, stored or deflated, read with libzip, which checks every CRC-32). Shape
// (N, k) with k >= 4 is one polyline of N points, (K, N, k) is K polylines; any integer type,
// float32 and float64 in either byte order, C or Fortran order. Every size the header gives is
// checked against the bytes really there before anything is allocated for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tessascene/import/input_source.h"
#include "tessascene/import/table_import.h"

namespace tessascene {

// numpy's magic bytes at the start of a .npy file.
constexpr char kNpyMagic[] = "\x93NUMPY";

// Reads one .npy array from source. knownSize is the number of bytes the source holds, or 0
// when that is not known (a pipe, compressed data). options.columns may hold column numbers
// from 1. name is the input as messages show it. false with error "NAME: what is wrong".
bool importNpy(ByteSource& source, std::uint64_t knownSize, const std::string& name,
               const TableOptions& options, PointTable& table, std::string& error);

// Reads the array options.array names (with or without ".npy"; by default the only one, or
// arr_0) from the .npz archive whose bytes are bytes. A damaged archive or member (a CRC-32, a
// size or compressed data that do not match) is refused with an error naming the member.
bool importNpz(std::string_view bytes, const std::string& name, const TableOptions& options,
               PointTable& table, std::string& error);

}  // namespace tessascene
