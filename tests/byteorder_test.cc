// Tag byte order: what is converted for each type, and that conversion
// never strays outside a block and always undoes itself.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "profile/byteorder.h"
#include "support/real_profiles.h"

using namespace tnt;

namespace {

// Builds a big-endian block.
struct Be {
    std::vector<uint8_t> b;
    Be& sig(const char* s) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(s[i])); return *this; }
    Be& u32(uint32_t v) { for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i))); return *this; }
    Be& u16(uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); return *this; }
    Be& bytes(size_t n, uint8_t v) { for (size_t i = 0; i < n; ++i) b.push_back(v); return *this; }
    Be& append(const Be& o) { for (uint8_t x : o.b) b.push_back(x); return *this; }
    Be& text(const char* s, size_t n) { for (size_t i = 0; i < n; ++i) b.push_back(uint8_t(s[i])); return *this; }
};

uint32_t HostU32(const std::vector<uint8_t>& b, size_t o) {
    uint32_t v;
    std::memcpy(&v, b.data() + o, 4);
    return v;
}
uint16_t HostU16(const std::vector<uint8_t>& b, size_t o) {
    uint16_t v;
    std::memcpy(&v, b.data() + o, 2);
    return v;
}

// Converts to host order in an exactly sized heap block (so the sanitizer
// sees any stray access), then back, and checks the round trip.
std::vector<uint8_t> ToHostAndBack(const std::vector<uint8_t>& file) {
    uint8_t none = 0;
    std::vector<uint8_t> host(file);
    ConvertTagBlock(host.empty() ? &none : host.data(), uint32_t(host.size()), ToHost);
    std::vector<uint8_t> back(host);
    ConvertTagBlock(back.empty() ? &none : back.data(), uint32_t(back.size()), ToFile);
    EXPECT_EQ(back, file) << "ToFile after ToHost must restore the block";
    return host;
}

Be Description(const char* ascii, uint32_t n, uint32_t m) {
    Be d;
    d.sig("desc").u32(0).u32(n).text(ascii, n).u32(0x656E5553).u32(m);
    for (uint32_t i = 0; i < m; ++i) d.u16(uint16_t(0x0041 + i));
    d.u16(0x1234).bytes(1, 0).bytes(67, 0);
    return d;
}

}  // namespace

