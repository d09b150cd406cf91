// 'colour': single colours through a chain of profiles.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "common.h"

namespace tool {

namespace {

const char kColourHelp[] =
    "usage: tintwell colour PROFILE... [options] [COLOUR...]\n"
    "\n"
    "Converts colours through the chain of profiles (files or builtin:srgb,\n"
    "builtin:lab, builtin:gray), source first. Colours are arguments such as\n"
    "255,128,0 or, when none is given, lines of numbers on standard input\n"
    "(separated by spaces, tabs or commas; blank lines and lines starting with #\n"
    "are skipped). One line of output per colour.\n"
    "\n"
    "  --intent I        rendering intent: perceptual, relative, saturation or\n"
    "                    absolute (or 0 to 3; default: the profiles' own)\n"
    "  --from-space S    start the chain in S (Lab or XYZ: colours given in the\n"
    "                    connection space go into the first profile in reverse)\n"
    "  --to-space S      end the chain in S (Lab or XYZ after a device profile)\n"
    "  --in F, --out F   how colours are written: 'value' (default; the space's\n"
    "                    nominal range: RGB 0-255, CMYK and gray 0-100 percent,\n"
    "                    Lab L 0-100 and a, b -128-128, XYZ with white Y = 100),\n"
    "                    '8' (0-255 codes) or '16' (0-65535 codes of ICC's\n"
    "                    encodings)\n"
    "\n"
    "Example: tintwell colour builtin:srgb builtin:lab 255,0,0   gives   L a b\n"
    "Exit status: 0 all converted, 1 a profile or colour failed, 2 bad arguments.\n";

enum class Format { Value, Eight, Sixteen };

bool ParseFormat(const std::string& text, Format* f) {
    if (text == "value") *f = Format::Value;
    else if (text == "8") *f = Format::Eight;
    else if (text == "16") *f = Format::Sixteen;
    else return false;
    return true;
}

constexpr TntSignature kLab = TNT_SIG('L', 'a', 'b', ' ');

// The nominal range of a channel, the one ICC's 16-bit encodings span.
void Range(TntSignature space, int channel, double* low, double* high) {
    switch (space) {
        case kLab:
            *low = channel ? -128.0 : 0.0;
            *high = channel ? 127.99609375 : 100.390625;
            return;
        case TNT_SIG('X', 'Y', 'Z', ' '): *low = 0; *high = 199.997; return;
        case TNT_SIG('R', 'G', 'B', ' '): *low = 0; *high = 255; return;
        default: *low = 0; *high = 100; return;
    }
}

uint16_t Encode(double v, TntSignature space, int channel, Format f) {
    double code;
    if (f == Format::Sixteen) {
        code = v;
    } else if (f == Format::Eight) {
        code = v * (space == kLab ? 256.0 : 257.0);
    } else {
        double low, high;
        Range(space, channel, &low, &high);
        code = (v - low) * 65535.0 / (high - low);
    }
    code = std::round(code);
    return uint16_t(code < 0 ? 0 : code > 65535 ? 65535 : code);
}

std::string Decode(uint16_t code, TntSignature space, int channel, Format f) {
    char text[32];
    if (f == Format::Sixteen) {
        std::snprintf(text, sizeof text, "%u", code);
    } else if (f == Format::Eight) {
        unsigned v = space == kLab ? (code + 128u) >> 8 : (code + 128u) / 257u;
        std::snprintf(text, sizeof text, "%u", v > 255 ? 255 : v);
    } else {
        double low, high;
        Range(space, channel, &low, &high);
        std::snprintf(text, sizeof text, "%.2f", code / 65535.0 * (high - low) + low);
    }
    return text;
}

bool LooksLikeColour(const std::string& s) {
    bool digit = false;
    for (char c : s) {
        if (std::isdigit(static_cast<unsigned char>(c))) digit = true;
        else if (!std::strchr(".,+-eE \t", c)) return false;
    }
    return digit;
}

bool ParseNumbers(const std::string& line, std::vector<double>* out) {
    out->clear();
    const char* p = line.c_str();
    while (*p) {
        while (*p && std::strchr(" \t,\r\n", *p)) ++p;
        if (!*p) break;
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v)) return false;
        out->push_back(v);
        p = end;
    }
    return true;
}

}  // namespace

