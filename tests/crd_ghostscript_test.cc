// The dictionaries run in a real PostScript interpreter. Ghostscript paints
// CIE-based colour through its own ICC path and ignores an installed CRD,
// so painted pixels would prove nothing: instead each job installs the
// dictionary with setcolorrendering and then carries Lab patches through
// the type 1 rendering steps (Lab decode to D50 XYZ, TransformPQR,
// EncodeLMN, MatrixABC, EncodeABC, RenderTable with trilinear lookup and
// its output procedures), written in PostScript below. Every procedure of
// the dictionary must leave exactly one number. The device values are
// compared with a reference conversion of the same Lab colours.
//
// Three properties of the dictionary text show in the comparison:
// - EncodeABC scales L by "100 div" and a, b by "128 add 255 div", not by
//   the tables' own 16-bit Lab encoding (L 100 at 0xFF00), and the grid is
//   written with 8 bits a value: a few 1/255 on steep tables.
// - With an XYZ connection space the dictionary feeds XYZ in 0..1 to input
//   tables that cover 0..about 2, so those results are far off: such
//   dictionaries are checked for acceptance and execution only.
// - The clipping branch "{pop count}" has no "//", so an input above a
//   table's range leaves the stack depth behind. Patches inside the gamut
//   (device values kept away from 0 and 1) never reach it.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/profile_images.h"
#include "support/v4_profiles.h"
#include "colour/encoding.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;
using Lab = std::vector<double>;      // L, a, b
using Device = std::vector<double>;   // 0..1 per channel

struct ProfileInfo {
    std::string path;
    bool cmyk;
    bool table;        // rendered from a B2A table, else from colorants
    bool xyzTable;     // a table with an XYZ connection space
    bool flatCurves;   // a tone curve with flat runs
    bool resampled;    // an 'mBA ' table of an XYZ PCS, sampled at Lab nodes
};

// ------------------------------------------------------------ reference

// Lab (D50) to device values through the profile with the library's own
// transform: a Lab source chained into the profile in reverse.
std::vector<Device> TintwellLabToDevice(const ProfileInfo& info, uint32_t intent, const std::vector<Lab>& labs) {
    ProfileLocation location{};
    std::strncpy(location.path, info.path.c_str(), sizeof location.path - 1);
    MatchTransform* t = TntNewTransformPtr();
    uint16_t intents[1] = {uint16_t(intent)};
    TntStatus st = TntConcatProfiles(t, TNT_SIG('L', 'a', 'b', ' '), 0, 1, &location, intents);
    EXPECT_EQ(st, 0) << info.path;
    std::vector<Device> out;
    for (const Lab& c : labs) {
        uint16_t lab[3], v[4] = {0, 0, 0, 0};
        tnt::EncodeColor16(TNT_SIG('L', 'a', 'b', ' '), c.data(), lab);
        if (!st) TntICCSingleMatchProc(lab, v, t, 2);
        out.push_back(Device(v, v + (info.cmyk ? 4 : 3)));
        for (double& d : out.back()) d /= 65535.0;
    }
    TntDisposeMatchTransform(t);
    return out;
}

constexpr auto ReferenceLabToDevice = TintwellLabToDevice;