TEST(ByteOrder, FixedPointDecodersAndSwaps) {
    for (auto [bits, value] : {std::pair{0xFFFF8000u, -0.5}, {0x0000F6D6u, 0.964202880859375}, {0x80000000u, -32768.0},
                               {0x7FFFFFFFu, 32767.0 + 65535.0 / 65536.0}})
        EXPECT_EQ(S15Fixed16ToDouble(bits), value) << std::hex << bits;
    EXPECT_EQ(U8Fixed8ToDouble(0xFFFF0233u), 2.19921875) << "only the low 16 bits count";
    EXPECT_EQ(ConvertU32(0x11223344u), SwapIccData ? 0x44332211u : 0x11223344u);
    EXPECT_EQ(ConvertU32If(0x11223344u, 1), 0x44332211u);
    uint8_t attr[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ConvertU64(attr);
    uint64_t v;
    std::memcpy(&v, attr, 8);
    EXPECT_EQ(v, 0x0102030405060708ull);
}

TEST(ByteOrder, CountedTypesConvertWhatTheirCountsSay) {
    // Tables, curves and XYZ numbers are checked through the real profiles
    // read against Little CMS; these are the types nothing else reads.
    // Unknown types only have their signature converted.
    std::vector<uint8_t> h = ToHostAndBack(Be().sig("chrm").u32(0).u32(0x01020304).b);
    EXPECT_EQ(HostU32(h, 0), 0x6368726Du);
    EXPECT_EQ(h[8], 1);

    // 'desc' with an odd ASCII count: the Unicode fields are unaligned, and
    // the Unicode characters stay big-endian.
    std::vector<uint8_t> desc = Description("abc", 3, 2).b;
    h = ToHostAndBack(desc);
    EXPECT_EQ(HostU32(h, 8), 3u);
    EXPECT_EQ(HostU32(h, 15), 0x656E5553u);
    EXPECT_EQ(HostU32(h, 19), 2u);
    EXPECT_EQ(h[23], 0x00);
    EXPECT_EQ(h[24], 0x41);
    EXPECT_EQ(HostU16(h, 27), 0x1234);
    EXPECT_EQ(TextDescriptionSize(desc.data(), desc.size(), ToHost), 90u + 3 + 4);
    EXPECT_EQ(TextDescriptionSize(h.data(), h.size(), ToFile), 90u + 3 + 4);

    // 'pseq' with two descriptions: headers and all four embedded texts.
    Be seq;
    seq.sig("pseq").u32(0).u32(2);
    for (int k = 0; k < 2; ++k) {
        seq.sig("TINT").u32(7 + k).u32(0x01020304).u32(0x05060708).sig("fscn");
        Be a = Description("maker", 5, 1), b = Description("model!", 6, 0);
        seq.append(a).append(b);
    }
    h = ToHostAndBack(seq.b);
    size_t second = 12 + 20 + (90 + 5 + 2) + (90 + 6);
    EXPECT_EQ(HostU32(h, 8), 2u);
    EXPECT_EQ(HostU32(h, second + 4), 8u);
    uint64_t attributes;
    std::memcpy(&attributes, h.data() + second + 8, 8);
    EXPECT_EQ(attributes, 0x0102030405060708ull);
    EXPECT_EQ(HostU32(h, second + 20), 0x64657363u);
    EXPECT_EQ(HostU32(h, second + 20 + 8), 5u);
    EXPECT_EQ(HostU32(h, second + 20 + 97 + 8), 6u);

    // 'ncl2', 'scrn', 'sf32', 'dtim', 'meas', 'view', 'bfd ' spot checks.
    Be ncl;
    ncl.sig("ncl2").u32(0).u32(5).u32(1).u32(2).bytes(64, 'x').bytes(32, 'n').u16(1).u16(2).u16(3).u16(4).u16(5);
    h = ToHostAndBack(ncl.b);
    EXPECT_EQ(HostU16(h, 84 + 32 + 8), 5);
    h = ToHostAndBack(Be().sig("scrn").u32(0).u32(9).u32(1).u32(10).u32(20).u32(30).b);
    EXPECT_EQ(HostU32(h, 8), SwapIccData ? 0x09000000u : 9u) << "screening flags are left alone";
    EXPECT_EQ(HostU32(h, 24), 30u);
    h = ToHostAndBack(Be().sig("sf32").u32(0).u32(0xFFFF0000).u32(5).b);
    EXPECT_EQ(HostU32(h, 12), 5u);
    h = ToHostAndBack(Be().sig("dtim").u32(0).u16(2026).u16(12).u16(5).u16(22).u16(4).u16(31).b);
    EXPECT_EQ(HostU16(h, 8), 2026);
    EXPECT_EQ(HostU16(h, 18), 31);
    Be meas;
    meas.sig("meas").u32(0);
    for (int i = 0; i < 7; ++i) meas.u32(100 + i);
    h = ToHostAndBack(meas.b);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(HostU32(h, 8 + 4 * i), 100u + i);
    h = ToHostAndBack(Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b);
    EXPECT_EQ(HostU16(h, 12), 7);
    EXPECT_EQ(HostU32(h, 14), 2u);
    EXPECT_EQ(HostU16(h, 20), 9);
    EXPECT_EQ(h[22], 'u');
}

TEST(ByteOrder, LyingCountsStayInsideTheBlockAndStillRoundTrip) {
    // Counts that claim far more than the block holds, and truncations of
    // well-formed blocks at every length: the sanitizer watches each one.
    Be seq;
    seq.sig("pseq").u32(0).u32(3).sig("TINT").u32(1).u32(2).u32(3).sig("fscn");
    Be d = Description("abcd", 4, 3);
    seq.append(d);
    std::vector<std::vector<uint8_t>> blocks = {
        Be().sig("curv").u32(0).u32(0xFFFFFFFF).u16(1).b,
        Be().sig("desc").u32(0).u32(0xFFFFFFF0).u32(1).u32(2).b,
        Be().sig("desc").u32(0).u32(1).text("a", 1).u32(0).u32(0x7FFFFFFF).u16(1).b,
        Be().sig("bfd ").u32(0).u32(0x80000000).u16(1).b,
        Be().sig("ncl2").u32(0).u32(0).u32(0xFFFFFFFF).u32(0xFFFFFFFF).bytes(70, 1).b,
        Be().sig("scrn").u32(0).u32(0).u32(0xFFFFFFFF).u32(1).b,
        Be().sig("mft2").u32(0).bytes(1, 255).bytes(1, 255).bytes(1, 255).bytes(1, 0).bytes(36, 1).u16(0xFFFF).u16(0xFFFF).u16(1).b,
        Be().sig("pseq").u32(0).u32(0xFFFFFFFF).bytes(30, 0x11).b,
        seq.b,
        Description("hello world", 11, 5).b,
    };
    for (const auto& full : blocks) {
        for (size_t len = 0; len <= full.size(); ++len) {
            ToHostAndBack(std::vector<uint8_t>(full.begin(), full.begin() + len));
        }
    }
    // Random bytes behind every known type signature.
    const char* types[] = {"XYZ ", "bfd ", "curv", "data", "desc", "dtim", "meas", "mft1", "mft2",
                           "ncl2", "ncol", "pseq", "scrn", "sf32", "sig ", "text", "view", "mluc"};
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        size_t len = rng() % 300;
        std::vector<uint8_t> b(len);
        for (auto& x : b) x = uint8_t(rng() % 4 == 0 ? rng() : rng() % 3);
        if (len >= 4) std::memcpy(b.data(), types[round % 18], 4);
        ToHostAndBack(b);
    }
}

TEST(ByteOrder, PaddedSequenceFromARealLinkRoundTrips) {
    // Little CMS pads each description in 'pseq' to 4 bytes; a walk by the
    // stated lengths lands off the records but must stay in the block.
    std::vector<uint8_t> file = tnt_test::ReadFileBytes(tnt_test::TestProfile("srgb-to-tr003-link-mft2-linkicc.icc"));
    ASSERT_EQ(file.size(), 40796u);
    std::vector<uint8_t> pseq(file.begin() + 40148, file.begin() + 40148 + 628);
    std::vector<uint8_t> h = ToHostAndBack(pseq);
    EXPECT_EQ(HostU32(h, 0), 0x70736571u);
    EXPECT_EQ(HostU32(h, 8), 2u);
}