int CmdColour(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kColourHelp, stdout);
        return kExitOk;
    }
    std::vector<std::string> profiles, colours;
    long intent = -1;
    TntSignature fromSpace = 0, toSpace = 0;
    Format in = Format::Value, out = Format::Value;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--intent") {
            if (!hasValue || !ParseIntentNumber(argv[i + 1], &intent))
                return UsageError("colour", std::string("--intent needs ") + kIntentWords);
            ++i;
        } else if (arg == "--from-space" || arg == "--to-space") {
            TntSignature s = hasValue ? ParseSpace(argv[i + 1]) : 0;
            if (!s) return UsageError("colour", arg + " needs a space: Lab, XYZ, RGB, CMYK or gray");
            (arg == "--from-space" ? fromSpace : toSpace) = s;
            ++i;
        } else if (arg == "--in" || arg == "--out") {
            if (!hasValue || !ParseFormat(argv[i + 1], arg == "--in" ? &in : &out))
                return UsageError("colour", arg + " needs value, 8 or 16");
            ++i;
        } else if (LooksLikeColour(arg) && (arg[0] != '-' || arg.size() > 1)) {
            colours.push_back(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("colour", "unknown option " + arg);
        } else {
            profiles.push_back(arg);
        }
    }
    if (profiles.empty()) return UsageError("colour", "needs at least one profile");

    std::vector<ProfileSource> sources(profiles.size());
    std::vector<ProfileLocation> locations(profiles.size());
    for (size_t i = 0; i < profiles.size(); ++i) {
        if (!ResolveProfile(profiles[i], &sources[i])) return kExitFailure;
        LocationOf(sources[i], &locations[i]);
    }
    std::vector<uint16_t> intents(profiles.size() + 1, uint16_t(intent));
    MatchTransform* t = TntNewTransformPtr();
    if (!t) {
        Fail("colour", "out of memory");
        return kExitFailure;
    }
    TntStatus st = TntConcatProfiles(t, fromSpace, toSpace, int16_t(locations.size()), locations.data(),
                                     intent >= 0 ? intents.data() : nullptr);
    if (st) {
        std::string names;
        for (const std::string& n : profiles) names += (names.empty() ? "" : " -> ") + n;
        FailStatus(names, "cannot chain the profiles", st);
        TntDisposeMatchTransform(t);
        return kExitFailure;
    }
    const TntSignature src = TntTransGetSrcSpace(t), dst = TntTransGetDstSpace(t);
    const int inChannels = SpaceChannels(src), outChannels = SpaceChannels(dst);
    if (inChannels == 0 || outChannels == 0 || inChannels > 8 || outChannels > 8) {
        Fail("colour", "the chain joins " + SigText(src) + " and " + SigText(dst) + ", which this command cannot show");
        TntDisposeMatchTransform(t);
        return kExitFailure;
    }

    int rc = kExitOk;
    auto convert = [&](const std::string& text, const std::string& where) {
        std::vector<double> values;
        if (!ParseNumbers(text, &values) || int(values.size()) != inChannels) {
            Fail(where, "expected " + std::to_string(inChannels) + " numbers for " + SigText(src) + ", got '" + text +
                            "'");
            rc = kExitFailure;
            return;
        }
        uint16_t source[16] = {}, result[16] = {};
        for (int c = 0; c < inChannels; ++c) source[c] = Encode(values[size_t(c)], src, c, in);
        TntStatus r = TntICCSingleMatchProc(source, result, t, 2);
        if (r) {
            FailStatus(where, "cannot convert '" + text + "'", r);
            rc = kExitFailure;
            return;
        }
        std::string line;
        for (int c = 0; c < outChannels; ++c) line += (c ? " " : "") + Decode(result[c], dst, c, out);
        std::printf("%s\n", line.c_str());
    };
    if (!colours.empty()) {
        for (const std::string& c : colours) convert(c, "colour");
    } else {
        char buffer[1024];
        int lineNumber = 0;
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            ++lineNumber;
            std::string line = buffer;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#') continue;
            convert(line, "line " + std::to_string(lineNumber));
        }
    }
    TntDisposeMatchTransform(t);
    return rc;
}

}  // namespace tool
