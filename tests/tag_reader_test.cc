// Tag data: byte order (what is converted for each type, never straying
// outside a block and always undoing itself), and the bounded tag reader and
// the readers built on it: a tag whose counts claim more than it holds is
// refused with 5015 (5005 for lookup tables) before anything is allocated.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "postscript/crd.h"
#include "profile/tag_reader.h"
#include "profile/text_tag.h"
#include "stage/lut.h"
#include "stage/matrix.h"
#include "support/profile_builder.h"

namespace {

using tnt_test::Bytes;
using tnt_test::Sig;


// Builds a big-endian block.
struct Be {
    std::vector<uint8_t> b;
    Be& sig(const char* s) { return text(s, 4); }
    Be& u32(uint32_t v) { for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i))); return *this; }
    Be& u16(uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); return *this; }
    Be& bytes(size_t n, uint8_t v) { b.insert(b.end(), n, v); return *this; }
    Be& append(const Be& o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
    // Byte by byte: GCC's overflow warning misreads a range insert here at -O1.
    Be& text(const char* s, size_t n) { for (size_t i = 0; i < n; ++i) b.push_back(uint8_t(s[i])); return *this; }
};

uint32_t Host(const std::vector<uint8_t>& b, size_t o, size_t width) {
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    std::memcpy(width == 4 ? static_cast<void*>(&v32) : &v16, b.data() + o, width == 1 ? 0 : width);
    return width == 4 ? v32 : width == 2 ? v16 : b[o];
}

// Converts to host order in an exactly sized heap block (so the sanitizer
// sees any stray access), then back, and checks the round trip.
std::vector<uint8_t> ToHostAndBack(const std::vector<uint8_t>& file) {
    uint8_t none = 0;
    std::vector<uint8_t> host(file);
    tnt::ConvertTagBlock(host.empty() ? &none : host.data(), uint32_t(host.size()), tnt::ToHost);
    std::vector<uint8_t> back(host);
    tnt::ConvertTagBlock(back.empty() ? &none : back.data(), uint32_t(back.size()), tnt::ToFile);
    EXPECT_EQ(back, file) << "tnt::ToFile after tnt::ToHost must restore the block";
    return host;
}

Be Description(const char* ascii, uint32_t n, uint32_t m) {
    Be d;
    d.sig("desc").u32(0).u32(n).text(ascii, n).u32(0x656E5553).u32(m);
    for (uint32_t i = 0; i < m; ++i) d.u16(uint16_t(0x0041 + i));
    return d.u16(0x1234).bytes(68, 0);
}

TEST(ByteOrder, FixedPointDecodersAndSwaps) {
    for (auto [bits, value] : {std::pair{0xFFFF8000u, -0.5}, {0x0000F6D6u, 0.964202880859375}, {0x80000000u, -32768.0},
                               {0x7FFFFFFFu, 32767.0 + 65535.0 / 65536.0}})
        EXPECT_EQ(tnt::S15Fixed16ToDouble(bits), value) << std::hex << bits;
    EXPECT_EQ(tnt::U8Fixed8ToDouble(0xFFFF0233u), 2.19921875) << "only the low 16 bits count";
    EXPECT_EQ(tnt::ConvertU32(0x11223344u), tnt::SwapIccData ? 0x44332211u : 0x11223344u);
    EXPECT_EQ(tnt::ConvertU32If(0x11223344u, 1), 0x44332211u);
}

