// Converts the same images through a Tintwell link and through Little CMS
// (one thread each, same profiles and intent) and prints megapixels per
// second and their ratio, link build time against transform creation, and a
// memcpy of the same bytes as the ceiling; then instructions per pixel.
//
//   link_bench                 both tables below
//   link_bench --wall          wall clock: 4096 x 4096 noise and smooth
//                              images and a photograph, best of five runs,
//                              the two engines' runs taken in turn
//   link_bench --wall PAIR     the same for one pair (e.g. 'RGB8->RGB8')
//   link_bench --callgrind     instructions per pixel, each conversion run
//                              once under valgrind's callgrind over 512 x 512
//                              noise (valgrind reports no AVX-512, so the
//                              AVX2 routines are the ones counted)
//
// The photograph is Garden.jpg from Debian's mate-backgrounds package
// (2560 x 1600); without it its rows are skipped.
// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <lcms2.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tintwell.h"

namespace {

struct Case {
    const char* name;
    const char* source;
    const char* destination;
    int in, out;   // channels
    int bytes;     // bytes per sample
};

const std::string kShared = TNT_TEST_PROFILES;

std::vector<Case> Cases() {
    static const std::string fogra39 = kShared + "/fogra39-cmyk-lab-v2.icc";
    return {
        {"RGB8->CMYK8", "/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/ghostscript/default_cmyk.icc", 3, 4, 1},
        {"CMYK8->CMYK8", "/usr/share/color/icc/ghostscript/default_cmyk.icc", fogra39.c_str(), 4, 4, 1},
        {"RGB8->RGB8", "/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc", 3, 3, 1},
        {"CMYK8->RGB8", "/usr/share/color/icc/ghostscript/default_cmyk.icc", "/usr/share/color/icc/sRGB.icc", 4, 3, 1},
        {"RGB16->CMYK16", "/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/ghostscript/default_cmyk.icc", 3, 4, 2},
        {"CMYK16->CMYK16", "/usr/share/color/icc/ghostscript/default_cmyk.icc", fogra39.c_str(), 4, 4, 2},
    };
}

const char* const kPhoto = "/usr/share/backgrounds/mate/nature/Garden.jpg";

// The photograph as packed 8-bit RGB, or empty when it is not installed.
std::vector<uint8_t> DecodePhoto(size_t* pixels) {
    std::vector<uint8_t> rgb;
    FILE* file = std::fopen(kPhoto, "rb");
    if (!file) return rgb;
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    rgb.resize(size_t(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + size_t(info.output_scanline) * info.output_width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    *pixels = rgb.size() / 3;
    return rgb;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProfLink* BuildLink(const Case& c);

// The photograph in the case's source format: RGB as decoded, CMYK through
// a Tintwell link from sRGB to the case's source profile; 16-bit samples
// are the 8-bit ones times 257.
std::vector<uint8_t> PhotoImage(const Case& c, const std::vector<uint8_t>& rgb, size_t pixels) {
    std::vector<uint8_t> eight = rgb;
    if (c.in == 4) {
        eight.assign(pixels * 4, 0);
        ProfLink* link = BuildLink({"", "/usr/share/color/icc/sRGB.icc", c.source, 3, 4, 1});
        TntLinkMatchColors(link, int32_t(pixels), rgb.data(), eight.data(), 0, 0, 0, nullptr);
        TntDisposeProfLink(link);
    }
    if (c.bytes == 1) return eight;
    std::vector<uint8_t> img(eight.size() * 2);
    for (size_t i = 0; i < eight.size(); ++i) {
        uint16_t s = uint16_t(eight[i] * 257);
        std::memcpy(&img[i * 2], &s, 2);
    }
    return img;
}

std::vector<uint8_t> Image(const Case& c, size_t pixels, bool noise) {
    std::vector<uint8_t> img(pixels * c.in * c.bytes);
    if (noise) {
        std::mt19937 rng(1);
        for (auto& b : img) b = uint8_t(rng());
        return img;
    }
    // A smooth photo-like image: slow ramps per channel with long runs.
    size_t width = 4096;
    for (size_t p = 0; p < pixels; ++p) {
        size_t x = p % width, y = p / width;
        for (int ch = 0; ch < c.in; ++ch) {
            unsigned v = unsigned((x * (ch + 1) / 3 + y * (3 - ch % 3) / 5) % 65536);
            if (c.bytes == 1) {
                img[p * c.in + ch] = uint8_t(v >> 4);
            } else {
                uint16_t s = uint16_t(v * 4);
                std::memcpy(&img[(p * c.in + ch) * 2], &s, 2);
            }
        }
    }
    return img;
}

ProfLink* BuildLink(const Case& c) {
    ProfileLocation locs[2] = {};
    std::strcpy(locs[0].path, c.source);
    std::strcpy(locs[1].path, c.destination);
    uint16_t intents[2] = {0, 0};
    uint32_t options = c.bytes == 2 ? SetOptions(0, TNT_OPTION_PRECISION, 1) : 0;
    ProfLink* link = nullptr;
    TntStatus st = TntProfiles2Link(0, 0, 2, locs, intents, options, &link);
    if (st) std::fprintf(stderr, "link %s: status %u\n", c.name, st);
    return link;
}

cmsHTRANSFORM BuildLcms(const Case& c) {
    cmsHPROFILE a = cmsOpenProfileFromFile(c.source, "r"), b = cmsOpenProfileFromFile(c.destination, "r");
    auto type = [&](int channels) -> cmsUInt32Number {
        if (channels == 3) return c.bytes == 1 ? TYPE_RGB_8 : TYPE_RGB_16;
        return c.bytes == 1 ? TYPE_CMYK_8 : TYPE_CMYK_16;
    };
    cmsHTRANSFORM t = cmsCreateTransform(a, type(c.in), b, type(c.out), INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(a);
    cmsCloseProfile(b);
    return t;
}

template <typename F>
double Best(F f, int runs) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        double t0 = Now();
        f();
        best = std::min(best, Now() - t0);
    }
    return best;
}

void WallClock(const char* only) {
    size_t photoPixels = 0;
    const std::vector<uint8_t> photo = DecodePhoto(&photoPixels);
    if (photo.empty()) std::printf("(%s is not installed: no photograph rows)\n", kPhoto);
    const size_t pixels = size_t(4096) * 4096;
    std::printf("%-15s %-7s %12s %12s %7s %12s %12s %12s\n", "pair", "image", "tintwell", "lcms", "ratio",
                "memcpy", "link build", "lcms build");
    std::printf("%-15s %-7s %12s %12s %7s %12s %12s %12s\n", "", "", "Mpx/s", "Mpx/s", "", "Mpx/s", "ms", "ms");
    for (const Case& c : Cases()) {
        if (only && std::strcmp(c.name, only) != 0) continue;
        ProfLink* link = nullptr;
        cmsHTRANSFORM lcms = nullptr;
        double linkBuild = 1e30, lcmsBuild = 1e30;
        for (int r = 0; r < 5; ++r) {
            if (link) TntDisposeProfLink(link);
            if (lcms) cmsDeleteTransform(lcms);
            double t0 = Now();
            link = BuildLink(c);
            double t1 = Now();
            lcms = BuildLcms(c);
            lcmsBuild = std::min(lcmsBuild, Now() - t1);
            linkBuild = std::min(linkBuild, t1 - t0);
        }
        if (!link || !lcms) continue;
        for (const char* image : {"noise", "smooth", "photo"}) {
            const bool isPhoto = !std::strcmp(image, "photo");
            if (isPhoto && photo.empty()) continue;
            const size_t n = isPhoto ? photoPixels : pixels;
            std::vector<uint8_t> src = isPhoto ? PhotoImage(c, photo, n) : Image(c, n, !std::strcmp(image, "noise"));
            std::vector<uint8_t> dst(n * c.out * c.bytes), copy(src.size());
            // The engines take turns, so that both see the same load.
            double ours = 1e30, theirs = 1e30;
            for (int r = 0; r < 5; ++r) {
                ours = std::min(ours, Best([&] { TntLinkMatchColors(link, int32_t(n), src.data(), dst.data(), 0, 0, 0, nullptr); }, 1));
                theirs = std::min(theirs, Best([&] { cmsDoTransform(lcms, src.data(), dst.data(), cmsUInt32Number(n)); }, 1));
            }
            double ceiling = Best([&] { std::memcpy(copy.data(), src.data(), src.size()); }, 3);
            std::printf("%-15s %-7s %12.1f %12.1f %7.2f %12.1f %12.1f %12.1f\n", c.name, image, n / ours / 1e6,
                        n / theirs / 1e6, theirs / ours, n / ceiling / 1e6, linkBuild * 1e3, lcmsBuild * 1e3);
            std::fflush(stdout);
        }
        TntDisposeProfLink(link);
        cmsDeleteTransform(lcms);
    }
}

// Runs one conversion with callgrind's instrumentation on around it alone.
int RunOne(const char* which, const char* cmm) {
    const size_t pixels = size_t(512) * 512;
    for (const Case& c : Cases()) {
        if (std::strcmp(c.name, which) != 0) continue;
        std::vector<uint8_t> src = Image(c, pixels, true), dst(pixels * c.out * c.bytes);
        if (!std::strcmp(cmm, "tintwell")) {
            ProfLink* link = BuildLink(c);
            CALLGRIND_START_INSTRUMENTATION;
            TntLinkMatchColors(link, int32_t(pixels), src.data(), dst.data(), 0, 0, 0, nullptr);
            CALLGRIND_STOP_INSTRUMENTATION;
            TntDisposeProfLink(link);
        } else {
            cmsHTRANSFORM t = BuildLcms(c);
            CALLGRIND_START_INSTRUMENTATION;
            cmsDoTransform(t, src.data(), dst.data(), cmsUInt32Number(pixels));
            CALLGRIND_STOP_INSTRUMENTATION;
            cmsDeleteTransform(t);
        }
        return 0;
    }
    return 1;
}

double InstructionsPerPixel(const char* self, const char* which, const char* cmm) {
    std::string out = "/tmp/tintwell-callgrind." + std::string(cmm) + ".out";
    std::string cmd = std::string("valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=") + out + " " +
                      self + " --one '" + which + "' " + cmm + " > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return -1;
    FILE* f = std::fopen(out.c_str(), "r");
    if (!f) return -1;
    char line[512];
    double total = -1;
    while (std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, "totals:", 7) || !std::strncmp(line, "summary:", 8))
            total = std::atof(std::strchr(line, ':') + 1);
    std::fclose(f);
    std::remove(out.c_str());
    return total / (512.0 * 512.0);
}

}  // namespace

void Callgrind(const char* self) {
    std::printf("%-15s %14s %14s %7s\n", "pair", "tintwell", "lcms", "ratio");
    std::printf("%-15s %14s %14s %7s\n", "", "instr/pixel", "instr/pixel", "");
    for (const Case& c : Cases()) {
        double ours = InstructionsPerPixel(self, c.name, "tintwell");
        double theirs = InstructionsPerPixel(self, c.name, "lcms");
        std::printf("%-15s %14.1f %14.1f %7.2f\n", c.name, ours, theirs, theirs / ours);
        std::fflush(stdout);
    }
}

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "--one")) return RunOne(argv[2], argv[3]);
    const bool wall = argc < 2 || !std::strcmp(argv[1], "--wall");
    const bool callgrind = argc < 2 || !std::strcmp(argv[1], "--callgrind");
    if (wall) WallClock(argc == 3 && !callgrind ? argv[2] : nullptr);
    if (wall && callgrind) std::printf("\n");
    if (callgrind) Callgrind(argv[0]);
    return 0;
}
