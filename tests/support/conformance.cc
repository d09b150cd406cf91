#include "support/conformance.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/v4_profiles.h"

namespace tnt_test {

namespace {

constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

uint32_t Big32(const std::vector<uint8_t>& b, size_t o) {
    return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | uint32_t(b[o + 3]);
}

void PutBig32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[o + k] = uint8_t(v >> (24 - 8 * k));
}

// The wtpt tag's data offset in a raw profile, or 0.
size_t WhitePointOffset(const std::vector<uint8_t>& b) {
    if (b.size() < 132) return 0;
    uint32_t count = Big32(b, 128);
    for (uint32_t i = 0; i < count && 132 + 12 * (i + 1) <= b.size(); ++i) {
        size_t e = 132 + 12 * i;
        if (Big32(b, e) != TNT_SIG('w', 't', 'p', 't')) continue;
        uint32_t offset = Big32(b, e + 4);
        if (offset + 20 <= b.size()) return offset;
    }
    return 0;
}

bool IsV2Display(const std::vector<uint8_t>& b) {
    return b.size() >= 128 && b[8] < 4 && Big32(b, 12) == TNT_SIG('m', 'n', 't', 'r');
}

// s15Fixed16 of D50 as ICC profiles store it.
constexpr uint32_t kD50Fixed[3] = {0xF6D6, 0x10000, 0xD32D};

bool WhiteIsD50(const std::vector<uint8_t>& b) {
    size_t o = WhitePointOffset(b);
    if (!o) return true;
    for (int c = 0; c < 3; ++c)
        if (std::abs(int64_t(Big32(b, o + 8 + 4 * c)) - int64_t(kD50Fixed[c])) > 8) return false;
    return true;
}

void MakeDisplayWhiteD50(std::vector<uint8_t>& b) {
    if (!IsV2Display(b)) return;
    size_t o = WhitePointOffset(b);
    if (!o) return;
    for (int c = 0; c < 3; ++c) PutBig32(b, o + 8 + 4 * c, kD50Fixed[c]);
}

struct Sides {
    int sourceChannels, destinationChannels;
    cmsUInt32Number sourceFormat, destinationFormat;
};

Sides SidesOf(ConformanceKind kind) {
    switch (kind) {
        case ConformanceKind::kRgbToRgb: return {3, 3, TYPE_RGB_16, TYPE_RGB_16};
        case ConformanceKind::kRgbToCmyk: return {3, 4, TYPE_RGB_16, TYPE_CMYK_16};
        case ConformanceKind::kCmykToRgb: return {4, 3, TYPE_CMYK_16, TYPE_RGB_16};
        case ConformanceKind::kCmykToCmyk: return {4, 4, TYPE_CMYK_16, TYPE_CMYK_16};
        case ConformanceKind::kGrayToRgb: return {1, 3, TYPE_GRAY_16, TYPE_RGB_16};
        case ConformanceKind::kLabToCmyk: return {3, 4, TYPE_Lab_16, TYPE_CMYK_16};
    }
    return {0, 0, 0, 0};
}

uint16_t Code(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 65535.0) return 65535;
    return uint16_t(v + 0.5);
}

// The samples in both engines' input encodings and as plain values.
struct Samples {
    std::vector<uint16_t> tintwell, lcms;
    std::vector<double> values;  // device 0..1, or L, a, b
    size_t count = 0;
};

void AddDevice(Samples& s, const std::vector<double>& v, bool grayAsInk) {
    for (double x : v) {
        uint16_t c = Code(x * 65535.0);
        s.tintwell.push_back(c);
        s.lcms.push_back(v.size() == 1 && grayAsInk ? uint16_t(65535 - c) : c);
        s.values.push_back(x);
    }
    ++s.count;
}

// Tintwell's 'Lab ' stage codes put L 100 at 0xFF00 and a, b 0 at 0x8000;
// Little CMS's TYPE_Lab_16 is the encoding with L 100 at 0xFFFF and a, b 0
// at 0x8080. Both get the same L, a, b.
void AddLab(Samples& s, double l, double a, double b) {
    s.tintwell.push_back(Code(l * 652.8));
    s.tintwell.push_back(Code((a + 128.0) * 256.0));
    s.tintwell.push_back(Code((b + 128.0) * 256.0));
    cmsCIELab lab = {l, a, b};
    cmsUInt16Number enc[3];
    cmsFloat2LabEncoded(enc, &lab);
    s.lcms.insert(s.lcms.end(), enc, enc + 3);
    s.values.insert(s.values.end(), {l, a, b});
    ++s.count;
}

