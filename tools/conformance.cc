// tintwell_conformance: converts the same colours through Tintwell and
// through Little CMS for pairs of real profiles and prints how far the two
// results lie apart, as CIE dE2000 in the destination profile's PCS.
//
//   tintwell_conformance [--extended | --v4] [--steps N] [--profiles DIR] [--intents 0,1,3] [--worst]
//
// The default set is the one the conformance test asserts; --extended runs
// every sensible combination of the profiles found; --v4 the ICC v4
// profiles (colord-data's, ghostscript's, and some made with Little CMS in
// a temporary folder), each to and from sRGB. Rows marked "wtpt D50"
// repeat an absolute-intent comparison with Tintwell given v2 display
// profiles whose media white is D50; rows marked "gray as light" feed Little
// CMS the gray values unflipped. The last three numeric columns repeat the
// comparison with Little CMS interpolating its tables multilinearly.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/conformance.h"

using namespace tnt_test;

namespace {

std::string Values(const std::vector<double>& v, double scale) {
    std::string out;
    char buf[32];
    for (size_t i = 0; i < v.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%.3g", i ? " " : "", v[i] * scale);
        out += buf;
    }
    return out;
}

void Row(const ConformancePair& pair, const ConformanceOptions& o, const char* note, bool worst) {
    ConformanceStats s = CompareWithLittleCms(pair, o);
    ConformanceOptions multilinear = o;
    multilinear.lcmsMultilinear = true;
    ConformanceStats m = CompareWithLittleCms(pair, multilinear);
    std::printf("| %s | %s | %s | %u%s | ", ConformanceKindName(pair.kind), ProfileShortName(pair.source).c_str(),
                ProfileShortName(pair.destination).c_str(), unsigned(o.intent), note);
    if (s.status) {
        std::printf("Tintwell status %u | | | | | | |", unsigned(s.status));
    } else if (!s.error.empty() || !m.error.empty()) {
        std::printf("%s | | | | | | |", (s.error.empty() ? m.error : s.error).c_str());
    } else {
        std::printf("%zu | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f |", s.count, s.mean, s.p95, s.max, m.mean, m.p95,
                    m.max);
        if (worst) {
            bool lab = pair.source.empty();
            std::printf(" %s -> ours %s, lcms %s |", Values(s.worstInput, lab ? 1.0 : 100.0).c_str(),
                        Values(s.worstTintwell, 100.0).c_str(), Values(s.worstLcms, 100.0).c_str());
        }
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    bool extended = false, worst = false, v4 = false;
    int steps = 0;
    std::string profiles = TNT_TEST_PROFILES;
    std::vector<uint16_t> intents = {0, 1, 3};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--extended")) {
            extended = true;
        } else if (!std::strcmp(argv[i], "--v4")) {
            v4 = true;
        } else if (!std::strcmp(argv[i], "--worst")) {
            worst = true;
        } else if (!std::strcmp(argv[i], "--steps") && i + 1 < argc) {
            steps = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--profiles") && i + 1 < argc) {
            profiles = argv[++i];
        } else if (!std::strcmp(argv[i], "--intents") && i + 1 < argc) {
            intents.clear();
            for (char* p = argv[++i]; *p;) {
                intents.push_back(uint16_t(std::strtoul(p, &p, 10)));
                if (*p == ',') ++p;
                else if (*p) break;
            }
        } else {
            std::fprintf(stderr,
                         "usage: %s [--extended | --v4] [--steps N] [--profiles DIR] [--intents 0,1,3] [--worst]\n",
                         argv[0]);
            return 2;
        }
    }
    std::vector<ConformancePair> pairs;
    if (v4) {
        const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tintwell-conformance-v4";
        std::filesystem::create_directories(folder);
        pairs = V4ConformancePairs(profiles, folder.string());
    } else {
        pairs = ConformancePairs(profiles, extended);
    }
    if (pairs.empty()) {
        std::fprintf(stderr, "no profiles found\n");
        return 1;
    }
    std::printf(
        "| Pair | Source | Destination | Intent | Colours | Mean dE00 | 95th pct | Max | Mean, lcms multilinear | "
        "95th pct, lcms multilinear | Max, lcms multilinear |%s\n",
        worst ? " Worst sample (source -> device %) |" : "");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|%s\n", worst ? "---|" : "");
    for (const ConformancePair& pair : pairs) {
        for (uint16_t intent : intents) {
            ConformanceOptions o;
            o.intent = intent;
            if (steps > 1) o.steps = steps;
            Row(pair, o, "", worst);
            if (intent == TNT_INTENT_ABSOLUTE && HasNonD50DisplayWhite(pair)) {
                o.displayWhiteAsD50 = true;
                Row(pair, o, " (wtpt D50)", worst);
                o.displayWhiteAsD50 = false;
            }
            if (pair.kind == ConformanceKind::kGrayToRgb && intent == TNT_INTENT_RELATIVE) {
                o.grayAsInk = false;
                Row(pair, o, " (gray as light)", worst);
            }
        }
    }
    return 0;
}