TEST(ByteOrder, CountedTypesConvertWhatTheirCountsSay) {
    // Tables, curves and XYZ numbers are checked through the real profiles;
    // these are the types nothing else reads. 'desc' with an odd ASCII count
    // has unaligned Unicode fields whose characters stay big-endian; 'pseq'
    // holds two descriptions per record; unknown types ('chrm') only have
    // their signature converted; screening flags are left alone.
    Be seq;
    seq.sig("pseq").u32(0).u32(2);
    for (int k = 0; k < 2; ++k)
        seq.sig("TINT").u32(7 + k).u32(0x01020304).u32(0x05060708).sig("fscn").append(Description("maker", 5, 1))
            .append(Description("model!", 6, 0));
    const size_t second = 12 + 20 + (90 + 5 + 2) + (90 + 6);
    Be meas;
    meas.sig("meas").u32(0);
    for (int i = 0; i < 7; ++i) meas.u32(100 + i);
    const std::vector<uint8_t> desc = Description("abc", 3, 2).b, chrm = Be().sig("chrm").u32(0).u32(0x01020304).b,
        scrn = Be().sig("scrn").u32(0).u32(9).u32(1).u32(10).u32(20).u32(30).b,
        dtim = Be().sig("dtim").u32(0).u16(2026).u16(12).u16(5).u16(22).u16(4).u16(31).b,
        bfd = Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b;
    const struct { std::vector<uint8_t> block; size_t offset, width; uint32_t value; } cases[] = {
        {chrm, 0, 4, 0x6368726Du}, {chrm, 8, 1, 1}, {desc, 8, 4, 3}, {desc, 15, 4, 0x656E5553u}, {desc, 19, 4, 2},
        {desc, 23, 1, 0}, {desc, 24, 1, 0x41}, {desc, 27, 2, 0x1234}, {seq.b, 8, 4, 2}, {seq.b, second + 4, 4, 8},
        {seq.b, second + 8, 4, tnt::SwapIccData ? 0x05060708u : 0x01020304u}, {seq.b, second + 20, 4, 0x64657363u},
        {seq.b, second + 28, 4, 5}, {seq.b, second + 125, 4, 6},
        {Be().sig("ncl2").u32(0).u32(5).u32(1).u32(2).bytes(96, 'x').u16(1).u16(2).u16(3).u16(4).u16(5).b, 124, 2, 5},
        {scrn, 8, 4, tnt::SwapIccData ? 0x09000000u : 9u}, {scrn, 24, 4, 30}, {dtim, 8, 2, 2026}, {dtim, 18, 2, 31},
        {Be().sig("sf32").u32(0).u32(0xFFFF0000).u32(5).b, 12, 4, 5}, {meas.b, 8, 4, 100}, {meas.b, 32, 4, 106},
        {bfd, 12, 2, 7}, {bfd, 14, 4, 2}, {bfd, 20, 2, 9}, {bfd, 22, 1, 'u'}};
    for (const auto& c : cases)
        EXPECT_EQ(Host(ToHostAndBack(c.block), c.offset, c.width), c.value) << c.block[0] << c.block[1] << c.offset;
}

TEST(ByteOrder, LyingCountsStayInsideTheBlockAndStillRoundTrip) {
    // Counts that claim far more than the block holds, and truncations of
    // well-formed blocks at every length: the sanitizer watches each one.
    Be seq;
    seq.sig("pseq").u32(0).u32(3).sig("TINT").u32(1).u32(2).u32(3).sig("fscn").append(Description("abcd", 4, 3));
    const std::vector<uint8_t> blocks[] = {
        Be().sig("curv").u32(0).u32(0xFFFFFFFF).u16(1).b, Be().sig("desc").u32(0).u32(0xFFFFFFF0).u32(1).u32(2).b,
        Be().sig("desc").u32(0).u32(1).text("a", 1).u32(0).u32(0x7FFFFFFF).u16(1).b,
        Be().sig("bfd ").u32(0).u32(0x80000000).u16(1).b, Be().sig("scrn").u32(0).u32(0).u32(0xFFFFFFFF).u32(1).b,
        Be().sig("ncl2").u32(0).u32(0).u32(0xFFFFFFFF).u32(0xFFFFFFFF).bytes(70, 1).b,
        Be().sig("mft2").u32(0).bytes(3, 255).bytes(1, 0).bytes(36, 1).u16(0xFFFF).u16(0xFFFF).u16(1).b,
        Be().sig("pseq").u32(0).u32(0xFFFFFFFF).bytes(30, 0x11).b, seq.b, Description("hello world", 11, 5).b};
    for (const auto& full : blocks)
        for (size_t len = 0; len <= full.size(); ++len) ToHostAndBack(std::vector<uint8_t>(full.begin(), full.begin() + len));
}

Profile* ProfileWith(uint32_t signature, const Bytes& tag) {
    Profile* p = nullptr;
    EXPECT_EQ(TntNewProfile(&p, nullptr), TNT_OK);
    tnt_test::PutTag(p, signature, tag);
    return p;
}

