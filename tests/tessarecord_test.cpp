// tessarecord without X: output names, numbers and key sequences, GIF and PNG encodings read
// back through the libraries' decoders, compressed frames, and the programs it starts. Its output
// files are tested with the toolkit's safe output (safe_output_test.cpp).
#include <fcntl.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "tessarecord/image_files.h"
#include "tessarecord/processes.h"
#include "tessarecord/recorder_options.h"
#include "toolkit/shown_name.h"

namespace tessarecord {

namespace {

TEST(OutputNames, KindsAndFrameNames) {
    struct Case {
        std::string name;
        OutputKind kind;
        std::string frame7;  // the name of frame 7
    };
    const Case cases[] = {
        {"t.gif", OutputKind::kGif, "t.gif"},
        {"dir/T.GIF", OutputKind::kGif, "dir/T.GIF"},
        {"last.png", OutputKind::kLastPng, "last.png"},
        {"frames/f-%03d.png", OutputKind::kPngSequence, "frames/f-007.png"},
        {"f%d.png", OutputKind::kPngSequence, "f7.png"},
        {"f%3d.PNG", OutputKind::kPngSequence, "f  7.PNG"},
        {"100%%-%02d.png", OutputKind::kPngSequence, "100%-07.png"},
        {"50%%.png", OutputKind::kLastPng, "50%.png"},
        {"a%%b.gif", OutputKind::kGif, "a%b.gif"},
    };
    for (const Case& c : cases) {
        OutputName name;
        std::string error;
        ASSERT_TRUE(parseOutputName(c.name, name, error)) << c.name << ": " << error;
        EXPECT_EQ(name.kind, c.kind) << c.name;
        EXPECT_EQ(frameFileName(name, 7), c.frame7) << c.name;
    }
    EXPECT_EQ(frameFileName(OutputName{OutputKind::kPngSequence, "f", ".png", 2, true}, 123),
              "f123.png");
}

TEST(OutputNames, RefusedNames) {
    for (const char* bad : {"t.bmp", "t", ".gif", "x%s.png", "%d-%d.png", "f%d.gif", "f%.png",
                            "f%10d.png", "f%-3d.png", "f.png%", "f%n.png"}) {
        OutputName name;
        std::string error;
        EXPECT_FALSE(parseOutputName(bad, name, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(OutputNames, MessagesSayWhatIsWrong) {
    const std::pair<std::string, std::string> cases[] = {
        {".png", "a name before .png"},        {"dir/.GIF", "a name before .GIF"},
        {"t.bmp", "must end in .gif or .png"}, {"f%d.gif", "must end in .png"},
        {"a\nb.bmp", "'a\\nb.bmp'"},  // a line break in a name is shown, never printed
    };
    for (const auto& [name, message] : cases) {
        OutputName parsed;
        std::string error;
        EXPECT_FALSE(parseOutputName(name, parsed, error)) << name;
        EXPECT_NE(error.find(message), std::string::npos) << name << ": " << error;
    }
}

TEST(WholeNumbers, DigitsInRangeOnly) {
    const std::pair<std::string, int> good[] = {{"0", 0}, {"399", 399}, {"007", 7}};
    for (const auto& [text, expected] : good) {
        int value = -1;
        std::string error;
        EXPECT_TRUE(parseWholeNumber("--steps", text, 0, 399, value, error)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* bad :
         {"400", "1e2", "-1", "+5", " 5", "5 ", "", "0x10", "2.0", "99999999999"}) {
        int value = 12;
        std::string error;
        EXPECT_FALSE(parseWholeNumber("--steps", bad, 0, 399, value, error)) << bad;
        EXPECT_EQ(value, 12) << bad;
        EXPECT_NE(error.find("--steps takes a whole number from 0 to 399"), std::string::npos)
            << error;
    }
}

TEST(ShownNames, ControlCharactersEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.gif", "plain.gif"},     {"a\nb", "a\\nb"},
        {"tab\there", "tab\\there"},    {std::string("nul\0x", 5), "nul\\x00x"},
        {"\x1b[2J", "\\x1b[2J"},        {"\x7f", "\\x7f"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const auto& [name, shown] : cases) {
        EXPECT_EQ(toolkit::shownName(name), shown);
    }
}

TEST(KeySequence, KeysThenSteps) {
    std::string keys, error;
    ASSERT_TRUE(keySequence("oxB", 2, keys, error));
    EXPECT_EQ(keys, "oxB>>");
    ASSERT_TRUE(keySequence("", 0, keys, error));
    EXPECT_EQ(keys, "");
    for (const char* bad : {"a\tb", "\x1b", "\xc3\xa9"}) {
        EXPECT_FALSE(keySequence(bad, 1, keys, error)) << bad;
    }
}

// A picture of one colour with a rectangle of another.
RgbImage picture(int w, int h, std::uint32_t back, std::uint32_t box, int x0, int y0, int bw,
                 int bh) {
    RgbImage image{w, h, std::vector<std::uint8_t>(static_cast<size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool in = x >= x0 && x < x0 + bw && y >= y0 && y < y0 + bh;
            const std::uint32_t c = in ? box : back;
            std::uint8_t* p = &image.rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<std::uint8_t>(c >> 16);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c);
        }
    }
    return image;
}

struct Reader {
    const std::vector<std::uint8_t>* bytes;
    size_t at = 0;
};

int readFromVector(GifFileType* gif, GifByteType* out, int length) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const int n = std::min<int>(length, static_cast<int>(r->bytes->size() - r->at));
    std::copy_n(r->bytes->data() + r->at, n, out);
    r->at += static_cast<size_t>(n);
    return n;
}

// Decodes a GIF and paints its frames one over the other, as a viewer shows them.
std::vector<RgbImage> decodeGif(const std::vector<std::uint8_t>& bytes, int& delayCs, bool& loops) {
    Reader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromVector, &error);
    EXPECT_NE(gif, nullptr);
    if (gif == nullptr || DGifSlurp(gif) == GIF_ERROR) {
        return {};
    }
    std::vector<RgbImage> frames;
    RgbImage canvas{gif->SWidth, gif->SHeight,
                    std::vector<std::uint8_t>(static_cast<size_t>(gif->SWidth) * gif->SHeight * 3)};
    loops = false;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            // NETSCAPE2.0 and its sub-block {1, count}: a count of 0 loops for ever.
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            const ExtensionBlock& count = image.ExtensionBlocks[e + 1];
            loops =
                loops || (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                          std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0" &&
                          count.ByteCount == 3 && count.Bytes[0] == 1 && count.Bytes[1] == 0 &&
                          count.Bytes[2] == 0);
        }
        GraphicsControlBlock gcb{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        delayCs = gcb.DelayTime;
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const GifColorType c = map->Colors[image.RasterBits[y * d.Width + x]];
                std::uint8_t* p =
                    &canvas.rgb[(static_cast<size_t>(d.Top + y) * canvas.width + d.Left + x) * 3];
                p[0] = c.Red;
                p[1] = c.Green;
                p[2] = c.Blue;
            }
        }
        frames.push_back(canvas);
    }
    DGifCloseFile(gif, &error);
    return frames;
}

TEST(GifEncoding, ExactColoursChangedRectanglesAndLooping) {
    // A frame, a moved box, an unchanged frame, a box of a new colour.
    const std::vector<RgbImage> frames = {
        picture(40, 30, 0xffffff, 0xff8000, 2, 3, 5, 4),
        picture(40, 30, 0xffffff, 0xff8000, 20, 10, 5, 4),
        picture(40, 30, 0xffffff, 0xff8000, 20, 10, 5, 4),
        picture(40, 30, 0xffffff, 0x00ff00, 39, 29, 1, 1),
    };
    std::vector<std::uint8_t> bytes;
    GifReport report;
    std::string error;
    ASSERT_TRUE(encodeGif(frames, 7, bytes, report, error)) << error;
    EXPECT_TRUE(report.globalPalette);
    EXPECT_EQ(report.roundedFrames, 0);
    int delay = 0;
    bool loops = false;
    const std::vector<RgbImage> back = decodeGif(bytes, delay, loops);
    ASSERT_EQ(back.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(back[i].rgb, frames[i].rgb) << "frame " << i;
    }
    EXPECT_EQ(delay, 7);
    EXPECT_TRUE(loops);
}

TEST(GifEncoding, ManyColoursAreRoundedWithoutFailing) {
    RgbImage smooth{32, 32, std::vector<std::uint8_t>(32 * 32 * 3)};
    for (size_t i = 0; i < 32 * 32; ++i) {
        smooth.rgb[i * 3] = static_cast<std::uint8_t>(i);
        smooth.rgb[i * 3 + 1] = static_cast<std::uint8_t>(i >> 2);
        smooth.rgb[i * 3 + 2] = 200;
    }
    const std::vector<RgbImage> frames = {picture(32, 32, 0x000000, 0x123456, 0, 0, 4, 4), smooth};
    std::vector<std::uint8_t> bytes;
    GifReport report;
    std::string error;
    ASSERT_TRUE(encodeGif(frames, 10, bytes, report, error)) << error;
    EXPECT_FALSE(report.globalPalette);
    EXPECT_EQ(report.roundedFrames, 1);
    int delay = 0;
    bool loops = false;
    const std::vector<RgbImage> back = decodeGif(bytes, delay, loops);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].rgb, frames[0].rgb);  // the frame that fits stays exact
    for (size_t i = 0; i < smooth.rgb.size(); ++i) {
        ASSERT_LE(std::abs(back[1].rgb[i] - smooth.rgb[i]), 26) << "byte " << i;
    }
    EXPECT_FALSE(encodeGif({frames[0], picture(8, 8, 0, 0, 0, 0, 0, 0)}, 10, bytes, report, error));
}

