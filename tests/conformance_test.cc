// Tintwell against Little CMS on real v2 profiles, colour by colour, as
// dE2000 in the destination's PCS. Two ceilings per kind of pair: one for
// Little CMS as it comes (tetrahedral tables), one with Little CMS made to
// interpolate multilinearly like Tintwell, which leaves only the
// differences in the arithmetic and encodings themselves and so is tight.
// docs/conformance.md gives the measured table and the cause of every
// systematic difference asserted here.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/conformance.h"
#include "support/real_profiles.h"

using namespace tnt_test;

namespace {

struct Ceiling {
    double mean, p95, max;
};

struct Expectation {
    Ceiling asIs;         // Little CMS's own interpolation
    Ceiling multilinear;  // Little CMS interpolating like Tintwell
};

// Destinations whose PCS-to-device table is 8-bit with a Lab input: such a
// table is read at 16-bit Lab codes over 0..1, which sits half an 8-bit step
// off the table's own a, b axes and scales L by 100 / 100.39.
bool EightBitLabTable(const std::string& path) {
    std::vector<uint8_t> b = ReadFileBytes(path);
    if (b.size() < 132 || BigU32(b, 20) != TNT_SIG('L', 'a', 'b', ' ')) return false;
    for (uint32_t i = 0, n = BigU32(b, 128); i < n && 144 + 12 * i <= b.size(); ++i) {
        uint32_t tag = BigU32(b, 132 + 12 * i), offset = BigU32(b, 136 + 12 * i);
        if ((tag == TNT_SIG('B', '2', 'A', '0') || tag == TNT_SIG('B', '2', 'A', '1')) && offset + 4 <= b.size())
            return BigU32(b, offset) == TNT_SIG('m', 'f', 't', '1');
    }
    return false;
}

// A gray profile with a Lab PCS: its curve's 1.0 is written as L code 65535,
// that is L 100.39, where the reference writes L 100.
bool GrayWithLabPcs(const std::string& path) {
    std::vector<uint8_t> b = ReadFileBytes(path);
    return b.size() >= 24 && BigU32(b, 16) == TNT_SIG('G', 'R', 'A', 'Y') && BigU32(b, 20) == TNT_SIG('L', 'a', 'b', ' ');
}

// Ceilings set from the measured table with a margin of about a quarter.
Expectation ExpectationFor(const ConformancePair& pair) {
    using K = ConformanceKind;
    if (EightBitLabTable(pair.destination)) return {{0.45, 0.8, 1.6}, {0.45, 0.8, 1.6}};
    if (pair.kind == K::kGrayToRgb && GrayWithLabPcs(pair.source)) return {{0.2, 0.3, 0.3}, {0.2, 0.3, 0.3}};
    switch (pair.kind) {
        case K::kRgbToRgb: return {{0.01, 0.03, 0.15}, {0.01, 0.03, 0.15}};
        case K::kRgbToCmyk: return {{0.6, 2.2, 4.6}, {0.01, 0.03, 0.15}};
        case K::kCmykToRgb: return {{0.4, 1.1, 2.6}, {0.03, 0.08, 0.25}};
        case K::kCmykToCmyk: return {{1.3, 3.5, 7.0}, {0.03, 0.08, 0.2}};
        case K::kGrayToRgb: return {{0.03, 0.1, 0.25}, {0.03, 0.1, 0.25}};
        case K::kLabToCmyk: return {{0.8, 3.1, 5.4}, {0.01, 0.03, 0.25}};
    }
    return {};
}

void ExpectWithin(const ConformanceStats& s, const Ceiling& c, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.error, "");
    ASSERT_GT(s.count, 0u);
    EXPECT_LE(s.mean, c.mean);
    EXPECT_LE(s.p95, c.p95);
    EXPECT_LE(s.max, c.max);
}

// Every pair of the kind, intents 0, 1 and 3. Absolute colorimetric runs
// with D50 display whites where a v2 display profile has another white
// (checked on its own in AbsoluteIntentFollowsTheDisplayWhitePoint).
void CheckKind(ConformanceKind kind) {
    int pairs = 0;
    for (const ConformancePair& pair : ConformancePairs(TNT_TEST_PROFILES, false)) {
        if (pair.kind != kind) continue;
        ++pairs;
        const Expectation e = ExpectationFor(pair);
        for (uint16_t intent : {TNT_INTENT_PERCEPTUAL, TNT_INTENT_RELATIVE, TNT_INTENT_ABSOLUTE}) {
            SCOPED_TRACE(ProfileShortName(pair.source) + " -> " + ProfileShortName(pair.destination) + ", intent " +
                         std::to_string(intent));
            ConformanceOptions o;
            o.intent = intent;
            o.displayWhiteAsD50 = intent == TNT_INTENT_ABSOLUTE;
            ExpectWithin(CompareWithLittleCms(pair, o), e.asIs, "Little CMS as it comes");
            o.lcmsMultilinear = true;
            ExpectWithin(CompareWithLittleCms(pair, o), e.multilinear, "Little CMS interpolating multilinearly");
        }
    }
    EXPECT_GE(pairs, 2) << "the profiles of the conformance set are missing";
}

