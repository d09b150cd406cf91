// Classification of profiles into stage kinds, stage building and release.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/memory.h"
#include "profile/elements.h"
#include "stage/stage.h"
#include "support/profile_builder.h"

using namespace tnt;
using namespace tnt_test;

namespace {

constexpr TntStatus kOk = TNT_OK;

// A profile of the given class and spaces whose tags are named by letters:
// w wtpt, k kTRC, m all six matrix tags, n the matrix tags but bTRC, a A2B0,
// b B2A0. Only presence matters to the classification.
Profile* Described(const char* cls, const char* space, const char* pcs, const std::string& tags) {
    auto sig = [](const char* s) { return TNT_SIG(s[0], s[1], s[2], s[3]); };
    Profile* p = NewTestProfile(sig(cls), sig(space), sig(pcs));
    const Bytes any = XYZTag(0.5, 0.5, 0.5);
    for (char t : tags) {
        switch (t) {
            case 'w': PutTag(p, Sig("wtpt"), any); break;
            case 'k': PutTag(p, Sig("kTRC"), any); break;
            case 'a': PutTag(p, Sig("A2B0"), any); break;
            case 'b': PutTag(p, Sig("B2A0"), any); break;
            case 'm':
            case 'n':
                for (const char* s : {"rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC"}) PutTag(p, sig(s), any);
                if (t == 'm') PutTag(p, Sig("bTRC"), any);
                break;
        }
    }
    return p;
}

struct ClassCase {
    const char* cls;
    const char* space;
    const char* pcs;
    const char* tags;
    uint32_t kind0;
    TntStatus st0;
    uint32_t kind1;
    TntStatus st1;
};

}  // namespace

TEST(StageClassify, EveryClassDirectionAndStatus) {
    const ClassCase cases[] = {
        // Input profiles: tables win over matrix tags in the direction they serve.
        {"scnr", "RGB ", "XYZ ", "wmab", 5, kOk, 5, kOk},
        {"scnr", "RGB ", "XYZ ", "wma", 5, kOk, 2, kOk},
        {"scnr", "RGB ", "XYZ ", "wmb", 1, kOk, 5, kOk},
        {"scnr", "RGB ", "Lab ", "wm", 1, kOk, 2, kOk},
        {"scnr", "3CLR", "XYZ ", "wm", 1, kOk, 2, kOk},
        {"scnr", "MCH3", "XYZ ", "wm", 1, kOk, 2, kOk},
        {"scnr", "RGB ", "XYZ ", "wn", 0, 5050, 0, 5050},
        {"scnr", "RGB ", "XYZ ", "wa", 5, kOk, 0, 5050},
        {"scnr", "GRAY", "XYZ ", "wk", 3, kOk, 4, kOk},
        {"scnr", "GRAY", "XYZ ", "wm", 0, 5050, 0, 5050},
        {"scnr", "CMYK", "Lab ", "wab", 5, kOk, 0, 6003},
        {"scnr", "CMYK", "Lab ", "wb", 0, 5050, 0, 5050},
        {"scnr", "Lab ", "Lab ", "wab", 0, 5040, 0, 5040},
        {"scnr", "RGB ", "RGB ", "wm", 0, 5030, 0, 5030},
        {"scnr", "RGB ", "XYZ ", "mab", 0, 5050, 0, 5050},
        // Display profiles: gray and RGB only.
        {"mntr", "RGB ", "XYZ ", "wm", 1, kOk, 2, kOk},
        {"mntr", "RGB ", "XYZ ", "wmab", 5, kOk, 5, kOk},
        {"mntr", "GRAY", "Lab ", "wk", 3, kOk, 4, kOk},
        {"mntr", "GRAY", "Lab ", "w", 0, 5051, 0, 5051},
        {"mntr", "3CLR", "XYZ ", "wm", 0, 5041, 0, 5041},
        {"mntr", "CMYK", "XYZ ", "wab", 0, 5041, 0, 5041},
        {"mntr", "RGB ", "Luv ", "wm", 0, 5031, 0, 5031},
        {"mntr", "RGB ", "XYZ ", "m", 0, 5051, 0, 5051},
        // Output profiles: both tables needed; the kind survives a missing one.
        {"prtr", "CMYK", "Lab ", "wab", 5, kOk, 5, kOk},
        {"prtr", "CMYK", "Lab ", "wa", 5, 5052, 5, 5052},
        {"prtr", "6CLR", "XYZ ", "wb", 5, 5052, 5, 5052},
        {"prtr", "GRAY", "XYZ ", "wk", 3, kOk, 4, kOk},
        {"prtr", "GRAY", "XYZ ", "wab", 0, 5052, 0, 5052},
        {"prtr", "CMYK", "CMYK", "wab", 0, 5032, 0, 5032},
        {"prtr", "CMYK", "Lab ", "ab", 0, 5052, 0, 5052},
        // Colour space, abstract and link profiles.
        {"spac", "Luv ", "Lab ", "wab", 5, kOk, 5, kOk},
        {"spac", "RGB ", "XYZ ", "wa", 0, 5053, 0, 5053},
        {"spac", "Lab ", "GRAY", "wab", 0, 5033, 0, 5033},
        {"spac", "Lab ", "Lab ", "ab", 0, 5053, 0, 5053},
        {"abst", "Lab ", "Lab ", "wa", 5, kOk, 5, kOk},
        {"abst", "RGB ", "Lab ", "wa", 0, 5044, 0, 5044},
        {"abst", "Lab ", "Lab ", "wb", 0, 5054, 0, 5054},
        {"abst", "Lab ", "CMYK", "wa", 0, 5034, 0, 5034},
        {"abst", "Lab ", "Lab ", "a", 0, 5054, 0, 5054},
        {"link", "RGB ", "CMYK", "a", 5, kOk, 5, kOk},
        {"link", "RGB ", "CMYK", "wb", 0, 5055, 0, 5055},
        {"nmcl", "RGB ", "Lab ", "wmab", 0, 5008, 0, 5008},
    };
    for (const ClassCase& c : cases) {
        SCOPED_TRACE(std::string(c.cls) + " " + c.space + " " + c.pcs + " tags " + c.tags);
        Profile* p = Described(c.cls, c.space, c.pcs, c.tags);
        uint32_t kind = 99;
        EXPECT_EQ(ClassifyProfile(p, 0, &kind), c.st0);
        EXPECT_EQ(kind, c.kind0);
        kind = 99;
        EXPECT_EQ(ClassifyProfile(p, 1, &kind), c.st1);
        EXPECT_EQ(kind, c.kind1);
        TntCloseProfile(p);
    }
    uint32_t kind = 0;
    EXPECT_EQ(ClassifyProfile(nullptr, 0, &kind), TNT_ERR_NULL_PARAMETER);
}

