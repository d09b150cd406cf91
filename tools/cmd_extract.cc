// 'extract': an image's embedded ICC profile written out as a file.
#include <cstdio>
#include <string>

#include "commands.h"
#include "image_io.h"

namespace tool {

namespace {

const char kExtractHelp[] =
    "usage: tintwell extract IMAGE -o FILE\n"
    "\n"
    "Writes the ICC profile embedded in a PNG, TIFF or JPEG image (the first page's,\n"
    "for multi-page TIFF) to FILE, byte for byte. IMAGE and FILE may be - for\n"
    "standard input and output.\n"
    "\n"
    "  -o FILE   where to write the profile (required)\n"
    "\n"
    "Exit status: 0 written, 1 the image cannot be read or carries no profile\n"
    "(nothing is left at FILE), 2 bad arguments.\n";

}  // namespace

int CmdExtract(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    std::string image, output;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) return UsageError("extract", "-o needs a file name");
            output = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("extract", "unknown option " + arg);
        } else if (image.empty()) {
            image = arg;
        } else {
            return UsageError("extract", "takes one image");
        }
    }
    if (image.empty()) return UsageError("extract", "needs an image");
    if (output.empty()) return UsageError("extract", "needs -o FILE");
    ImageReader* reader = nullptr;
    ImageInfo info;
    std::string error;
    if (!OpenReader(image, &reader, &info, &error)) {
        Fail(image, error);
        return kExitFailure;
    }
    CloseReader(reader);
    if (info.icc.empty()) {
        Fail(image, "carries no embedded profile");
        return kExitFailure;
    }
    return WriteWholeFile(output, info.icc.data(), info.icc.size()) ? kExitOk : kExitFailure;
}

}  // namespace tool