TEST(PngEncoding, ReadsBackExactlyIndexedOrNot) {
    RgbImage manyColours{300, 2, std::vector<std::uint8_t>(300 * 2 * 3)};
    for (size_t i = 0; i < manyColours.rgb.size(); ++i) {
        manyColours.rgb[i] = static_cast<std::uint8_t>(i * 7 / 3);
    }
    for (const RgbImage& image : {picture(17, 5, 0x102030, 0xfedcba, 3, 1, 4, 2), manyColours}) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(encodePng(image, bytes, error)) << error;
        png_image read{};
        read.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&read, bytes.data(), bytes.size()));
        read.format = PNG_FORMAT_RGB;
        std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(read));
        ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
        EXPECT_EQ(read.width, static_cast<png_uint_32>(image.width));
        EXPECT_EQ(read.height, static_cast<png_uint_32>(image.height));
        EXPECT_EQ(pixels, image.rgb) << image.width << "x" << image.height;
    }
}

TEST(FrameStore, FramesComeBackExactAndSmall) {
    FrameStore store;
    std::string error;
    const RgbImage a = picture(800, 600, 0xffffff, 0xff0000, 10, 10, 300, 2);
    const RgbImage b = picture(800, 600, 0x000000, 0x00ff00, 400, 0, 2, 600);
    ASSERT_TRUE(store.add(a, error));
    ASSERT_TRUE(store.add(b, error));
    RgbImage back;
    ASSERT_TRUE(store.get(1, back));
    EXPECT_EQ(back.rgb, b.rgb);
    ASSERT_TRUE(store.get(0, back));
    EXPECT_EQ(back.rgb, a.rgb);
    EXPECT_EQ(back.width, 800);
    EXPECT_FALSE(store.get(2, back));
    EXPECT_LT(store.packedBytes(), a.rgb.size() / 50);
}

