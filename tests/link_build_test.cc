// Links from transforms: the options word, grid sizes, failures, direct fills
// against colour-by-colour sampling through the switch, threads sharing a link.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "colour/controls.h"
#include "link/build.h"
#include "link/kernels.h"
#include "link/lookups.h"
#include "link/table.h"
#include "support/real_profiles.h"
#include "transform/transform.h"

namespace {

const std::string kIcc = "/usr/share/color/icc/", kRef = "/usr/share/color/argyll/ref/";
const std::string kSRGB = kIcc + "sRGB.icc", kAdobe = kIcc + "compatibleWithAdobeRGB1998.icc";
const std::string kCmyk = kIcc + "ghostscript/default_cmyk.icc", kGray = kIcc + "Gray.icc";
const std::string kFogra39 = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
const std::string kFogra29 = tnt_test::TestProfile("fogra29-cmyk-xyz-v2.icc");
const std::string kTr003 = tnt_test::TestProfile("tr003-cmyk-lab-low-v2.icc");

std::vector<ProfileLocation> Locations(const std::vector<std::string>& paths) {
    std::vector<ProfileLocation> out;
    for (const auto& p : paths) out.push_back(tnt_test::FileLocationOf(p));
    return out;
}

uint32_t Options(uint32_t sixteen, uint32_t quality) { return SetOptions(SetOptions(0, TNT_OPTION_PRECISION, sixteen), TNT_OPTION_GRID_QUALITY, quality); }

}  // namespace

TEST(LinkOptions, FieldsOfTheWord) {
    EXPECT_EQ(GetOptions(5, 0xFFF), 65535u);  // no such field
    EXPECT_EQ(GetOptions(4, SetOptions(0, 4, 6)), 2u);
    EXPECT_EQ(SetOptions(0, 0, 3), 4u);
    EXPECT_EQ(SetOptions(4, 0, 7), 0u) << "7 clears an intent";
    EXPECT_EQ(SetOptions(0, 3, 9), 16u);
    EXPECT_EQ(SetOptions(0xFFFFF000u, 3, 5) & 0xFFFFF000u, 0xFFFFF000u) << "high bits are never touched";
}

// Grid points by quality (0 the default) and source channels; curve lengths by precision.
TEST(LinkBuild, GridSizeFollowsQualityAndSourceChannels) {
    struct Row { std::string from, to; uint32_t sixteen, quality, gridPoints; };
    const Row rows[] = {{kSRGB, kCmyk, 0, 0, 33}, {kSRGB, kCmyk, 1, 7, 33}, {kSRGB, kCmyk, 0, 1, 5}, {kSRGB, kCmyk, 0, 4, 33}, {kGray, kSRGB, 0, 5, 9},
                        {kSRGB, kCmyk, 0, 6, 17}, {kFogra39, kFogra29, 0, 0, 17}, {kFogra39, kFogra29, 1, 1, 5}, {kFogra39, kFogra29, 0, 5, 5}, {kFogra39, kFogra29, 0, 6, 9}};
    for (const Row& row : rows) {
        std::vector<ProfileLocation> locs = Locations({row.from, row.to});
        ProfLink* link = nullptr;
        ASSERT_EQ(TntProfiles2Link(0, 0, 2, locs.data(), nullptr, Options(row.sixteen, row.quality), &link), 0);
        EXPECT_EQ(link->table->gridPoints, row.gridPoints) << row.from << " quality " << row.quality;
        EXPECT_TRUE(link->table->precision == row.sixteen + 1 && link->table->inputCurveLength == (row.sixteen ? 65536u : 256u));
        TntDisposeProfLink(link);
    }
}

