// GIF and PNG encodings through giflib and libpng, and output files written safely.
#include "tessarecord/image_files.h"

#include <errno.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <png.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstring>
#include <unordered_map>

namespace {

constexpr int kMaxColours = 256;
constexpr int kCubeLevels = 6;  // 6 x 6 x 6 = 216 colours for frames that have too many

// A colour as 0xRRGGBB.
std::uint32_t colourAt(const RgbImage& image, size_t pixel) {
    const std::uint8_t* p = &image.rgb[pixel * 3];
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

// The nearest of kCubeLevels levels from 0 to 255.
std::uint8_t cubeLevel(std::uint8_t v) {
    const int step = 255 / (kCubeLevels - 1);
    return static_cast<std::uint8_t>(((v + step / 2) / step) * step);
}

std::uint32_t toCube(std::uint32_t c) {
    return (std::uint32_t{cubeLevel((c >> 16) & 0xff)} << 16) |
           (std::uint32_t{cubeLevel((c >> 8) & 0xff)} << 8) | cubeLevel(c & 0xff);
}

// Colour to palette index, in first-seen order.
struct Palette {
    std::unordered_map<std::uint32_t, int> index;
    std::vector<std::uint32_t> colours;

    // Adds the colours of image; false (and stops) once there are more than 256.
    bool add(const RgbImage& image, bool cube) {
        const size_t n = static_cast<size_t>(image.width) * image.height;
        for (size_t i = 0; i < n; ++i) {
            const std::uint32_t c = cube ? toCube(colourAt(image, i)) : colourAt(image, i);
            if (index.emplace(c, static_cast<int>(colours.size())).second) {
                colours.push_back(c);
                if (colours.size() > kMaxColours) {
                    return false;
                }
            }
        }
        return true;
    }

    ColorMapObject* makeMap() const {
        int size = 2;
        while (size < static_cast<int>(colours.size())) {
            size *= 2;
        }
        ColorMapObject* map = GifMakeMapObject(size, nullptr);
        if (map == nullptr) {
            return nullptr;
        }
        for (int i = 0; i < size; ++i) {
            const std::uint32_t c = i < static_cast<int>(colours.size()) ? colours[i] : 0;
            map->Colors[i].Red = static_cast<GifByteType>(c >> 16);
            map->Colors[i].Green = static_cast<GifByteType>(c >> 8);
            map->Colors[i].Blue = static_cast<GifByteType>(c);
        }
        return map;
    }
};

// The smallest rectangle holding every pixel where b differs from a; 1x1 when none does.
void changedRect(const RgbImage& a, const RgbImage& b, int& left, int& top, int& w, int& h) {
    int x0 = b.width, y0 = b.height, x1 = -1, y1 = -1;
    for (int y = 0; y < b.height; ++y) {
        const std::uint8_t* ra = &a.rgb[static_cast<size_t>(y) * b.width * 3];
        const std::uint8_t* rb = &b.rgb[static_cast<size_t>(y) * b.width * 3];
        if (std::memcmp(ra, rb, static_cast<size_t>(b.width) * 3) == 0) {
            continue;
        }
        for (int x = 0; x < b.width; ++x) {
            if (std::memcmp(ra + x * 3, rb + x * 3, 3) != 0) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        }
        y0 = std::min(y0, y);
        y1 = y;
    }
    if (x1 < 0) {
        left = top = 0;
        w = h = 1;
        return;
    }
    left = x0;
    top = y0;
    w = x1 - x0 + 1;
    h = y1 - y0 + 1;
}

int appendToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// Writes one frame (or the changed rectangle of it) with its delay.
bool putFrame(GifFileType* gif, const RgbImage& frame, const RgbImage* previous, int delayCs,
              const Palette& palette, bool cube, bool localMap) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const size_t extLength = EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extLength), ext) ==
        GIF_ERROR) {
        return false;
    }
    int left = 0, top = 0, w = frame.width, h = frame.height;
    if (previous != nullptr) {
        changedRect(*previous, frame, left, top, w, h);
    }
    ColorMapObject* map = localMap ? palette.makeMap() : nullptr;
    if (localMap && map == nullptr) {
        return false;
    }
    const int status = EGifPutImageDesc(gif, left, top, w, h, false, map);
    GifFreeMapObject(map);  // the descriptor keeps its own copy
    if (status == GIF_ERROR) {
        return false;
    }
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = top; y < top + h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t pixel = static_cast<size_t>(y) * frame.width + left + x;
            const std::uint32_t c = cube ? toCube(colourAt(frame, pixel)) : colourAt(frame, pixel);
            row[x] = static_cast<GifPixelType>(palette.index.at(c));
        }
        if (EGifPutLine(gif, row.data(), w) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool encodeGif(const std::vector<RgbImage>& frames, int delayCs, std::vector<std::uint8_t>& out,
               GifReport& report, std::string& error) {
    report = GifReport{};
    out.clear();
    if (frames.empty()) {
        error = "no frames to write";
        return false;
    }
    const int width = frames[0].width, height = frames[0].height;
    for (const RgbImage& f : frames) {
        if (f.width != width || f.height != height ||
            f.rgb.size() != static_cast<size_t>(width) * height * 3) {
            error = "the frames differ in size";
            return false;
        }
    }
    Palette global;
    report.globalPalette = true;
    for (const RgbImage& f : frames) {
        if (!global.add(f, false)) {
            report.globalPalette = false;
            break;
        }
    }

    int gifError = 0;
    GifFileType* gif = EGifOpen(&out, appendToVector, &gifError);
    if (gif == nullptr) {
        error = std::string("cannot start a GIF: ") + GifErrorString(gifError);
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = true;
    ColorMapObject* screenMap = report.globalPalette ? global.makeMap() : nullptr;
    ok = (!report.globalPalette || screenMap != nullptr) &&
         EGifPutScreenDesc(gif, width, height, 8, 0, screenMap) != GIF_ERROR;
    GifFreeMapObject(screenMap);
    // The application extension that makes viewers loop the animation forever.
    static const GifByteType kLoopName[] = "NETSCAPE2.0";
    const GifByteType loopForever[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 11, kLoopName) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 3, loopForever) != GIF_ERROR &&
         EGifPutExtensionTrailer(gif) != GIF_ERROR;
    for (size_t i = 0; ok && i < frames.size(); ++i) {
        const RgbImage* previous = i > 0 ? &frames[i - 1] : nullptr;
        if (report.globalPalette) {
            ok = putFrame(gif, frames[i], previous, delayCs, global, false, false);
            continue;
        }
        // Frames of their own palettes are stored whole: a rounded neighbour would otherwise
        // show through.
        Palette local;
        bool cube = false;
        if (!local.add(frames[i], false)) {
            local = Palette{};
            cube = true;
            local.add(frames[i], true);
            ++report.roundedFrames;
        }
        ok = putFrame(gif, frames[i], nullptr, delayCs, local, cube, true);
    }
    if (!ok) {
        error = std::string("GIF encoding failed: ") + GifErrorString(gif->Error);
        EGifCloseFile(gif, &gifError);
        return false;
    }
    if (EGifCloseFile(gif, &gifError) == GIF_ERROR) {
        error = std::string("GIF encoding failed: ") + GifErrorString(gifError);
        return false;
    }
    return true;
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

PendingFile::~PendingFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temp_.empty() && !committed_) {
        ::unlink(temp_.c_str());
    }
}

