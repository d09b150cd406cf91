#include "builtin_profiles.h"

#include <cmath>
#include <cstring>

#include "icc_writer.h"

namespace tool {

namespace {

constexpr TntSignature kDisplay = TNT_SIG('m', 'n', 't', 'r');
constexpr TntSignature kAbstract = TNT_SIG('a', 'b', 's', 't');
constexpr TntSignature kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');
constexpr TntSignature kLab = TNT_SIG('L', 'a', 'b', ' ');

// The sRGB transfer function, device value to linear light, both 0..1.
double SrgbToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

bool Finish(Profile* p, TntStatus st, Bytes* out) {
    // A fixed date, so that a built-in is the same bytes on every run and
    // an image tagged with one is known to carry it.
    ProfileHeader h;
    if (!st) st = TntGetProfileHeader(p, &h);
    const uint16_t date[6] = {2024, 1, 1, 0, 0, 0};
    std::memcpy(h.date, date, sizeof date);
    if (!st) st = TntSetProfileHeader(p, &h);
    if (!st) st = SaveToBytes(p, out);
    TntCloseProfile(p);
    if (st) FailStatus("builtin", "cannot build the profile", st);
    return st == TNT_OK;
}

bool MakeSrgb(Bytes* out) {
    Profile* p = NewProfile(kDisplay, TNT_SIG('R', 'G', 'B', ' '), kXYZ, 0);
    if (!p) return false;
    // Colorants adapted to D50 with the Bradford transform, as ICC v2
    // display profiles carry them; the white point is the PCS white.
    static const double kColorants[3][3] = {
        {0.4360747, 0.2225045, 0.0139322}, {0.3850649, 0.7168786, 0.0971045}, {0.1430804, 0.0606169, 0.7141733}};
    std::vector<uint16_t> curve(1024);
    for (size_t i = 0; i < curve.size(); ++i)
        curve[i] = uint16_t(std::lround(SrgbToLinear(double(i) / 1023.0) * 65535.0));
    Bytes trc = CurveTag(curve);
    TntStatus st = PutTag(p, TNT_SIG('d', 'e', 's', 'c'), DescTag("sRGB (Tintwell built-in)"));
    if (!st) st = PutTag(p, TNT_SIG('c', 'p', 'r', 't'), TextTag("No copyright, use freely"));
    if (!st) st = PutTag(p, TNT_SIG('w', 't', 'p', 't'), XYZTag(0.9642, 1.0, 0.8249));
    const TntSignature colorantTags[3] = {TNT_SIG('r', 'X', 'Y', 'Z'), TNT_SIG('g', 'X', 'Y', 'Z'),
                                          TNT_SIG('b', 'X', 'Y', 'Z')};
    const TntSignature curveTags[3] = {TNT_SIG('r', 'T', 'R', 'C'), TNT_SIG('g', 'T', 'R', 'C'),
                                       TNT_SIG('b', 'T', 'R', 'C')};
    for (int c = 0; c < 3 && !st; ++c) {
        st = PutTag(p, colorantTags[c], XYZTag(kColorants[c][0], kColorants[c][1], kColorants[c][2]));
        if (!st) st = PutTag(p, curveTags[c], trc);
    }
    return Finish(p, st, out);
}

bool MakeGray(Bytes* out) {
    Profile* p = NewProfile(kDisplay, TNT_SIG('G', 'R', 'A', 'Y'), kXYZ, 0);
    if (!p) return false;
    TntStatus st = PutTag(p, TNT_SIG('d', 'e', 's', 'c'), DescTag("Gray gamma 2.2 (Tintwell built-in)"));
    if (!st) st = PutTag(p, TNT_SIG('c', 'p', 'r', 't'), TextTag("No copyright, use freely"));
    if (!st) st = PutTag(p, TNT_SIG('w', 't', 'p', 't'), XYZTag(0.9642, 1.0, 0.8249));
    if (!st) st = PutTag(p, TNT_SIG('k', 'T', 'R', 'C'), GammaTag(2.2));
    return Finish(p, st, out);
}

// An abstract profile from Lab to Lab that changes nothing: a two-point grid
// whose corners are the corners of the encoding, with straight curves. It
// lets a chain start or end in Lab wherever a profile must be named.
bool MakeLab(Bytes* out) {
    Profile* p = NewProfile(kAbstract, kLab, kLab, 0);
    if (!p) return false;
    Mft2 t;
    t.inputs = t.outputs = 3;
    t.gridPoints = 2;
    t.inputEntries = t.outputEntries = 2;
    t.inputCurves = {0, 65535, 0, 65535, 0, 65535};
    t.outputCurves = t.inputCurves;
    for (int node = 0; node < 8; ++node)
        for (int c = 0; c < 3; ++c) t.grid.push_back((node >> (2 - c)) & 1 ? 65535 : 0);
    TntStatus st = PutTag(p, TNT_SIG('d', 'e', 's', 'c'), DescTag("Lab identity (Tintwell built-in)"));
    if (!st) st = PutTag(p, TNT_SIG('c', 'p', 'r', 't'), TextTag("No copyright, use freely"));
    if (!st) st = PutTag(p, TNT_SIG('w', 't', 'p', 't'), XYZTag(0.9642, 1.0, 0.8249));
    if (!st) st = PutTag(p, TNT_SIG('A', '2', 'B', '0'), Mft2Tag(t));
    return Finish(p, st, out);
}

}  // namespace

const char* BuiltinNames() { return "builtin:srgb, builtin:lab, builtin:gray"; }

bool BuiltinProfile(const std::string& name, Bytes* out) {
    if (name == "srgb") return MakeSrgb(out);
    if (name == "gray" || name == "grey") return MakeGray(out);
    if (name == "lab") return MakeLab(out);
    return false;
}

}  // namespace tool
