#include "tessascene/import/compressed_input.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>
#include <utility>

namespace tessascene {

namespace {

class InflateSource : public ByteSource {
public:
    explicit InflateSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {
        ready_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK;
    }
    ~InflateSource() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    long read(char* data, std::size_t size) override {
        if (!ready_) {
            failure_ = "cannot start zlib";
            return -1;
        }
        stream_.next_out = reinterpret_cast<Bytef*>(data);
        stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        while (stream_.avail_out > 0 && !done_) {
            if (stream_.avail_in == 0 && !innerEnded_) {
                const long n = inner_->read(in_, sizeof in_);
                if (n < 0) {
                    failure_ = inner_->failure();
                    return -1;
                }
                innerEnded_ = n == 0;
                stream_.next_in = reinterpret_cast<Bytef*>(in_);
                stream_.avail_in = static_cast<uInt>(n);
            }
            const uInt before = stream_.avail_out;
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                // gzip members may follow one another; anything else after the end is ignored
                // as gzip itself ignores trailing zeros.
                if (nextMember()) {
                    continue;
                }
                done_ = true;
            } else if (status == Z_BUF_ERROR && innerEnded_ && stream_.avail_in == 0) {
                failure_ = "the compressed data ends early (a truncated file?)";
                return -1;
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                failure_ = std::string("the compressed data is damaged (zlib: ") +
                           (stream_.msg != nullptr ? stream_.msg : "error") + ")";
                return -1;
            } else if (status == Z_BUF_ERROR && before == stream_.avail_out &&
                       stream_.avail_in > 0) {
                failure_ = "the compressed data is damaged";
                return -1;
            }
        }
        return static_cast<long>(size - stream_.avail_out);
    }

private:
    // After one gzip member: true when another one starts (its magic bytes follow).
    bool nextMember() {
        if (stream_.avail_in == 0 && !innerEnded_) {
            const long n = inner_->read(in_, sizeof in_);
            if (n <= 0) {
                innerEnded_ = true;
                return false;
            }
            stream_.next_in = reinterpret_cast<Bytef*>(in_);
            stream_.avail_in = static_cast<uInt>(n);
        }
        if (stream_.avail_in < 2 || stream_.next_in[0] != 0x1f || stream_.next_in[1] != 0x8b) {
            return false;
        }
        return inflateReset(&stream_) == Z_OK;
    }

    std::unique_ptr<ByteSource> inner_;
    z_stream stream_{};
    bool ready_ = false;
    bool done_ = false;
    bool innerEnded_ = false;
    char in_[64 * 1024];
};

bool startsWithGzipMagic(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

}  // namespace

std::unique_ptr<ByteSource> inflateSource(std::unique_ptr<ByteSource> inner) {
    return std::make_unique<InflateSource>(std::move(inner));
}

std::unique_ptr<Input> inputOf(std::unique_ptr<ByteSource> bytes,
                               std::unique_ptr<RandomAccess> file, std::string& failure) {
    auto head = std::make_unique<ReplaySource>(std::move(bytes), 2);
    if (!head->failure().empty()) {
        failure = head->failure();
        return nullptr;
    }
    std::unique_ptr<Input> input;
    if (startsWithGzipMagic(head->ahead())) {
        input = std::make_unique<Input>(inflateSource(std::move(head)), nullptr);
    } else {
        input = std::make_unique<Input>(std::move(head), std::move(file));
    }
    if (!input->failure().empty()) {
        failure = input->failure();
        return nullptr;
    }
    return input;
}

}  // namespace tessascene