// Lab colours the device can make: a grid of device values away from 0
// and 1, through the profile's forward direction.
std::vector<Lab> InGamutPatches(const ProfileInfo& info) {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE device = cmsOpenProfileFromFile(info.path.c_str(), "r");
    cmsHTRANSFORM t = cmsCreateTransform(device, info.cmyk ? TYPE_CMYK_DBL : TYPE_RGB_DBL, lab, TYPE_Lab_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    std::vector<Lab> patches;
    const std::vector<double> levels = info.cmyk ? std::vector<double>{0.05, 0.35, 0.65, 0.95}
                                                 : std::vector<double>{0.05, 0.275, 0.5, 0.725, 0.95};
    const size_t n = levels.size(), channels = info.cmyk ? 4 : 3;
    size_t total = 1;
    for (size_t c = 0; c < channels; ++c) total *= n;
    for (size_t i = 0; t && i < total; ++i) {
        double v[4];
        for (size_t c = 0, rest = i; c < channels; ++c, rest /= n) v[c] = levels[rest % n] * (info.cmyk ? 100 : 1);
        Lab out(3);
        cmsDoTransform(t, v, out.data(), 1);
        // The reference clips a and b to the 16-bit Lab range, as the
        // table dictionaries' "128 add 255 div" does: wide-gamut displays
        // reach beyond it, and those colours are left out.
        if (out[0] <= 100 && std::fabs(out[1] + 0.5) <= 127.5 && std::fabs(out[2] + 0.5) <= 127.5) {
            patches.push_back(out);
        }
    }
    if (t) cmsDeleteTransform(t);
    cmsCloseProfile(device);
    cmsCloseProfile(lab);
    return patches;
}

// ------------------------------------------------------------ PostScript

// Definitions for the job; each dictionary follows as text, then
// "<intent> RunCRD" prints "ACCEPTED <intent>" and one line per patch,
// "P <intent> <index> <over> <device values>", where <over> is 1 when a
// matrix dictionary's EncodeABC got a value above 1.
const char* const kHarness = R"PS(
/TntH 100 dict def TntH begin
/Fail { print ( ) print = flush quit } def
/Clip01 { dup 0 lt {pop 0} if dup 1 gt {pop 1} if } def
% args... proc n -> result, checking that the procedure takes n and leaves one number
/RunN { count exch sub 2 sub /Depth exch def exec
  count Depth 1 add ne { (STACKERROR) count Depth sub Fail } if
  dup type dup /realtype ne exch /integertype ne and { (TYPEERROR) 0 Fail } if } def
/G { dup 6 29 div ge { dup dup mul mul } { 4 29 div sub 108 841 div mul } ifelse } def
/LabToXYZ { /Cb exch def /Ca exch def /M exch 16 add 116 div def
  M Ca 500 div add G 0.9642 mul  M G  M Cb 200 div sub G 0.8249 mul } def
/Ws [0.9642 1 0.8249 0.9642 1 0.8249] def /Bs [0 0 0 0 0 0] def /Bd Bs def
/Byte { /Bl exch def /Bj exch def Tbl exch get Bj NC mul Bl add Nm mul K add get } def
/Weight { 0 eq { 1 exch sub } if } def  % f d -> weight of corner d
/Table3 { /Rt crd /RenderTable get def
  /NA Rt 0 get def /NB Rt 1 get def /NC Rt 2 get def /Tbl Rt 3 get def /Nm Rt 4 get def
  /Tc exch NC 1 sub mul def /Tb exch NB 1 sub mul def /Ta exch NA 1 sub mul def
  /Ia Ta cvi dup NA 1 sub ge { pop NA 2 sub } if def /Fa Ta Ia sub def
  /Ib Tb cvi dup NB 1 sub ge { pop NB 2 sub } if def /Fb Tb Ib sub def
  /Ic Tc cvi dup NC 1 sub ge { pop NC 2 sub } if def /Fc Tc Ic sub def
  0 1 Nm 1 sub { /K exch def 0
    0 1 1 { /Da exch def 0 1 1 { /Db exch def 0 1 1 { /Dc exch def
      Ia Da add Ib Db add Ic Dc add Byte Fa Da Weight mul Fb Db Weight mul Fc Dc Weight mul add
    } for } for } for
    255 div Rt 5 K add get 1 RunN } for } def
/Render { LabToXYZ 3 array astore /Xyz exch def
  /Lmn [ 0 1 2 { /I exch def Ws Bs Wd Bd Xyz I get crd /TransformPQR get I get 5 RunN } for ] def
  crd /EncodeLMN known { /Lmn [ 0 1 2 { /I exch def Lmn I get crd /EncodeLMN get I get 1 RunN Clip01 } for ] def } if
  /Mx crd /MatrixABC get def
  /Abc [ 0 1 2 { /I exch def Lmn 0 get Mx I get mul Lmn 1 get Mx I 3 add get mul add Lmn 2 get Mx I 6 add get mul add } for ] def
  % Without a RenderTable, EncodeABC takes linear device values: above 1
  % they would take the clipping branch.
  crd /RenderTable known not { Abc { 1 gt { /Over 1 def } if } forall } if
  /Abc [ 0 1 2 { /I exch def Abc I get crd /EncodeABC get I get 1 RunN Clip01 } for ] def
  crd /RenderTable known { Abc aload pop Table3 } { Abc aload pop } ifelse } def
/RunCRD { /Intent exch def /crd exch def
  crd setcolorrendering (ACCEPTED ) print Intent =
  /Wd crd /WhitePoint get aload pop 3 copy 6 array astore def
  0 1 Patches length 1 sub { /Pi exch def
    count /D0 exch def /Over 0 def
    Patches Pi get aload pop Render
    (P ) print Intent =only ( ) print Pi =only ( ) print Over =only
    count D0 sub array astore { ( ) print =only } forall () = } for } def
)PS";

