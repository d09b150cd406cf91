// Any number of threads may convert through one link at once: threads that
// share one real link and one source image, each writing its own buffer, get
// the generic routine's result in every routine family this CPU has. The
// tsan preset runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/kernels.h"
#include "link/lookups.h"
#include "support/real_profiles.h"

TEST(LinkThreads, ThreadsSharingALinkGetTheSingleThreadResult) {
    ProfileLocation locations[2] = {tnt_test::FileLocationOf("/usr/share/color/icc/sRGB.icc"),
                                    tnt_test::FileLocationOf("/usr/share/color/icc/ghostscript/default_cmyk.icc")};
    const int count = 128 * 128, threads = 4;
    uint64_t noise = 2718;
    for (uint32_t sixteen : {0u, 1u}) {
        ProfLink* link = nullptr;
        ASSERT_EQ(TntProfiles2Link(0, 0, 2, locations, nullptr, SetOptions(0, TNT_OPTION_PRECISION, sixteen), &link), 0);
        // Its curves into CMYK are step functions of the 8-bit codes.
        EXPECT_EQ(link->table->lookups->form.output, sixteen ? tnt::OutputForm::kCurves : tnt::OutputForm::kSteps);
        // Noise with runs of repeated pixels, so that every path of the routines runs.
        const size_t pixel = 3 * (sixteen + 1);
        std::vector<uint8_t> source(count * pixel), expected(count * 4 * (sixteen + 1));
        for (size_t p = 0, repeat = 0; p < size_t(count); ++p, repeat = (noise >> 62) == 0 && p > 0)
            for (size_t b = 0; b < pixel; ++b, noise = noise * 6364136223846793005ull + 1442695040888963407ull)
                source[p * pixel + b] = repeat ? source[(p - 1) * pixel + b] : uint8_t(noise >> 40);
        tnt::GenericLinkKernel(link->table->precision)(link->table, source.data(), expected.data(), count, 3, 4, nullptr);
        for (auto family : {tnt::KernelFamily::kBaseline, tnt::KernelFamily::kPerPixel, tnt::KernelFamily::kAvx2, tnt::KernelFamily::kAvx512}) {
            tnt::UseLinkKernelFamily(family);
            ASSERT_EQ(tnt::PrepareLinkTable(link->table), 0);
            tnt::UseLinkKernelFamily(tnt::KernelFamily::kDefault);
            std::vector<std::vector<uint8_t>> results(threads, std::vector<uint8_t>(expected.size()));
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([&, t] {
                    for (int round = 0; round < 3; ++round) TntLinkMatchColors(link, count, source.data(), results[t].data(), 0, 0, 0, nullptr);
                });
            for (std::thread& worker : workers) worker.join();
            for (int t = 0; t < threads; ++t)
                EXPECT_TRUE(results[t] == expected) << "family " << int(family) << ", thread " << t << ", " << (sixteen ? 16 : 8) << "-bit";
        }
        TntDisposeProfLink(link);
    }
}
