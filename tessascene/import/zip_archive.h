// The members of a zip archive held in memory, read with libzip: stored and deflated members,
// zip64 archives, and every member's CRC-32 and size checked against the archive's directory as
// it is read. Bytes in, members out; nothing here knows what the members hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessascene/import/input_source.h"

struct zip;  // libzip's archive

namespace tessascene {

// A member as the archive's directory describes it.
struct ZipMember {
    std::string name;
    std::uint64_t size = 0;  // uncompressed, as the directory gives it
    bool stored = false;     // not compressed
};

class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the archive whose bytes are bytes, which must outlive this object. false with error
    // saying what is wrong (no file name) when they are no zip archive or a damaged one.
    bool open(std::string_view bytes, std::string& error);

    // The members, in the order of the archive's directory.
    const std::vector<ZipMember>& members() const { return members_; }

    // The uncompressed bytes of member index as a source that must not outlive this object. A
    // read fails (-1, failure() saying why) when the member's data is damaged: its CRC-32 or size
    // differs from the directory's, or its compressed data is broken; the CRC-32 is checked when
    // the source is read to its end. nullptr with error when the member cannot be read at all
    // (encrypted, or compressed in a way libzip does not know).
    std::unique_ptr<ByteSource> member(std::size_t index, std::string& error);

private:
    zip* archive_ = nullptr;
    std::vector<ZipMember> members_;
};

}  // namespace tessascene
