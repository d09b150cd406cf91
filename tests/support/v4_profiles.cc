#include "support/v4_profiles.h"

#if !defined(_WIN32)
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#endif

namespace tnt_test {

#if !defined(_WIN32)

namespace {

// What a grid sampler needs: the transform from its colours to the table's
// and the table's elements around the grid that the samples undo.
struct Cargo {
    cmsHTRANSFORM transform;
    bool labPcs;
};

cmsUInt16Number Code(double v) { return cmsUInt16Number(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0)); }

// The v4 encodings of the connection space in a table: Lab as L / 100 and
// (a + 128) / 255, XYZ as X x 32768 / 65535.
constexpr double kXyzEncoding = 32768.0 / 65535.0;

// Printer tables of the XYZ profile put a matrix (1.8 times; with offsets,
// zero here: an XYZ below 0 is clipped before a table by Tintwell and
// after its matrix by Little CMS) and M curves between the grid and the
// connection space: a square in A2B0, a square root in B2A0, so that the
// grid holds XYZ's square roots and dark colours get many of its codes.
constexpr double kScale = 1.8, kOffset = 0.0;

// A2B: the grid gets x^2 (its A curves are a gamma of 2) for CMYK x.
cmsInt32Number SampleForward(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    auto* c = static_cast<Cargo*>(cargo);
    double cmyk[4], pcs[3];
    for (int k = 0; k < 4; ++k) cmyk[k] = (c->labPcs ? std::sqrt(in[k] / 65535.0) : in[k] / 65535.0) * 100.0;
    cmsDoTransform(c->transform, cmyk, pcs, 1);
    if (c->labPcs) {
        out[0] = Code(pcs[0] / 100.0);
        out[1] = Code((pcs[1] + 128.0) / 255.0);
        out[2] = Code((pcs[2] + 128.0) / 255.0);
    } else {
        // Through the M curves (squares) and the matrix afterwards.
        for (int k = 0; k < 3; ++k) out[k] = Code(std::sqrt(std::max(0.0, (pcs[k] * kXyzEncoding - kOffset) / kScale)));
    }
    return 1;
}

// B2A: the grid's inputs come through the B curves (identity), and for
// XYZ the matrix and M curves; its outputs go through A curves of a gamma
// of 0.5 (Lab) or the identity (XYZ).
cmsInt32Number SampleReverse(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    auto* c = static_cast<Cargo*>(cargo);
    double pcs[3], cmyk[4];
    for (int k = 0; k < 3; ++k) pcs[k] = in[k] / 65535.0;
    if (c->labPcs) {
        pcs[0] *= 100.0;
        pcs[1] = pcs[1] * 255.0 - 128.0;
        pcs[2] = pcs[2] * 255.0 - 128.0;
    } else {
        for (double& v : pcs) v = std::max(0.0, v * v - kOffset) / kScale / kXyzEncoding;
    }
    cmsDoTransform(c->transform, pcs, cmyk, 1);
    for (int k = 0; k < 4; ++k) {
        const double v = cmyk[k] / 100.0;
        out[k] = Code(c->labPcs ? v * v : v);
    }
    return 1;
}

cmsStage* Curves(double gamma, int channels) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[4] = {curve, curve, curve, curve};
    cmsStage* stage = cmsStageAllocToneCurves(nullptr, cmsUInt32Number(channels), curves);
    cmsFreeToneCurve(curve);
    return stage;
}

cmsStage* Matrix() {
    const double m[9] = {kScale, 0, 0, 0, kScale, 0, 0, 0, kScale}, offset[3] = {kOffset, kOffset, kOffset};
    return cmsStageAllocMatrix(nullptr, 3, 3, m, offset);
}

void Describe(cmsHPROFILE p, const char* text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(p, cmsSigProfileDescriptionTag, mlu);
    cmsWriteTag(p, cmsSigCopyrightTag, mlu);
    cmsMLUfree(mlu);
}

bool Save(cmsHPROFILE p, const std::string& path) {
    const bool ok = p && cmsSaveProfileToFile(p, path.c_str());
    if (p) cmsCloseProfile(p);
    return ok;
}

