#include "common.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include "builtin_profiles.h"

namespace tool {

void Fail(const std::string& subject, const std::string& message) {
    if (subject.empty())
        std::fprintf(stderr, "tintwell: %s\n", message.c_str());
    else
        std::fprintf(stderr, "tintwell: %s: %s\n", subject.c_str(), message.c_str());
}

void FailStatus(const std::string& subject, const std::string& what, TntStatus status) {
    Fail(subject, what + " (status " + std::to_string(status) + ": " + StatusWords(status) + ")");
}

void Warn(const std::string& subject, const std::string& message) {
    std::fprintf(stderr, "tintwell: warning: %s%s%s\n", subject.c_str(), subject.empty() ? "" : ": ", message.c_str());
}

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "tintwell %s: %s (see 'tintwell %s --help')\n", command, message.c_str(), command);
    return kExitUsage;
}

const char* StatusWords(TntStatus status) {
    switch (status) {
        case TNT_OK: return "success";
        case TNT_ERR_NULL_ARGUMENT: return "a required argument is missing";
        case TNT_ERR_SEEK: return "a file seek failed";
        case TNT_ERR_SHORT_READ: return "the data ends early";
        case TNT_ERR_SHORT_WRITE: return "a write failed or does not fit";
        case TNT_ERR_SIZE_QUERY: return "the file size cannot be read";
        case TNT_ERR_CANNOT_OPEN_PROFILE: return "cannot open the profile";
        case TNT_ERR_TAG_NOT_FOUND: return "a tag is missing or unreadable";
        case TNT_ERR_GRAY_PCS: return "gray profile with a connection space other than Lab or XYZ";
        case TNT_ERR_PROFILE_CLASS: return "profile class not supported";
        case TNT_ERR_PROFILE_TOO_SHORT: return "too short to be an ICC profile";
        case TNT_ERR_PROFILE_SIZE: return "the header's size is larger than the data";
        case TNT_ERR_NOT_ICC: return "not an ICC profile (no 'acsp' signature)";
        case TNT_ERR_PROFILE_VERSION: return "profile version 5 or later is not supported";
        case TNT_ERR_TAG_RANGE: return "a tag is shorter than its contents say";
        case TNT_ERR_PCS_INPUT:
        case TNT_ERR_PCS_DISPLAY:
        case TNT_ERR_PCS_OUTPUT:
        case TNT_ERR_PCS_COLORSPACE:
        case TNT_ERR_PCS_ABSTRACT: return "connection space is neither XYZ nor Lab";
        case TNT_ERR_SPACE_INPUT:
        case TNT_ERR_SPACE_DISPLAY: return "data colour space not supported for this class";
        case TNT_ERR_ABSTRACT_DEVICE: return "abstract profile with a device colour space";
        case TNT_ERR_TAG_MISSING_INPUT:
        case TNT_ERR_TAG_MISSING_DISPLAY:
        case TNT_ERR_TAG_MISSING_OUTPUT:
        case TNT_ERR_TAG_MISSING_COLORSPACE:
        case TNT_ERR_TAG_MISSING_ABSTRACT:
        case TNT_ERR_TAG_MISSING_LINK: return "a required tag is missing";
        case TNT_ERR_CANNOT_SAVE: return "the profile cannot be saved";
        case TNT_ERR_STAGE_KIND: return "unknown stage kind";
        case TNT_ERR_CHAIN_MISMATCH: return "colour spaces of the chain do not match, or a profile cannot run that way";
        case TNT_ERR_TOO_MANY_STAGES: return "the chain needs more than ten stages";
        case TNT_ERR_OUTPUT_CURVES: return "output curves for another channel count";
        case TNT_ERR_PLANAR_NOT_8BIT: return "planar conversion needs an 8-bit link";
        case TNT_ERR_UNKNOWN_INTENT: return "rendering intent unknown to the profile's tables";
        case TNT_ERR_SPOT_NOT_FOUND: return "spot colour not found";
        case TNT_ERR_NULL_PARAMETER: return "a required parameter is missing or unknown";
        case TNT_ERR_SPOT_UNAVAILABLE: return "spot colours not available";
        case TNT_ERR_WHITE_POINT: return "white point too dark";
        case TNT_ERR_SINGULAR_MATRIX: return "colorant matrix is singular";
        case TNT_ERR_CANNOT_OPEN_STREAM: return "cannot open the file";
        case TNT_ERR_STREAM_MODE: return "memory stream mode forbids the access";
        case TNT_ERR_UNSUPPORTED_SPACE: return "colour space not supported here, or destination cannot be reached";
        case TNT_ERR_NO_MEMORY: return "out of memory, or too many tags";
        default: return "failed";
    }
}