TEST(GifEncoding, StopsBetweenFrames) {
    const RgbImage frame = picture(64, 48, 0xffffff, 0x0000ff, 1, 1, 5, 5);
    int asked = 0, stopChecks = 0;
    const FrameSource source = [&](size_t, RgbImage& out) {
        ++asked;
        out = frame;
        return true;
    };
    std::vector<std::uint8_t> bytes;
    const ByteSink sink = [&](const std::uint8_t* data, size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    };
    GifReport report;
    std::string error;
    EXPECT_FALSE(encodeGif(
        1000, source, 10, sink, [&] { return ++stopChecks > 3; }, report, error));
    EXPECT_EQ(error, "stopped");
    EXPECT_EQ(asked, 3);
    // A sink that fails makes the encoding fail.
    const ByteSink full = [](const std::uint8_t*, size_t) { return false; };
    EXPECT_FALSE(encodeGif(
        2, source, 10, full, [] { return false; }, report, error));
}

// --- Encoder boundaries ---
// Exactly 256 colours still fit one exact palette (a GIF's and an indexed PNG's), 257 do not;
// the largest delay a GIF holds, 65535 cs, is written as given.
TEST(EncoderBoundaries, TwoHundredFiftySixColoursAndTheLargestDelay) {
    RgbImage full{16, 17, std::vector<std::uint8_t>(16 * 17 * 3)};
    for (size_t i = 0; i < 16 * 17; ++i) {  // colours 0 to 255, the last row all colour 255
        const size_t c = std::min<size_t>(i, 255);
        full.rgb[i * 3] = static_cast<std::uint8_t>(c);
        full.rgb[i * 3 + 1] = static_cast<std::uint8_t>(255 - c);
        full.rgb[i * 3 + 2] = static_cast<std::uint8_t>(c * 7);
    }
    std::vector<std::uint8_t> bytes;
    GifReport report;
    std::string error;
    ASSERT_TRUE(encodeGif({full, full}, 65535, bytes, report, error)) << error;
    EXPECT_TRUE(report.globalPalette);
    EXPECT_EQ(report.roundedFrames, 0);
    int delay = 0;
    bool loops = false;
    const std::vector<RgbImage> back = decodeGif(bytes, delay, loops);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].rgb, full.rgb);
    EXPECT_EQ(delay, 65535);

    ASSERT_TRUE(encodePng(full, bytes, error)) << error;
    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&read, bytes.data(), bytes.size()));
    EXPECT_NE(read.format & PNG_FORMAT_FLAG_COLORMAP, 0u) << "256 colours are stored indexed";
    EXPECT_EQ(read.colormap_entries, 256u);
    png_image_free(&read);

    full.rgb.back() = 1;  // colour 257
    ASSERT_TRUE(encodeGif({full}, 10, bytes, report, error)) << error;
    EXPECT_FALSE(report.globalPalette);
    EXPECT_EQ(report.roundedFrames, 1);
}

