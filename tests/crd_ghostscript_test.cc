// The dictionaries run in Ghostscript (which ignores an installed CRD when it
// paints): each job installs one with setcolorrendering and carries in-gamut Lab
// patches through the type 1 rendering steps written below in PostScript; the
// device values match the library's Lab-to-device transform at intents 0 and 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/conformance.h"
#include "support/profile_images.h"
#include "support/real_profiles.h"

namespace {

using namespace tnt_test;

// Bounds on the mean and largest per-patch difference in 1/255, a quarter above
// the measured: Lab tables encode with an 8-bit grid, an XYZ 'mBA ' is resampled
// at Lab nodes, matrices compute in floating point against 16-bit XYZ codes,
// which a wide-gamut inverse matrix amplifies (P3). The golden CRD text covers the rest.
struct CrdRow { const char* profile; double mean, max; };  // as named for ProfileByName
const CrdRow kCrdRows[] = {
    {"fogra39-cmyk-lab-v2.icc", 4.7, 14.0},          {"tr003-cmyk-lab-low-v2.icc", 3.7, 7.0},
    {"icc/ghostscript/default_cmyk.icc", 3.1, 8.0},  {"lcms-fogra39-v4.icc", 2.49, 14.5},  // pinned: in no golden list
    {"lcms-fogra29-v4.icc", 6.6, 40.0},              {"icc/sRGB.icc", 0.06, 0.3},
    {"argyll/ref/SMPTE431_P3.icm", 0.2, 5.5},        {"icc/colord/sRGB.icc", 0.07, 0.28},
    {"icc/ghostscript/ps_rgb.icc", 0.02, 0.05},      {"lcms-rgb-para0-v4.icc", 0.09, 0.35},
    {"lcms-rgb-para2-v4.icc", 0.03, 0.08},           {"lcms-rgb-para4-v4.icc", 0.04, 0.13},
};

// Definitions for the job; the patches and each dictionary follow as text, then
// "<intent> RunCRD" prints "ACCEPTED <intent>" and "P <intent> <device values>"
// for each patch. "args... proc n RunN" checks that the procedure takes n
// arguments and leaves one number; "f d Weight" weighs corner d of a cell.
const char* const kHarness = R"PS(
/TntH 100 dict def TntH begin
/Fail { print ( ) print = flush quit } def /Clip01 { dup 0 lt {pop 0} if dup 1 gt {pop 1} if } def
/RunN { count exch sub 2 sub /Depth exch def exec
  count Depth 1 add ne { (STACKERROR) count Depth sub Fail } if
  dup type dup /realtype ne exch /integertype ne and { (TYPEERROR) 0 Fail } if } def
/G { dup 6 29 div ge { dup dup mul mul } { 4 29 div sub 108 841 div mul } ifelse } def
/LabToXYZ { /Cb exch def /Ca exch def /M exch 16 add 116 div def
  M Ca 500 div add G 0.9642 mul  M G  M Cb 200 div sub G 0.8249 mul } def
/Ws [0.9642 1 0.8249 0.9642 1 0.8249] def /Bs [0 0 0 0 0 0] def /Bd Bs def
/Byte { /Bl exch def /Bj exch def Tbl exch get Bj NC mul Bl add Nm mul K add get } def /Weight { 0 eq { 1 exch sub } if } def
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
  /Abc [ 0 1 2 { /I exch def Abc I get crd /EncodeABC get I get 1 RunN Clip01 } for ] def
  crd /RenderTable known { Abc aload pop Table3 } { Abc aload pop } ifelse } def
/RunCRD { /Intent exch def /crd exch def crd setcolorrendering (ACCEPTED ) print Intent =
  /Wd crd /WhitePoint get aload pop 3 copy 6 array astore def
  0 1 Patches length 1 sub { /Pi exch def
    count /D0 exch def Patches Pi get aload pop Render (P ) print Intent =only
    count D0 sub array astore { ( ) print =only } forall () = } for } def
)PS";

