// Tag byte order: what is converted for each type, and that conversion
// never strays outside a block and always undoes itself.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "profile/byteorder.h"

using namespace tnt;

namespace {

// Builds a big-endian block.
struct Be {
    std::vector<uint8_t> b;
    Be& sig(const char* s) { return text(s, 4); }
    Be& u32(uint32_t v) { for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i))); return *this; }
    Be& u16(uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); return *this; }
    Be& bytes(size_t n, uint8_t v) { b.insert(b.end(), n, v); return *this; }
    Be& append(const Be& o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
    Be& text(const char* s, size_t n) { b.insert(b.end(), s, s + n); return *this; }
};

uint32_t Host(const std::vector<uint8_t>& b, size_t o, size_t width) {
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    if (width == 4) std::memcpy(&v32, b.data() + o, 4);
    if (width == 2) std::memcpy(&v16, b.data() + o, 2);
    return width == 4 ? v32 : width == 2 ? v16 : b[o];
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
    return d.u16(0x1234).bytes(68, 0);
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
    const std::vector<uint8_t> desc = Description("abc", 3, 2).b;
    const struct { std::vector<uint8_t> block; size_t offset, width; uint32_t value; } cases[] = {
        {Be().sig("chrm").u32(0).u32(0x01020304).b, 0, 4, 0x6368726Du},
        {Be().sig("chrm").u32(0).u32(0x01020304).b, 8, 1, 1},
        {desc, 8, 4, 3}, {desc, 15, 4, 0x656E5553u}, {desc, 19, 4, 2}, {desc, 23, 1, 0}, {desc, 24, 1, 0x41},
        {desc, 27, 2, 0x1234},
        {seq.b, 8, 4, 2}, {seq.b, second + 4, 4, 8}, {seq.b, second + 8, 4, SwapIccData ? 0x05060708u : 0x01020304u},
        {seq.b, second + 20, 4, 0x64657363u}, {seq.b, second + 28, 4, 5}, {seq.b, second + 125, 4, 6},
        {Be().sig("ncl2").u32(0).u32(5).u32(1).u32(2).bytes(96, 'x').u16(1).u16(2).u16(3).u16(4).u16(5).b, 124, 2, 5},
        {Be().sig("scrn").u32(0).u32(9).u32(1).u32(10).u32(20).u32(30).b, 8, 4, SwapIccData ? 0x09000000u : 9u},
        {Be().sig("scrn").u32(0).u32(9).u32(1).u32(10).u32(20).u32(30).b, 24, 4, 30},
        {Be().sig("sf32").u32(0).u32(0xFFFF0000).u32(5).b, 12, 4, 5},
        {Be().sig("dtim").u32(0).u16(2026).u16(12).u16(5).u16(22).u16(4).u16(31).b, 8, 2, 2026},
        {Be().sig("dtim").u32(0).u16(2026).u16(12).u16(5).u16(22).u16(4).u16(31).b, 18, 2, 31},
        {meas.b, 8, 4, 100}, {meas.b, 32, 4, 106},
        {Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b, 12, 2, 7},
        {Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b, 14, 4, 2},
        {Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b, 20, 2, 9},
        {Be().sig("bfd ").u32(0).u32(1).u16(7).u32(2).u16(8).u16(9).text("ucr", 3).b, 22, 1, 'u'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Host(ToHostAndBack(c.block), c.offset, c.width), c.value) << c.block[0] << c.block[1] << c.offset;
    EXPECT_EQ(TextDescriptionSize(desc.data(), desc.size(), ToHost), 90u + 3 + 4);
    const std::vector<uint8_t> host = ToHostAndBack(desc);
    EXPECT_EQ(TextDescriptionSize(host.data(), host.size(), ToFile), 90u + 3 + 4);
}

TEST(ByteOrder, LyingCountsStayInsideTheBlockAndStillRoundTrip) {
    // Counts that claim far more than the block holds, and truncations of
    // well-formed blocks at every length: the sanitizer watches each one.
    Be seq;
    seq.sig("pseq").u32(0).u32(3).sig("TINT").u32(1).u32(2).u32(3).sig("fscn").append(Description("abcd", 4, 3));
    const std::vector<uint8_t> blocks[] = {
        Be().sig("curv").u32(0).u32(0xFFFFFFFF).u16(1).b,
        Be().sig("desc").u32(0).u32(0xFFFFFFF0).u32(1).u32(2).b,
        Be().sig("desc").u32(0).u32(1).text("a", 1).u32(0).u32(0x7FFFFFFF).u16(1).b,
        Be().sig("bfd ").u32(0).u32(0x80000000).u16(1).b,
        Be().sig("ncl2").u32(0).u32(0).u32(0xFFFFFFFF).u32(0xFFFFFFFF).bytes(70, 1).b,
        Be().sig("scrn").u32(0).u32(0).u32(0xFFFFFFFF).u32(1).b,
        Be().sig("mft2").u32(0).bytes(3, 255).bytes(1, 0).bytes(36, 1).u16(0xFFFF).u16(0xFFFF).u16(1).b,
        Be().sig("pseq").u32(0).u32(0xFFFFFFFF).bytes(30, 0x11).b,
        seq.b,
        Description("hello world", 11, 5).b,
    };
    for (const auto& full : blocks)
        for (size_t len = 0; len <= full.size(); ++len) ToHostAndBack(std::vector<uint8_t>(full.begin(), full.begin() + len));
}
