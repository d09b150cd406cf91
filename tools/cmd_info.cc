// 'info': a profile's header in words, its tag table as stored with each
// tag's contents in brief, and how the library classifies it in each
// direction and intent; with --tag, one tag's contents in full.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "common.h"
#include "tag_description.h"

namespace tool {

namespace {

const char kInfoHelp[] =
    "usage: tintwell info [--json] [--tag SIG] PROFILE...\n"
    "\n"
    "Prints, for each profile (a file or builtin:srgb, builtin:lab, builtin:gray):\n"
    "  - the header in words: class, data colour space, connection space, version,\n"
    "    rendering intent, creator, creation date, description and copyright\n"
    "    (from 'desc'/'cprt' of type 'desc', 'text' or 'mluc', in American English\n"
    "    where a 'mluc' has it);\n"
    "  - the tag table as stored: signature, type, offset, size, which tags\n"
    "    share their data with an earlier one, and the contents in brief (tone\n"
    "    curves with their 'para' function and parameters, tables with their\n"
    "    elements, text, XYZ numbers, the 'chad' matrix);\n"
    "  - how the profile works as a transform, tried for each direction (forward:\n"
    "    device to connection space; reverse: connection space to device) and each\n"
    "    rendering intent, with the spaces it joins or the reason it cannot.\n"
    "\n"
    "  --json      the same as one JSON array, for programs\n"
    "  --tag SIG   only the tag SIG (such as rTRC, A2B0, desc, chad), its contents\n"
    "              in full: curve functions, table elements with their offsets,\n"
    "              every text of a 'mluc', matrices\n"
    "\n"
    "Exit status: 0 every profile read, 1 some could not be read, 2 bad arguments.\n";

uint32_t Big32(const Bytes& b, size_t o) {
    return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | b[o + 3];
}

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

struct TagRow {
    TntSignature signature = 0, type = 0;
    uint32_t offset = 0, size = 0;
    std::string sharesWith;
    std::string contents;
};

struct Attempt {
    const char* direction;
    uint16_t intent;
    TntStatus status;
    TntSignature from, to;
};

bool HasTag(Profile* p, TntSignature tag) {
    uint32_t exists = 0;
    return TntProfileElementExists(p, tag, &exists) == TNT_OK && exists;
}

// How the profile runs one way, in words, judged from its class and tags
// the way ICC v2 profiles are meant to be read.
const char* Mechanism(Profile* p, const ProfileHeader& h, bool forward) {
    if (h.deviceClass == TNT_SIG('l', 'i', 'n', 'k')) return "device link table";
    if (h.colorSpace == TNT_SIG('G', 'R', 'A', 'Y')) return "gray tone curve";
    if (HasTag(p, forward ? TNT_SIG('A', '2', 'B', '0') : TNT_SIG('B', '2', 'A', '0'))) return "lookup table";
    if (HasTag(p, TNT_SIG('r', 'X', 'Y', 'Z'))) return "matrix and tone curves";
    return "lookup table";
}

std::vector<Attempt> Classify(Profile* p, const ProfileHeader& h) {
    std::vector<Attempt> out;
    // A device link runs one way only.
    const int directions = h.deviceClass == TNT_SIG('l', 'i', 'n', 'k') ? 1 : 2;
    for (int reverse = 0; reverse < directions; ++reverse) {
        for (uint16_t intent = 0; intent < 4; ++intent) {
            MatchTransform* t = TntNewTransformPtr();
            Attempt a{reverse ? "reverse" : "forward", intent, TNT_ERR_NO_MEMORY, 0, 0};
            if (t) {
                const uint16_t intents[2] = {intent, intent};
                // Reverse: the chain starts in the connection space, which
                // makes the profile the destination.
                TntSignature start = reverse ? h.pcs : 0;
                a.status = TntConcatProfileRefs(t, start, 0, 1, &p, intents);
                if (!a.status) {
                    a.from = TntTransGetSrcSpace(t);
                    a.to = TntTransGetDstSpace(t);
                }
                TntDisposeMatchTransform(t);
            }
            out.push_back(a);
        }
    }
    return out;
}

bool ReadTable(Profile* p, const Bytes& bytes, std::vector<TagRow>* rows) {
    if (bytes.size() < 132) return false;
    uint32_t count = Big32(bytes, 128);
    if (count > 100 || 132 + size_t(count) * 12 > bytes.size()) return false;
    for (uint32_t i = 0; i < count; ++i) {
        TagRow r;
        size_t at = 132 + size_t(i) * 12;
        r.signature = Big32(bytes, at);
        r.offset = Big32(bytes, at + 4);
        r.size = Big32(bytes, at + 8);
        if (r.size >= 4 && size_t(r.offset) + 4 <= bytes.size()) r.type = Big32(bytes, r.offset);
        for (const TagRow& earlier : *rows)
            if (earlier.offset == r.offset && earlier.size == r.size) {
                r.sharesWith = SigTrimmed(earlier.signature);
                break;
            }
        r.contents = TagSummary(p, r.signature);
        rows->push_back(r);
    }
    return true;
}

std::string Version(uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 20) & 0xF) + "." + std::to_string((v >> 16) & 0xF);
}

