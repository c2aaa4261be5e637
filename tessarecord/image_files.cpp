// PNG encoding through libpng, and frames kept compressed with zlib.
#include "tessarecord/image_files.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>

namespace tessarecord {

bool FrameStore::add(const RgbImage& frame, std::string& error) {
    Packed packed{frame.width, frame.height, {}};
    uLongf size = compressBound(static_cast<uLong>(frame.rgb.size()));
    packed.bytes.resize(size);
    // Level 1: the viewer's pictures are mostly one colour, and speed matters more here.
    if (compress2(packed.bytes.data(), &size, frame.rgb.data(),
                  static_cast<uLong>(frame.rgb.size()), 1) != Z_OK) {
        error = "out of memory for frame " + std::to_string(frames_.size() + 1);
        return false;
    }
    packed.bytes.resize(size);
    packed.bytes.shrink_to_fit();
    frames_.push_back(std::move(packed));
    return true;
}

bool FrameStore::get(std::size_t index, RgbImage& frame) const {
    if (index >= frames_.size()) {
        return false;
    }
    const Packed& packed = frames_[index];
    frame.width = packed.width;
    frame.height = packed.height;
    frame.rgb.resize(static_cast<size_t>(packed.width) * packed.height * 3);
    uLongf size = static_cast<uLongf>(frame.rgb.size());
    return uncompress(frame.rgb.data(), &size, packed.bytes.data(),
                      static_cast<uLong>(packed.bytes.size())) == Z_OK &&
           size == frame.rgb.size();
}

std::size_t FrameStore::packedBytes() const {
    size_t total = 0;
    for (const Packed& packed : frames_) {
        total += packed.bytes.size();
    }
    return total;
}

namespace {

void appendPngData(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

}  // namespace

bool encodePng(const RgbImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
        error = "no picture to write";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory for a PNG";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "PNG encoding failed";
        return false;
    }
    png_set_write_fn(png, &out, appendPngData, flushNothing);
    // A picture of at most 256 colours is stored with its exact palette: smaller, same pixels.
    Palette palette;
    const bool indexed = palette.add(image, false);
    std::vector<png_color> entries;
    for (std::uint32_t c : indexed ? palette.colours : std::vector<std::uint32_t>{}) {
        entries.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                           static_cast<png_byte>(c)});
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    }
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(image.width));
    for (int y = 0; y < image.height; ++y) {
        const size_t start = static_cast<size_t>(y) * image.width;
        if (!indexed) {
            png_write_row(png, &image.rgb[start * 3]);
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            row[x] = static_cast<png_byte>(palette.index.at(colourAt(image, start + x)));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace tessarecord