Samples MakeSamples(ConformanceKind kind, const ConformanceOptions& o) {
    Samples s;
    const int n = std::max(o.steps, 2);
    auto level = [n](int i) { return double(i) / (n - 1); };
    switch (SidesOf(kind).sourceChannels) {
        case 1:
            for (int i = 0; i <= 32 * n; ++i) AddDevice(s, {double(i) / (32 * n)}, o.grayAsInk);
            break;
        case 3:
            if (kind == ConformanceKind::kLabToCmyk) {
                for (int l = 0; l < 2 * n - 1; ++l)
                    for (int a = 0; a < n; ++a)
                        for (int b = 0; b < n; ++b)
                            AddLab(s, 100.0 * l / (2 * n - 2), -100.0 + 200.0 * level(a), -100.0 + 200.0 * level(b));
                break;
            }
            for (int r = 0; r < n; ++r)
                for (int g = 0; g < n; ++g)
                    for (int b = 0; b < n; ++b) AddDevice(s, {level(r), level(g), level(b)}, false);
            break;
        case 4:
            for (int c = 0; c < n; ++c)
                for (int m = 0; m < n; ++m)
                    for (int y = 0; y < n; ++y)
                        for (int k = 0; k < n; ++k) AddDevice(s, {level(c), level(m), level(y), level(k)}, false);
            break;
    }
    return s;
}

// Tintwell's side: the profiles opened from memory, chained and matched.
TntStatus RunTintwell(const ConformancePair& pair, const ConformanceOptions& o, const Samples& s, int outChannels,
                      std::vector<uint16_t>& out) {
    // At most two profiles: the source (none for Lab) and the destination.
    std::vector<uint8_t> images[2];
    int count = 0;
    if (!pair.source.empty()) images[count++] = ReadAll(pair.source);
    if (!pair.link) images[count++] = ReadAll(pair.destination);
    ProfileLocation locations[2] = {};
    Profile* profiles[2] = {nullptr, nullptr};
    TntStatus st = TNT_OK;
    for (int i = 0; i < count && !st; ++i) {
        if (o.displayWhiteAsD50) MakeDisplayWhiteD50(images[i]);
        TntMakeMemFile(&locations[i], images[i].data(), uint32_t(images[i].size()));
        st = TntOpenProfile(&profiles[i], &locations[i]);
    }
    MatchTransform* t = st ? nullptr : TntNewTransformPtr();
    if (!st && !t) st = TNT_ERR_NO_MEMORY;
    if (!st) {
        const uint16_t intents[2] = {o.intent, o.intent};
        st = TntConcatProfileRefs(t, pair.source.empty() ? kLab : 0, 0, int16_t(count), profiles, intents);
    }
    if (!st) {
        out.assign(s.count * outChannels, 0);
        const int inChannels = int(s.tintwell.size() / std::max<size_t>(s.count, 1));
        st = TntICCMatchColors(t, 0, s.tintwell.data(), out.data(), int32_t(s.count), int16_t(inChannels),
                               int16_t(outChannels), 0, 0, 2);
    }
    if (t) TntDisposeMatchTransform(t);
    for (Profile* p : profiles)
        if (p) TntCloseProfile(p);
    return st;
}

cmsHPROFILE OpenLcms(cmsContext context, const std::string& path) {
    if (path.empty()) return cmsCreateLab2ProfileTHR(context, cmsD50_xyY());
    return cmsOpenProfileFromFileTHR(context, path.c_str(), "r");
}

// Multilinear interpolation over a grid of 2 to 8 inputs: every corner of
// the cell weighted by the product of its fractions. The first input varies
// slowest, as in ICC tables.
struct Cell {
    uint32_t base = 0;
    double fraction[8] = {};
};

Cell Locate(const double* position, const cmsInterpParams* p) {
    Cell cell;
    for (uint32_t j = 0; j < p->nInputs; ++j) {
        const uint32_t last = p->Domain[j];
        if (last == 0) continue;  // a single node: nothing to interpolate
        double x = std::clamp(position[j], 0.0, 1.0) * last;
        uint32_t index = uint32_t(x);
        double f = x - index;
        if (index >= last) {
            index = last - 1;
            f = 1.0;
        }
        cell.fraction[j] = f;
        cell.base += index * p->opta[p->nInputs - 1 - j];
    }
    return cell;
}

