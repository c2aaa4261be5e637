#include "tessascene/import/zip_archive.h"

#include <zip.h>

#include <algorithm>

namespace tessascene {

namespace {

// libzip's description of error, e.g. "CRC error".
std::string describe(zip_error_t* error) {
    const char* text = zip_error_strerror(error);
    return text != nullptr ? text : "unknown error";
}

// A member being read; libzip checks its CRC-32 and size when the read reaches its end.
class MemberSource : public ByteSource {
public:
    explicit MemberSource(zip_file_t* file) : file_(file) {}
    ~MemberSource() override { zip_fclose(file_); }
    MemberSource(const MemberSource&) = delete;
    MemberSource& operator=(const MemberSource&) = delete;

    long read(char* data, std::size_t size) override {
        const zip_int64_t n =
            zip_fread(file_, data, static_cast<zip_uint64_t>(std::min<std::size_t>(size, 1 << 30)));
        if (n < 0) {
            failure_ = describe(zip_file_get_error(file_));
            return -1;
        }
        return static_cast<long>(n);
    }

private:
    zip_file_t* file_;
};

}  // namespace

ZipArchive::~ZipArchive() {
    if (archive_ != nullptr) {
        zip_discard(archive_);
    }
}

bool ZipArchive::open(std::string_view bytes, std::string& error) {
    zip_error_t problem;
    zip_error_init(&problem);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &problem);
    if (source != nullptr) {
        // ZIP_CHECKCONS also compares every member's local header with the directory.
        archive_ = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &problem);
        if (archive_ == nullptr) {
            zip_source_free(source);
        }
    }
    if (archive_ == nullptr) {
        error = describe(&problem);
        zip_error_fini(&problem);
        return false;
    }
    zip_error_fini(&problem);
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t info;
        zip_stat_init(&info);
        ZipMember member;
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &info) == 0) {
            member.name = (info.valid & ZIP_STAT_NAME) != 0 ? info.name : "";
            member.size = (info.valid & ZIP_STAT_SIZE) != 0 ? info.size : 0;
            member.stored =
                (info.valid & ZIP_STAT_COMP_METHOD) != 0 && info.comp_method == ZIP_CM_STORE;
        }
        members_.push_back(member);
    }
    return true;
}

std::unique_ptr<ByteSource> ZipArchive::member(std::size_t index, std::string& error) {
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive_, index, 0, &info) == 0 &&
        (info.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && info.encryption_method != ZIP_EM_NONE) {
        error = "is encrypted";
        return nullptr;
    }
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (file == nullptr) {
        error = describe(zip_get_error(archive_));
        return nullptr;
    }
    return std::make_unique<MemberSource>(file);
}

}  // namespace tessascene
