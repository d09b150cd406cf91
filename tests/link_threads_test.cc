// Any number of threads may convert through one link at once: threads that
// share one link and one source image, each writing its own buffer, get the
// single-thread result, in every routine family this CPU has. The tsan
// preset runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link/lookups.h"
#include "link/table.h"
#include "support/random_links.h"
#include "tintwell.h"

namespace tnt_test {
namespace {

TEST(LinkThreads, ThreadsSharingALinkGetTheSingleThreadResult) {
    using tnt::KernelFamily;
    ProfileLocation locations[2] = {};
    std::snprintf(locations[0].path, sizeof locations[0].path, "%s", "/usr/share/color/icc/sRGB.icc");
    std::snprintf(locations[1].path, sizeof locations[1].path, "%s", "/usr/share/color/icc/ghostscript/default_cmyk.icc");
    uint16_t intents[2] = {0, 0};
    Noise noise{2718};
    const int count = 128 * 128, threads = 4;
    for (uint32_t sixteen : {0u, 1u}) {
        ProfLink* link = nullptr;
        ASSERT_EQ(TntProfiles2Link(0, 0, 2, locations, intents, SetOptions(0, TNT_OPTION_PRECISION, sixteen), &link), 0);
        const size_t sample = sixteen ? 2 : 1;
        // Noise with runs of repeated pixels, so that every path of the
        // routines runs.
        const size_t pixel = 3 * sample;
        std::vector<uint8_t> source(count * pixel);
        for (size_t p = 0; p < size_t(count); ++p) {
            const bool repeat = p > 0 && noise.Below(4) == 0;
            for (size_t b = 0; b < pixel; ++b)
                source[p * pixel + b] = repeat ? source[(p - 1) * pixel + b] : static_cast<uint8_t>(noise.Next());
        }
        for (KernelFamily family :
             {KernelFamily::kBaseline, KernelFamily::kPerPixel, KernelFamily::kAvx2, KernelFamily::kAvx512}) {
            tnt::UseLinkKernelFamily(family);
            ASSERT_EQ(tnt::PrepareLinkTable(link->table), 0);
            tnt::UseLinkKernelFamily(KernelFamily::kDefault);
            std::vector<uint8_t> expected(count * 4 * sample);
            ASSERT_EQ(TntLinkMatchColors(link, count, source.data(), expected.data(), 0, 0, 0, nullptr), 0);
            std::vector<std::vector<uint8_t>> results(threads, std::vector<uint8_t>(expected.size()));
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([&, t] {
                    for (int round = 0; round < 3; ++round)
                        TntLinkMatchColors(link, count, source.data(), results[t].data(), 0, 0, 0, nullptr);
                });
            for (std::thread& worker : workers) worker.join();
            for (int t = 0; t < threads; ++t)
                EXPECT_TRUE(results[t] == expected) << "family " << int(family) << ", thread " << t << ", "
                                                    << (sixteen ? 16 : 8) << "-bit";
        }
        TntDisposeProfLink(link);
    }
}

}  // namespace
}  // namespace tnt_test