TEST(StageBuild, WhitePointRecordAndRelease) {
    TransformStage stage;
    ClearStage(&stage);
    EXPECT_EQ(stage.kind, kStageEmpty);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[2], 82.49);
    EXPECT_EQ(BuildStage(nullptr, nullptr, 0, 0), TNT_ERR_NULL_PARAMETER);
    EXPECT_EQ(BuildStage(&stage, nullptr, 0, 0), TNT_ERR_NULL_PARAMETER);

    const int64_t live = LiveBlockCount();
    Profile* p = MatrixProfile(Sig("mntr"), SampledCurveTag(16, [](double x) { return x * x; }));
    PutWhitePoint(p, 0.9505, 1.0, 1.089);
    ASSERT_EQ(BuildStage(&stage, p, 1, 3), 0);
    EXPECT_EQ(stage.profile, p);
    EXPECT_EQ(stage.kind, kStageMatrixReverse);
    EXPECT_EQ(stage.direction, 1u);
    EXPECT_EQ(stage.intent, 3);
    EXPECT_NEAR(stage.mediaWhite[0], 95.05, 1e-3);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[1], 100.0);
    EXPECT_NEAR(stage.mediaWhite[2], 108.9, 1e-3);
    EXPECT_EQ(stage.data.matrix.curve[1].length, 16u);
    ReleaseStageTables(&stage);
    ReleaseStageTables(&stage);
    EXPECT_EQ(stage.data.matrix.curve[0].table, nullptr);

    // A failing build still records its profile, so that a transform can
    // close it; a too-short white point is refused.
    TntRemoveProfileElement(p, Sig("wtpt"));
    PutTag(p, Sig("wtpt"), Bytes(12, 0));
    ClearStage(&stage);
    EXPECT_EQ(BuildStage(&stage, p, 0, 0), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(stage.profile, p);
    TntCloseProfile(p);

    // A device link needs no white point and keeps D50.
    LutContents rgbToCmyk;
    rgbToCmyk.outputs = 4;
    p = LutProfile(Sig("link"), Sig("RGB "), Sig("CMYK"), {{Sig("A2B0"), rgbToCmyk}});
    TntRemoveProfileElement(p, Sig("wtpt"));
    ClearStage(&stage);
    ASSERT_EQ(BuildStage(&stage, p, 0, 0), 0);
    EXPECT_EQ(stage.kind, kStageLookupTable);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[0], 96.42);
    ReleaseStageTables(&stage);
    ReleaseStageTables(&stage);
    // In reverse it classifies but has no B2A0 table to read.
    EXPECT_EQ(BuildStage(&stage, p, 1, 0), TNT_ERR_TAG_NOT_FOUND);
    ReleaseStageTables(&stage);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), live);

    // Applying an empty or conversion slot is refused.
    WorkColor c{};
    ClearStage(&stage);
    EXPECT_EQ(ApplyStage(&stage, &c, &c, kPassFull), TNT_ERR_STAGE_KIND);
    stage.kind = kStageSpaceConversion;
    EXPECT_EQ(ApplyStage(&stage, &c, &c, kPassFull), TNT_ERR_STAGE_KIND);
}