std::string Date(const ProfileHeader& h) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", h.date[0], h.date[1], h.date[2], h.date[3],
                  h.date[4], h.date[5]);
    return text;
}

void PrintText(const std::string& name, Profile* p, const ProfileHeader& h, const std::vector<TagRow>& rows,
               const std::vector<Attempt>& attempts) {
    std::printf("%s\n", name.c_str());
    std::printf("  class           %s (%s)\n", SigText(h.deviceClass).c_str(), ClassWords(h.deviceClass));
    std::printf("  colour space    %s\n", SigText(h.colorSpace).c_str());
    std::printf("  connection      %s\n", SigText(h.pcs).c_str());
    std::printf("  version         %s\n", Version(h.version).c_str());
    std::printf("  intent          %u (%s)\n", h.renderingIntent, IntentWords(h.renderingIntent));
    std::printf("  creator         %s\n", SigText(h.creator).c_str());
    std::printf("  created         %s\n", Date(h).c_str());
    std::printf("  size            %u bytes\n", h.size);
    std::string desc = TagText(p, TNT_SIG('d', 'e', 's', 'c')), cprt = TagText(p, TNT_SIG('c', 'p', 'r', 't'));
    if (!desc.empty()) std::printf("  description     %s\n", desc.c_str());
    if (!cprt.empty()) std::printf("  copyright       %s\n", cprt.c_str());
    std::printf("  tags            %zu\n", rows.size());
    std::printf("    %-6s  %-6s  %10s  %10s  %-6s  %s\n", "tag", "type", "offset", "size", "shares", "contents");
    for (const TagRow& r : rows)
        std::printf("    %s  %s  %10u  %10u  %-6s  %s\n", SigText(r.signature).c_str(), SigText(r.type).c_str(), r.offset,
                    r.size, r.sharesWith.c_str(), r.contents.c_str());
    std::printf("  as a transform\n");
    for (const Attempt& a : attempts) {
        std::printf("    %-8s %-22s ", a.direction, IntentWords(a.intent));
        if (a.status)
            std::printf("cannot: status %u (%s)\n", a.status, StatusWords(a.status));
        else
            std::printf("%s -> %s, %s\n", SigText(a.from).c_str(), SigText(a.to).c_str(),
                        Mechanism(p, h, a.direction[0] == 'f'));
    }
}

