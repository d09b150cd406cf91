// PostScript number text: literal bytes (held on every platform, Windows
// under wine included) and the same text as glibc's printf in the C locale.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "postscript/number_format.h"

namespace {

TEST(NumberFormat, LiteralTexts) {
    // Exact ties go to even, the rest by the exact binary value; the sign
    // survives rounding to zero.
    const struct { double value; int decimals; const char* text; } cases[] = {
        {0.9642, 4, "0.9642"}, {2.5, 0, "2"}, {-0.00004, 4, "-0.0000"}, {1e22, 0, "10000000000000000000000"},
        {0.125, 2, "0.12"}, {0.375, 2, "0.38"}, {1.0 / 3, 9, "0.333333333"}, {5e-324, 9, "0.000000000"},
        {99999.99995, 4, "99999.9999"}, {0.99995, 4, "1.0000"}, {-2.0 / 3, 5, "-0.66667"},
        {4.5e15, 1, "4500000000000000.0"}, {9007199254740993.0, 0, "9007199254740992"},
        {std::numeric_limits<double>::infinity(), 4, "inf"}, {-std::numeric_limits<double>::infinity(), 2, "-inf"},
        {std::nan(""), 4, "nan"}};
    for (const auto& c : cases) EXPECT_STREQ(tnt::FormatFixed(c.value, c.decimals).text, c.text) << c.value;
    char text[64];
    for (int64_t v : {int64_t(0), int64_t(-1), int64_t(10), int64_t(-2147483648LL), INT64_MAX, INT64_MIN}) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
        EXPECT_STREQ(tnt::FormatInteger(v).text, text);
    }
    for (uint32_t v : {0u, 15u, 16u, 0xabu, 0xffu, 0x100u, 0xffffffffu}) {
        std::snprintf(text, sizeof text, "%02x", v);
        EXPECT_STREQ(tnt::FormatHex2(v).text, text);
    }
}

void ExpectLikePrintf(double value) {
    for (int decimals : {0, 1, 2, 3, 4, 5, 9}) {
        char text[400];
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        ASSERT_STREQ(tnt::FormatFixed(value, decimals).text, text) << std::hexfloat << value << " " << decimals;
    }
}

TEST(NumberFormat, FixedPointMatchesTheCLibrary) {
    for (double v : {0.0, -0.0, 0.999949999, 9.99995, 0.00005, -0.00005, 1e300, -1e300, 2.2e-308, 65535.0,
                     std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()})
        ExpectLikePrintf(v);
    // Exact ties at every decimal count, and values either side of a
    // decimal rounding boundary.
    for (int m = -4000; m <= 4000; ++m) ExpectLikePrintf(m / 1024.0);
    for (int i = 0; i < 20000; ++i) {
        const double boundary = (i - 10000) / 10000.0 + 0.00005;
        ExpectLikePrintf(std::nextafter(boundary, 1e9));
        ExpectLikePrintf(std::nextafter(boundary, -1e9));
    }
    // Any finite bit pattern, every exponent.
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) ExpectLikePrintf(v);
    }
}

}  // namespace
