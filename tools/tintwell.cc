// tintwell: the command-line face of the library. Built on the public
// interface only.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tintwell.h"

namespace {

std::string SigText(uint32_t s) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((s >> shift) & 0xFF);
        out += (c >= 32 && c < 127) ? c : '?';
    }
    return out;
}

const char* ClassName(uint32_t c) {
    switch (c) {
        case TNT_SIG('s', 'c', 'n', 'r'): return "input";
        case TNT_SIG('m', 'n', 't', 'r'): return "display";
        case TNT_SIG('p', 'r', 't', 'r'): return "output";
        case TNT_SIG('l', 'i', 'n', 'k'): return "device link";
        case TNT_SIG('s', 'p', 'a', 'c'): return "colour space";
        case TNT_SIG('a', 'b', 's', 't'): return "abstract";
        case TNT_SIG('n', 'm', 'c', 'l'): return "named colour";
        default: return "unknown";
    }
}

const char* IntentName(uint32_t intent) {
    switch (intent & 0xFFFF) {
        case 0: return "perceptual";
        case 1: return "relative colorimetric";
        case 2: return "saturation";
        case 3: return "absolute colorimetric";
        default: return "unknown";
    }
}

const char* StatusText(TntStatus st) {
    switch (st) {
        case TNT_ERR_CANNOT_OPEN_PROFILE: return "cannot open the profile";
        case TNT_ERR_PROFILE_TOO_SHORT: return "file too short to be a profile";
        case TNT_ERR_PROFILE_SIZE: return "header size larger than the file";
        case TNT_ERR_NOT_ICC: return "not an ICC profile (no 'acsp')";
        case TNT_ERR_SHORT_READ: return "the data ends early";
        case TNT_ERR_NO_MEMORY: return "out of memory, or more than 100 tags";
        case TNT_ERR_TAG_NOT_FOUND: return "tag missing or unreadable";
        default: return "failed";
    }
}

uint32_t Big32(const std::vector<uint8_t>& b, size_t o) {
    return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | b[o + 3];
}

int Info(const char* path) {
    ProfileLocation loc;
    std::memset(&loc, 0, sizeof loc);
    if (std::strlen(path) >= sizeof loc.path) {
        std::fprintf(stderr, "tintwell: %s: path too long\n", path);
        return 1;
    }
    std::strcpy(loc.path, path);
    Profile* p = nullptr;
    TntStatus st = TntOpenProfile(&p, &loc);
    if (st) {
        std::fprintf(stderr, "tintwell: %s: %s (status %u)\n", path, StatusText(st), st);
        return 1;
    }
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    std::printf("%s\n", path);
    std::printf("  size            %u bytes\n", h.size);
    std::printf("  version         %u.%u.%u\n", h.version >> 24, (h.version >> 20) & 0xF, (h.version >> 16) & 0xF);
    std::printf("  class           '%s' (%s)\n", SigText(h.deviceClass).c_str(), ClassName(h.deviceClass));
    std::printf("  colour space    '%s'\n", SigText(h.colorSpace).c_str());
    std::printf("  connection      '%s'\n", SigText(h.pcs).c_str());
    std::printf("  intent          %u (%s)\n", h.renderingIntent, IntentName(h.renderingIntent));
    std::printf("  creator         '%s'\n", SigText(h.creator).c_str());
    std::printf("  created         %04u-%02u-%02u %02u:%02u:%02u\n", h.date[0], h.date[1], h.date[2], h.date[3],
                h.date[4], h.date[5]);

    // The interface names tags by signature; the directory's order and
    // offsets come from the file itself.
    std::vector<uint8_t> table;
    if (FILE* f = std::fopen(path, "rb")) {
        uint8_t count[4];
        if (std::fseek(f, 128, SEEK_SET) == 0 && std::fread(count, 1, 4, f) == 4) {
            uint32_t n = (uint32_t(count[0]) << 24) | (uint32_t(count[1]) << 16) | (uint32_t(count[2]) << 8) | count[3];
            if (n <= 100) {
                table.resize(12 * n);
                if (std::fread(table.data(), 1, table.size(), f) != table.size()) table.clear();
            }
        }
        std::fclose(f);
    }
    uint32_t tags = 0;
    TntCountProfileElements(p, &tags);
    std::printf("  tags            %u\n", tags);
    std::printf("    %-6s  %-6s  %10s  %10s  %s\n", "tag", "type", "offset", "size", "shares data with");
    std::vector<void*> blocks;
    for (size_t i = 0; i + 12 <= table.size(); i += 12) {
        uint32_t sig = Big32(table, i);
        void* data = TntProfileGetTagDataPtr(p, sig);
        uint32_t type = 0, four = 4;
        std::string typeText = TntGetPartialProfileElement(p, sig, 0, &four, &type) ? "-" : SigText(type);
        std::string shares;
        for (size_t j = 0; j < blocks.size(); ++j)
            if (data && blocks[j] == data) shares += (shares.empty() ? "" : ", ") + SigText(Big32(table, 12 * j));
        blocks.push_back(data);
        std::printf("    '%s'  '%s'  %10u  %10u  %s\n", SigText(sig).c_str(), typeText.c_str(), Big32(table, i + 4),
                    Big32(table, i + 8), shares.c_str());
    }
    TntCloseProfile(p);
    return 0;
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: tintwell <command> [arguments]\n"
                 "\n"
                 "commands:\n"
                 "  info PROFILE...   header fields and tag table of ICC profiles\n"
                 "  help              this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help")) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "info")) {
        if (argc < 3 || !std::strcmp(argv[2], "--help")) {
            std::fprintf(argc < 3 ? stderr : stdout, "usage: tintwell info PROFILE...\n");
            return argc < 3 ? 2 : 0;
        }
        int rc = 0;
        for (int i = 2; i < argc; ++i) rc |= Info(argv[i]);
        return rc;
    }
    std::fprintf(stderr, "tintwell: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
