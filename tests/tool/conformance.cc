// tintwell_conformance: the rows of the conformance test, with Little CMS as
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
    int steps = 9;
    if (argc == 3 && !std::strcmp(argv[1], "--steps") && std::atoi(argv[2]) > 1) {
        steps = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--steps N]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tintwell-conformance-v4";
    std::filesystem::create_directories(folder);
    std::printf("| Source | Destination | Intent | Colours | Mean | Max | Mean, multilinear | Max, multilinear | Bound |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const ComparisonRow& row : kComparisonRows) {
        for (const char* intent = row.intents; *intent; ++intent) {
            ComparisonStats s[2];
            for (int m = 0; m < 2; ++m)
                s[m] = CompareWithLittleCms(ProfileByName(row.source, folder.string()),
                                            ProfileByName(row.destination, folder.string()), uint16_t(*intent - '0'), m, steps);
            std::printf("| %s | %s | %c | ", *row.source ? row.source : "Lab", row.destination, *intent);
            if (s[0].status || s[1].status)
                std::printf("Tintwell status %u | | | | | |\n", unsigned(s[0].status ? s[0].status : s[1].status));
            else if (!s[0].error.empty() || !s[1].error.empty())
                std::printf("%s | | | | | |\n", (s[0].error + s[1].error).c_str());
            else
                std::printf("%zu | %.3f | %.3f | %.3f | %.3f | %.2f |\n", s[0].count, s[0].mean, s[0].max, s[1].mean,
                            s[1].max, row.maxDeltaE);
        }
    }
    return 0;
}
