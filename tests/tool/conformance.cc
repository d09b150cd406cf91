// tintwell_conformance [samples per device axis, 9]: the conformance test's
// comparisons as a Markdown table of dE2000 between the two engines' results,
// Little CMS as it comes (tetrahedral tables) and interpolating multilinearly.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/conformance.h"

using namespace tnt_test;

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 9;
    const std::string folder = (std::filesystem::temp_directory_path() / "tintwell-conformance-v4").string();
    std::printf("| Source | Destination | Intent | Colours | Mean | Max | Mean, multilinear | Max, multilinear | Bound | Failure |\n"
                "|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Comparison& c : Comparisons(folder)) {
        const ComparisonStats s = CompareWithLittleCms(c.source, c.destination, c.intent, false, std::max(steps, 2)),
                              m = CompareWithLittleCms(c.source, c.destination, c.intent, true, std::max(steps, 2));
        const std::string failure = (s.status | m.status ? "Tintwell status " + std::to_string(s.status | m.status) : "") + s.error;
        std::printf("| %s | %zu | %.3f | %.3f | %.3f | %.3f | %.2f | %s |\n", c.name.c_str(), s.count, s.mean, s.max, m.mean,
                    m.max, c.maxDeltaE, (failure + m.error).c_str());
    }
    return 0;
}