struct JobResult {
    std::string output;
    std::vector<int> accepted;
    std::vector<std::vector<Device>> devices;  // by intent
    std::vector<std::vector<bool>> over;       // by intent
};

TntStatus TNT_CALL Append(uintptr_t user, const char* text) {
    *reinterpret_cast<std::string*>(user) += text;
    return TNT_OK;
}

JobResult RunJob(const ProfileInfo& info, const std::vector<Lab>& patches, const std::vector<uint32_t>& intents) {
    std::string job = kHarness;
    job += "/Patches [\n";
    char line[96];
    for (const Lab& c : patches) {
        std::snprintf(line, sizeof line, "[%.6f %.6f %.6f]\n", c[0], c[1], c[2]);
        job += line;
    }
    job += "] def\n";
    Bytes image = ReadFileBytes(info.path);
    Profile* p = OpenImage(image);
    for (uint32_t intent : intents) {
        EXPECT_EQ(TntSaveCRD(p, intent, Append, reinterpret_cast<uintptr_t>(&job)), TNT_OK) << info.path;
        job += std::to_string(intent) + " RunCRD\n";
    }
    TntCloseProfile(p);
    job += "end\n";
    const std::string path = TempPath("crd-job.ps");
    WriteFileBytes(path, Bytes(job.begin(), job.end()));

    JobResult result;
    result.devices.resize(4);
    result.over.resize(4);
    FILE* gs = popen(("gs -q -dNODISPLAY -dNOSAFER -dBATCH " + path + " 2>&1").c_str(), "r");
    if (!gs) return result;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, gs)) result.output += buffer;
    pclose(gs);
    std::istringstream lines(result.output);
    std::string word;
    while (lines >> word) {
        if (word == "ACCEPTED") {
            int intent;
            lines >> intent;
            result.accepted.push_back(intent);
        } else if (word == "P") {
            int intent, over;
            size_t index;
            lines >> intent >> index >> over;
            Device d(info.cmyk ? 4 : 3);
            for (double& v : d) lines >> v;
            if (intent < 0 || intent > 3 || index != result.devices[intent].size()) continue;
            result.devices[intent].push_back(d);
            result.over[intent].push_back(over != 0);
        }
    }
    return result;
}

// Whether a tone curve stays level somewhere (Cineon log curves, e-sRGB):
// such a curve has no single inverse, and the dictionary and the reference
// rightly pick different device values for one colour.
bool HasFlatCurve(const std::string& path) {
    cmsHPROFILE h = cmsOpenProfileFromFile(path.c_str(), "r");
    bool flat = false;
    for (cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        const auto* curve = h ? static_cast<const cmsToneCurve*>(cmsReadTag(h, tag)) : nullptr;
        for (int i = 0; curve && i < 1023; ++i) {
            flat |= cmsEvalToneCurveFloat(curve, (i + 1) / 1023.0f) <= cmsEvalToneCurveFloat(curve, i / 1023.0f);
        }
    }
    if (h) cmsCloseProfile(h);
    return flat;
}

// Every RGB or CMYK v2 output or display profile on the machine that the
// writer can render: table profiles and matrix/tone-curve profiles. Of the
// v4 ones, ghostscript's, three of colord-data's ('para' forms 0 and 3, a
// sampled 'curv') and the display and printer profiles made with Little
// CMS ('para' of every form, 'mBA ' tables with a Lab and an XYZ PCS).
std::vector<ProfileInfo> OutputProfiles() {
    std::vector<ProfileInfo> found;
    std::vector<std::string> paths = RealProfilePaths();
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const MadeProfiles& v4 = MakeV4Profiles(folder, TNT_TEST_PROFILES);
    paths.insert(paths.end(), {v4.srgb, v4.cmykLab, v4.cmykXyz});
    paths.insert(paths.end(), v4.rgbPara.begin(), v4.rgbPara.end());
    for (const std::string& path : paths) {
        Bytes image = ReadFileBytes(path);
        if (image.size() < 132 || (image[8] != 2 && image[8] != 4)) continue;
        const bool chosenV4 = path.find("/colord/") == std::string::npos || path.find("/sRGB.icc") != std::string::npos ||
                              path.find("/AdobeRGB1998.icc") != std::string::npos ||
                              path.find("/Rec709.icc") != std::string::npos;
        if (image[8] == 4 && !chosenV4) continue;
        const uint32_t cls = BigU32(image, 12), space = BigU32(image, 16), pcs = BigU32(image, 20);
        if ((cls != Sig("prtr") && cls != Sig("mntr")) || (space != Sig("RGB ") && space != Sig("CMYK"))) continue;
        Profile* p = OpenImage(image);
        uint32_t table = 0, type = 0;
        TntProfileElementExists(p, Sig("B2A0"), &table);
        if (table) TntGetPartialProfileElement(p, Sig("B2A0"), 0, &(table = 4), &type);
        TntCloseProfile(p);
        // An 'mBA ' dictionary scales XYZ to its table's encoding; an
        // 'mft1'/'mft2' one does not (see above).
        const bool xyzTable = table && pcs == Sig("XYZ ") && type != Sig("mBA ");
        found.push_back({path, space == Sig("CMYK"), table != 0, xyzTable, !table && HasFlatCurve(path),
                         table && pcs == Sig("XYZ ") && type == Sig("mBA ")});
    }
    return found;
}

