#include "icc_writer.h"

#include <cmath>
#include <cstring>

namespace tool {

void TagWriter::U16(uint16_t v) { Raw(&v, 2); }
void TagWriter::U32(uint32_t v) { Raw(&v, 4); }
void TagWriter::U64(uint64_t v) { Raw(&v, 8); }
void TagWriter::S15(double v) { U32(uint32_t(int32_t(std::lround(v * 65536.0)))); }
void TagWriter::Raw(const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}

Bytes XYZTag(double x, double y, double z) {
    TagWriter w;
    w.U32(TNT_SIG('X', 'Y', 'Z', ' '));
    w.U32(0);
    w.S15(x);
    w.S15(y);
    w.S15(z);
    return w.b;
}

Bytes GammaTag(double gamma) { return CurveTag({uint16_t(std::lround(gamma * 256.0))}); }

Bytes CurveTag(const std::vector<uint16_t>& entries) {
    TagWriter w;
    w.U32(TNT_SIG('c', 'u', 'r', 'v'));
    w.U32(0);
    w.U32(uint32_t(entries.size()));
    for (uint16_t e : entries) w.U16(e);
    return w.b;
}

Bytes TextTag(const std::string& text) {
    TagWriter w;
    w.U32(TNT_SIG('t', 'e', 'x', 't'));
    w.U32(0);
    w.Raw(text.c_str(), text.size() + 1);
    return w.b;
}

Bytes DescTag(const std::string& text) {
    TagWriter w;
    w.U32(TNT_SIG('d', 'e', 's', 'c'));
    w.U32(0);
    w.U32(uint32_t(text.size() + 1));
    w.Raw(text.c_str(), text.size() + 1);
    w.U32(0);  // Unicode language
    w.U32(0);  // Unicode count
    w.U16(0);  // ScriptCode code
    w.U8(0);   // ScriptCode count
    uint8_t mac[67] = {};
    w.Raw(mac, sizeof mac);
    return w.b;
}

Bytes SequenceTag(const std::vector<SequenceEntry>& entries) {
    TagWriter w;
    w.U32(TNT_SIG('p', 's', 'e', 'q'));
    w.U32(0);
    w.U32(uint32_t(entries.size()));
    for (const SequenceEntry& e : entries) {
        w.U32(e.manufacturer);
        w.U32(e.model);
        w.U64(e.attributes);
        w.U32(e.technology);
        Bytes m = DescTag(e.manufacturerText), d = DescTag(e.modelText);
        w.Raw(m.data(), m.size());
        w.Raw(d.data(), d.size());
    }
    return w.b;
}

Bytes Mft2Tag(const Mft2& t) {
    TagWriter w;
    w.U32(TNT_SIG('m', 'f', 't', '2'));
    w.U32(0);
    w.U8(t.inputs);
    w.U8(t.outputs);
    w.U8(t.gridPoints);
    w.U8(0);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (double e : identity) w.S15(e);
    w.U16(t.inputEntries);
    w.U16(t.outputEntries);
    for (const auto* run : {&t.inputCurves, &t.grid, &t.outputCurves})
        for (uint16_t e : *run) w.U16(e);
    return w.b;
}

Profile* NewProfile(TntSignature deviceClass, TntSignature colorSpace, TntSignature pcs, uint32_t intent) {
    Profile* p = nullptr;
    TntStatus st = TntNewProfile(&p, nullptr);
    if (st) {
        FailStatus("", "cannot make a profile", st);
        return nullptr;
    }
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    h.cmmType = TNT_SIG('t', 'n', 't', 'w');
    h.version = 0x02100000;
    h.deviceClass = deviceClass;
    h.colorSpace = colorSpace;
    h.pcs = pcs;
    h.signature = TNT_SIG('a', 'c', 's', 'p');
    h.platform = 0;  // unspecified
    h.renderingIntent = intent;
    // D50 in s15Fixed16, as ICC asks of every v2 header.
    h.illuminant[0] = 63190;
    h.illuminant[1] = 65536;
    h.illuminant[2] = 54061;
    h.creator = TNT_SIG('t', 'n', 't', 'w');
    st = TntSetProfileHeader(p, &h);
    if (st) {
        FailStatus("", "cannot make a profile", st);
        TntCloseProfile(p);
        return nullptr;
    }
    return p;
}

TntStatus PutTag(Profile* p, TntSignature tag, const Bytes& image) {
    return TntSetProfileElement(p, tag, uint32_t(image.size()), image.data());
}

TntStatus SaveToBytes(Profile* p, Bytes* out) {
    // Header, table and every tag padded to four bytes bound the size.
    uint32_t count = 0;
    TntCountProfileElements(p, &count);
    size_t bound = 132 + 12 * size_t(count) + 16;
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    static const TntSignature kCandidates[] = {
        TNT_SIG('d', 'e', 's', 'c'), TNT_SIG('c', 'p', 'r', 't'), TNT_SIG('w', 't', 'p', 't'),
        TNT_SIG('b', 'k', 'p', 't'), TNT_SIG('r', 'X', 'Y', 'Z'), TNT_SIG('g', 'X', 'Y', 'Z'),
        TNT_SIG('b', 'X', 'Y', 'Z'), TNT_SIG('r', 'T', 'R', 'C'), TNT_SIG('g', 'T', 'R', 'C'),
        TNT_SIG('b', 'T', 'R', 'C'), TNT_SIG('k', 'T', 'R', 'C'), TNT_SIG('A', '2', 'B', '0'),
        TNT_SIG('B', '2', 'A', '0'), TNT_SIG('p', 's', 'e', 'q')};
    size_t known = 0;
    for (TntSignature s : kCandidates) known += TntGetProfileElementSize(p, s) + 4;
    bound += known;
    // Tags the list above misses still fit: any profile the tool builds
    // has only these, but leave generous room.
    bound = bound * 2 + 4096;
    out->assign(bound, 0);
    ProfileLocation where;
    TntMakeMemFile(&where, out->data(), uint32_t(out->size()));
    TntStatus st = TntSaveProfile(p, &where);
    if (st) return st;
    uint32_t size = (uint32_t((*out)[0]) << 24) | (uint32_t((*out)[1]) << 16) | (uint32_t((*out)[2]) << 8) | (*out)[3];
    if (size > out->size()) return TNT_ERR_SHORT_WRITE;
    out->resize(size);
    return TNT_OK;
}

}  // namespace tool
