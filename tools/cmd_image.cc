// 'image' and 'proof': images converted between profiles through a device
// link, and soft proofs through a printer profile back to a display.
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
    "device link sampled from the chain of profiles. Gray, RGB, CMYK and Lab images\n"
    "of 8 or 16 bits are accepted; alpha and other extra channels are carried over\n"
    "unchanged; planar TIFF stays planar. The output type follows OUT's extension\n"
    "(.png, .tif/.tiff, .jpg/.jpeg) and carries the last profile of the chain.\n"
    "\n"
    "  --profiles P...  the chain, source first. With a single profile the image's\n"
    "                   embedded profile is the source (untagged RGB, gray and Lab\n"
    "                   images count as builtin:srgb, builtin:gray, builtin:lab).\n"
    "                   A profile is a file or builtin:srgb, builtin:lab, builtin:gray.\n"
    "  --intent N       rendering intent for every step: 0 perceptual, 1 relative\n"
    "                   colorimetric, 2 saturation, 3 absolute colorimetric\n"
    "                   (default: each profile's own)\n"
    "  --16             sample a 16-bit link and write 16 bits per sample\n"
    "                   (16-bit images always use one)\n"
    "  --grid Q         grid quality 0-7 of the link (0: default, 33 points for RGB)\n"
    "  --threads N      threads converting bands of rows (default: one per core)\n"
    "  --planar         write a planar TIFF (one plane per channel)\n"
    "  --timing         report how long the link and the conversion took\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing is left at OUT), 2 bad arguments.\n";

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
    "  --intent N       intent into the printer (default 1, relative colorimetric)\n"
    "  --paper          show the paper white (absolute colorimetric to the display)\n"
    "  --16, --grid Q, --threads N   as for 'tintwell image'\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing is left at OUT), 2 bad arguments.\n";

struct Common {
    std::string in, out;
    bool sixteen = false, planar = false, timing = false;
    long grid = 0, threads = 0, intent = -1;
};

// Options shared by both commands; returns 0 when `arg` was one of them,
// -1 when it is not, or the usage exit code.
int CommonOption(const char* command, int argc, char** argv, int* i, Common* c) {
    std::string arg = argv[*i];
    auto value = [&](long low, long high, long* out) {
        if (*i + 1 >= argc || !ParseInt(argv[*i + 1], low, high, out))
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
    if (arg == "--grid") return value(0, 7, &c->grid);
    if (arg == "--threads") return value(1, 64, &c->threads);
    if (arg == "--intent") return value(0, 3, &c->intent);
    return -1;
}

int Run(const Common& c, ConvertRequest& request) {
    ImageFormat format = FormatFromName(c.out);
    if (format == ImageFormat::Unknown) {
        Fail(c.out, "unknown image type (use .png, .tif, .tiff, .jpg or .jpeg)");
        return kExitFailure;
    }
    if (c.planar && format != ImageFormat::Tiff) {
        Fail(c.out, "only TIFF images can be planar");
        return kExitFailure;
    }
    Image in;
    std::string error;
    if (!ReadImage(c.in, &in, &error)) {
        Fail(c.in, error);
        return kExitFailure;
    }
    if (!CompleteChain(in, c.in, &request.chain)) return kExitFailure;
    if (!request.intents.empty()) request.intents.resize(request.chain.size(), request.intents.back());
    request.sixteen = c.sixteen;
    request.gridQuality = int(c.grid);
    request.threads = c.threads ? int(c.threads) : DefaultThreads();
    request.progress = ErrIsTerminal();
    request.timing = c.timing;
    Image out;
    if (!ConvertImage(in, request, c.in, &out)) return kExitFailure;
    if (c.planar) MakePlanar(&out);
    if (!WriteImage(c.out, out, &error)) {
        Fail(c.out, error);
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int CmdImage(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kImageHelp, stdout);
        return kExitOk;
    }
    Common c;
    std::vector<std::string> profiles, positional;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        int r = CommonOption("image", argc, argv, &i, &c);
        if (r > 0) return r;
        if (r == 0) continue;
        if (arg == "--profiles") {
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) profiles.push_back(argv[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("image", "unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return UsageError("image", "needs an input and an output image");
    if (profiles.empty()) return UsageError("image", "needs --profiles with at least one profile");
    c.in = positional[0];
    c.out = positional[1];
    ConvertRequest request;
    for (const std::string& name : profiles) {
        ProfileSource s;
        if (!ResolveProfile(name, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    if (c.intent >= 0) request.intents.assign(request.chain.size(), uint16_t(c.intent));
    return Run(c, request);
}

int CmdProof(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kProofHelp, stdout);
        return kExitOk;
    }
    Common c;
    std::string printer, display = "builtin:srgb", source;
    bool paper = false;
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        int r = CommonOption("proof", argc, argv, &i, &c);
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
    c.in = positional[0];
    c.out = positional[1];
    ConvertRequest request;
    ProfileSource s;
    if (!source.empty()) {
        if (!ResolveProfile(source, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    for (const std::string* name : {&printer, &display}) {
        if (!ResolveProfile(*name, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    // Into the printer with the chosen intent; out of it colorimetrically,
    // so that the display shows the printed colours rather than re-mapping
    // them. With --paper the white of the paper is kept too.
    uint16_t into = uint16_t(c.intent >= 0 ? c.intent : TNT_INTENT_RELATIVE);
    uint16_t back = paper ? TNT_INTENT_ABSOLUTE : TNT_INTENT_RELATIVE;
    if (source.empty()) {
        // The image's own profile goes in front: [source, printer, display].
        Image probe;
        std::string error;
        if (!ReadImage(c.in, &probe, &error)) {
            Fail(c.in, error);
            return kExitFailure;
        }
        ProfileSource front;
        if (!probe.icc.empty()) {
            front.name = c.in + " (embedded profile)";
            front.bytes = probe.icc;
        } else if (!ResolveProfile(probe.model == ColourModel::Gray ? "builtin:gray" : "builtin:srgb", &front)) {
            return kExitFailure;
        }
        request.chain.insert(request.chain.begin(), front);
    }
    request.intents = {into, back, back};
    return Run(c, request);
}

}  // namespace tool