std::string SigText(TntSignature s) {
    std::string out = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((s >> shift) & 0xFF);
        out += (c >= 32 && c < 127) ? c : '?';
    }
    return out + "'";
}

std::string SigTrimmed(TntSignature s) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((s >> shift) & 0xFF);
        out += (c >= 32 && c < 127) ? c : '?';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

const char* ClassWords(TntSignature c) {
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

const char* IntentWords(uint32_t intent) {
    switch (intent) {
        case 0: return "perceptual";
        case 1: return "relative colorimetric";
        case 2: return "saturation";
        case 3: return "absolute colorimetric";
        default: return "unknown";
    }
}

TntSignature ParseSpace(const std::string& text) {
    std::string t;
    for (char c : text) t += char(std::tolower(static_cast<unsigned char>(c)));
    if (t == "lab") return TNT_SIG('L', 'a', 'b', ' ');
    if (t == "xyz") return TNT_SIG('X', 'Y', 'Z', ' ');
    if (t == "rgb") return TNT_SIG('R', 'G', 'B', ' ');
    if (t == "cmyk") return TNT_SIG('C', 'M', 'Y', 'K');
    if (t == "gray" || t == "grey") return TNT_SIG('G', 'R', 'A', 'Y');
    if (t == "cmy") return TNT_SIG('C', 'M', 'Y', ' ');
    return 0;
}

int SpaceChannels(TntSignature space) {
    switch (space) {
        case TNT_SIG('G', 'R', 'A', 'Y'): return 1;
        case TNT_SIG('C', 'M', 'Y', 'K'): return 4;
        case TNT_SIG('R', 'G', 'B', ' '):
        case TNT_SIG('L', 'a', 'b', ' '):
        case TNT_SIG('X', 'Y', 'Z', ' '):
        case TNT_SIG('C', 'M', 'Y', ' '): return 3;
        default: break;
    }
    // 'nCLR' colour families.
    char first = char(space >> 24);
    if ((space & 0xFFFFFF) == TNT_SIG(0, 'C', 'L', 'R')) {
        if (first >= '2' && first <= '9') return first - '0';
        if (first >= 'A' && first <= 'F') return first - 'A' + 10;
    }
    return 0;
}

bool ResolveProfile(const std::string& name, ProfileSource* out) {
    out->name = name;
    out->path.clear();
    out->bytes.clear();
    if (name.rfind("builtin:", 0) == 0) {
        if (!BuiltinProfile(name.substr(8), &out->bytes)) {
            Fail(name, std::string("no such built-in profile (known: ") + BuiltinNames() + ")");
            return false;
        }
        return true;
    }
    if (name.size() >= sizeof(ProfileLocation::path)) {
        Fail(name, "path longer than 1023 bytes");
        return false;
    }
    if (access(name.c_str(), R_OK) != 0) {
        Fail(name, std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    out->path = name;
    return true;
}

void LocationOf(ProfileSource& source, ProfileLocation* location) {
    std::memset(location, 0, sizeof *location);
    if (!source.path.empty())
        std::memcpy(location->path, source.path.c_str(), source.path.size() + 1);
    else
        TntMakeMemFile(location, source.bytes.data(), uint32_t(source.bytes.size()));
}

Profile* OpenSource(ProfileSource& source) {
    ProfileLocation where;
    LocationOf(source, &where);
    Profile* p = nullptr;
    TntStatus st = TntOpenProfile(&p, &where);
    if (st) {
        FailStatus(source.name, "cannot read the profile", st);
        return nullptr;
    }
    return p;
}

bool SourceBytes(const ProfileSource& source, Bytes* out) {
    if (source.path.empty()) {
        *out = source.bytes;
        return true;
    }
    std::string error;
    if (!ReadWholeFile(source.path, out, &error)) {
        Fail(source.path, error);
        return false;
    }
    return true;
}

const char kIntentWords[] = "perceptual, relative, saturation, absolute (or 0 to 3)";

bool ParseIntent(const std::string& text, uint16_t* intent) {
    static const char* const kNames[4] = {"perceptual", "relative", "saturation", "absolute"};
    for (uint16_t i = 0; i < 4; ++i)
        if (text == kNames[i] || text == std::to_string(i) ||
            ((i == 1 || i == 3) && text == std::string(kNames[i]) + "-colorimetric")) {
            *intent = i;
            return true;
        }
    return false;
}

bool ParseIntentNumber(const std::string& text, long* intent) {
    uint16_t value;
    if (!ParseIntent(text, &value)) return false;
    *intent = value;
    return true;
}

bool ParseIntentList(const std::string& text, std::vector<uint16_t>* intents) {
    intents->clear();
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        uint16_t intent;
        if (!ParseIntent(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), &intent))
            return false;
        intents->push_back(intent);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool ParseInt(const std::string& text, long low, long high, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < low || v > high) return false;
    *value = v;
    return true;
}

std::string TempNameFor(const std::string& path) {
    // Same folder, so the rename cannot cross file systems.
    std::string dir = ".", base = path;
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        dir = path.substr(0, slash == 0 ? 1 : slash);
        base = path.substr(slash + 1);
    }
    return dir + "/." + base + ".tintwell-" + std::to_string(getpid()) + ".tmp";
}

namespace {

// The temporary file a signal must not leave behind. The handler only
// reads these, with async-signal-safe calls.
char gPending[4096];
volatile std::sig_atomic_t gArmed = 0;

void OnSignal(int signal) {
    if (gArmed) unlink(gPending);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void ArmCleanup(const std::string& temp) {
    static bool installed = false;
    if (!installed) {
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
        installed = true;
    }
    gArmed = 0;
    std::snprintf(gPending, sizeof gPending, "%s", temp.c_str());
    gArmed = 1;
}

void DisarmCleanup() { gArmed = 0; }

bool CommitTemp(const std::string& temp, const std::string& path) {
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        Fail(path, std::string("cannot write: ") + std::strerror(errno));
        std::remove(temp.c_str());
        DisarmCleanup();
        return false;
    }
    DisarmCleanup();
    return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    if (path == "-") {
        if (std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0) return true;
        Fail("standard output", std::string("cannot write: ") + std::strerror(errno));
        return false;
    }
    std::string temp = TempNameFor(path);
    ArmCleanup(temp);
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        Fail(path, std::string("cannot write: ") + std::strerror(errno));
        DisarmCleanup();
        return false;
    }
    bool ok = std::fwrite(data, 1, size, f) == size;
    int savedErrno = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        Fail(path, std::string("cannot write: ") + std::strerror(savedErrno));
        std::remove(temp.c_str());
        DisarmCleanup();
        return false;
    }
    return CommitTemp(temp, path);
}

bool ReadWholeFile(const std::string& path, Bytes* out, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    out->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->insert(out->end(), buffer, buffer + n);
    bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) {
        *error = "read error";
        return false;
    }
    return true;
}

bool ErrIsTerminal() { return isatty(2) == 1; }

}  // namespace tool
