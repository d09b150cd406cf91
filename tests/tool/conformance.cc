// tintwell_conformance: the conformance test's comparisons with Little CMS as
// it comes (tetrahedral tables) and interpolating multilinearly, as a
// Markdown table of dE2000 between the two engines' results.
//
//   tintwell_conformance [--steps N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/conformance.h"

using namespace tnt_test;

int main(int argc, char** argv) {
    const int steps = argc == 3 && !std::strcmp(argv[1], "--steps") ? std::atoi(argv[2]) : argc == 1 ? 9 : 0;
    if (steps < 2) {
        std::fprintf(stderr, "usage: %s [--steps N]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tintwell-conformance-v4";
    std::printf("| Source | Destination | Intent | Colours | Mean | Max | Mean, multilinear | Max, multilinear | Bound |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const Comparison& c : Comparisons(folder.string())) {
        const ComparisonStats s = CompareWithLittleCms(c.source, c.destination, c.intent, false, steps),
                              m = CompareWithLittleCms(c.source, c.destination, c.intent, true, steps);
        if (s.status || m.status || !s.error.empty() || !m.error.empty())
            std::printf("| %s | status %u %s |\n", c.name.c_str(), unsigned(s.status | m.status), (s.error + m.error).c_str());
        else
            std::printf("| %s | %zu | %.3f | %.3f | %.3f | %.3f | %.2f |\n", c.name.c_str(), s.count, s.mean, s.max, m.mean,
                        m.max, c.maxDeltaE);
    }
    return 0;
}
