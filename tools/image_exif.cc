// The little of EXIF the tool reads and writes itself: the orientation in
// the first directory. The rest of a block travels untouched.
#include <cstring>

#include "image_formats.h"

namespace tool {

uint16_t ExifOrientation(const Bytes& exif) {
    if (exif.size() < 8) return 0;
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M')) return 0;
    auto u16 = [&](size_t at) -> uint32_t {
        return little ? exif[at] | (exif[at + 1] << 8) : (exif[at] << 8) | exif[at + 1];
    };
    auto u32 = [&](size_t at) { return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2); };
    size_t ifd = u32(4);
    if (ifd > exif.size() - 2) return 0;
    const size_t count = u16(ifd);
    for (size_t i = 0; i < count; ++i) {
        size_t entry = ifd + 2 + i * 12;
        if (entry + 12 > exif.size()) return 0;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) return uint16_t(u16(entry + 8));
    }
    return 0;
}

Bytes ExifWithOrientation(uint16_t orientation) {
    // Big-endian TIFF header, one directory of one SHORT entry, no next.
    const uint8_t block[] = {'M', 'M', 0, 42, 0, 0, 0, 8,                               // header
                             0, 1,                                                       // one entry
                             0x01, 0x12, 0, 3, 0, 0, 0, 1, uint8_t(orientation >> 8),    // orientation
                             uint8_t(orientation), 0, 0,                                 //
                             0, 0, 0, 0};                                                // no next directory
    return Bytes(block, block + sizeof block);
}

}  // namespace tool
