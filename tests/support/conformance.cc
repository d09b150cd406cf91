#include "support/conformance.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "support/v4_profiles.h"

namespace tnt_test {

namespace {

// Bounds a quarter above the measured maxima. Absolute colorimetric only without v2
// display profiles whose white is not D50 (Little CMS takes D50). An 8-bit Lab table
// ('mft1', default_cmyk) is read half a step off on a, b and L scaled by 100 / 100.39.

// Intents as "013"; `bothWays` from the destination to the source too.
struct ComparisonRow { const char *source, *destination, *intents; double maxDeltaE; bool bothWays = false; };
const ComparisonRow kComparisonRows[] = {
    {"argyll/ref/ClayRGB1998.icm", "argyll/ref/sRGB.icm", "013", 0.06},
    {"icc/sRGB.icc", "fogra39-cmyk-lab-v2.icc", "01", 0.08},
    {"icc/compatibleWithAdobeRGB1998.icc", "fogra29-cmyk-xyz-v2.icc", "01", 0.08},
    {"fogra39-cmyk-lab-v2.icc", "icc/sRGB.icc", "01", 0.2},
    {"fogra29-cmyk-xyz-v2.icc", "argyll/ref/ClayRGB1998.icm", "01", 0.08},
    {"fogra39-cmyk-lab-v2.icc", "fogra29-cmyk-xyz-v2.icc", "013", 0.13},
    {"icc/ghostscript/default_cmyk.icc", "fogra39-cmyk-lab-v2.icc", "013", 0.03},
    {"icc/Gray-CIE_L.icc", "icc/compatibleWithAdobeRGB1998.icc", "01", 0.28},
    {"icc/ghostscript/sgray.icc", "argyll/ref/sRGB.icm", "013", 0.26},
    {"", "fogra39-cmyk-lab-v2.icc", "013", 0.02},
    {"", "fogra29-cmyk-xyz-v2.icc", "013", 0.2},
    {"", "icc/ghostscript/default_cmyk.icc", "013", 1.5},
    // ICC v4: ghostscript's, and Little CMS's ('para', 'mAB '/'mBA ', a link).
    {"icc/ghostscript/ps_rgb.icc", "icc/colord/sRGB.icc", "13", 0.11, true},
    {"icc/ghostscript/ps_cmyk.icc", "icc/colord/sRGB.icc", "13", 0.2, true},
    {"lcms-rgb-para0-v4.icc", "icc/colord/sRGB.icc", "13", 0.07, true},
    {"lcms-rgb-para1-v4.icc", "icc/colord/sRGB.icc", "13", 0.15, true},
    {"lcms-rgb-para2-v4.icc", "icc/colord/sRGB.icc", "13", 0.05, true},
    {"lcms-rgb-para3-v4.icc", "icc/colord/sRGB.icc", "13", 0.07, true},
    {"lcms-rgb-para4-v4.icc", "icc/colord/sRGB.icc", "13", 0.22, true},
    {"lcms-fogra39-v4.icc", "icc/colord/sRGB.icc", "13", 0.2, true},
    {"lcms-fogra29-v4.icc", "icc/colord/sRGB.icc", "13", 0.13, true},
    {"lcms-srgb-to-fogra39-link-v4.icc", "lcms-fogra39-v4.icc", "13", 0.02},
};

}  // namespace

std::string ProfileByName(const std::string& name, const std::string& folder) {
    if (name.empty() || name.find('/') != std::string::npos) return name.empty() ? "" : "/usr/share/color/" + name;
    if (name.rfind("lcms-", 0) != 0) return std::string(TNT_TEST_PROFILES) + "/" + name;
    std::filesystem::create_directories(folder);  // made once, in the folder of the first call
    return std::filesystem::path(MakeV4Profiles(folder, TNT_TEST_PROFILES).srgb).replace_filename(name).string();
}

namespace {

uint16_t Code(double v) { return uint16_t(std::clamp(v, 0.0, 65535.0) + 0.5); }

cmsUInt32Number Format(cmsColorSpaceSignature s) {
    return s == cmsSigLabData ? TYPE_Lab_16 : s == cmsSigGrayData ? TYPE_GRAY_16 : s == cmsSigCmykData ? TYPE_CMYK_16 : TYPE_RGB_16;
}

// The samples in both engines' encodings: Tintwell's Lab codes put L 100 at
// 0xFF00 and a 0 at 0x8000, Little CMS's at 0xFFFF and 0x8080; Tintwell reads
// gray as ink, Little CMS as light.
struct Samples {
    std::vector<uint16_t> tintwell, lcms;
    size_t count = 1;
};

Samples MakeSamples(cmsColorSpaceSignature space, int steps) {
    Samples s;
    const int channels = int(cmsChannelsOf(space));
    std::vector<int> levels(channels, channels == 1 ? 32 * steps + 1 : steps);
    if (space == cmsSigLabData) levels[0] = 2 * steps - 1;
    for (int n : levels) s.count *= n;
    for (size_t i = 0; i < s.count; ++i) {
        double v[4];
        size_t rest = i;
        for (int c = channels - 1; c >= 0; rest /= levels[c], --c) v[c] = double(rest % levels[c]) / (levels[c] - 1);
        for (int c = 0; c < channels; ++c) {
            if (space == cmsSigLabData) {  // L 0..100, a and b -100..100
                const double x = c ? 200.0 * v[c] - 100.0 : 100.0 * v[c];
                s.tintwell.push_back(Code(c ? (x + 128.0) * 256.0 : x * 652.8));
                s.lcms.push_back(Code(c ? (x + 128.0) * 257.0 : x * 655.35));
            } else {
                s.tintwell.push_back(Code(v[c] * 65535.0));
                s.lcms.push_back(channels == 1 ? uint16_t(65535 - s.tintwell.back()) : s.tintwell.back());
            }
        }
    }
    return s;
}

// Multilinear interpolation of 16-bit tables over 2 to 8 inputs: each corner of
// the cell weighted by the product of its fractions, the first input slowest.
void Multilinear(const cmsUInt16Number in[], cmsUInt16Number out[], const cmsInterpParams* p) {
    const uint32_t n = p->nInputs;
    uint32_t base = 0;
    double fraction[8] = {}, value[cmsMAXCHANNELS] = {};
    for (uint32_t j = 0; j < n; ++j) {
        if (p->Domain[j] == 0) continue;  // a single node
        const double x = in[j] / 65535.0 * p->Domain[j];
        const uint32_t index = std::min(uint32_t(x), p->Domain[j] - 1);
        fraction[j] = x - index;
        base += index * p->opta[n - 1 - j];
    }
    for (uint32_t corner = 0; corner < (1u << n); ++corner) {
        double weight = 1.0;
        uint32_t offset = base;
        for (uint32_t j = 0; j < n; ++j) {
            const bool high = corner >> (n - 1 - j) & 1;
            weight *= high ? fraction[j] : 1.0 - fraction[j];
            offset += high ? p->opta[n - 1 - j] : 0;
        }
        for (uint32_t k = 0; weight != 0.0 && k < p->nOutputs; ++k)
            value[k] += weight * static_cast<const cmsUInt16Number*>(p->Table)[offset + k];
    }
    for (uint32_t k = 0; k < p->nOutputs; ++k) out[k] = Code(value[k]);
}

cmsInterpFunction MultilinearFactory(cmsUInt32Number inputs, cmsUInt32Number outputs, cmsUInt32Number flags) {
    cmsInterpFunction f;
    const bool ours = inputs >= 2 && inputs <= 8 && outputs <= cmsMAXCHANNELS && !(flags & CMS_LERP_FLAGS_FLOAT);
    f.Lerp16 = ours ? Multilinear : nullptr;  // curves keep Little CMS's own interpolation
    return f;
}

cmsPluginInterpolation gMultilinear = {{cmsPluginMagicNumber, 2060, cmsPluginInterpolationSig, nullptr},
                                       MultilinearFactory};

using Handle = std::unique_ptr<void, cmsBool (*)(void*)>;
cmsBool Delete(cmsHTRANSFORM t) {
    cmsDeleteTransform(t);
    return true;
}

}  // namespace

TntStatus MatchWithTintwell(const std::vector<std::string>& chain, uint32_t sourceSpace, uint32_t destinationSpace,
                            uint16_t intent, const std::vector<uint16_t>& in, int inChannels, int outChannels,
                            std::vector<uint16_t>& out) {
    std::vector<ProfileLocation> locations(chain.size());
    for (size_t i = 0; i < chain.size(); ++i) std::strncpy(locations[i].path, chain[i].c_str(), sizeof locations[i].path - 1);
    const std::vector<uint16_t> intents(chain.size(), intent);
    const int32_t count = int32_t(in.size() / inChannels);
    MatchTransform* t = TntNewTransformPtr();
    TntStatus st = t ? TntConcatProfiles(t, sourceSpace, destinationSpace, int16_t(chain.size()), locations.data(),
                                         intents.data())
                     : TNT_ERR_NO_MEMORY;
    out.assign(size_t(count) * outChannels, 0);
    if (!st) st = TntICCMatchColors(t, 0, in.data(), out.data(), count, int16_t(inChannels), int16_t(outChannels), 0, 0, 2);
    if (t) TntDisposeMatchTransform(t);
    return st;
}

std::vector<Comparison> Comparisons(const std::string& folder) {
    std::vector<Comparison> out;
    for (const ComparisonRow& row : kComparisonRows)
        for (int way = 0; way < 1 + row.bothWays; ++way)
            for (const char *intent = row.intents, *from = way ? row.destination : row.source,
                            *to = way ? row.source : row.destination; *intent; ++intent)
                out.push_back({ProfileByName(from, folder), ProfileByName(to, folder),
                               std::string(*from ? from : "Lab") + " | " + to + " | " + *intent, uint16_t(*intent - '0'),
                               row.maxDeltaE});
    return out;
}

ComparisonStats CompareWithLittleCms(const std::string& source, const std::string& destination, uint16_t intent,
                                     bool multilinear, int steps) {
    ComparisonStats stats;
    auto fail = [&stats](const char* why) { stats.error = why; return stats; };
    std::unique_ptr<_cmsContext_struct, void (*)(cmsContext)> context(
        multilinear ? cmsCreateContext(&gMultilinear, nullptr) : nullptr, cmsDeleteContext);
    auto open = [](cmsContext c, const std::string& path) {
        return Handle(path.empty() ? cmsCreateLab2ProfileTHR(c, cmsD50_xyY()) : cmsOpenProfileFromFileTHR(c, path.c_str(), "r"),
                      cmsCloseProfile);
    };
    // The measurement runs in the default context whatever the conversion used.
    const Handle from = open(context.get(), source), measured = open(nullptr, destination),
                 lab(cmsCreateLab4Profile(nullptr), cmsCloseProfile);
    const bool link = from && cmsGetDeviceClass(from.get()) == cmsSigLinkClass;
    const Handle to = link ? Handle(nullptr, cmsCloseProfile) : open(context.get(), destination);
    if ((multilinear && !context) || !from || !measured || !lab || (!link && !to)) return fail("Little CMS cannot open them");
    const cmsColorSpaceSignature in = cmsGetColorSpace(from.get()), out = cmsGetColorSpace(measured.get());
    // No optimisation, so that Little CMS runs the profiles' own tables.
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE;
    const Handle convert(cmsCreateTransformTHR(context.get(), from.get(), Format(in), to.get(), Format(out), intent, flags),
                         Delete);
    const Handle measure(
        cmsCreateTransform(measured.get(), Format(out), lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, flags), Delete);
    if (!convert || !measure) return fail("Little CMS cannot build the transforms");
    const Samples s = MakeSamples(in, steps);
    const int outChannels = int(cmsChannelsOf(out));
    std::vector<uint16_t> ours, theirs(s.count * outChannels);
    std::vector<std::string> chain;
    if (!source.empty()) chain.push_back(source);
    if (!link) chain.push_back(destination);
    stats.status = MatchWithTintwell(chain, source.empty() ? TNT_SIG('L', 'a', 'b', ' ') : 0, 0, intent, s.tintwell,
                                     int(cmsChannelsOf(in)), outChannels, ours);
    if (stats.status) return stats;
    cmsDoTransform(convert.get(), s.lcms.data(), theirs.data(), cmsUInt32Number(s.count));
    std::vector<cmsCIELab> labOurs(s.count), labTheirs(s.count);
    cmsDoTransform(measure.get(), ours.data(), labOurs.data(), cmsUInt32Number(s.count));
    cmsDoTransform(measure.get(), theirs.data(), labTheirs.data(), cmsUInt32Number(s.count));
    for (size_t i = 0; i < s.count; ++i) {
        const double de = cmsCIE2000DeltaE(&labOurs[i], &labTheirs[i], 1.0, 1.0, 1.0);
        stats.mean += de / double(s.count);
        stats.max = std::max(stats.max, de);
    }
    stats.count = s.count;
    return stats;
}

}  // namespace tnt_test