TEST(StageBuild, StageSpacesFollowDirectionAndPassFlags) {
    Profile* printer = Described("prtr", "CMYK", "Lab ", "wab");
    Profile* display = Described("mntr", "RGB ", "Lab ", "wm");
    const uint32_t cmyk = Sig("CMYK"), lab = Sig("Lab "), rgb = Sig("RGB "), xyz = Sig("XYZ ");
    struct Row {
        Profile* p;
        uint32_t kind, direction;
        uint16_t flags;
        uint32_t in, out;
    } rows[] = {
        {printer, 5, 0, 1, cmyk, cmyk}, {printer, 5, 0, 4, lab, lab},  {printer, 5, 0, 6, cmyk, lab},
        {printer, 5, 1, 3, lab, cmyk},  {printer, 5, 1, 4, cmyk, cmyk},
        // Matrix stages work in XYZ whatever PCS the profile names.
        {display, 1, 0, 7, rgb, xyz},   {display, 1, 0, 1, rgb, rgb},  {display, 2, 1, 1, xyz, lab},
        {display, 3, 0, 7, rgb, lab},
    };
    for (const Row& r : rows) {
        TransformStage s;
        ClearStage(&s);
        s.profile = r.p;
        s.kind = r.kind;
        s.direction = r.direction;
        uint32_t in = 0, out = 0;
        ASSERT_EQ(StageSpaces(&s, r.flags, &in, &out), 0);
        EXPECT_EQ(in, r.in) << r.kind << "/" << r.direction << "/" << r.flags;
        EXPECT_EQ(out, r.out) << r.kind << "/" << r.direction << "/" << r.flags;
    }
    TransformStage conversion;
    ClearStage(&conversion);
    conversion.kind = kStageSpaceConversion;
    conversion.data.conversion = {xyz, Sig("Luv ")};
    uint32_t in = 0, out = 0;
    ASSERT_EQ(StageSpaces(&conversion, 2, &in, &out), 0);
    EXPECT_EQ(in, xyz);
    EXPECT_EQ(out, Sig("Luv "));
    conversion.kind = kStageLookupTable;
    EXPECT_EQ(StageSpaces(&conversion, 7, &in, &out), TNT_ERR_NULL_PARAMETER);
    TntCloseProfile(printer);
    TntCloseProfile(display);
}

