// tintwell: the command-line face of the library.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "common.h"

namespace tool {

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

}  // namespace tool

namespace {

const char kUsage[] =
    "usage: tintwell COMMAND [arguments]    (tintwell COMMAND --help for more)\n"
    "\n"
    "Colour management with ICC version 2 profiles.\n"
    "\n"
    "commands:\n"
    "  info PROFILE...                 header, tag table and transform directions\n"
    "  colour PROFILE... [COLOUR...]   convert single colours through a chain\n"
    "  image IN OUT --profiles P...    convert a PNG, TIFF or JPEG image\n"
    "  proof IN OUT --printer P        soft proof: how a printer renders the image\n"
    "  link PROFILE... -o LINK.icc     write a chain as a device-link profile\n"
    "  crd PROFILE [-o FILE]           PostScript colour rendering dictionary\n"
    "  chart OUT                       write an sRGB test chart (.png or .tif)\n"
    "  extract IMAGE -o FILE           write out an image's embedded profile\n"
    "  compare A B                     differences between two images\n"
    "\n"
    "Wherever a profile is named, builtin:srgb, builtin:lab (Lab identity) and\n"
    "builtin:gray (gamma 2.2) can stand in for a file.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad arguments.\n"
    "\n"
    "  --help      this text; 'tintwell COMMAND --help' for a command's options\n"
    "  --version   the version of the tool and the library\n";

struct Command {
    const char* name;
    int (*run)(int, char**);
};

const Command kCommands[] = {
    {"info", tool::CmdInfo},   {"colour", tool::CmdColour}, {"color", tool::CmdColour},
    {"image", tool::CmdImage}, {"proof", tool::CmdProof},   {"link", tool::CmdLink},
    {"crd", tool::CmdCrd},     {"chart", tool::CmdChart},   {"compare", tool::CmdCompare},
    {"extract", tool::CmdExtract},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return tool::kExitUsage;
    }
    if (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V")) {
        std::printf("tintwell %s\n", TNT_VERSION);
        return tool::kExitOk;
    }
    if (!std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        if (argc > 2 && std::strcmp(argv[1], "help") == 0) {
            for (const Command& c : kCommands)
                if (!std::strcmp(argv[2], c.name)) {
                    char help[] = "--help";
                    char* args[] = {help, nullptr};
                    return c.run(1, args);
                }
        }
        std::fputs(kUsage, stdout);
        return tool::kExitOk;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "tintwell: unknown command '%s' (see 'tintwell --help')\n", argv[1]);
    return tool::kExitUsage;
}