TEST(CrdGhostscript, DictionariesRenderLikeTheProfile) {
    ASSERT_EQ(std::system("gs --version >/dev/null 2>&1"), 0)
        << "Ghostscript (gs) is needed to run the dictionaries; setup.sh installs the ghostscript package";
    const std::vector<ProfileInfo> profiles = OutputProfiles();
    ASSERT_GE(profiles.size(), 20u);
    const std::vector<uint32_t> intents = {0, 1, 3};
    for (const ProfileInfo& info : profiles) {
        SCOPED_TRACE(info.path);
        const std::vector<Lab> patches = InGamutPatches(info);
        ASSERT_FALSE(patches.empty());
        const JobResult job = RunJob(info, patches, intents);
        ASSERT_EQ(job.accepted, std::vector<int>(intents.begin(), intents.end())) << job.output.substr(0, 2000);
        for (uint32_t intent : intents) {
            ASSERT_EQ(job.devices[intent].size(), patches.size()) << job.output.substr(0, 2000);
        }
        if (info.xyzTable || info.flatCurves) {
            std::printf("  %-60s %s: accepted and run only\n", info.path.c_str(),
                        info.xyzTable ? "XYZ table" : "flat tone curve");
            continue;
        }
        // Matrix dictionaries: matrix elements with 4 decimals and inverse
        // curves sampled at the curves' own counts, values printed by
        // Ghostscript with 6 digits; measured at most 0.6/255. Lab tables:
        // the L scale of EncodeABC (100 where the table means 100.39) and
        // the 8-bit grid; measured means 2.6 to 3.8 and maxima up to
        // 11.1/255 on the steep Argyll tables, below 1.1/255 everywhere
        // once EncodeABC is given the tables' own encoding.
        // Matrix dictionaries compute in floating point; the library carries
        // XYZ between stages as 16-bit codes, and where a wide-gamut
        // display's inverse matrix amplifies that step under a steep 2.6
        // gamma (the DCI-P3 profiles, dark saturated patches) the two part
        // by up to 4.6/255; everywhere else by under 0.3/255.
        // An 'mBA ' of an XYZ PCS is resampled at Lab nodes: around the
        // neutrals of a table with strong black generation, neighbouring
        // nodes hold quite different ink mixes of alike colours, which
        // interpolation in Lab and in the table's own grid split
        // differently; measured mean 6.6/255 and maximum 32.5/255.
        const double meanLimit = info.resampled ? 8.0 : info.table ? 5.0 : 0.25;
        const double maxLimit = info.resampled ? 40.0 : info.table ? 16.0 : 5.0;
        // Absolute colorimetric scales by white points normalised to Y = 1,
        // unlike the reference: it is run, not compared.
        for (uint32_t intent : {0u, 1u}) {
            const std::vector<Device> reference = ReferenceLabToDevice(info, intent, patches);
            double sum = 0, worst = 0;
            size_t compared = 0;
            for (size_t i = 0; i < patches.size(); ++i) {
                if (job.over[intent][i]) continue;
                double patchWorst = 0;
                for (size_t c = 0; c < reference[i].size(); ++c) {
                    patchWorst = std::max(patchWorst, std::fabs(job.devices[intent][i][c] - reference[i][c]) * 255.0);
                }
                sum += patchWorst;
                worst = std::max(worst, patchWorst);
                ++compared;
            }
            const double mean = compared ? sum / compared : 0.0;
            std::printf("  %-60s intent %u: %3zu of %3zu patches, mean %.2f, max %.2f (1/255)\n", info.path.c_str(),
                        intent, compared, patches.size(), mean, worst);
            EXPECT_GE(compared * 10, patches.size() * 9);
            EXPECT_LE(mean, meanLimit) << "intent " << intent;
            EXPECT_LE(worst, maxLimit) << "intent " << intent;
        }
    }
}

}  // namespace
