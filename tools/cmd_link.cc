// 'link': a chain written as an ICC device-link profile; 'crd': a
// PostScript colour rendering dictionary for an output profile.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "common.h"
#include "link_writer.h"

namespace tool {

namespace {

const char kLinkHelp[] =
    "usage: tintwell link PROFILE... -o LINK.icc [--intent I[,I...]] [--16] [--grid Q]\n"
    "\n"
    "Samples the chain of profiles (source first; files or builtin:srgb,\n"
    "builtin:lab, builtin:gray) into a device link and writes it as an ICC\n"
    "version 2 device-link profile: class 'link', data space the chain's source,\n"
    "connection field its destination, one 16-bit 'mft2' table (A2B0) with the\n"
    "link's input curves, grid and output curves, and 'desc', 'cprt' and 'pseq'\n"
    "(the profiles it was made from). Other colour software can then apply it.\n"
    "\n"
    "  -o FILE      where to write the profile (required)\n"
    "  --intent I[,I...]  rendering intent: perceptual, relative, saturation or\n"
    "               absolute (or 0 to 3), for every step or one per step\n"
    "               (default: the profiles' own)\n"
    "  --16         4096-entry input curves, for 16-bit images (default: 256\n"
    "               entries, exact at every 8-bit code)\n"
    "  --grid Q     grid quality 0-7 (0: default, 33 points for RGB, 17 for CMYK)\n"
    "\n"
    "Exit status: 0 written, 1 failed (nothing is left at FILE), 2 bad arguments.\n";

const char kCrdHelp[] =
    "usage: tintwell crd PROFILE [--intent I] [-o FILE]\n"
    "\n"
    "Writes a PostScript colour rendering dictionary (type 1) for an RGB or CMYK\n"
    "output profile, to FILE or to standard output. A PostScript printer or\n"
    "interpreter uses it to turn CIE-based colours into the device's colours.\n"
    "\n"
    "  --intent I   perceptual (default), relative, saturation or absolute\n"
    "               (or 0 to 3)\n"
    "  -o FILE      write to FILE instead of standard output\n"
    "\n"
    "Exit status: 0 written, 1 failed (nothing is left at FILE), 2 bad arguments.\n";

TntStatus TNT_CALL AppendText(uintptr_t user, const char* text) {
    reinterpret_cast<std::string*>(user)->append(text);
    return TNT_OK;
}

}  // namespace

int CmdLink(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kLinkHelp, stdout);
        return kExitOk;
    }
    LinkProfileRequest request;
    std::vector<std::string> profiles;
    std::string output;
    long grid = 0;
    std::vector<uint16_t> intents;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) return UsageError("link", "-o needs a file name");
            output = argv[++i];
        } else if (arg == "--16") {
            request.sixteen = true;
        } else if (arg == "--grid") {
            if (i + 1 >= argc || !ParseInt(argv[i + 1], 0, 7, &grid))
                return UsageError("link", "--grid needs a number from 0 to 7");
            ++i;
        } else if (arg == "--intent") {
            if (i + 1 >= argc || !ParseIntentList(argv[i + 1], &intents))
                return UsageError("link", std::string("--intent needs ") + kIntentWords + ", or a list of them");
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("link", "unknown option " + arg);
        } else {
            profiles.push_back(arg);
        }
    }
    if (profiles.empty()) return UsageError("link", "needs at least one profile");
    if (output.empty()) return UsageError("link", "needs -o FILE");
    for (const std::string& name : profiles) {
        ProfileSource s;
        if (!ResolveProfile(name, &s)) return kExitFailure;
        request.chain.push_back(s);
    }
    // One intent for every step, or one per step (the last profile's entry
    // is never read).
    if (intents.size() == 1) intents.assign(profiles.size(), intents[0]);
    if (!intents.empty() && intents.size() + 1 != profiles.size() && intents.size() != profiles.size())
        return UsageError("link", "--intent needs one intent, or one per step of the chain");
    intents.resize(intents.empty() ? 0 : profiles.size(), intents.empty() ? 0 : intents.back());
    request.intents = intents;
    request.gridQuality = int(grid);
    Bytes bytes;
    if (!BuildLinkProfile(request, output, &bytes)) return kExitFailure;
    return WriteWholeFile(output, bytes.data(), bytes.size()) ? kExitOk : kExitFailure;
}

int CmdCrd(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kCrdHelp, stdout);
        return kExitOk;
    }
    std::string profile, output;
    long intent = 0;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) return UsageError("crd", "-o needs a file name");
            output = argv[++i];
        } else if (arg == "--intent") {
            if (i + 1 >= argc || !ParseIntentNumber(argv[i + 1], &intent))
                return UsageError("crd", std::string("--intent needs ") + kIntentWords);
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("crd", "unknown option " + arg);
        } else if (profile.empty()) {
            profile = arg;
        } else {
            return UsageError("crd", "takes one profile");
        }
    }
    if (profile.empty()) return UsageError("crd", "needs a profile");
    ProfileSource source;
    if (!ResolveProfile(profile, &source)) return kExitFailure;
    Profile* p = OpenSource(source);
    if (!p) return kExitFailure;
    std::string text;
    TntStatus st = TntSaveCRD(p, uint32_t(intent), AppendText, reinterpret_cast<uintptr_t>(&text));
    TntCloseProfile(p);
    if (st) {
        FailStatus(profile, "cannot write a colour rendering dictionary", st);
        return kExitFailure;
    }
    if (output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }
    return WriteWholeFile(output, text.data(), text.size()) ? kExitOk : kExitFailure;
}

}  // namespace tool