TEST(LinkBuild, FailuresHandBackNothing) {
    std::vector<ProfileLocation> locs = Locations({kSRGB, "/no/such.icc"});
    ProfLink* link = reinterpret_cast<ProfLink*>(1);
    EXPECT_EQ(TntProfiles2Link(0, 0, 2, locs.data(), nullptr, 0, &link), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(TntNewProfLink(kSRGB.c_str(), kCmyk.c_str(), nullptr, 0, &link), 0);
    EXPECT_EQ(TntLinkDestType(link), TNT_SIG('C', 'M', 'Y', 'K'));  // the source type: the null-argument table
    TntDisposeProfLink(link);
    EXPECT_EQ(TntNewProfLink(std::string(1100, 'a').c_str(), nullptr, nullptr, 0, &link), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(link, nullptr);
}

// Sections filled directly (curves by channel, matrix-forward curves by axis,
// stages by row, powers from tables) hold the bytes of colour-by-colour sampling.
TEST(LinkSampling, DirectFillsEqualColourByColourSampling) {
    static const int16_t kControls[6] = {10, -20, 30, 5, -5, 0};
    struct Row { std::vector<std::string> paths; uint16_t intent; const int16_t* controls; };
    // Absolute white scaling, gamma inverses clamped both sides, three profiles, table into table.
    const Row rows[] = {{{kSRGB, kAdobe}, 0, nullptr}, {{kRef + "DisplayP3.icm", kSRGB}, 3, nullptr},
                        {{kRef + "ProPhoto.icm", kAdobe}, 1, nullptr}, {{kAdobe, kRef + "ProPhotoLin.icm"}, 0, nullptr},
                        {{kSRGB, kFogra39, kAdobe}, 0, nullptr}, {{kRef + "ProPhoto.icm", kFogra39, kSRGB}, 1, nullptr},
                        {{kFogra39, kTr003}, 0, nullptr}, {{kCmyk, kAdobe}, 3, nullptr}, {{kCmyk, kGray}, 1, nullptr},
                        {{kFogra39, kIcc + "ghostscript/default_rgb.icc", kCmyk}, 0, nullptr}, {{kSRGB, kCmyk}, 0, kControls}};
    auto same = [](const void* x, const void* y, size_t size) { return std::memcmp(x, y, size) == 0; };
    for (const Row& row : rows) {
        std::vector<ProfileLocation> locs = Locations(row.paths);
        const std::vector<uint16_t> intents(locs.size(), row.intent);
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_EQ(TntConcatProfiles(t, 0, 0, int16_t(locs.size()), locs.data(), intents.data()), 0) << row.paths[0];
        if (row.controls) TntUseColorManipulation(t, tnt::LinkColorManipulation, nullptr, reinterpret_cast<uintptr_t>(row.controls));
        for (uint32_t options : {Options(0, 1), Options(0, 2), Options(0, 7), Options(1, 1), Options(1, 2), Options(1, 7)}) {
            SCOPED_TRACE(row.paths[0] + " to " + row.paths.back() + ", options " + std::to_string(options));
            ProfLink* links[2] = {};
            for (int direct = 0; direct < 2; ++direct)
                ASSERT_EQ((tnt::UseDirectLinkSampling(direct == 1), TntMatchTrans2Link(t, options, &links[direct])), 0);
            const tnt::LinkTable *a = links[0]->table, *b = links[1]->table;
            EXPECT_EQ(b->hasInputCurves != 0, row.controls == nullptr);
            EXPECT_TRUE(same(a->grid, b->grid, size_t(std::pow(a->gridPoints, a->inputChannels)) * a->outputChannels * 2));
            EXPECT_TRUE(!b->hasInputCurves || same(a->inputCurves, b->inputCurves, size_t(a->inputChannels) * a->inputCurveLength * 2));
            EXPECT_TRUE(!b->hasOutputCurves || same(a->outputCurves, b->outputCurves, size_t(a->outputChannels) * 65536 * a->precision));
            for (ProfLink* link : links) TntDisposeProfLink(link);
        }
        TntDisposeMatchTransform(t);
    }
}

// Threads sharing one real link and one source image, each writing its own
// buffer, get the generic routine's result in every routine family this CPU
// has. The tsan preset runs this under ThreadSanitizer.
TEST(LinkThreads, ThreadsSharingALinkGetTheSingleThreadResult) {
    std::vector<ProfileLocation> locs = Locations({kSRGB, kCmyk});
    const int count = 128 * 128, threads = 4;
    uint64_t noise = 2718;
    for (uint32_t sixteen : {0u, 1u}) {
        ProfLink* link = nullptr;
        ASSERT_EQ(TntProfiles2Link(0, 0, 2, locs.data(), nullptr, Options(sixteen, 0), &link), 0);
        // Steps at 8 bits; noise with runs of repeated pixels, so every path of the routines runs.
        EXPECT_EQ(link->table->lookups->form.output, sixteen ? tnt::OutputForm::kCurves : tnt::OutputForm::kSteps);
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
                workers.emplace_back([&, t] { for (int round = 0; round < 3; ++round) TntLinkMatchColors(link, count, source.data(), results[t].data(), 0, 0, 0, nullptr); });
            for (std::thread& worker : workers) worker.join();
            for (int t = 0; t < threads; ++t)
                EXPECT_TRUE(results[t] == expected) << "family " << int(family) << ", thread " << t << ", " << (sixteen ? 16 : 8) << "-bit";
        }
        TntDisposeProfLink(link);
    }
}
