// 'image' and 'proof': images converted between profiles through a device
// link band by band, and soft proofs through a printer profile back to a
// display.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "convert_image.h"
#include "image_io.h"

namespace tool {

namespace {

const char kImageHelp[] =
    "usage: tintwell image IN OUT --profiles PROFILE... [options]\n"
    "\n"
    "Converts a PNG, TIFF or JPEG image from one colour space to another through a\n"
    "device link sampled from the chain of profiles, a band of rows at a time (memory\n"
    "stays at a few tens of MB whatever the image size). Gray, RGB, CMYK and Lab\n"
    "images of 8 or 16 bits are accepted; alpha and other extra channels are carried\n"
    "over unchanged; planar TIFF stays planar; every page of a multi-page TIFF is\n"
    "converted. The output type follows OUT's extension (.png, .tif/.tiff,\n"
    ".jpg/.jpeg) and carries the last profile of the chain, the input's EXIF, XMP,\n"
    "resolution and orientation (kept as a tag, not applied to the pixels). IN and\n"
    "OUT may be - for standard input and output.\n"
    "\n"
    "  --profiles P...     the chain, source first. With a single profile the image's\n"
    "                      embedded profile is the source (untagged RGB, gray and Lab\n"
    "                      images count as builtin:srgb, builtin:gray, builtin:lab).\n"
    "                      A profile is a file or builtin:srgb, builtin:lab, builtin:gray.\n"
    "  --intent I[,I...]   rendering intent: perceptual, relative, saturation or\n"
    "                      absolute (or 0 to 3); one for every step, or one per step\n"
    "                      of the chain (default: each profile's own)\n"
    "  --ignore-embedded   do not use the image's embedded profile\n"
    "  --preserve-black P  keep the black of CMYK colours whose black is at least P\n"
    "                      percent (CMYK to CMYK only)\n"
    "  --lightness N, --contrast N, --chroma N, --ab-shift N, --a-shift N,\n"
    "  --b-shift N         colour controls, -100 to 100 each, applied in Lab and\n"
    "                      sampled into the link\n"
    "  --16                sample a 16-bit link and write 16 bits per sample\n"
    "                      (16-bit images always use one)\n"
    "  --grid Q            grid quality 0-7 of the link (0: default, 33 points for RGB)\n"
    "  --threads N         threads converting each band (default: one per core)\n"
    "  --planar            write a planar TIFF (one plane per channel)\n"
    "  --compression C     TIFF compression: none, lzw, deflate or packbits\n"
    "                      (default: the input TIFF's, else deflate)\n"
    "  --quality N         JPEG quality 1-100 (default 95)\n"
    "  --format F          png, tiff or jpeg, for OUT given as - (default: IN's type)\n"
    "  --timing            report the time spent reading, building the link,\n"
    "                      converting and writing\n"
    "\n"
    "Warnings go to standard error when an embedded profile is not used or does not\n"
    "fit the image. A progress bar appears when standard error is a terminal.\n"
    "Exit status: 0 done, 1 failed (nothing is left at OUT), 2 bad arguments; an\n"
    "interrupted run (SIGINT, SIGTERM, SIGHUP) leaves nothing at OUT either and ends\n"
    "by the signal.\n";

const char kProofHelp[] =
    "usage: tintwell proof IN OUT --printer PROFILE [--display PROFILE] [options]\n"
    "\n"
    "Makes a soft proof: shows on the display what the printer will make of the\n"
    "image. The image runs from its own profile into the printer's colours and\n"
    "back out to the display profile, and is written as an RGB image carrying the\n"
    "display profile.\n"
    "\n"
    "  --printer P      the output (printer) profile to simulate\n"
    "  --display P      the display profile (default builtin:srgb)\n"
    "  --source P       the image's profile (default: embedded, else builtin:srgb)\n"
    "  --intent I       intent into the printer (default relative)\n"
    "  --paper          show the paper white (absolute colorimetric to the display)\n"
    "  --16, --grid, --threads, --compression, --quality, --format, --timing,\n"
    "  --ignore-embedded   as for 'tintwell image'\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing is left at OUT), 2 bad arguments.\n";

struct Common {
    std::string in, out;
    bool sixteen = false, planar = false, timing = false;
    long grid = 0, threads = 0, quality = 95;
    uint16_t compression = 0;
    ImageFormat format = ImageFormat::Unknown;
    std::vector<uint16_t> intents;
};

struct Timing {
    using Clock = std::chrono::steady_clock;
    double read = 0, link = 0, convert = 0, write = 0;
    Clock::time_point mark = Clock::now();
    // Adds the time since the last mark to `slot`.
    void Lap(double* slot) {
        Clock::time_point now = Clock::now();
        *slot += std::chrono::duration<double>(now - mark).count();
        mark = now;
    }
};

uint16_t CompressionCode(const std::string& word) {
    if (word == "none") return 1;
    if (word == "lzw") return 5;
    if (word == "deflate" || word == "zip") return 8;
    if (word == "packbits") return 32773;
    return 0;
}

// Options shared by both commands; returns 0 when `arg` was one of them,
// -1 when it is not, or the usage exit code.
int CommonOption(const char* command, int argc, char** argv, int* i, Common* c, ConvertRequest* request) {
    std::string arg = argv[*i];
    const bool hasValue = *i + 1 < argc;
    const std::string value = hasValue ? argv[*i + 1] : "";
    auto number = [&](long low, long high, long* out) {
        if (!hasValue || !ParseInt(value, low, high, out))
            return UsageError(command, arg + " needs a number from " + std::to_string(low) + " to " +
                                           std::to_string(high));
        ++*i;
        return 0;
    };
    if (arg == "--16") {
        c->sixteen = true;
        return 0;
    }
    if (arg == "--planar") {
        c->planar = true;
        return 0;
    }
    if (arg == "--timing") {
        c->timing = true;
        return 0;
    }
    if (arg == "--ignore-embedded") {
        request->ignoreEmbedded = true;
        return 0;
    }
    if (arg == "--grid") return number(0, 7, &c->grid);
    if (arg == "--threads") return number(1, 64, &c->threads);
    if (arg == "--quality") return number(1, 100, &c->quality);
    if (arg == "--intent") {
        if (!hasValue || !ParseIntentList(value, &c->intents))
            return UsageError(command, "--intent needs " + std::string(kIntentWords) + ", or a comma-separated list");
        ++*i;
        return 0;
    }
    if (arg == "--compression") {
        c->compression = CompressionCode(value);
        if (!c->compression) return UsageError(command, "--compression needs none, lzw, deflate or packbits");
        ++*i;
        return 0;
    }
    if (arg == "--format") {
        c->format = FormatFromWord(value);
        if (c->format == ImageFormat::Unknown) return UsageError(command, "--format needs png, tiff or jpeg");
        ++*i;
        return 0;
    }
    return -1;
}

void DrawBar(double fraction) {
    static int drawn = -1;
    int percent = int(fraction * 100.0);
    if (percent == drawn) return;
    drawn = percent;
    char bar[41];
    int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = 0;
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

// Reads, converts and writes every page, band by band.
bool ConvertPages(const Common& c, const ConvertRequest& request, ImageFormat format, ImageReader* reader,
                  ImageInfo page, Timing* timing, ImageWriter** writer, size_t* pixels) {
    const bool bar = ErrIsTerminal();
    const int threads = c.threads ? int(c.threads) : DefaultThreads();
    const bool planarOut = format == ImageFormat::Tiff && (c.planar || page.planar);
    const int pages = page.pages;
    Converter converter;
    std::string error;
    bool ok = true;
    for (int index = 0; ok; ++index) {
        timing->Lap(&timing->read);
        ok = PrepareConverter(page, c.in, request, planarOut, &converter);
        timing->Lap(&timing->link);
        if (!ok) break;
        ok = index == 0 ? OpenWriter(c.out, converter.out, {format, c.compression, int(c.quality)}, writer, &error)
                        : NextWriterPage(*writer, converter.out, &error);
        if (!ok) {
            Fail(c.out, error);
            break;
        }
        const uint32_t bandRows = BandRows(page);
        Bytes in(page.BandBytes(bandRows)), out(converter.out.BandBytes(bandRows));
        for (uint32_t row = 0; ok && row < page.height; row += bandRows) {
            const uint32_t rows = std::min(bandRows, page.height - row);
            timing->Lap(&timing->write);
            ok = ReadRows(reader, rows, in.data(), &error);
            timing->Lap(&timing->read);
            if (!ok) {
                Fail(c.in, error);
                break;
            }
            ok = ConvertBand(converter, rows, in.data(), out.data(), threads, c.in);
            timing->Lap(&timing->convert);
            if (ok && !(ok = WriteRows(*writer, rows, out.data(), &error))) Fail(c.out, error);
            if (bar) DrawBar((index + double(row + rows) / page.height) / pages);
        }
        *pixels += page.PixelCount();
        timing->Lap(&timing->write);
        error.clear();
        if (!ok || !NextPage(reader, &page, &error)) {
            if (ok && !error.empty()) {
                Fail(c.in, error);
                ok = false;
            }
            break;
        }
    }
    if (bar) std::fprintf(stderr, "\n");
    ReleaseConverter(&converter);
    return ok;
}

int Run(const Common& c, const ConvertRequest& request) {
    ImageFormat format = c.format != ImageFormat::Unknown ? c.format : FormatFromName(c.out);
    if (format == ImageFormat::Unknown && c.out != "-") {
        Fail(c.out, "unknown image type (use .png, .tif, .tiff, .jpg or .jpeg, or --format)");
        return kExitFailure;
    }
    if (c.planar && format != ImageFormat::Tiff && !(format == ImageFormat::Unknown && c.out == "-")) {
        Fail(c.out, "only TIFF images can be planar");
        return kExitFailure;
    }
    Timing timing;
    ImageReader* reader = nullptr;
    ImageInfo page;
    std::string error;
    if (!OpenReader(c.in, &reader, &page, &error)) {
        Fail(c.in, error);
        return kExitFailure;
    }
    if (format == ImageFormat::Unknown) format = page.format;
    ImageWriter* writer = nullptr;
    size_t pixels = 0;
    bool ok = ConvertPages(c, request, format, reader, page, &timing, &writer, &pixels);
    CloseReader(reader);
    if (ok && !(ok = FinishWriter(writer, &error))) Fail(c.out, error);
    else if (!ok && writer) AbortWriter(writer);
    timing.Lap(&timing.write);
    if (ok && c.timing) {
        const double total = timing.read + timing.link + timing.convert + timing.write;
        std::fprintf(stderr,
                     "tintwell: timing: reading %.3f s, building the link %.3f s, converting %.3f s on %d "
                     "thread(s), writing %.3f s; %zu pixels in %.3f s\n",
                     timing.read, timing.link, timing.convert, c.threads ? int(c.threads) : DefaultThreads(),
                     timing.write, pixels, total);
    }
    return ok ? kExitOk : kExitFailure;
}

// The six colour controls as options.
int ControlOption(const char* command, int argc, char** argv, int* i, ConvertRequest* request) {
    static const char* const kNames[6] = {"--lightness", "--contrast", "--chroma",
                                          "--ab-shift",  "--a-shift",  "--b-shift"};
    for (int k = 0; k < 6; ++k) {
        if (std::strcmp(argv[*i], kNames[k]) != 0) continue;
        long v = 0;
        if (*i + 1 >= argc || !ParseInt(argv[*i + 1], -100, 100, &v))
            return UsageError(command, std::string(kNames[k]) + " needs a number from -100 to 100");
        request->controls.resize(6, 0);
        request->controls[size_t(k)] = int16_t(v);
        ++*i;
        return 0;
    }
    return -1;
}

}  // namespace

int CmdImage(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kImageHelp, stdout);
        return kExitOk;
    }
    Common c;
    ConvertRequest request;
    std::vector<std::string> profiles, positional;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        int r = CommonOption("image", argc, argv, &i, &c, &request);
        if (r < 0) r = ControlOption("image", argc, argv, &i, &request);
        if (r > 0) return r;
        if (r == 0) continue;
        if (arg == "--profiles") {
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) profiles.push_back(argv[++i]);
        } else if (arg == "--preserve-black") {
            long percent = 0;
            if (i + 1 >= argc || !ParseInt(argv[i + 1], 0, 100, &percent))
                return UsageError("image", "--preserve-black needs a percentage from 0 to 100");
            request.preserveBlack = double(percent);
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("image", "unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return UsageError("image", "needs an input and an output image");
    if (profiles.empty()) return UsageError("image", "needs --profiles with at least one profile");
    if (request.preserveBlack >= 0 && !request.controls.empty())
        return UsageError("image", "--preserve-black cannot be combined with colour controls");
    c.in = positional[0];
    c.out = positional[1];
    for (const std::string& name : profiles) {
        ProfileSource s;
        if (!ResolveProfile(name, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    if (request.chain.size() == 1) {
        // A single profile that is not a device link needs the image's own
        // in front of it.
        Profile* p = OpenSource(request.chain[0]);
        if (!p) return kExitFailure;
        ProfileHeader h;
        TntGetProfileHeader(p, &h);
        TntCloseProfile(p);
        request.needsSource = h.deviceClass != TNT_SIG('l', 'i', 'n', 'k');
    }
    request.intents = c.intents;
    request.sixteen = c.sixteen;
    request.gridQuality = int(c.grid);
    return Run(c, request);
}

int CmdProof(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kProofHelp, stdout);
        return kExitOk;
    }
    Common c;
    ConvertRequest request;
    std::string printer, display = "builtin:srgb", source;
    bool paper = false;
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        int r = CommonOption("proof", argc, argv, &i, &c, &request);
        if (r > 0) return r;
        if (r == 0) continue;
        std::string* target = arg == "--printer" ? &printer : arg == "--display" ? &display
                              : arg == "--source"                              ? &source
                                                                               : nullptr;
        if (target) {
            if (i + 1 >= argc) return UsageError("proof", arg + " needs a profile");
            *target = argv[++i];
        } else if (arg == "--paper") {
            paper = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("proof", "unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return UsageError("proof", "needs an input and an output image");
    if (printer.empty()) return UsageError("proof", "needs --printer PROFILE");
    if (c.planar) return UsageError("proof", "--planar is not available here");
    if (c.intents.size() > 1) return UsageError("proof", "--intent takes one intent here");
    c.in = positional[0];
    c.out = positional[1];
    for (const std::string* name : {&source, &printer, &display}) {
        if (name->empty()) continue;
        ProfileSource s;
        if (!ResolveProfile(*name, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    request.needsSource = source.empty();
    // Into the printer with the chosen intent; out of it colorimetrically,
    // so that the display shows the printed colours rather than re-mapping
    // them. With --paper the white of the paper is kept too.
    uint16_t into = c.intents.empty() ? uint16_t(TNT_INTENT_RELATIVE) : c.intents[0];
    uint16_t back = paper ? TNT_INTENT_ABSOLUTE : TNT_INTENT_RELATIVE;
    request.intents = {into, back, back};
    request.sixteen = c.sixteen;
    request.gridQuality = int(c.grid);
    return Run(c, request);
}

}  // namespace tool