ConformancePair FindPair(ConformanceKind kind, const std::string& source, const std::string& destination) {
    for (const ConformancePair& pair : ConformancePairs(TNT_TEST_PROFILES, false))
        if (pair.kind == kind && ProfileShortName(pair.source) == source &&
            ProfileShortName(pair.destination) == destination)
            return pair;
    ADD_FAILURE() << source << " -> " << destination << " is not in the conformance set";
    return {kind, "", ""};
}

}  // namespace

TEST(Conformance, RgbToRgb) { CheckKind(ConformanceKind::kRgbToRgb); }
TEST(Conformance, RgbToCmyk) { CheckKind(ConformanceKind::kRgbToCmyk); }
TEST(Conformance, CmykToRgb) { CheckKind(ConformanceKind::kCmykToRgb); }
TEST(Conformance, CmykToCmyk) { CheckKind(ConformanceKind::kCmykToCmyk); }
TEST(Conformance, GrayToRgb) { CheckKind(ConformanceKind::kGrayToRgb); }
TEST(Conformance, LabToCmyk) { CheckKind(ConformanceKind::kLabToCmyk); }

// The differences that are by design stay as they are: each one is large
// against Little CMS and vanishes once its cause is taken out.
TEST(Conformance, DifferencesByDesign) {
    ConformanceOptions o;

    // Gray is ink: Tintwell's gray 0 is white, Little CMS's black.
    const ConformancePair gray = FindPair(ConformanceKind::kGrayToRgb, "Gray.icc", "sRGB.icc");
    o.grayAsInk = false;
    ConformanceStats light = CompareWithLittleCms(gray, o);
    EXPECT_GT(light.max, 90.0);
    o.grayAsInk = true;
    EXPECT_LT(CompareWithLittleCms(gray, o).max, 0.25);

    // Absolute colorimetric scales by the display profile's own media white
    // (D65 in sRGB.icc); Little CMS takes D50 for every v2 display profile.
    const ConformancePair toPrinter =
        FindPair(ConformanceKind::kRgbToCmyk, "sRGB.icc", "fogra39-cmyk-lab-v2.icc");
    const ConformancePair fromPrinter =
        FindPair(ConformanceKind::kCmykToRgb, "fogra39-cmyk-lab-v2.icc", "sRGB.icc");
    o.intent = TNT_INTENT_ABSOLUTE;
    for (const ConformancePair& pair : {toPrinter, fromPrinter, gray}) {
        SCOPED_TRACE(ProfileShortName(pair.source) + " -> " + ProfileShortName(pair.destination));
        ASSERT_TRUE(HasNonD50DisplayWhite(pair));
        o.displayWhiteAsD50 = false;
        EXPECT_GT(CompareWithLittleCms(pair, o).mean, 3.0);
        o.displayWhiteAsD50 = true;
        EXPECT_LT(CompareWithLittleCms(pair, o).mean, 0.1);
    }

    // Tables with an XYZ input: Little CMS interpolates them tetrahedrally,
    // Tintwell multilinearly; with the same interpolation they agree.
    const ConformancePair xyzTable =
        FindPair(ConformanceKind::kCmykToCmyk, "fogra39-cmyk-lab-v2.icc", "fogra29-cmyk-xyz-v2.icc");
    o = ConformanceOptions();
    ConformanceStats tetrahedral = CompareWithLittleCms(xyzTable, o);
    o.lcmsMultilinear = true;
    ConformanceStats multilinear = CompareWithLittleCms(xyzTable, o);
    EXPECT_GT(tetrahedral.max, 2.0);
    EXPECT_LT(multilinear.max, 0.2);
}

// ICC v4 profiles (colord-data's, ghostscript's, and printer, display and
// device link profiles made with Little CMS from the committed test set),
// each to and from sRGB, at relative colorimetric and at absolute with D50
// display whites. With Little CMS interpolating multilinearly the two
// engines agree closely on every pair; as it comes, ghostscript's
// ps_cmyk.icc, whose tables have grids of five points, is where tetrahedral
// and multilinear interpolation part furthest.
TEST(Conformance, V4Profiles) {
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const std::vector<ConformancePair> pairs = V4ConformancePairs(TNT_TEST_PROFILES, folder);
    EXPECT_GE(pairs.size(), 14u) << "the Little CMS-made profiles at least";
    for (const ConformancePair& pair : pairs) {
        const bool coarse = ProfileShortName(pair.source) == "ps_cmyk.icc" ||
                            ProfileShortName(pair.destination) == "ps_cmyk.icc";
        const Ceiling asIs = coarse ? Ceiling{2.5, 8.5, 25.0} : Ceiling{0.4, 1.2, 3.2};
        for (uint16_t intent : {TNT_INTENT_RELATIVE, TNT_INTENT_ABSOLUTE}) {
            SCOPED_TRACE(ProfileShortName(pair.source) + " -> " + ProfileShortName(pair.destination) + ", intent " +
                         std::to_string(intent));
            ConformanceOptions o;
            o.intent = intent;
            o.displayWhiteAsD50 = intent == TNT_INTENT_ABSOLUTE;
            o.steps = pair.kind == ConformanceKind::kRgbToRgb ? 5 : 7;
            ExpectWithin(CompareWithLittleCms(pair, o), asIs, "Little CMS as it comes");
            o.lcmsMultilinear = true;
            ExpectWithin(CompareWithLittleCms(pair, o), {0.02, 0.06, 0.25}, "Little CMS interpolating multilinearly");
        }
    }
}
