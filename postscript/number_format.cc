#include "postscript/number_format.h"

#include <cstring>

namespace tnt {

namespace {

// An unsigned integer of up to 36 32-bit limbs, least significant first:
// enough for any double times 10^9 (at most 2^1054).
struct BigNumber {
    uint32_t limb[36];
    int used;
};

void MultiplySmall(BigNumber& n, uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < n.used; ++i) {
        uint64_t v = uint64_t{n.limb[i]} * factor + carry;
        n.limb[i] = static_cast<uint32_t>(v);
        carry = v >> 32;
    }
    if (carry) n.limb[n.used++] = static_cast<uint32_t>(carry);
}

void ShiftLeft(BigNumber& n, int bits) {
    const int limbs = bits / 32, rest = bits % 32;
    if (n.used == 0) return;
    const int top = n.used + limbs;
    n.limb[top] = 0;
    for (int i = n.used - 1; i >= 0; --i) {
        uint64_t v = uint64_t{n.limb[i]} << rest;
        n.limb[i + limbs + 1] |= static_cast<uint32_t>(v >> 32);
        n.limb[i + limbs] = static_cast<uint32_t>(v);
    }
    for (int i = 0; i < limbs; ++i) n.limb[i] = 0;
    n.used = top + 1;
    while (n.used > 0 && n.limb[n.used - 1] == 0) --n.used;
}

bool BitAt(const BigNumber& n, int bit) {
    const int i = bit / 32;
    return i < n.used && ((n.limb[i] >> (bit % 32)) & 1u);
}

bool AnyBitBelow(const BigNumber& n, int bit) {
    for (int i = 0; i < n.used && i * 32 < bit; ++i) {
        const int width = bit - i * 32;
        const uint32_t mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
        if (n.limb[i] & mask) return true;
    }
    return false;
}

// n / 2^bits, rounded to nearest with ties to even, as the C library does
// in the default rounding mode.
void ShiftRightRounded(BigNumber& n, int bits) {
    const bool half = BitAt(n, bits - 1);
    const bool sticky = AnyBitBelow(n, bits - 1);
    const int limbs = bits / 32, rest = bits % 32;
    BigNumber q{};
    q.used = n.used > limbs ? n.used - limbs : 0;
    for (int i = 0; i < q.used; ++i) {
        uint64_t v = n.limb[i + limbs];
        if (i + limbs + 1 < n.used) v |= uint64_t{n.limb[i + limbs + 1]} << 32;
        q.limb[i] = static_cast<uint32_t>(v >> rest);
    }
    while (q.used > 0 && q.limb[q.used - 1] == 0) --q.used;
    const bool odd = q.used > 0 && (q.limb[0] & 1u);
    if (half && (sticky || odd)) {
        int i = 0;
        while (i < q.used && ++q.limb[i] == 0) ++i;
        if (i == q.used) q.limb[q.used++] = 1;
    }
    n = q;
}

uint32_t DivideSmall(BigNumber& n, uint32_t divisor) {
    uint64_t remainder = 0;
    for (int i = n.used - 1; i >= 0; --i) {
        uint64_t v = (remainder << 32) | n.limb[i];
        n.limb[i] = static_cast<uint32_t>(v / divisor);
        remainder = v % divisor;
    }
    while (n.used > 0 && n.limb[n.used - 1] == 0) --n.used;
    return static_cast<uint32_t>(remainder);
}

void Append(NumberText& out, const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(out.text + out.length, text, n + 1);
    out.length += n;
}

// The decimal digits of n (consumed), most significant first, at least
// `minimum` of them.
void AppendDigits(NumberText& out, BigNumber& n, int minimum) {
    char reversed[340];
    int count = 0;
    while (n.used > 0) {
        uint32_t chunk = DivideSmall(n, 1000000000u);
        for (int i = 0; i < 9; ++i, chunk /= 10) reversed[count++] = static_cast<char>('0' + chunk % 10);
    }
    while (count > 1 && reversed[count - 1] == '0') --count;
    if (count == 0) reversed[count++] = '0';
    while (count < minimum) reversed[count++] = '0';
    for (int i = count - 1; i >= 0; --i) out.text[out.length++] = reversed[i];
    out.text[out.length] = '\0';
}

}  // namespace

NumberText FormatFixed(double value, int decimals) {
    NumberText out{};
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits >> 63) Append(out, "-");
    const int exponentBits = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (exponentBits == 0x7FF) {
        Append(out, fraction ? "nan" : "inf");
        return out;
    }
    // |value| = mantissa * 2^exponent exactly; times 10^decimals it is
    // mantissa * 5^decimals * 2^(exponent + decimals).
    const uint64_t mantissa = exponentBits ? (fraction | (uint64_t{1} << 52)) : fraction;
    const int exponent = (exponentBits ? exponentBits : 1) - 1075;
    BigNumber n{};
    n.limb[0] = static_cast<uint32_t>(mantissa);
    n.limb[1] = static_cast<uint32_t>(mantissa >> 32);
    n.used = n.limb[1] ? 2 : (n.limb[0] ? 1 : 0);
    for (int i = 0; i < decimals; ++i) MultiplySmall(n, 5);
    const int shift = exponent + decimals;
    if (shift >= 0) {
        ShiftLeft(n, shift);
    } else {
        ShiftRightRounded(n, -shift);
    }
    AppendDigits(out, n, decimals + 1);
    if (decimals > 0) {
        // Open a gap for the point before the last `decimals` digits.
        char* point = out.text + out.length - decimals;
        std::memmove(point + 1, point, static_cast<size_t>(decimals) + 1);
        *point = '.';
        ++out.length;
    }
    return out;
}

NumberText FormatInteger(int64_t value) {
    NumberText out{};
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        Append(out, "-");
        magnitude = ~magnitude + 1;
    }
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    for (int i = count - 1; i >= 0; --i) out.text[out.length++] = reversed[i];
    out.text[out.length] = '\0';
    return out;
}

NumberText FormatHex2(uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    NumberText out{};
    char reversed[8];
    int count = 0;
    do {
        reversed[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value || count < 2);
    for (int i = count - 1; i >= 0; --i) out.text[out.length++] = reversed[i];
    out.text[out.length] = '\0';
    return out;
}

}  // namespace tnt
