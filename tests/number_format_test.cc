// PostScript number text: the same bytes as glibc's printf in the C locale,
// whatever locale the host has set.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "postscript/number_format.h"
#include "support/real_profiles.h"

namespace {

std::string Printf(const char* format, double value) {
    char text[400];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void ExpectLikePrintf(double value) {
    static const char* const kFormats[] = {"%.0f", "%.1f", "%.2f", "%.3f", "%.4f", "%.5f", "%.9f"};
    static const int kDecimals[] = {0, 1, 2, 3, 4, 5, 9};
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(tnt::FormatFixed(value, kDecimals[i]).text, Printf(kFormats[i], value))
            << "value " << std::hexfloat << value << " decimals " << kDecimals[i];
    }
}

TEST(NumberFormat, FixedPointMatchesTheCLibrary) {
    const double edges[] = {0.0, -0.0, 0.99995, -0.99995, 0.999949999, 9.99995, 99999.99995, 0.00005, -0.00005,
                            0.00004999, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, -0.125, 1.0 / 32, 3.0 / 32, 0.9642,
                            0.8249, 1.0883, 4.5e15, 9007199254740993.0, 1e22, 1e300, -1e300, 5e-324, 2.2e-308,
                            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::denorm_min(), 65535.0, 1.0 / 3, -2.0 / 3};
    for (double v : edges) ExpectLikePrintf(v);
    // Exact ties at every decimal count: odd multiples of a power of one half.
    for (int m = -4000; m <= 4000; ++m) {
        ExpectLikePrintf(m / 32.0);
        ExpectLikePrintf(m / 1024.0);
    }
    // Values just either side of a decimal rounding boundary.
    for (int i = 0; i < 20000; ++i) {
        const double boundary = (i - 10000) / 10000.0 + 0.00005;
        ExpectLikePrintf(std::nextafter(boundary, 1e9));
        ExpectLikePrintf(std::nextafter(boundary, -1e9));
    }
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> moderate(-2000.0, 2000.0);
    for (int i = 0; i < 50000; ++i) ExpectLikePrintf(moderate(random));
    // Any finite bit pattern, every exponent.
    for (int i = 0; i < 3000; ++i) {
        uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) ExpectLikePrintf(v);
    }
    EXPECT_STREQ(tnt::FormatFixed(std::numeric_limits<double>::infinity(), 4).text, "inf");
    EXPECT_STREQ(tnt::FormatFixed(-std::numeric_limits<double>::infinity(), 2).text, "-inf");
    EXPECT_STREQ(tnt::FormatFixed(std::nan(""), 4).text, "nan");
}

TEST(NumberFormat, IntegersAndHex) {
    const int64_t ints[] = {0, 1, -1, 9, 10, 65535, 2147483647, -2147483648LL, INT64_MAX, INT64_MIN};
    char text[64];
    for (int64_t v : ints) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
        EXPECT_STREQ(tnt::FormatInteger(v).text, text);
    }
    for (uint32_t v : {0u, 5u, 15u, 16u, 0xabu, 0xffu, 0x100u, 0xffffffffu}) {
        std::snprintf(text, sizeof text, "%02x", v);
        EXPECT_STREQ(tnt::FormatHex2(v).text, text);
    }
}

// A host that set a comma decimal separator still gets points. The locale
// is compiled into the test's temporary folder, since the machine may have
// none installed.
TEST(NumberFormat, IgnoresTheProcessLocale) {
#if defined(_WIN32)
    // Windows carries its locales with it, named its own way.
    const bool changed = std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
#else
    const std::string target = tnt_test::TempPath("de_DE.UTF-8");
    const std::string dir = std::filesystem::path(target).parent_path().string();
    const std::string command = "localedef -i de_DE -f UTF-8 " + target + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef could not build de_DE.UTF-8";
    setenv("LOCPATH", dir.c_str(), 1);
    const bool changed = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#endif
    const std::string local = Printf("%.4f", 0.9642);
    const std::string ours = tnt::FormatFixed(0.9642, 4).text;
    std::setlocale(LC_NUMERIC, "C");
#if !defined(_WIN32)
    unsetenv("LOCPATH");
#endif
    ASSERT_TRUE(changed);
    EXPECT_EQ(local, "0,9642");  // the locale is in force
    EXPECT_EQ(ours, "0.9642");
}

}  // namespace
