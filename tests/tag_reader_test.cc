// The bounded tag reader, and the readers built on it: a tag whose counts
// claim more than it holds is refused with 5015 (5005 for lookup tables)
// before anything is allocated for the claim.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/memory.h"
#include "postscript/crd.h"
#include "profile/tag_reader.h"
#include "profile/text_tag.h"
#include "stage/lut.h"
#include "stage/matrix.h"
#include "support/profile_builder.h"

namespace {

using tnt_test::Bytes;
using tnt_test::Sig;

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
    EXPECT_EQ(tnt::OpenTagReader(p, Sig("none"), &reader), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(reader.data, nullptr);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("wtpt"), &reader), TNT_OK);
    EXPECT_EQ(reader.size, 20u);
    EXPECT_EQ(reader.data, TntProfileGetTagDataPtr(p, Sig("wtpt")));

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
    EXPECT_EQ(tnt::TagU32(reader, 17, &type), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::TagU16(reader, 19, &half), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::TagU8(reader, 20, &byte), TNT_ERR_TAG_RANGE);
    double v[3] = {};
    ASSERT_EQ(tnt::TagXYZNumber(reader, v), TNT_OK);
    EXPECT_DOUBLE_EQ(v[0], 0.5);
    EXPECT_DOUBLE_EQ(v[1], 1.0);
    EXPECT_DOUBLE_EQ(v[2], -0.25);
    // One byte short of the first XYZNumber.
    EXPECT_EQ(TntSetProfileElementSize(p, Sig("bkpt"), 19), TNT_OK);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("bkpt"), &reader), TNT_OK);
    EXPECT_EQ(tnt::TagXYZNumber(reader, v), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);
}

TEST(TagReader, CurvesWhoseCountsLieAreRefusedBeforeAllocating) {
    Bytes curve = tnt_test::CurveTag({0, 1000, 65535});
    Profile* p = ProfileWith(Sig("rTRC"), curve);
    tnt::TagReader reader{};
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("rTRC"), &reader), TNT_OK);
    uint32_t count = 0;
    const uint8_t* entries = nullptr;
    ASSERT_EQ(tnt::TagCurveEntries(reader, &count, &entries), TNT_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(entries, reader.data + 12);

    // The same tag claiming 2^31 entries, and one with no room for a count.
    const uint32_t huge = 0x80000000u;
    ASSERT_EQ(TntSetPartialProfileElement(p, Sig("rTRC"), 8, 4, &huge), TNT_OK);
    ASSERT_EQ(tnt::OpenTagReader(p, Sig("rTRC"), &reader), TNT_OK);
    EXPECT_EQ(tnt::TagCurveEntries(reader, &count, &entries), TNT_ERR_TAG_RANGE);
    tnt_test::PutTag(p, Sig("gTRC"), Bytes(curve.begin(), curve.begin() + 10));

    const int64_t live = tnt::LiveBlockCount();
    tnt::ToneCurve read{};
    tnt::FailAllocationAt(1);  // any allocation would fail the read with 21002
    EXPECT_EQ(tnt::ReadToneCurveTag(p, Sig("rTRC"), &read), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::ReadToneCurveTag(p, Sig("gTRC"), &read), TNT_ERR_TAG_RANGE);
    tnt::FailAllocationAt(0);
    EXPECT_EQ(read.table, nullptr);
    EXPECT_EQ(read.length, 0u);
    EXPECT_EQ(tnt::LiveBlockCount(), live);

    // The PostScript writer inverts the same curves through the same reader.
    Profile* q = tnt_test::MatrixProfile(Sig("prtr"), curve);
    ASSERT_EQ(TntSetPartialProfileElement(q, Sig("gTRC"), 8, 4, &huge), TNT_OK);
    auto discard = [](uintptr_t, const char*) -> TntStatus { return TNT_OK; };
    EXPECT_EQ(TntSaveCRD(q, 1, discard, 0), TNT_ERR_TAG_RANGE);
    TntCloseProfile(q);
    TntCloseProfile(p);
}

TEST(TagReader, TablesThatClaimMoreThanTheTagAreUnusable) {
    tnt_test::LutContents contents;
    contents.outputs = 4;
    contents.grid = 3;
    const Bytes table = tnt_test::MftTag(contents);
    Profile* p = ProfileWith(Sig("B2A0"), table);
    tnt::LutStageData lut{};
    ASSERT_EQ(tnt::ReadLutTable(&lut, p, Sig("B2A0")), TNT_OK);
    tnt::ReleaseLutStage(&lut);
    tnt::CrdTable crd{};
    ASSERT_EQ(tnt::ReadCrdTable(p, Sig("B2A0"), &crd), TNT_OK);
    tnt::ReleaseCrdTable(&crd);

    // The last byte of the output curves cut off, then a grid of 255 points.
    tnt_test::PutTag(p, Sig("B2A1"), Bytes(table.begin(), table.end() - 1));
    EXPECT_EQ(tnt::ReadLutTable(&lut, p, Sig("B2A1")), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(lut.inputCurves[0].table, nullptr);
    EXPECT_EQ(tnt::ReadCrdTable(p, Sig("B2A1"), &crd), TNT_ERR_TAG_RANGE);
    Bytes wide = table;
    wide[10] = 255;
    tnt_test::PutTag(p, Sig("B2A2"), wide);
    EXPECT_EQ(tnt::ReadLutTable(&lut, p, Sig("B2A2")), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(tnt::ReadCrdTable(p, Sig("B2A2"), &crd), TNT_ERR_TAG_RANGE);
    // Shorter than the fixed header.
    tnt_test::PutTag(p, Sig("A2B0"), Bytes(table.begin(), table.begin() + 50));
    EXPECT_EQ(tnt::ReadLutTable(&lut, p, Sig("A2B0")), TNT_ERR_TAG_NOT_FOUND);
    TntCloseProfile(p);
}

// A 'mluc' tag as the tag interface holds it (type in host order, the rest
// big-endian): records of language, country and UTF-16 text.
Bytes MlucTag(const std::vector<std::pair<std::string, std::u16string>>& records, uint32_t recordSize = 12) {
    Bytes b = {0, 0, 0, 0, 0, 0, 0, 0};
    const uint32_t type = Sig("mluc");
    std::memcpy(b.data(), &type, 4);
    auto u32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
    };
    u32(uint32_t(records.size()));
    u32(recordSize);
    uint32_t offset = 16 + recordSize * uint32_t(records.size());
    for (const auto& [where, text] : records) {
        b.insert(b.end(), where.begin(), where.end());
        u32(uint32_t(2 * text.size()));
        u32(offset);
        offset += uint32_t(2 * text.size());
    }
    for (const auto& record : records)
        for (char16_t c : record.second) b.insert(b.end(), {uint8_t(c >> 8), uint8_t(c)});
    return b;
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
