// 'chart': a test chart made from nothing, so the main jobs can run on a
// fresh machine; 'compare': how far two images differ, sample by sample.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "image_io.h"

namespace tool {

namespace {

const char kChartHelp[] =
    "usage: tintwell chart OUT [--16] [--alpha] [--size WxH]\n"
    "\n"
    "Writes an sRGB test chart (PNG or TIFF by OUT's extension, builtin:srgb\n"
    "embedded): 24 colour-checker-like patches, a hue and lightness sweep, a\n"
    "6x6x6 cube of RGB patches and gray and primary ramps.\n"
    "\n"
    "  --16         16 bits per sample\n"
    "  --alpha      add an alpha channel (a left-to-right ramp)\n"
    "  --size WxH   size in pixels (default 768x512, at least 64x64)\n";

const char kCompareHelp[] =
    "usage: tintwell compare A B [--tolerance N] [--mean-tolerance X]\n"
    "\n"
    "Compares two images of the same size, colour model and depth sample by\n"
    "sample and prints, per channel, the largest and the mean difference (in the\n"
    "images' own units: 0-255 or 0-65535) and how many pixels differ at all.\n"
    "\n"
    "  --tolerance N        exit with 1 when any difference is larger than N\n"
    "  --mean-tolerance X   exit with 1 when a channel's mean difference is\n"
    "                       larger than X\n";

// Typical sRGB values of the classic 24-patch colour checker.
const uint8_t kPatches[24][3] = {
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {103, 189, 170},
    {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},   {157, 188, 64},  {224, 163, 46},
    {56, 61, 150},   {70, 148, 73},   {175, 54, 60},   {231, 199, 31},  {187, 86, 149},  {8, 133, 161},
    {243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52}};

void HueColour(double hue, double light, double rgb[3]) {
    // A fully saturated hue, mixed towards white above 0.5 and towards
    // black below.
    double h = hue * 6.0;
    double base[3] = {std::clamp(std::fabs(h - 3.0) - 1.0, 0.0, 1.0), std::clamp(2.0 - std::fabs(h - 2.0), 0.0, 1.0),
                      std::clamp(2.0 - std::fabs(h - 4.0), 0.0, 1.0)};
    for (int c = 0; c < 3; ++c)
        rgb[c] = light > 0.5 ? base[c] + (1.0 - base[c]) * (light - 0.5) * 2.0 : base[c] * light * 2.0;
}

}  // namespace

int CmdChart(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kChartHelp, stdout);
        return kExitOk;
    }
    bool sixteen = false, alpha = false;
    unsigned width = 768, height = 512;
    std::string out;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--16") {
            sixteen = true;
        } else if (arg == "--alpha") {
            alpha = true;
        } else if (arg == "--size") {
            char tail = 0;
            if (i + 1 >= argc || std::sscanf(argv[i + 1], "%ux%u%c", &width, &height, &tail) != 2 || width < 64 ||
                height < 64 || width > 20000 || height > 20000)
                return UsageError("chart", "--size needs WxH, each from 64 to 20000");
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("chart", "unknown option " + arg);
        } else if (out.empty()) {
            out = arg;
        } else {
            return UsageError("chart", "needs exactly one output image");
        }
    }
    if (out.empty()) return UsageError("chart", "needs an output image");
    ImageFormat format = FormatFromName(out);
    if (format != ImageFormat::Png && format != ImageFormat::Tiff)
        return UsageError("chart", "writes .png, .tif or .tiff images");

    Image image;
    image.width = width;
    image.height = height;
    image.model = ColourModel::Rgb;
    image.colour = 3;
    image.extra = alpha ? 1 : 0;
    image.extraKinds.assign(image.extra, 2);
    image.bits = sixteen ? 16 : 8;
    image.pixels.assign(image.RowBytes() * height, 0);
    ProfileSource srgb;
    if (!ResolveProfile("builtin:srgb", &srgb)) return kExitFailure;
    image.icc = srgb.bytes;

    const unsigned patchRows = height / 4, sweepRows = height * 3 / 8, cubeRows = height - patchRows - sweepRows;
    const unsigned rampTop = patchRows + sweepRows + cubeRows * 2 / 3;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            double rgb[3] = {0, 0, 0};
            if (y < patchRows) {
                unsigned column = x * 12 / width, row = y * 2 / patchRows;
                for (int c = 0; c < 3; ++c) rgb[c] = kPatches[row * 12 + column][c] / 255.0;
            } else if (y < patchRows + sweepRows) {
                HueColour(double(x) / width, 1.0 - double(y - patchRows) / (sweepRows - 1), rgb);
            } else if (y < rampTop) {
                unsigned cube = x * 36 / width, level = (y - patchRows - sweepRows) * 6 / (rampTop - patchRows - sweepRows);
                rgb[0] = (cube / 6) / 5.0;
                rgb[1] = (cube % 6) / 5.0;
                rgb[2] = level / 5.0;
            } else {
                unsigned band = (y - rampTop) * 4 / (height - rampTop);
                double v = double(x) / (width - 1);
                for (int c = 0; c < 3; ++c) rgb[c] = band == 0 || unsigned(c) == band - 1 ? v : 0.0;
            }
            double a = double(x) / (width - 1);
            size_t at = (size_t(y) * width + x) * size_t(image.Samples());
            for (int c = 0; c < image.Samples(); ++c) {
                double v = c < 3 ? rgb[c] : a;
                if (sixteen) {
                    uint16_t s = uint16_t(std::lround(v * 65535.0));
                    std::memcpy(&image.pixels[(at + size_t(c)) * 2], &s, 2);
                } else {
                    image.pixels[at + size_t(c)] = uint8_t(std::lround(v * 255.0));
                }
            }
        }
    }
    std::string error;
    if (!WriteImage(out, image, &error)) {
        Fail(out, error);
        return kExitFailure;
    }
    return kExitOk;
}

