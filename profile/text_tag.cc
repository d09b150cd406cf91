#include "profile/text_tag.h"

#include <cstring>

#include "profile/signatures.h"
#include "profile/tag_reader.h"

namespace tnt {

namespace {

constexpr uint32_t kDescription = 0x64657363u;  // 'desc'
constexpr uint32_t kText = 0x74657874u;         // 'text'
constexpr uint32_t kMlucHeader = 16;
constexpr uint32_t kMlucRecord = 12;  // the smallest record size

// Appends UTF-8 to a bounded buffer, counting what would not fit too.
struct Utf8Writer {
    char* text;
    size_t capacity;
    size_t length = 0;

    void Byte(uint8_t b) {
        if (length + 1 < capacity) text[length] = char(b);
        ++length;
    }
    void CodePoint(uint32_t c) {
        if (c < 0x80) {
            Byte(uint8_t(c));
        } else if (c < 0x800) {
            Byte(uint8_t(0xC0 | (c >> 6)));
            Byte(uint8_t(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            Byte(uint8_t(0xE0 | (c >> 12)));
            Byte(uint8_t(0x80 | ((c >> 6) & 0x3F)));
            Byte(uint8_t(0x80 | (c & 0x3F)));
        } else {
            Byte(uint8_t(0xF0 | (c >> 18)));
            Byte(uint8_t(0x80 | ((c >> 12) & 0x3F)));
            Byte(uint8_t(0x80 | ((c >> 6) & 0x3F)));
            Byte(uint8_t(0x80 | (c & 0x3F)));
        }
    }
    void Finish() { text[length < capacity ? length : capacity - 1] = '\0'; }
};

// Bytes up to the first NUL, as they are.
void CopyBytes(const uint8_t* from, uint64_t count, Utf8Writer& out) {
    for (uint64_t i = 0; i < count && from[i]; ++i) out.Byte(from[i]);
}

// Big-endian UTF-16 up to the first NUL.
void CopyUtf16(const uint8_t* from, uint64_t units, Utf8Writer& out) {
    for (uint64_t i = 0; i < units; ++i) {
        uint32_t c = FileU16(from + 2 * i);
        if (c == 0) return;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const uint32_t low = FileU16(from + 2 * i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                out.CodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        out.CodePoint(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
}

}  // namespace

TntStatus ReadTextRecords(const TagReader& reader, TextRecord* records, uint32_t capacity, uint32_t* count) {
    *count = 0;
    uint32_t type = 0, number = 0, size = 0;
    if (TntStatus st = TagU32(reader, 0, &type)) return st;
    if (type != kMultiLocalized) return TNT_ERR_TAG_NOT_FOUND;
    if (TntStatus st = TagFileU32(reader, 8, &number)) return st;
    if (TntStatus st = TagFileU32(reader, 12, &size)) return st;
    if (size < kMlucRecord) return TNT_ERR_TAG_NOT_FOUND;
    const uint8_t* table = nullptr;
    if (TntStatus st = TagBytes(reader, kMlucHeader, uint64_t{number} * size, &table)) return st;
    for (uint32_t i = 0; i < number; ++i) {
        const uint8_t* r = table + uint64_t{i} * size;
        const uint32_t length = FileU32(r + 4), offset = FileU32(r + 8);
        if (!TagHolds(reader, offset, length)) return TNT_ERR_TAG_RANGE;
        if (i < capacity) {
            TextRecord& out = records[i];
            out = TextRecord{{char(r[0]), char(r[1]), 0}, {char(r[2]), char(r[3]), 0}, offset, length};
        }
    }
    *count = number;
    return TNT_OK;
}

void ReadTextRecord(const TagReader& reader, const TextRecord& record, char* text, size_t capacity, size_t* length) {
    Utf8Writer out{text, capacity};
    if (TagHolds(reader, record.offset, record.length)) CopyUtf16(reader.data + record.offset, record.length / 2, out);
    out.Finish();
    if (length) *length = out.length;
}

TntStatus ReadTagText(const TagReader& reader, char* text, size_t capacity, size_t* length) {
    Utf8Writer out{text, capacity};
    uint32_t type = 0;
    TntStatus st = TagU32(reader, 0, &type);
    if (!st && type == kDescription) {
        uint32_t count = 0;
        st = TagU32(reader, 8, &count);
        if (!st && reader.size > 12) {
            const uint64_t available = reader.size - 12;
            CopyBytes(reader.data + 12, count < available ? count : available, out);
        }
    } else if (!st && type == kText) {
        if (reader.size > 8) CopyBytes(reader.data + 8, reader.size - 8, out);
    } else if (!st && type == kMultiLocalized) {
        // American English if the tag has it, else its first record.
        constexpr uint32_t kShown = 64;
        TextRecord records[kShown];
        uint32_t count = 0;
        st = ReadTextRecords(reader, records, kShown, &count);
        const TextRecord* chosen = count ? &records[0] : nullptr;
        for (uint32_t i = 0; !st && i < count && i < kShown; ++i)
            if (!std::strcmp(records[i].language, "en") && !std::strcmp(records[i].country, "US")) chosen = &records[i];
        if (!st && chosen) {
            ReadTextRecord(reader, *chosen, text, capacity, length);
            return TNT_OK;
        }
    } else if (!st) {
        st = TNT_ERR_TAG_NOT_FOUND;
    }
    if (st) out.length = 0;
    out.Finish();
    if (length) *length = out.length;
    return st;
}

}  // namespace tnt