void PrintJson(const std::string& name, Profile* p, const ProfileHeader& h, const std::vector<TagRow>& rows,
               const std::vector<Attempt>& attempts, bool first) {
    std::printf("%s\n  {\"file\": %s,\n", first ? "" : ",", JsonText(name).c_str());
    std::printf("   \"class\": %s, \"classWords\": %s, \"colourSpace\": %s, \"connectionSpace\": %s,\n",
                JsonText(SigTrimmed(h.deviceClass)).c_str(), JsonText(ClassWords(h.deviceClass)).c_str(),
                JsonText(SigTrimmed(h.colorSpace)).c_str(), JsonText(SigTrimmed(h.pcs)).c_str());
    std::printf("   \"version\": %s, \"intent\": %u, \"creator\": %s, \"created\": %s, \"size\": %u,\n",
                JsonText(Version(h.version)).c_str(), h.renderingIntent, JsonText(SigTrimmed(h.creator)).c_str(),
                JsonText(Date(h)).c_str(), h.size);
    std::printf("   \"description\": %s, \"copyright\": %s,\n",
                JsonText(TagText(p, TNT_SIG('d', 'e', 's', 'c'))).c_str(),
                JsonText(TagText(p, TNT_SIG('c', 'p', 'r', 't'))).c_str());
    std::printf("   \"tags\": [");
    for (size_t i = 0; i < rows.size(); ++i) {
        const TagRow& r = rows[i];
        std::printf("%s\n     {\"signature\": %s, \"type\": %s, \"offset\": %u, \"size\": %u, \"sharesWith\": %s, "
                    "\"contents\": %s}",
                    i ? "," : "", JsonText(SigTrimmed(r.signature)).c_str(), JsonText(SigTrimmed(r.type)).c_str(),
                    r.offset, r.size, r.sharesWith.empty() ? "null" : JsonText(r.sharesWith).c_str(),
                    JsonText(r.contents).c_str());
    }
    std::printf("],\n   \"transforms\": [");
    for (size_t i = 0; i < attempts.size(); ++i) {
        const Attempt& a = attempts[i];
        std::printf("%s\n     {\"direction\": \"%s\", \"intent\": %u, \"status\": %u", i ? "," : "", a.direction,
                    a.intent, a.status);
        if (a.status)
            std::printf(", \"error\": %s}", JsonText(StatusWords(a.status)).c_str());
        else
            std::printf(", \"from\": %s, \"to\": %s, \"mechanism\": %s}", JsonText(SigTrimmed(a.from)).c_str(),
                        JsonText(SigTrimmed(a.to)).c_str(),
                        JsonText(Mechanism(p, h, a.direction[0] == 'f')).c_str());
    }
    std::printf("]}");
}

// One tag in full; false when the profile has no such tag.
bool PrintTag(const std::string& name, Profile* p, TntSignature tag, bool json, bool first) {
    uint32_t exists = 0;
    TntProfileElementExists(p, tag, &exists);
    std::vector<std::string> lines;
    if (exists) {
        lines = TagDetails(p, tag);
    } else {
        Fail(name, "no tag " + SigText(tag));
    }
    if (!json) {
        std::printf("%s\n", name.c_str());
        for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
        return exists != 0;
    }
    std::printf("%s\n  {\"file\": %s, \"tag\": %s, \"contents\": [", first ? "" : ",", JsonText(name).c_str(),
                JsonText(SigTrimmed(tag)).c_str());
    for (size_t i = 0; i < lines.size(); ++i) std::printf("%s%s", i ? ", " : "", JsonText(lines[i]).c_str());
    std::printf("]}");
    return exists != 0;
}

}  // namespace

int CmdInfo(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kInfoHelp, stdout);
        return kExitOk;
    }
    bool json = false;
    TntSignature tag = 0;
    std::vector<std::string> names;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--tag") {
            const std::string value = i + 1 < argc ? argv[++i] : "";
            if (value.empty() || value.size() > 4) return UsageError("info", "--tag needs a signature of 1 to 4 characters");
            // Short signatures are padded with spaces, as ICC pads them.
            const std::string padded = (value + "    ").substr(0, 4);
            tag = TNT_SIG(padded[0], padded[1], padded[2], padded[3]);
        } else if (arg.size() > 1 && arg[0] == '-')
            return UsageError("info", "unknown option " + arg);
        else
            names.push_back(arg);
    }
    if (names.empty()) return UsageError("info", "needs at least one profile");
    int rc = kExitOk;
    bool first = true;
    if (json) std::printf("[");
    for (const std::string& name : names) {
        ProfileSource source;
        Bytes bytes;
        if (!ResolveProfile(name, &source) || !SourceBytes(source, &bytes)) {
            rc = kExitFailure;
            continue;
        }
        Profile* p = OpenSource(source);
        if (!p) {
            rc = kExitFailure;
            continue;
        }
        if (tag) {
            rc = PrintTag(name, p, tag, json, first) ? rc : kExitFailure;
            first = false;
            TntCloseProfile(p);
            continue;
        }
        ProfileHeader h;
        TntGetProfileHeader(p, &h);
        std::vector<TagRow> rows;
        ReadTable(p, bytes, &rows);
        std::vector<Attempt> attempts = Classify(p, h);
        if (json)
            PrintJson(name, p, h, rows, attempts, first);
        else
            PrintText(name, p, h, rows, attempts);
        first = false;
        TntCloseProfile(p);
    }
    if (json) std::printf("\n]\n");
    std::fflush(stdout);
    return rc;
}

}  // namespace tool
