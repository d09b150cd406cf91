#include "support/profile_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

// The tag writer is the tool's; its few messages become test failures here.
namespace tool {
void FailStatus(const std::string&, const std::string& what, TntStatus status) { ADD_FAILURE() << what << ": " << status; }
}  // namespace tool

namespace tnt_test {

namespace {

uint16_t Round16(double v) { return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0)); }
uint16_t Quantize(double v, bool sixteenBit) {
    return sixteenBit ? Round16(v) : static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

std::vector<uint16_t> IdentityRamps(uint32_t channels, uint32_t entries, bool sixteenBit) {
    std::vector<uint16_t> out;
    const double step = sixteenBit ? 65535.0 / (entries - 1) : 1.0;
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t k = 0; k < entries; ++k) out.push_back(static_cast<uint16_t>(k * step));
    return out;
}

}  // namespace

const double kTestColorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};

Bytes ParaTag(uint16_t function, const std::vector<double>& parameters) {
    tool::TagWriter w;
    w.U32(Sig("para"));
    w.U32(0);
    w.U8(uint8_t(function >> 8));
    w.U8(uint8_t(function));
    w.U16(0);
    for (double v : parameters) {
        const uint32_t fixed = static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0)));
        for (int shift = 24; shift >= 0; shift -= 8) w.U8(uint8_t(fixed >> shift));
    }
    return w.b;
}

Bytes SampledCurveTag(uint32_t count, const std::function<double(double)>& f) {
    std::vector<uint16_t> entries;
    for (uint32_t k = 0; k < count; ++k) entries.push_back(Round16(f(k / double(count - 1))));
    return CurveTag(entries);
}

std::vector<uint16_t> CurveEntries(uint32_t channels, uint32_t entries, bool sixteenBit,
                                   const std::function<double(uint32_t, double)>& f) {
    std::vector<uint16_t> out;
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t k = 0; k < entries; ++k) out.push_back(Quantize(f(c, k / double(entries - 1)), sixteenBit));
    return out;
}

std::vector<uint16_t> GridEntries(const LutContents& table, const std::function<void(const double*, double*)>& f) {
    size_t nodes = 1;
    for (int j = 0; j < table.inputs; ++j) nodes *= table.grid;
    std::vector<uint16_t> out;
    out.reserve(nodes * table.outputs);
    for (size_t n = 0; n < nodes; ++n) {
        double in[8], value[8] = {};
        size_t rest = n;
        for (int j = table.inputs - 1; j >= 0; --j) {
            in[j] = double(rest % table.grid) / (table.grid - 1);
            rest /= table.grid;
        }
        f(in, value);
        for (int k = 0; k < table.outputs; ++k) out.push_back(Quantize(value[k], table.sixteenBit));
    }
    return out;
}

Bytes MftTag(LutContents table) {
    const uint32_t m = table.sixteenBit ? table.inputEntries : 256;
    const uint32_t p = table.sixteenBit ? table.outputEntries : 256;
    if (table.inputCurves.empty()) table.inputCurves = IdentityRamps(table.inputs, m, table.sixteenBit);
    if (table.outputCurves.empty()) table.outputCurves = IdentityRamps(table.outputs, p, table.sixteenBit);
    if (table.gridValues.empty()) table.gridValues = GridEntries(table, [](const double*, double*) {});
    tool::TagWriter w;
    w.U32(table.sixteenBit ? Sig("mft2") : Sig("mft1"));
    w.U32(0);
    for (uint8_t b : {table.inputs, table.outputs, table.grid, uint8_t(0)}) w.U8(b);
    for (double e : table.matrix) w.S15(e);
    if (table.sixteenBit) for (uint32_t n : {m, p}) w.U16(static_cast<uint16_t>(n));
    for (const auto* run : {&table.inputCurves, &table.gridValues, &table.outputCurves})
        for (uint16_t e : *run) table.sixteenBit ? w.U16(e) : w.U8(static_cast<uint8_t>(e));
    return w.b;
}

Profile* NewTestProfile(uint32_t deviceClass, uint32_t colorSpace, uint32_t pcs, uint32_t intent) {
    Profile* p = nullptr;
    EXPECT_EQ(TntNewProfile(&p, nullptr), 0);
    if (!p) return nullptr;
    ProfileHeader h{};
    TntGetProfileHeader(p, &h);
    h.version = 0x02100000;
    h.deviceClass = deviceClass;
    h.colorSpace = colorSpace;
    h.pcs = pcs;
    h.signature = Sig("acsp");
    h.renderingIntent = intent;
    h.illuminant[0] = 63190, h.illuminant[1] = 65536, h.illuminant[2] = 54061;  // D50 as s15Fixed16
    EXPECT_EQ(TntSetProfileHeader(p, &h), 0);
    return p;
}

// Sized first, so that a tag can be replaced by one of another size.
void PutTag(Profile* p, uint32_t signature, const Bytes& tag) {
    EXPECT_EQ(TntSetProfileElementSize(p, signature, static_cast<uint32_t>(tag.size())), 0);
    EXPECT_EQ(TntSetProfileElement(p, signature, static_cast<uint32_t>(tag.size()), tag.data()), 0);
}

void PutWhitePoint(Profile* p, double x, double y, double z) { PutTag(p, Sig("wtpt"), XYZTag(x, y, z)); }

Profile* MatrixProfile(uint32_t deviceClass, const Bytes& curve, uint32_t pcs) {
    Profile* p = NewTestProfile(deviceClass, Sig("RGB "), pcs);
    PutWhitePoint(p);
    for (int c = 0; c < 3; ++c) {
        const double* xyz = kTestColorants[c];
        PutTag(p, TNT_SIG("rgb"[c], 'X', 'Y', 'Z'), XYZTag(xyz[0], xyz[1], xyz[2]));
        PutTag(p, TNT_SIG("rgb"[c], 'T', 'R', 'C'), curve);
    }
    return p;
}

Profile* GrayProfile(uint32_t deviceClass, const Bytes& curve, uint32_t pcs) {
    Profile* p = NewTestProfile(deviceClass, Sig("GRAY"), pcs);
    PutWhitePoint(p);
    PutTag(p, Sig("kTRC"), curve);
    return p;
}

Profile* LutProfile(uint32_t deviceClass, uint32_t colorSpace, uint32_t pcs,
                    const std::vector<std::pair<uint32_t, LutContents>>& tables) {
    Profile* p = NewTestProfile(deviceClass, colorSpace, pcs);
    PutWhitePoint(p);
    for (const auto& [tag, table] : tables) PutTag(p, tag, MftTag(table));
    return p;
}

}  // namespace tnt_test
