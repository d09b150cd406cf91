// Link building from ICC v4 profiles against the v2 profiles of the same
// kind: matrix display profiles whose curves are 'para' (colord-data's)
// against 'curv' ones (icc-profiles-free's), printer profiles whose tables
// are 'mAB '/'mBA ' (made with Little CMS from the committed FOGRA39 and
// FOGRA29 profiles, every element present) against the 'mft2' originals,
// and device links. Prints the median build time of each and the ratio
// v4 / v2; the target is 1.5 at most.
//
//   profile_versions_bench [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/v4_profiles.h"
#include "tintwell.h"

namespace {

double MedianBuildMs(const std::vector<std::string>& chain, bool sixteenBit, int runs) {
    std::vector<ProfileLocation> locations(chain.size());
    for (size_t i = 0; i < chain.size(); ++i) {
        std::memset(&locations[i], 0, sizeof locations[i]);
        std::strncpy(locations[i].path, chain[i].c_str(), sizeof locations[i].path - 1);
    }
    const std::vector<uint16_t> intents(chain.size(), TNT_INTENT_RELATIVE);
    const uint32_t options = sixteenBit ? SetOptions(0, TNT_OPTION_PRECISION, 1) : 0;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ProfLink* link = nullptr;
        const TntStatus st =
            TntProfiles2Link(0, 0, int16_t(chain.size()), locations.data(), intents.data(), options, &link);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1e3);
        if (st) {
            std::fprintf(stderr, "status %u building %s ...\n", unsigned(st), chain[0].c_str());
            return 0.0;
        }
        TntDisposeProfLink(link);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string Name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    if (argc == 3 && !std::strcmp(argv[1], "--runs")) runs = std::max(1, std::atoi(argv[2]));
    const std::string shared = TNT_TEST_PROFILES, icc = "/usr/share/color/icc/", colord = icc + "colord/";
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tintwell-bench-v4";
    std::filesystem::create_directories(folder);
    const tnt_test::MadeProfiles& v4 = tnt_test::MakeV4Profiles(folder.string(), shared);
    const std::string srgb2 = icc + "sRGB.icc", adobe2 = icc + "compatibleWithAdobeRGB1998.icc";
    const std::string srgb4 = colord + "sRGB.icc", adobe4 = colord + "AdobeRGB1998.icc";
    const std::string fogra39 = shared + "/fogra39-cmyk-lab-v2.icc", fogra29 = shared + "/fogra29-cmyk-xyz-v2.icc";
    struct Case {
        const char* kind;
        std::vector<std::string> v2, v4;
    } cases[] = {
        {"RGB->RGB", {srgb2, adobe2}, {srgb4, adobe4}},
        {"RGB->RGB", {adobe2, srgb2}, {adobe4, srgb4}},
        {"RGB->CMYK", {srgb2, fogra39}, {srgb4, v4.cmykLab}},
        {"RGB->CMYK", {srgb2, fogra29}, {srgb4, v4.cmykXyz}},
        {"CMYK->RGB", {fogra39, srgb2}, {v4.cmykLab, srgb4}},
        {"CMYK->CMYK", {fogra39, fogra29}, {v4.cmykLab, v4.cmykXyz}},
        {"link", {shared + "/srgb-to-fogra39-link-mft2-collink.icc"}, {v4.link}},
    };
    std::printf("| Kind | v2 chain | v4 chain | Link | v2 ms | v4 ms | v4 / v2 |\n|---|---|---|---|---|---|---|\n");
    for (const Case& c : cases) {
        for (bool sixteenBit : {false, true}) {
            const double a = MedianBuildMs(c.v2, sixteenBit, runs), b = MedianBuildMs(c.v4, sixteenBit, runs);
            std::string v2Names, v4Names;
            for (const auto& p : c.v2) v2Names += (v2Names.empty() ? "" : " -> ") + Name(p);
            for (const auto& p : c.v4) v4Names += (v4Names.empty() ? "" : " -> ") + Name(p);
            std::printf("| %s | %s | %s | %s | %.2f | %.2f | %.2f |\n", c.kind, v2Names.c_str(), v4Names.c_str(),
                        sixteenBit ? "16-bit" : "8-bit", a, b, a > 0 ? b / a : 0.0);
        }
    }
    return 0;
}