template <typename Entry>
void Blend(const Cell& cell, const Entry* table, const cmsInterpParams* p, double* out) {
    const uint32_t n = p->nInputs;
    for (uint32_t k = 0; k < p->nOutputs; ++k) out[k] = 0.0;
    for (uint32_t corner = 0; corner < (1u << n); ++corner) {
        double weight = 1.0;
        uint32_t offset = 0;
        for (uint32_t j = 0; j < n; ++j) {
            const bool high = corner >> (n - 1 - j) & 1;
            weight *= high ? cell.fraction[j] : 1.0 - cell.fraction[j];
            if (high) offset += p->opta[n - 1 - j];
        }
        if (weight == 0.0) continue;
        for (uint32_t k = 0; k < p->nOutputs; ++k) out[k] += weight * double(table[cell.base + offset + k]);
    }
}

void Multilinear16(const cmsUInt16Number in[], cmsUInt16Number out[], const cmsInterpParams* p) {
    double position[8], value[cmsMAXCHANNELS];
    for (uint32_t j = 0; j < p->nInputs; ++j) position[j] = in[j] / 65535.0;
    Blend(Locate(position, p), static_cast<const cmsUInt16Number*>(p->Table), p, value);
    for (uint32_t k = 0; k < p->nOutputs; ++k) out[k] = Code(value[k]);
}

void MultilinearFloat(const cmsFloat32Number in[], cmsFloat32Number out[], const cmsInterpParams* p) {
    double position[8], value[cmsMAXCHANNELS];
    for (uint32_t j = 0; j < p->nInputs; ++j) position[j] = in[j];
    Blend(Locate(position, p), static_cast<const cmsFloat32Number*>(p->Table), p, value);
    for (uint32_t k = 0; k < p->nOutputs; ++k) out[k] = cmsFloat32Number(value[k]);
}

cmsInterpFunction MultilinearFactory(cmsUInt32Number inputs, cmsUInt32Number outputs, cmsUInt32Number flags) {
    cmsInterpFunction f;
    f.Lerp16 = nullptr;
    // One-dimensional curves keep Little CMS's own interpolation.
    if (inputs < 2 || inputs > 8 || outputs > cmsMAXCHANNELS) return f;
    if (flags & CMS_LERP_FLAGS_FLOAT)
        f.LerpFloat = MultilinearFloat;
    else
        f.Lerp16 = Multilinear16;
    return f;
}

cmsPluginInterpolation gMultilinearPlugin = {
    {cmsPluginMagicNumber, 2060, cmsPluginInterpolationSig, nullptr}, MultilinearFactory};

struct LcmsCleanup {
    cmsContext context = nullptr;  // null: the default context
    cmsHPROFILE source = nullptr, destination = nullptr, measured = nullptr, lab = nullptr;
    cmsHTRANSFORM convert = nullptr, measure = nullptr;
    ~LcmsCleanup() {
        if (convert) cmsDeleteTransform(convert);
        if (measure) cmsDeleteTransform(measure);
        for (cmsHPROFILE p : {source, destination, measured, lab})
            if (p) cmsCloseProfile(p);
        if (context) cmsDeleteContext(context);
    }
};

}  // namespace

const char* ConformanceKindName(ConformanceKind kind) {
    switch (kind) {
        case ConformanceKind::kRgbToRgb: return "RGB->RGB";
        case ConformanceKind::kRgbToCmyk: return "RGB->CMYK";
        case ConformanceKind::kCmykToRgb: return "CMYK->RGB";
        case ConformanceKind::kCmykToCmyk: return "CMYK->CMYK";
        case ConformanceKind::kGrayToRgb: return "gray->RGB";
        case ConformanceKind::kLabToCmyk: return "Lab->CMYK";
    }
    return "?";
}