// Every real profile on the machine, built in both directions. 0..5 are
// kinds of a successful build; larger numbers are the build's status.
TEST(StageBuild, RealProfilesInBothDirections) {
    const std::map<std::string, std::pair<int, int>> expected = {
        // Matrix display profiles (argyll-ref, icc-profiles-free, ghostscript;
        // ps_rgb.icc is a version 4 file built only of version 2 types).
        {"ref/ACES_P3.icm", {1, 2}}, {"ref/ClayRGB1998.icm", {1, 2}}, {"ref/DisplayP3.icm", {1, 2}},
        {"ref/EBU3213_PAL.icm", {1, 2}}, {"ref/ProPhoto.icm", {1, 2}}, {"ref/ProPhotoLin.icm", {1, 2}},
        {"ref/Rec2020.icm", {1, 2}}, {"ref/Rec709.icm", {1, 2}}, {"ref/SMPTE431_P3.icm", {1, 2}},
        {"ref/SMPTE_RP145_NTSC.icm", {1, 2}}, {"ref/sRGB.icm", {1, 2}}, {"icc/CineonLog_M.icc", {1, 2}},
        {"icc/CineonLog_M_Knee_10.icc", {1, 2}}, {"icc/CineonLog_M_Knee_20.icc", {1, 2}},
        {"icc/CineonLog_M_Knee_30.icc", {1, 2}}, {"icc/CineonLog_M_Knee_60.icc", {1, 2}},
        {"icc/LStar-RGB.icc", {1, 2}}, {"icc/compatibleWithAdobeRGB1998.icc", {1, 2}}, {"icc/sRGB.icc", {1, 2}},
        {"ghostscript/a98.icc", {1, 2}}, {"ghostscript/default_rgb.icc", {1, 2}}, {"ghostscript/esrgb.icc", {1, 2}},
        {"ghostscript/ps_rgb.icc", {1, 2}}, {"ghostscript/rommrgb.icc", {1, 2}}, {"ghostscript/scrgb.icc", {1, 2}},
        {"ghostscript/srgb.icc", {1, 2}},
        // Gray display profiles (ps_gray.icc is version 4).
        {"icc/Gray-CIE_L.icc", {3, 4}}, {"icc/Gray.icc", {3, 4}}, {"ghostscript/default_gray.icc", {3, 4}},
        {"ghostscript/ps_gray.icc", {3, 4}}, {"ghostscript/sgray.icc", {3, 4}},
        {"profiles/gray-gamma1-mntr-xyz-v2.icc", {3, 4}},
        // Printer tables (gray_to_k.icc and ps_cmyk.icc are version 4 with
        // 'mft2' tables) and colour space tables.
        {"ghostscript/default_cmyk.icc", {5, 5}}, {"ghostscript/gray_to_k.icc", {5, 5}},
        {"ghostscript/ps_cmyk.icc", {5, 5}}, {"ghostscript/lab.icc", {5, 5}}, {"icc/ITULab.icc", {5, 5}},
        {"profiles/fogra29-cmyk-xyz-v2.icc", {5, 5}}, {"profiles/fogra39-cmyk-lab-v2.icc", {5, 5}},
        {"profiles/tr003-cmyk-lab-low-v2.icc", {5, 5}},
        // An abstract profile and device links have only a forward table.
        {"icc/CineLogCurve.icc", {5, 5005}}, {"profiles/fogra39-to-fogra29-link-mft2-collink.icc", {5, 5005}},
        {"profiles/srgb-to-fogra39-link-mft1-linkicc.icc", {5, 5005}},
        {"profiles/srgb-to-fogra39-link-mft2-collink.icc", {5, 5005}},
        {"profiles/srgb-to-tr003-link-mft2-linkicc.icc", {5, 5005}},
        // Display-class profiles of Lab and XYZ data, and an input profile of
        // Lab data, are outside what those classes accept.
        {"icc/LCMSLABI.ICM", {5041, 5041}}, {"icc/LCMSXYZI.ICM", {5041, 5041}}, {"ref/lab2lab.icm", {5040, 5040}},
        // Named colour profiles (colord-data) are no class a transform runs.
        {"colord/Crayons.icc", {5008, 5008}}, {"colord/x11-colors.icc", {5008, 5008}},
    };
    // colord-data's other profiles are version 4 matrix display profiles.
    auto kindsOf = [&](const std::string& key) -> const std::pair<int, int>* {
        static const std::pair<int, int> matrix = {1, 2};
        auto it = expected.find(key);
        if (it != expected.end()) return &it->second;
        return key.rfind("colord/", 0) == 0 ? &matrix : nullptr;
    };
    int seen = 0;
    for (const std::string& path : RealProfilePaths()) {
        const std::filesystem::path fp(path);
        const std::string key = fp.parent_path().filename().string() + "/" + fp.filename().string();
        SCOPED_TRACE(key);
        const std::pair<int, int>* kinds = kindsOf(key);
        if (!kinds) {
            ADD_FAILURE() << "no expectation for " << path;
            continue;
        }
        ++seen;
        ProfileLocation loc = FileLocationOf(path);
        Profile* p = nullptr;
        ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
        const int wanted[2] = {kinds->first, kinds->second};
        for (uint32_t direction = 0; direction < 2; ++direction) {
            TransformStage stage;
            ClearStage(&stage);
            const TntStatus st = BuildStage(&stage, p, direction, GetProfileIntent(p));
            if (wanted[direction] <= 5) {
                EXPECT_EQ(st, 0) << "direction " << direction;
                EXPECT_EQ(stage.kind, uint32_t(wanted[direction])) << "direction " << direction;
            } else {
                EXPECT_EQ(st, wanted[direction]) << "direction " << direction;
            }
            ReleaseStageTables(&stage);
        }
        TntCloseProfile(p);
    }
    EXPECT_GE(seen, 8);  // at least the shared set
}