TEST(TagReader, EveryAccessStaysInsideTheTag) {
    const Bytes xyz = tnt_test::XYZTag(0.5, 1.0, -0.25);
    Profile* p = ProfileWith(Sig("wtpt"), xyz);
    tnt::TagReader reader{};
    EXPECT_EQ(tnt::OpenTagReader(nullptr, Sig("wtpt"), &reader), TNT_ERR_NULL_PARAMETER);
    EXPECT_TRUE(tnt::OpenTagReader(p, Sig("none"), &reader) == TNT_ERR_TAG_NOT_FOUND && reader.data == nullptr);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("wtpt"), &reader), TNT_OK);
    EXPECT_TRUE(reader.size == 20 && reader.data == TntProfileGetTagDataPtr(p, Sig("wtpt")));

    // Lengths and offsets that would wrap a 64-bit sum are still refused.
    for (auto [offset, length, holds] : {std::tuple{0ull, 20ull, true}, {20ull, 0ull, true}, {21ull, 0ull, false},
                                         {19ull, 2ull, false}, {4ull, UINT64_MAX, false}, {UINT64_MAX, 1ull, false}})
        EXPECT_EQ(tnt::TagHolds(reader, offset, length), holds) << offset << " " << length;
    uint32_t type = 0;
    uint16_t half = 0;
    uint8_t byte = 0;
    EXPECT_EQ(tnt::TagU32(reader, 0, &type), TNT_OK);
    EXPECT_EQ(type, Sig("XYZ "));
    EXPECT_EQ(tnt::TagU32(reader, 16, &type) | tnt::TagU16(reader, 18, &half) | tnt::TagU8(reader, 19, &byte), TNT_OK);
    for (TntStatus st : {tnt::TagU32(reader, 17, &type), tnt::TagU16(reader, 19, &half), tnt::TagU8(reader, 20, &byte)})
        EXPECT_EQ(st, TNT_ERR_TAG_RANGE);
    double v[3] = {};
    // One byte short of the first XYZNumber; whole ones come through the
    // real profiles' golden results.
    EXPECT_EQ(TntSetProfileElementSize(p, Sig("bkpt"), 19), TNT_OK);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("bkpt"), &reader), TNT_OK);
    EXPECT_EQ(tnt::TagXYZNumber(reader, v), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);
}

TEST(TagReader, CurvesWhoseCountsLieAreRefusedBeforeAllocating) {
    Bytes curve = tnt_test::CurveTag({0, 1000, 65535});
    Profile* p = ProfileWith(Sig("rTRC"), curve);
    // The tag claiming 2^31 entries, and one with no room for a count;
    // well-formed curves are read through the real profiles.
    tnt::TagReader reader{};
    uint32_t count = 0;
    const uint8_t* entries = nullptr;
    const uint32_t huge = 0x80000000u;
    ASSERT_EQ(TntSetPartialProfileElement(p, Sig("rTRC"), 8, 4, &huge), TNT_OK);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("rTRC"), &reader), TNT_OK);
    EXPECT_EQ(tnt::TagCurveEntries(reader, &count, &entries), TNT_ERR_TAG_RANGE);
    tnt_test::PutTag(p, Sig("gTRC"), Bytes(curve.begin(), curve.begin() + 10));

    tnt::ToneCurve read{};
    tnt::FailAllocationAt(1);  // any allocation would fail the read with 21002
    EXPECT_EQ(tnt::ReadToneCurveTag(p, Sig("rTRC"), &read), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::ReadToneCurveTag(p, Sig("gTRC"), &read), TNT_ERR_TAG_RANGE);
    tnt::FailAllocationAt(0);
    EXPECT_TRUE(read.table == nullptr && read.length == 0);

    // A sampled curve inside a table kept in file order (as in 'mAB '):
    // entries read big-endian, one after another.
    tnt_test::PutTag(p, Sig("zzzz"), Bytes{'z', 'z', 'z', 'z', 0, 0, 0, 0, 0, 0, 0, 0, 'c', 'u', 'r', 'v', 0, 0, 0, 0,
                                           0, 0, 0, 3, 0, 0, 0x03, 0xE8, 0xFF, 0xFF});
    uint64_t length = 0;
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("zzzz"), &reader), TNT_OK);
    ASSERT_EQ(tnt::ReadToneCurveAt(reader, 12, true, false, &read, &length), TNT_OK);
    EXPECT_EQ(length, 18u);
    ASSERT_EQ(read.length, 3u);
    EXPECT_DOUBLE_EQ(tnt::EvaluateToneCurve(read, 0.5), 1000.0 / 65535);
    EXPECT_DOUBLE_EQ(tnt::EvaluateToneCurve(read, 1.0), 1.0);
    tnt::ReleaseToneCurve(&read);

    // The PostScript writer inverts the same curves through the same reader.
    Profile* q = tnt_test::MatrixProfile(Sig("prtr"), curve);
    ASSERT_EQ(TntSetPartialProfileElement(q, Sig("gTRC"), 8, 4, &huge), TNT_OK);
    auto discard = [](uintptr_t, const char*) -> TntStatus { return TNT_OK; };
    EXPECT_EQ(TntSaveCRD(q, 1, discard, 0), TNT_ERR_TAG_RANGE);
    for (Profile* x : {p, q}) TntCloseProfile(x);
}

