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
    "Every page of multi-page TIFF images is compared.\n"
    "\n"
    "  --tolerance N        differences up to N count as the same (default 0)\n"
    "  --mean-tolerance X   a channel whose mean difference is X or less counts as\n"
    "                       the same (default: only --tolerance decides)\n"
    "\n"
    "Exit status: 0 the same (within the tolerances), 1 they differ (also in size,\n"
    "colour model, channels, depth or pages), 2 an error or bad arguments.\n";

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

struct Comparison {
    std::vector<long> worst;
    std::vector<double> sum;
    size_t pixels = 0, differing = 0;
    long overall = 0;
    std::string where;  // the largest difference: position and both pixels
};

long SampleValue(const uint8_t* band, size_t k, int bits) {
    if (bits == 8) return band[k];
    uint16_t v;
    std::memcpy(&v, band + k * 2, 2);
    return v;
}

std::string PixelText(const uint8_t* band, size_t first, size_t samples, int bits) {
    std::string text;
    for (size_t c = 0; c < samples; ++c) text += (c ? "," : "") + std::to_string(SampleValue(band, first + c, bits));
    return text;
}

// Both files band by band, page by page; 1 when they cannot be compared
// sample by sample, 2 on an error.
int CompareFiles(const std::vector<std::string>& files, Comparison* result) {
    ImageReader* readers[2] = {nullptr, nullptr};
    ImageInfo info[2];
    std::string error;
    int rc = kExitOk;
    for (int k = 0; k < 2 && rc == kExitOk; ++k)
        if (!OpenReader(files[size_t(k)], &readers[k], &info[k], &error)) {
            Fail(files[size_t(k)], error);
            rc = kExitUsage;
        }
    for (int page = 0; rc == kExitOk; ++page) {
        const ImageInfo &a = info[0], &b = info[1];
        if (a.width != b.width || a.height != b.height || a.Samples() != b.Samples() || a.bits != b.bits ||
            a.model != b.model || a.pages != b.pages) {
            Fail(files[1], "differs in size, colour model, channels, depth or pages from " + files[0]);
            rc = kExitFailure;
            break;
        }
        const size_t samples = size_t(a.Samples());
        result->worst.resize(samples, 0);
        result->sum.resize(samples, 0);
        const uint32_t bandRows = BandRows(a);
        Bytes raw[2], band[2];
        for (int k = 0; k < 2; ++k) {
            raw[k].resize(info[k].BandBytes(bandRows));
            band[k].resize(info[k].BandBytes(bandRows));
        }
        for (uint32_t row = 0; rc == kExitOk && row < a.height; row += bandRows) {
            const uint32_t rows = std::min(bandRows, a.height - row);
            for (int k = 0; k < 2 && rc == kExitOk; ++k) {
                if (!ReadRows(readers[k], rows, raw[k].data(), &error)) {
                    Fail(files[size_t(k)], error);
                    rc = kExitUsage;
                } else if (info[k].planar) {
                    InterleaveBand(info[k], rows, raw[k].data(), band[k].data());
                } else {
                    band[k].swap(raw[k]);
                }
            }
            for (size_t i = 0; rc == kExitOk && i < size_t(rows) * a.width; ++i) {
                bool differs = false;
                for (size_t c = 0; c < samples; ++c) {
                    long va = SampleValue(band[0].data(), i * samples + c, a.bits);
                    long vb = SampleValue(band[1].data(), i * samples + c, a.bits);
                    long d = va > vb ? va - vb : vb - va;
                    result->worst[c] = std::max(result->worst[c], d);
                    result->sum[c] += double(d);
                    differs |= d != 0;
                    if (d > result->overall) {
                        result->overall = d;
                        result->where = (page ? "page " + std::to_string(page + 1) + ", " : "") + "x " +
                                        std::to_string(i % a.width) + ", y " + std::to_string(row + i / a.width) +
                                        ": " + PixelText(band[0].data(), i * samples, samples, a.bits) +
                                        " against " + PixelText(band[1].data(), i * samples, samples, b.bits);
                    }
                }
                result->differing += differs;
            }
            result->pixels += size_t(rows) * a.width;
        }
        if (rc != kExitOk) break;
        bool more[2];
        for (int k = 0; k < 2; ++k) {
            error.clear();
            more[k] = NextPage(readers[k], &info[k], &error);
            if (!error.empty()) {
                Fail(files[size_t(k)], error);
                rc = kExitUsage;
            }
        }
        if (!more[0] || !more[1]) break;
    }
    for (ImageReader* r : readers) CloseReader(r);
    if (rc == kExitOk && result->pixels == 0) result->pixels = 1;
    return rc;
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

    ImageInfo image;
    image.format = format;
    image.width = width;
    image.height = height;
    image.model = ColourModel::Rgb;
    image.colour = 3;
    image.extra = alpha ? 1 : 0;
    image.extraKinds.assign(size_t(image.extra), 2);
    image.bits = sixteen ? 16 : 8;
    ProfileSource srgb;
    if (!ResolveProfile("builtin:srgb", &srgb)) return kExitFailure;
    image.icc = srgb.bytes;
    ImageWriter* writer = nullptr;
    std::string error;
    if (!OpenWriter(out, image, {format, 0, 95}, &writer, &error)) {
        Fail(out, error);
        return kExitFailure;
    }
    Bytes row(image.RowBytes());
    const unsigned patchRows = height / 4, sweepRows = height * 3 / 8, cubeRows = height - patchRows - sweepRows;
    const unsigned rampTop = patchRows + sweepRows + cubeRows * 2 / 3;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            double rgb[3] = {0, 0, 0};
            if (y < patchRows) {
                unsigned column = x * 12 / width, band = y * 2 / patchRows;
                for (int c = 0; c < 3; ++c) rgb[c] = kPatches[band * 12 + column][c] / 255.0;
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
            size_t at = size_t(x) * size_t(image.Samples());
            for (int c = 0; c < image.Samples(); ++c) {
                double v = c < 3 ? rgb[c] : a;
                if (sixteen) {
                    uint16_t s = uint16_t(std::lround(v * 65535.0));
                    std::memcpy(&row[(at + size_t(c)) * 2], &s, 2);
                } else {
                    row[at + size_t(c)] = uint8_t(std::lround(v * 255.0));
                }
            }
        }
        if (!WriteRows(writer, 1, row.data(), &error)) {
            Fail(out, error);
            AbortWriter(writer);
            return kExitFailure;
        }
    }
    if (!FinishWriter(writer, &error)) {
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
    Comparison result;
    const int rc = CompareFiles(files, &result);
    if (rc != kExitOk) return rc;
    const size_t samples = result.worst.size();
    std::printf("channel  max  mean\n");
    for (size_t c = 0; c < samples; ++c)
        std::printf("%7zu  %3ld  %.4f\n", c, result.worst[c], result.sum[c] / double(result.pixels));
    std::printf("pixels differing: %zu of %zu; largest difference %ld", result.differing, result.pixels,
                result.overall);
    if (result.overall) std::printf(" at %s", result.where.c_str());
    std::printf("\n");
    bool same = result.overall <= std::max(tolerance, 0L);
    if (meanTolerance >= 0) {
        // The mean decides alone, unless a hard limit is given too.
        same = tolerance < 0 || result.overall <= tolerance;
        for (size_t c = 0; c < samples; ++c) {
            if (result.sum[c] / double(result.pixels) > meanTolerance) {
                Fail(files[1], "channel " + std::to_string(c) + " differs by " +
                                   std::to_string(result.sum[c] / double(result.pixels)) + " on average, more than " +
                                   std::to_string(meanTolerance));
                return kExitFailure;
            }
        }
    }
    if (!same) {
        Fail(files[1], "differs by " + std::to_string(result.overall) + ", more than the tolerance " +
                           std::to_string(std::max(tolerance, 0L)));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace tool