// --- Programs started ---

// Runs how with its standard output caught; returns that output and how it ended.
std::string runToEnd(ChildProcess& child, ChildStart how, std::string& ended) {
    int out[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    how.outFd = out[1];
    try {
        child.start(how);
    } catch (...) {
        ::close(out[0]);
        ::close(out[1]);
        throw;
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    EXPECT_TRUE(child.waitExit(5000, ended));
    child.stop();
    return text;
}

TEST(ChildProcesses, FailuresToRunAreFailuresAndEndsAreTold) {
    struct Case {
        std::vector<std::string> argv;
        std::string cwd;
        std::string expected;  // how it ended, or the message of the failure
    };
    const Case cases[] = {
        {{"/bin/sh", "-c", "exit 3"}, "", "exit status 3"},
        {{"/bin/sh", "-c", "kill -9 $$"}, "", "killed by signal 9"},
        {{"/bin/sh", "-c", "pwd"}, "/usr/bin", "exit status 0"},
        {{"/nonexistent/program"},
         "",
         "cannot run /nonexistent/program: No such file or directory"},
        {{"/etc/passwd"}, "", "cannot run /etc/passwd: Permission denied"},
        {{"/bin/true"}, "/nonexistent", "cannot run /bin/true: No such file or directory"},
    };
    for (const Case& c : cases) {
        ChildProcess child;
        ChildStart how;
        how.argv = c.argv;
        how.cwd = c.cwd;
        std::string got, text;
        try {
            text = runToEnd(child, how, got);
        } catch (const toolkit::ToolError& e) {
            got = e.what();
        }
        EXPECT_EQ(got, c.expected) << c.argv[0];
        if (!c.cwd.empty() && got == "exit status 0") {
            EXPECT_EQ(text, c.cwd + "\n");
        }
        // Nothing is left running or unreaped, also after a failure.
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << c.argv[0];
    }
}

TEST(ChildProcesses, StartInTheirOwnSessionWithSigpipeAsAtStart) {
    struct sigaction atStart {};
    ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &atStart), 0);
    installStopSignals();
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);

    ChildProcess child;
    ChildStart how;
    how.argv = {"/bin/sh", "-c", "echo $$; grep -E '^(NSsid|SigIgn):' /proc/$$/status"};
    std::string ended;
    std::istringstream text(runToEnd(child, how, ended));
    std::string pid, sidLabel, sid, ignLabel, ignored;
    text >> pid >> sidLabel >> sid >> ignLabel >> ignored;
    EXPECT_EQ(ended, "exit status 0");
    EXPECT_EQ(sid, pid);
    ASSERT_EQ(ignLabel, "SigIgn:");
    const bool pipeIgnored = (std::stoull(ignored, nullptr, 16) >> (SIGPIPE - 1)) & 1;
    EXPECT_EQ(pipeIgnored, atStart.sa_handler == SIG_IGN);
}

}  // namespace

}  // namespace tessarecord