TEST(TagReader, TablesThatClaimMoreThanTheTagAreUnusable) {
    // Well-formed tables are read through the real profiles' golden results.
    // Here: the last byte of the output curves cut off, a grid of 255
    // points, and a tag shorter than the fixed header.
    tnt_test::LutContents contents;
    contents.outputs = 4;
    contents.grid = 3;
    const Bytes table = tnt_test::MftTag(contents);
    Bytes wide = table;
    wide[10] = 255;
    Profile* p = ProfileWith(Sig("B2A1"), Bytes(table.begin(), table.end() - 1));
    tnt_test::PutTag(p, Sig("B2A2"), wide);
    tnt_test::PutTag(p, Sig("A2B0"), Bytes(table.begin(), table.begin() + 50));
    tnt::LutStageData lut{};
    tnt::CrdTable crd{};
    for (uint32_t tag : {Sig("B2A1"), Sig("B2A2"), Sig("A2B0")}) {
        EXPECT_EQ(tnt::ReadLutTable(&lut, p, tag), TNT_ERR_TAG_NOT_FOUND);
        EXPECT_EQ(lut.inputCurves[0].table, nullptr);
        EXPECT_EQ(tnt::ReadCrdTable(p, tag, &crd), TNT_ERR_TAG_RANGE);
    }
    TntCloseProfile(p);
}

// A 'mluc' tag as the tag interface holds it (type in host order, the rest
// big-endian): records of language, country and UTF-16 text.
Bytes MlucTag(const std::vector<std::pair<std::string, std::u16string>>& records, uint32_t recordSize = 12) {
    const uint32_t type = Sig("mluc");
    Be b;
    b.bytes(4, 0).u32(0).u32(uint32_t(records.size())).u32(recordSize);
    std::memcpy(b.b.data(), &type, 4);
    uint32_t offset = 16 + recordSize * uint32_t(records.size());
    for (const auto& [where, text] : records) {
        b.text(where.data(), 4).u32(uint32_t(2 * text.size())).u32(offset);
        offset += uint32_t(2 * text.size());
    }
    for (const auto& record : records)
        for (char16_t c : record.second) b.u16(c);
    return b.b;
}

std::string TextOf(Profile* p, uint32_t signature, TntStatus* status, size_t capacity = 256) {
    tnt::TagReader reader{};
    std::vector<char> text(capacity);
    *status = tnt::OpenTagReader(p, signature, &reader);
    if (!*status) *status = tnt::ReadTagText(reader, text.data(), capacity, nullptr);
    return text.data();
}

// 'mluc' tags: the American English record (else the first), UTF-8 out of
// UTF-16, text cut to the room given, and lying records refused.
TEST(TagReader, TextOfMultiLocalizedTags) {
    Profile* p = ProfileWith(Sig("desc"), MlucTag({{"deDE", u"Farbe"}, {"enUS", u"Colour \U0001F308 \xe9"}}));
    TntStatus st;
    EXPECT_EQ(TextOf(p, Sig("desc"), &st), "Colour \xf0\x9f\x8c\x88 \xc3\xa9");
    tnt_test::PutTag(p, Sig("desc"), MlucTag({{"frFR", u"Couleur\xd800!"}}));
    EXPECT_EQ(TextOf(p, Sig("desc"), &st), "Couleur\xef\xbf\xbd!") << "first record, an unpaired surrogate";
    tnt::TagReader reader{};
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("desc"), &reader), TNT_OK);
    char small[4];
    size_t length = 0;
    EXPECT_EQ(tnt::ReadTagText(reader, small, sizeof small, &length), TNT_OK);
    EXPECT_EQ(std::string(small), "Cou");
    EXPECT_EQ(length, 11u);
    // Lying records: text past the tag, a record size below 12, records past
    // the tag, a header cut short; another type.
    Bytes lying = MlucTag({{"enUS", u"abc"}});
    lying[27] = 0x40;  // the text's offset
    const Bytes cases[] = {lying, MlucTag({{"enUS", u"abc"}}, 8), Bytes(lying.begin(), lying.begin() + 20),
                           Bytes(lying.begin(), lying.begin() + 14), tnt_test::XYZTag(1, 1, 1)};
    const TntStatus expected[] = {TNT_ERR_TAG_RANGE, TNT_ERR_TAG_NOT_FOUND, TNT_ERR_TAG_RANGE, TNT_ERR_TAG_RANGE,
                                  TNT_ERR_TAG_NOT_FOUND};
    for (size_t i = 0; i < std::size(cases); ++i) {
        tnt_test::PutTag(p, Sig("desc"), cases[i]);
        EXPECT_EQ(TextOf(p, Sig("desc"), &st), "") << i;
        EXPECT_EQ(st, expected[i]) << i;
    }
    TntCloseProfile(p);
}

}  // namespace