int CmdCompare(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kCompareHelp, stdout);
        return kExitOk;
    }
    std::vector<std::string> files;
    long tolerance = -1;
    double meanTolerance = -1;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--tolerance") {
            if (i + 1 >= argc || !ParseInt(argv[i + 1], 0, 65535, &tolerance))
                return UsageError("compare", "--tolerance needs a number from 0 to 65535");
            ++i;
        } else if (arg == "--mean-tolerance") {
            char* end = nullptr;
            meanTolerance = i + 1 < argc ? std::strtod(argv[i + 1], &end) : -1;
            if (i + 1 >= argc || *end || !(meanTolerance >= 0))
                return UsageError("compare", "--mean-tolerance needs a number of 0 or more");
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("compare", "unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return UsageError("compare", "needs two images");
    Image a, b;
    std::string error;
    if (!ReadImage(files[0], &a, &error)) {
        Fail(files[0], error);
        return kExitFailure;
    }
    if (!ReadImage(files[1], &b, &error)) {
        Fail(files[1], error);
        return kExitFailure;
    }
    Interleave(&a);
    Interleave(&b);
    if (a.width != b.width || a.height != b.height || a.Samples() != b.Samples() || a.bits != b.bits ||
        a.model != b.model) {
        Fail(files[1], "differs in size, colour model, channels or depth from " + files[0]);
        return kExitFailure;
    }
    const size_t samples = size_t(a.Samples()), pixels = a.PixelCount();
    std::vector<long> worst(samples, 0);
    std::vector<double> sum(samples, 0);
    size_t differing = 0, worstPixel = 0;
    long overall = 0;
    for (size_t i = 0; i < pixels; ++i) {
        bool differs = false;
        for (size_t c = 0; c < samples; ++c) {
            size_t k = i * samples + c;
            long va, vb;
            if (a.bits == 8) {
                va = a.pixels[k];
                vb = b.pixels[k];
            } else {
                uint16_t x, y;
                std::memcpy(&x, &a.pixels[k * 2], 2);
                std::memcpy(&y, &b.pixels[k * 2], 2);
                va = x;
                vb = y;
            }
            long d = va > vb ? va - vb : vb - va;
            worst[c] = std::max(worst[c], d);
            if (d > overall) {
                overall = d;
                worstPixel = i;
            }
            sum[c] += double(d);
            differs |= d != 0;
        }
        differing += differs;
    }
    std::printf("channel  max  mean\n");
    for (size_t c = 0; c < samples; ++c) std::printf("%7zu  %3ld  %.4f\n", c, worst[c], sum[c] / double(pixels));
    std::printf("pixels differing: %zu of %zu; largest difference %ld", differing, pixels, overall);
    if (overall) {
        std::printf(" at x %zu, y %zu:", worstPixel % a.width, worstPixel / a.width);
        for (const Image* image : {&a, &b}) {
            std::printf(image == &a ? " " : " against ");
            for (size_t c = 0; c < samples; ++c) {
                size_t k = worstPixel * samples + c;
                unsigned v = image->pixels[k];
                if (image->bits == 16) {
                    uint16_t w;
                    std::memcpy(&w, &image->pixels[k * 2], 2);
                    v = w;
                }
                std::printf("%s%u", c ? "," : "", v);
            }
        }
    }
    std::printf("\n");
    for (size_t c = 0; c < samples && meanTolerance >= 0; ++c) {
        if (sum[c] / double(pixels) > meanTolerance) {
            Fail(files[1], "channel " + std::to_string(c) + " differs by " + std::to_string(sum[c] / double(pixels)) +
                               " on average, more than " + std::to_string(meanTolerance));
            return kExitFailure;
        }
    }
    if (tolerance >= 0 && overall > tolerance) {
        Fail(files[1], "differs by " + std::to_string(overall) + ", more than the tolerance " +
                           std::to_string(tolerance));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace tool