std::string ProfileShortName(const std::string& path) {
    if (path.empty()) return "Lab";
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasNonD50DisplayWhite(const ConformancePair& pair) {
    for (const std::string& path : {pair.source, pair.destination}) {
        if (path.empty()) continue;
        std::vector<uint8_t> b = ReadAll(path);
        if (IsV2Display(b) && !WhiteIsD50(b)) return true;
    }
    return false;
}

ConformanceStats CompareWithLittleCms(const ConformancePair& pair, const ConformanceOptions& o) {
    ConformanceStats stats;
    const Sides sides = SidesOf(pair.kind);
    const Samples s = MakeSamples(pair.kind, o);

    std::vector<uint16_t> ours;
    stats.status = RunTintwell(pair, o, s, sides.destinationChannels, ours);
    if (stats.status) return stats;

    LcmsCleanup l;
    if (o.lcmsMultilinear) {
        l.context = cmsCreateContext(&gMultilinearPlugin, nullptr);
        if (!l.context) {
            stats.error = "Little CMS refuses the interpolation plug-in";
            return stats;
        }
    }
    l.source = OpenLcms(l.context, pair.source);
    l.destination = pair.link ? nullptr : OpenLcms(l.context, pair.destination);
    // The measurement runs in the default context whatever the conversion
    // used, so both results are measured alike.
    l.measured = OpenLcms(nullptr, pair.destination);
    l.lab = cmsCreateLab4Profile(nullptr);
    if (!l.source || (!l.destination && !pair.link) || !l.measured || !l.lab) {
        stats.error = "Little CMS cannot open the profiles";
        return stats;
    }
    // No black-point compensation; no optimisation, so that Little CMS runs
    // the profiles' own tables rather than a resampled device link.
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE;
    l.convert = cmsCreateTransformTHR(l.context, l.source, sides.sourceFormat, l.destination, sides.destinationFormat,
                                      o.intent, flags);
    l.measure = cmsCreateTransform(l.measured, sides.destinationFormat, l.lab, TYPE_Lab_DBL,
                                   INTENT_RELATIVE_COLORIMETRIC, flags);
    if (!l.convert || !l.measure) {
        stats.error = "Little CMS cannot build the transform";
        return stats;
    }
    std::vector<uint16_t> theirs(s.count * sides.destinationChannels);
    cmsDoTransform(l.convert, s.lcms.data(), theirs.data(), cmsUInt32Number(s.count));

    std::vector<cmsCIELab> labOurs(s.count), labTheirs(s.count);
    cmsDoTransform(l.measure, ours.data(), labOurs.data(), cmsUInt32Number(s.count));
    cmsDoTransform(l.measure, theirs.data(), labTheirs.data(), cmsUInt32Number(s.count));

    std::vector<double> de(s.count);
    size_t worst = 0;
    double sum = 0.0;
    for (size_t i = 0; i < s.count; ++i) {
        de[i] = cmsCIE2000DeltaE(&labOurs[i], &labTheirs[i], 1.0, 1.0, 1.0);
        sum += de[i];
        if (de[i] > de[worst]) worst = i;
    }
    stats.count = s.count;
    if (!s.count) return stats;
    stats.mean = sum / double(s.count);
    stats.max = de[worst];
    const int inChannels = int(s.values.size() / s.count), outChannels = sides.destinationChannels;
    stats.worstInput.assign(s.values.begin() + worst * inChannels, s.values.begin() + (worst + 1) * inChannels);
    for (int c = 0; c < outChannels; ++c) {
        stats.worstTintwell.push_back(ours[worst * outChannels + c] / 65535.0);
        stats.worstLcms.push_back(theirs[worst * outChannels + c] / 65535.0);
    }
    std::sort(de.begin(), de.end());
    size_t rank = size_t(std::ceil(0.95 * double(s.count)));
    stats.p95 = de[std::clamp<size_t>(rank, 1, s.count) - 1];
    return stats;
}

std::vector<ConformancePair> ConformancePairs(const std::string& shared, bool extended) {
    const std::string icc = "/usr/share/color/icc/", gs = "/usr/share/color/icc/ghostscript/",
                      argyll = "/usr/share/color/argyll/ref/";
    const std::string srgb = icc + "sRGB.icc", adobe = icc + "compatibleWithAdobeRGB1998.icc",
                      srgbArgyll = argyll + "sRGB.icm", clay = argyll + "ClayRGB1998.icm";
    const std::string fogra39 = shared + "/fogra39-cmyk-lab-v2.icc", fogra29 = shared + "/fogra29-cmyk-xyz-v2.icc",
                      tr003 = shared + "/tr003-cmyk-lab-low-v2.icc", gsCmyk = gs + "default_cmyk.icc";
    const std::string gray = icc + "Gray.icc", grayL = icc + "Gray-CIE_L.icc", sgray = gs + "sgray.icc";
    using K = ConformanceKind;
    std::vector<ConformancePair> pairs;
    if (!extended) {
        pairs = {
            {K::kRgbToRgb, srgb, adobe},        {K::kRgbToRgb, clay, srgbArgyll},
            {K::kRgbToCmyk, srgb, fogra39},     {K::kRgbToCmyk, adobe, fogra29},
            {K::kRgbToCmyk, srgbArgyll, gsCmyk}, {K::kCmykToRgb, fogra39, srgb},
            {K::kCmykToRgb, fogra29, clay},     {K::kCmykToRgb, tr003, srgbArgyll},
            {K::kCmykToCmyk, fogra39, fogra29}, {K::kCmykToCmyk, fogra29, tr003},
            {K::kCmykToCmyk, gsCmyk, fogra39},  {K::kGrayToRgb, gray, srgb},
            {K::kGrayToRgb, grayL, adobe},      {K::kGrayToRgb, sgray, srgbArgyll},
            {K::kLabToCmyk, "", fogra39},       {K::kLabToCmyk, "", fogra29},
            {K::kLabToCmyk, "", gsCmyk},
        };
    } else {
        const std::vector<std::string> rgb = {srgb, adobe, gs + "default_rgb.icc", srgbArgyll, clay,
                                              argyll + "ProPhoto.icm"};
        const std::vector<std::string> cmyk = {fogra39, fogra29, tr003, gsCmyk};
        const std::vector<std::string> grays = {gray, grayL, sgray, gs + "default_gray.icc"};
        for (const auto& a : rgb)
            for (const auto& b : rgb)
                if (a != b) pairs.push_back({K::kRgbToRgb, a, b});
        for (const auto& a : rgb)
            for (const auto& b : cmyk) pairs.push_back({K::kRgbToCmyk, a, b});
        for (const auto& a : cmyk)
            for (const auto& b : rgb) pairs.push_back({K::kCmykToRgb, a, b});
        for (const auto& a : cmyk)
            for (const auto& b : cmyk)
                if (a != b) pairs.push_back({K::kCmykToCmyk, a, b});
        for (const auto& a : grays)
            for (const auto& b : rgb) pairs.push_back({K::kGrayToRgb, a, b});
        for (const auto& b : cmyk) pairs.push_back({K::kLabToCmyk, "", b});
    }
    std::erase_if(pairs, [](const ConformancePair& p) {
        return (!p.source.empty() && !Exists(p.source)) || !Exists(p.destination);
    });
    return pairs;
}

std::vector<ConformancePair> V4ConformancePairs(const std::string& shared, const std::string& folder) {
    const std::string icc = "/usr/share/color/icc/", gs = icc + "ghostscript/", srgb = icc + "sRGB.icc";
    const MadeProfiles& made = MakeV4Profiles(folder, shared);
    std::vector<std::string> rgb = {gs + "ps_rgb.icc", made.srgb};
    rgb.insert(rgb.end(), made.rgbPara.begin(), made.rgbPara.end());
    std::vector<std::string> colord;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(icc + "colord", ec)) colord.push_back(entry.path());
    std::sort(colord.begin(), colord.end());
    for (const std::string& path : colord) {
        const std::vector<uint8_t> b = ReadAll(path);
        if (b.size() >= 20 && Big32(b, 16) == TNT_SIG('R', 'G', 'B', ' ')) rgb.push_back(path);
    }
    std::vector<std::string> cmyk = {gs + "ps_cmyk.icc", made.cmykLab, made.cmykXyz};
    std::erase(rgb, "");
    std::erase(cmyk, "");
    using K = ConformanceKind;
    std::vector<ConformancePair> pairs;
    for (const auto& p : rgb) {
        pairs.push_back({K::kRgbToRgb, p, srgb});
        pairs.push_back({K::kRgbToRgb, srgb, p});
    }
    for (const auto& p : cmyk) {
        pairs.push_back({K::kCmykToRgb, p, srgb});
        pairs.push_back({K::kRgbToCmyk, srgb, p});
    }
    pairs.push_back({K::kLabToCmyk, "", made.cmykLab});
    pairs.push_back({K::kLabToCmyk, "", made.cmykXyz});
    pairs.push_back({K::kGrayToRgb, gs + "ps_gray.icc", srgb});
    pairs.push_back({K::kRgbToCmyk, made.link, made.cmykLab, true});
    std::erase_if(pairs, [](const ConformancePair& p) {
        return p.destination.empty() || (!p.source.empty() && !Exists(p.source)) || !Exists(p.destination);
    });
    return pairs;
}

}  // namespace tnt_test