// A v4 CMYK printer profile sampled from the v2 one at `source`.
std::string MakePrinter(const std::string& source, bool labPcs, const std::string& path) {
    cmsHPROFILE v2 = cmsOpenProfileFromFile(source.c_str(), "r");
    if (!v2) return "";
    cmsHPROFILE pcsProfile = labPcs ? cmsCreateLab4Profile(nullptr) : cmsCreateXYZProfile();
    const cmsUInt32Number pcsFormat = labPcs ? TYPE_Lab_DBL : TYPE_XYZ_DBL;
    Cargo forward{cmsCreateTransform(v2, TYPE_CMYK_DBL, pcsProfile, pcsFormat, INTENT_RELATIVE_COLORIMETRIC, 0), labPcs};
    Cargo reverse{cmsCreateTransform(pcsProfile, pcsFormat, v2, TYPE_CMYK_DBL, INTENT_RELATIVE_COLORIMETRIC, 0), labPcs};
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, labPcs ? cmsSigLabData : cmsSigXYZData);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsReadTag(v2, cmsSigMediaWhitePointTag));
    Describe(p, labPcs ? "FOGRA39 as ICC v4 tables" : "FOGRA29 as ICC v4 tables with M curves and a matrix");

    const cmsUInt32Number forwardGrid[4] = {9, 9, 9, 9}, reverseGrid[3] = {33, 17, 25};
    cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* a2bGrid = cmsStageAllocCLut16bitGranular(nullptr, forwardGrid, 4, 3, nullptr);
    cmsStageSampleCLut16bit(a2bGrid, SampleForward, &forward, 0);
    cmsPipelineInsertStage(a2b, cmsAT_END, Curves(labPcs ? 2.0 : 1.0, 4));
    cmsPipelineInsertStage(a2b, cmsAT_END, a2bGrid);
    if (!labPcs) {
        cmsPipelineInsertStage(a2b, cmsAT_END, Curves(2.0, 3));
        cmsPipelineInsertStage(a2b, cmsAT_END, Matrix());
    }
    cmsPipelineInsertStage(a2b, cmsAT_END, Curves(1.0, 3));
    cmsPipeline* b2a = cmsPipelineAlloc(nullptr, 3, 4);
    cmsStage* b2aGrid = cmsStageAllocCLut16bitGranular(nullptr, reverseGrid, 3, 4, nullptr);
    cmsStageSampleCLut16bit(b2aGrid, SampleReverse, &reverse, 0);
    cmsPipelineInsertStage(b2a, cmsAT_END, Curves(1.0, 3));
    if (!labPcs) {
        cmsPipelineInsertStage(b2a, cmsAT_END, Matrix());
        cmsPipelineInsertStage(b2a, cmsAT_END, Curves(0.5, 3));
    }
    cmsPipelineInsertStage(b2a, cmsAT_END, b2aGrid);
    cmsPipelineInsertStage(b2a, cmsAT_END, Curves(labPcs ? 0.5 : 1.0, 4));
    const bool ok = cmsWriteTag(p, cmsSigAToB0Tag, a2b) && cmsWriteTag(p, cmsSigBToA0Tag, b2a);
    cmsPipelineFree(a2b);
    cmsPipelineFree(b2a);
    cmsDeleteTransform(forward.transform);
    cmsDeleteTransform(reverse.transform);
    cmsCloseProfile(pcsProfile);
    cmsCloseProfile(v2);
    if (!ok) {
        cmsCloseProfile(p);
        return "";
    }
    return Save(p, path) ? path : "";
}

// Matrix/TRC display profile with sRGB's primaries and 'para' curves of
// ICC form `form`.
std::string MakeParaRgb(int form, const std::string& path) {
    static const double kParameters[5][7] = {
        {2.2},
        {2.4, 1.1, -0.1},
        {1.8, 0.9, 0.05, 0.02},
        {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045},
        {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059},
    };
    cmsCIExyY d65;
    cmsWhitePointFromTemp(&d65, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, form + 1, kParameters[form]);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return Save(p, path) ? path : "";
}

MadeProfiles Make(const std::string& folder, const std::string& testProfiles) {
    MadeProfiles made;
    made.srgb = Save(cmsCreate_sRGBProfile(), folder + "/lcms-srgb-v4.icc") ? folder + "/lcms-srgb-v4.icc" : "";
    for (int form = 0; form < 5; ++form)
        made.rgbPara.push_back(MakeParaRgb(form, folder + "/lcms-rgb-para" + std::to_string(form) + "-v4.icc"));
    made.cmykLab = MakePrinter(testProfiles + "/fogra39-cmyk-lab-v2.icc", true, folder + "/lcms-fogra39-v4.icc");
    made.cmykXyz = MakePrinter(testProfiles + "/fogra29-cmyk-xyz-v2.icc", false, folder + "/lcms-fogra29-v4.icc");
    if (!made.srgb.empty() && !made.cmykLab.empty()) {
        cmsHPROFILE rgb = cmsOpenProfileFromFile(made.srgb.c_str(), "r");
        cmsHPROFILE cmyk = cmsOpenProfileFromFile(made.cmykLab.c_str(), "r");
        cmsHTRANSFORM t = cmsCreateTransform(rgb, TYPE_RGB_16, cmyk, TYPE_CMYK_16, INTENT_RELATIVE_COLORIMETRIC, 0);
        const std::string path = folder + "/lcms-srgb-to-fogra39-link-v4.icc";
        if (t && Save(cmsTransform2DeviceLink(t, 4.3, 0), path)) made.link = path;
        if (t) cmsDeleteTransform(t);
        cmsCloseProfile(rgb);
        cmsCloseProfile(cmyk);
    }
    return made;
}

}  // namespace

const MadeProfiles& MakeV4Profiles(const std::string& folder, const std::string& testProfiles) {
    static const MadeProfiles made = Make(folder, testProfiles);
    return made;
}

#else

const MadeProfiles& MakeV4Profiles(const std::string&, const std::string&) {
    static const MadeProfiles none{"", {"", "", "", "", ""}, "", "", ""};
    return none;
}

#endif

}  // namespace tnt_test
