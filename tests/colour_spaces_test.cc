#include <gtest/gtest.h>

#include "colour/spaces.h"
#include "tintwell.h"

namespace tnt {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

// A sample of rows whose ranges the encodings depend on, families, bare
// numbers and near misses that must fall to the default row.
TEST(SpaceTable, RowsFamiliesBareNumbersAndStrays) {
    struct Row { uint32_t space; uint16_t channels; double min1, max1; bool convertible; };
    const Row rows[] = {
        {Sig("XYZ "), 3, 0, 199.997, true},  {Sig("Lab "), 3, -128, 128, true}, {Sig("Yxy "), 3, 0, 1, true},
        {Sig("LCh "), 3, 0, 181, true},      {Sig("Labm"), 3, -128, 128, true}, {Sig("LabK"), 4, -128, 128, false},
        {Sig("RGB "), 3, 0, 255, false},     {Sig("HLS "), 3, 0, 100, false},   {Sig("CMYK"), 4, 0, 100, false},
        {Sig("GRAY"), 1, 0, 100, false},     {Sig("dens"), 4, 0, 4, false},     {Sig("nrm3"), 3, 0, 1, false},
        {Sig("spkt"), 36, 0, 200, false},    {TNT_SIG('F', 'C', 'L', 'R'), 15, 0, 100, false},
        {TNT_SIG('M', 'C', 'H', '8'), 8, 0, 100, false}, {5, 5, 3.4e38, -3.4e38, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.space);
        EXPECT_EQ(SpaceChannelCount(r.space), r.channels);
        EXPECT_EQ(IsConvertibleSpace(r.space), r.convertible);
        const uint16_t c = r.channels > 1 ? 1 : 0;
        EXPECT_EQ(SpaceChannelMin(r.space, c), r.min1);
        EXPECT_EQ(SpaceChannelMax(r.space, c), r.max1);
    }
    EXPECT_EQ(SpaceChannelMax(Sig("Lab "), 0), 100.0);
    EXPECT_EQ(SpaceChannelMax(Sig("LChm"), 0), 112.22);
    for (uint32_t s : {Sig("MCH9"), Sig("MCH1"), Sig("1CLR"), Sig("GCLR"), Sig("nrm2"), Sig("lab "), Sig("cmyk"),
                       Sig("LChM"), 0u, 9u, 0xFFFFFFFFu}) {
        EXPECT_EQ(SpaceChannelCount(s), 3) << std::hex << s;
        EXPECT_FALSE(IsConvertibleSpace(s));
        EXPECT_EQ(SpaceChannelMax(s, 2), 100.0);
    }
    // No signature outside the table converts: sweep the listed characters.
    const char alphabet[] = " 123456789ABCDEFGHJKLMNRSTUVXYZabcehijklmnrstuvxyz";
    int convertible = 0;
    for (const char* a = alphabet; *a; ++a)
        for (const char* b = alphabet; *b; ++b)
            for (const char* c = alphabet; *c; ++c)
                for (const char* d = alphabet; *d; ++d) convertible += IsConvertibleSpace(TNT_SIG(*a, *b, *c, *d));
    EXPECT_EQ(convertible, 14);
}

}  // namespace
}  // namespace tnt