TntStatus TNT_CALL Append(uintptr_t user, const char* text) { return *reinterpret_cast<std::string*>(user) += text, TNT_OK; }

TEST(CrdGhostscript, DictionariesRenderLikeTheProfile) {
    constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');
    for (const CrdRow& row : kCrdRows) {
        const std::string path = ProfileByName(row.profile, TempPath("v4"));
        SCOPED_TRACE(path);
        Bytes image = ReadFileBytes(path);
        ASSERT_GE(image.size(), 128u);
        const int channels = BigU32(image, 16) == Sig("CMYK") ? 4 : 3;
        // Patches: a device grid 0.05 to 0.95 as Lab, within what "128 add 255 div" covers.
        std::vector<uint16_t> grid, lab, patches, reference;
        for (size_t i = 0, n = channels == 4 ? 4 : 5; i < size_t(std::pow(n, channels)); ++i)
            for (size_t c = 0, rest = i; c < size_t(channels); ++c, rest /= n)
                grid.push_back(uint16_t((0.05 + 0.9 * double(rest % n) / double(n - 1)) * 65535 + 0.5));
        ASSERT_EQ(MatchWithTintwell({path}, 0, kLab, 1, grid, channels, 3, lab), 0);
        std::string job = std::string(kHarness) + "/Patches [\n";
        char line[96];
        for (size_t i = 0; i < lab.size(); i += 3) {
            if (lab[i] > 0xFF00 || std::min(lab[i + 1], lab[i + 2]) == 0 || std::max(lab[i + 1], lab[i + 2]) == 65535) continue;
            patches.insert(patches.end(), &lab[i], &lab[i] + 3);
            std::snprintf(line, sizeof line, "[%.6f %.6f %.6f]\n", lab[i] / 652.8, lab[i + 1] / 256.0 - 128, lab[i + 2] / 256.0 - 128);
            job += line;
        }
        job += "] def\n";
        Profile* p = OpenImage(image);
        for (uint32_t intent : {0, 1, 3}) {
            EXPECT_EQ(TntSaveCRD(p, intent, Append, reinterpret_cast<uintptr_t>(&job)), TNT_OK);
            job += std::to_string(intent) + " RunCRD\n";
        }
        TntCloseProfile(p);
        std::ofstream(TempPath("crd-job.ps")) << job;
        EXPECT_EQ(std::system(("gs -q -dNODISPLAY -dNOSAFER -dBATCH " + TempPath("crd-job.ps") + " >" + TempPath("crd-job.txt") + " 2>&1").c_str()), 0);
        std::stringstream lines;
        lines << std::ifstream(TempPath("crd-job.txt")).rdbuf();
        const std::string output = lines.str();
        std::vector<double> devices[4];  // by intent, patch and channel, 0..1; intent 3 is run only
        for (std::string text, word; std::getline(lines, text);) {
            std::istringstream words(text);
            int intent = -1;
            if (words >> word >> intent && word == "P" && intent >= 0 && intent < 4)
                devices[intent].insert(devices[intent].end(), std::istream_iterator<double>(words), {});
        }
        const size_t count = patches.size() / 3;
        ASSERT_GT(count, 50u);
        for (int intent : {0, 1, 3}) ASSERT_EQ(devices[intent].size(), count * channels) << output.substr(0, 2000);
        for (uint16_t intent = 0; intent < 2; ++intent) {
            ASSERT_EQ(MatchWithTintwell({path}, kLab, 0, intent, patches, 3, channels, reference), 0);
            double sum = 0, worst = 0;
            for (size_t i = 0; i < count; ++i) {
                double patch = 0;
                for (size_t k = i * channels; k < (i + 1) * channels; ++k)
                    patch = std::max(patch, std::fabs(devices[intent][k] - reference[k] / 65535.0) * 255);
                sum += patch, worst = std::max(worst, patch);
            }
            EXPECT_LE(sum / double(count), row.mean) << "intent " << intent;
            EXPECT_LE(worst, row.max) << "intent " << intent;
        }
    }
}

}  // namespace
