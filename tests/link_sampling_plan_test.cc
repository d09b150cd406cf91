// Links sample their transform through plans made once per section; the
// tables must hold exactly the bytes that the per-colour samplers give,
// node by node, for real profile pairs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "colour/controls.h"
#include "link/build.h"
#include "link/table.h"
#include "platform/memory.h"
#include "support/real_profiles.h"
#include "support/v4_profiles.h"
#include "transform/match.h"
#include "transform/transform.h"

namespace {

using tnt::LinkTable;

struct Sampled {
    std::vector<uint16_t> inputCurves, grid;
    std::vector<uint8_t> outputCurves;
};

// The sampling of the link builder, one public per-colour call per entry.
TntStatus SampleColourByColour(MatchTransform* t, const LinkTable* shape, Sampled* out) {
    const int in = shape->inputChannels, outputs = shape->outputChannels;
    const uint32_t n = shape->gridPoints, length = shape->inputCurveLength, precision = shape->precision;
    const bool wholeChain = t->manipulation != nullptr;
    uint16_t work[tnt::kWorkChannels];
    if (!wholeChain) {
        out->inputCurves.assign(size_t(in) * length, 0);
        for (uint32_t i = 0; i < length; ++i) {
            TntStatus st;
            if (length == 256) {
                uint8_t sample[tnt::kWorkChannels];
                std::memset(sample, int(i), sizeof sample);
                st = tnt::MatchInputCurves(sample, work, t, 1, 2);
            } else {
                for (uint16_t& w : work) w = uint16_t(i);
                st = tnt::MatchInputCurves(work, work, t, 2, 2);
            }
            if (st) return st;
            for (int c = 0; c < in; ++c) out->inputCurves[c * length + i] = work[c];
        }
    }
    size_t nodes = 1;
    for (int d = 0; d < in; ++d) nodes *= n;
    out->grid.assign(nodes * outputs, 0);
    for (size_t k = 0; k < nodes; ++k) {
        uint16_t source[tnt::kWorkChannels] = {}, result[tnt::kWorkChannels] = {};
        size_t rest = k;
        for (int d = in - 1; d >= 0; --d) {
            uint32_t r = uint32_t(rest % n);
            rest /= n;
            source[d] = uint16_t((r * 65535 + (n - 1) / 2) / (n - 1));
        }
        TntStatus st = wholeChain ? TntICCSingleMatchProc(source, result, t, 2) : tnt::MatchGridColor(source, result, t, 2);
        if (st) return st;
        std::memcpy(&out->grid[k * outputs], result, size_t(outputs) * 2);
    }
    if (!wholeChain) {
        out->outputCurves.assign(size_t(outputs) * 65536 * precision, 0);
        for (uint32_t i = 0; i < 65536; ++i) {
            for (uint16_t& w : work) w = uint16_t(i);
            uint8_t result[2 * tnt::kWorkChannels];
            TntStatus st = tnt::MatchOutputCurves(work, result, t, 2, int16_t(precision));
            if (st) return st;
            for (int c = 0; c < outputs; ++c)
                std::memcpy(&out->outputCurves[(size_t(c) * 65536 + i) * precision], result + c * precision, precision);
        }
    }
    return TNT_OK;
}

struct Case {
    std::vector<std::string> paths;
    std::vector<uint16_t> intents;
    bool sixteen;
    const int16_t* controls;
};

TEST(LinkSampling, PlannedTablesEqualColourByColourSampling) {
    static const int16_t kControls[6] = {10, -20, 30, 5, -5, 0};
    const std::string sRGB = "/usr/share/color/icc/sRGB.icc";
    const std::string cmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
    const std::string adobe = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
    const std::string fogra39 = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
    const std::string fogra29 = tnt_test::TestProfile("fogra29-cmyk-xyz-v2.icc");
    const Case cases[] = {
        {{sRGB, cmyk}, {0, 0}, false, nullptr},
        {{sRGB, cmyk}, {1, 1}, true, nullptr},
        {{cmyk, fogra39}, {0, 0}, false, nullptr},
        {{sRGB, adobe}, {0, 0}, false, nullptr},
        {{cmyk, sRGB}, {1, 1}, false, nullptr},
        {{fogra29, sRGB}, {3, 3}, false, nullptr},  // absolute: white scaling on both sides
        {{sRGB, fogra39, adobe}, {0, 1, 0}, false, nullptr},
        {{sRGB, cmyk}, {0, 0}, false, kControls},  // the whole chain in the grid
        {{sRGB, adobe}, {1, 1}, true, nullptr},
        {{adobe, sRGB}, {3, 3}, true, nullptr},
        {{tnt_test::TestProfile("gray-gamma1-mntr-xyz-v2.icc"), sRGB}, {0, 0}, true, nullptr},
    };
    int64_t live = tnt::LiveBlockCount();
    for (const Case& c : cases) {
        std::string what;
        for (const auto& p : c.paths) what += p + " ";
        std::vector<ProfileLocation> locs;
        for (const auto& p : c.paths) locs.push_back(tnt_test::FileLocationOf(p));
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(TntConcatProfiles(t, 0, 0, int16_t(locs.size()), locs.data(), c.intents.data()), 0) << what;
        if (c.controls)
            TntUseColorManipulation(t, tnt::LinkColorManipulation, nullptr, reinterpret_cast<uintptr_t>(c.controls));
        uint32_t options = c.sixteen ? SetOptions(0, 2, 1) : 0;
        ProfLink* link = nullptr;
        tnt::UseDirectLinkSampling(true);
        ASSERT_EQ(TntMatchTrans2Link(t, options, &link), 0) << what;
        const LinkTable* table = link->table;
        Sampled expected;
        ASSERT_EQ(SampleColourByColour(t, table, &expected), 0) << what;
        EXPECT_EQ(table->hasInputCurves != 0, c.controls == nullptr) << what;
        size_t nodes = expected.grid.size();
        EXPECT_EQ(std::memcmp(table->grid, expected.grid.data(), nodes * 2), 0) << what << "grid";
        if (table->hasInputCurves) {
            EXPECT_EQ(std::memcmp(table->inputCurves, expected.inputCurves.data(), expected.inputCurves.size() * 2), 0)
                << what << "input curves";
            EXPECT_EQ(std::memcmp(table->outputCurves, expected.outputCurves.data(), expected.outputCurves.size()), 0)
                << what << "output curves";
        }
        TntDisposeProfLink(link);
        TntDisposeMatchTransform(t);
    }
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

// Where the builder fills a section without running each colour (curve
// sections channel by channel, a matrix-forward first stage whose curves
// are found once per axis, two matrix stages row by row) or takes powers
// from tables, the link must hold exactly the bytes of the colour-by-colour
// sampling with std::pow, for every precision and grid size.
TEST(LinkSampling, DirectFillsEqualSampledSections) {
    const std::string icc = "/usr/share/color/icc/";
    const std::string ref = "/usr/share/color/argyll/ref/";
    const std::string sRGB = icc + "sRGB.icc", adobe = icc + "compatibleWithAdobeRGB1998.icc";
    const std::string cmyk = icc + "ghostscript/default_cmyk.icc", gray = icc + "Gray.icc";
    const std::string fogra39 = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
    const std::string tr003 = tnt_test::TestProfile("tr003-cmyk-lab-low-v2.icc");
    const std::string folder = tnt_test::TempPath("v4");
    std::filesystem::create_directories(folder);
    const tnt_test::MadeProfiles& v4 = tnt_test::MakeV4Profiles(folder, TNT_TEST_PROFILES);
    struct Pair {
        std::vector<std::string> paths;
        uint16_t intent;
    };
    const Pair pairs[] = {
        {{sRGB, adobe}, 0},           {{adobe, sRGB}, 1},
        {{ref + "ProPhoto.icm", ref + "Rec2020.icm"}, 0},
        {{ref + "DisplayP3.icm", sRGB}, 3},  // absolute: white scaling around the matrices
        {{sRGB, cmyk}, 0},            {{sRGB, fogra39}, 1},
        {{cmyk, sRGB}, 0},            {{tr003, adobe}, 1},
        {{gray, sRGB}, 0},            {{sRGB, gray}, 0},
        {{sRGB, fogra39, adobe}, 0},  {{fogra39, tr003}, 0},
        {{sRGB, icc + "ITULab.icc"}, 0},  // a Lab table stage last: 8-bit Lab packing
        {{sRGB, icc + "CineLogCurve.icc"}, 0},
        {{sRGB, icc + "Gray-CIE_L.icc"}, 0},
        // Tabulated gamma inverses: wide gamuts into narrower ones clamp on
        // both sides; a gamma of 1; white scaling around tabulated stages.
        {{ref + "ProPhoto.icm", adobe}, 1},
        {{ref + "Rec2020.icm", ref + "ClayRGB1998.icm"}, 0},
        {{adobe, ref + "ProPhotoLin.icm"}, 0},
        {{ref + "ClayRGB1998.icm", ref + "ProPhoto.icm"}, 3},
        {{gray, adobe}, 0},
        // Tabulated cube roots: matrix sources into 'Lab ' tables, 8- and
        // 16-bit ones, and a third profile behind them.
        {{adobe, tr003}, 0},
        {{ref + "ProPhoto.icm", fogra39, sRGB}, 1},
        // 'Lab ' input curves of a table stage (8-bit samples as i x 256).
        {{icc + "ITULab.icc", sRGB}, 0},
        // Table stages first, row by row: into matrix profiles with sampled
        // curves (from 'Lab ' and from 'XYZ ') and with gammas, with white
        // scaling after them, into tables and gray, and device links alone
        // (8- and 16-bit tables).
        {{cmyk, sRGB}, 1},
        {{tnt_test::TestProfile("fogra29-cmyk-xyz-v2.icc"), sRGB}, 0},
        {{fogra39, ref + "ProPhoto.icm"}, 0},
        {{cmyk, adobe}, 3},
        {{cmyk, gray}, 1},
        {{fogra39, icc + "ghostscript/default_rgb.icc", cmyk}, 0},
        {{tnt_test::TestProfile("srgb-to-fogra39-link-mft1-linkicc.icc")}, 0},
        {{tnt_test::TestProfile("fogra39-to-fogra29-link-mft2-collink.icc")}, 0},
        // ICC v4: 'para' curves (forms 0 and 3, inverted through power
        // tables), 'mAB ' first and 'mBA ' last (with a matrix and M curves),
        // a v4 device link.
        {{icc + "colord/sRGB.icc", icc + "colord/AdobeRGB1998.icc"}, 0},
        {{icc + "colord/AdobeRGB1998.icc", icc + "colord/ECI-RGBv2.icc"}, 1},
        {{sRGB, v4.cmykXyz}, 1},
        {{adobe, v4.cmykLab}, 0},
        {{v4.cmykLab, icc + "colord/sRGB.icc"}, 0},
        {{v4.link}, 0},
    };
    const int64_t live = tnt::LiveBlockCount();
    for (const Pair& pair : pairs) {
        std::vector<ProfileLocation> locs;
        std::string what;
        for (const auto& p : pair.paths) {
            locs.push_back(tnt_test::FileLocationOf(p));
            what += p + " ";
        }
        std::vector<uint16_t> intents(locs.size(), pair.intent);
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(TntConcatProfiles(t, 0, 0, int16_t(locs.size()), locs.data(), intents.data()), 0) << what;
        for (uint32_t sixteen = 0; sixteen < 2; ++sixteen) {
            for (uint32_t quality : {1u, 2u, 7u}) {
                uint32_t options = SetOptions(SetOptions(0, 2, sixteen), 3, quality);
                ProfLink* links[2] = {};
                for (int direct = 0; direct < 2; ++direct) {
                    tnt::UseDirectLinkSampling(direct == 1);
                    ASSERT_EQ(TntMatchTrans2Link(t, options, &links[direct]), 0) << what << quality;
                }
                tnt::UseDirectLinkSampling(true);
                const LinkTable* a = links[0]->table;
                const LinkTable* b = links[1]->table;
                const std::string where = what + (sixteen ? "16-bit" : "8-bit") + " quality " + std::to_string(quality);
                ASSERT_EQ(a->gridPoints, b->gridPoints) << where;
                size_t nodes = 1;
                for (int d = 0; d < a->inputChannels; ++d) nodes *= a->gridPoints;
                EXPECT_EQ(std::memcmp(a->grid, b->grid, nodes * a->outputChannels * 2), 0) << where << " grid";
                EXPECT_EQ(std::memcmp(a->inputCurves, b->inputCurves, size_t(a->inputChannels) * a->inputCurveLength * 2), 0)
                    << where << " input curves";
                EXPECT_EQ(std::memcmp(a->outputCurves, b->outputCurves, size_t(a->outputChannels) * 65536 * a->precision), 0)
                    << where << " output curves";
                TntDisposeProfLink(links[0]);
                TntDisposeProfLink(links[1]);
            }
        }
        TntDisposeMatchTransform(t);
    }
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

}  // namespace