bool PendingFile::create(const std::string& target, std::string& error) {
    target_ = target;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string pattern =
        (slash == std::string::npos ? std::string() : folder) + ".tessarecord-XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL: it never follows a link nor reuses a file.
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a file in the folder '" + folder + "' for " + target + ": " +
                std::strerror(errno);
        return false;
    }
    fd_ = fd;
    temp_ = pattern;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool PendingFile::write(const std::vector<std::uint8_t>& bytes, std::string& error) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = "cannot write " + target_ + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PendingFile::commit(bool replace, std::string& error) {
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        error = "cannot write " + target_ + ": " + std::strerror(errno);
        return false;
    }
    fd_ = -1;
    int status = 0;
    if (replace) {
        status = ::rename(temp_.c_str(), target_.c_str());
    } else {
        status = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE);
        if (status != 0 && errno == EINVAL) {
            // A file system without renameat2 flags: link() refuses an existing name too.
            status = ::link(temp_.c_str(), target_.c_str());
            if (status == 0) {
                ::unlink(temp_.c_str());
            }
        }
    }
    if (status != 0) {
        error = errno == EEXIST ? target_ + " already exists; add --force to replace it"
                                : "cannot name the file " + target_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

void PendingFile::uncommit() {
    if (committed_) {
        ::unlink(target_.c_str());
        committed_ = false;
        temp_.clear();
    }
}
