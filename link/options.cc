// The link options word: two intents, precision, grid quality and a field
// kept for the caller, packed into the low twelve bits.
#include "tintwell.h"

namespace {

constexpr uint32_t kNotSet = 65535;

struct OptionField {
    uint32_t shift;
    uint32_t mask;
    bool offsetByOne;  // intents are stored as value + 1, 0 meaning "not set"
};

constexpr OptionField kFields[5] = {
    {0, 7, true},    // first intent
    {7, 7, true},    // second intent
    {3, 1, false},   // precision: 0 8-bit, 1 16-bit
    {4, 7, false},   // grid quality, 0 meaning the default
    {10, 3, false},  // the caller's own two bits
};

}  // namespace

extern "C" TNT_API uint32_t TNT_CALL GetOptions(uint32_t which, uint32_t options) {
    if (which > 4) return kNotSet;
    const OptionField& f = kFields[which];
    uint32_t stored = (options >> f.shift) & f.mask;
    if (!f.offsetByOne) return stored;
    return stored ? stored - 1 : kNotSet;
}

extern "C" TNT_API uint32_t TNT_CALL SetOptions(uint32_t options, uint32_t which, uint32_t value) {
    if (which > 4) return options;
    const OptionField& f = kFields[which];
    // 7 and 65535 wrap to 0 as intents and so clear the option.
    uint32_t stored = (f.offsetByOne ? value + 1 : value) & f.mask;
    return (options & ~(f.mask << f.shift)) | (stored << f.shift);
}
