// The text of description, copyright and name tags, for showing: 'desc'
// (its ASCII part), 'text', and 'mluc' (multiLocalizedUnicodeType of ICC
// v4), whose record for American English is chosen, else its first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct TagReader;

// Text of a 'mluc' record: its language and country codes (two ASCII
// letters each, as stored) and where its UTF-16 text lies in the tag.
struct TextRecord {
    char language[3];
    char country[3];
    uint32_t offset;
    uint32_t length;  // bytes
};

// The records of a 'mluc' tag, at most `capacity` of them into `records`;
// *count gets how many the tag has. 5005 another type or a record size
// below 12; 5015 the records or their text reach past the tag.
TntStatus ReadTextRecords(const TagReader& reader, TextRecord* records, uint32_t capacity, uint32_t* count);

// One record's text as ReadTagText gives it (the record as
// ReadTextRecords found it in this tag).
void ReadTextRecord(const TagReader& reader, const TextRecord& record, char* text, size_t capacity, size_t* length);

// The text as UTF-8 (UTF-16 of a 'mluc' converted, an unpaired surrogate
// as U+FFFD), cut at its first NUL: at most capacity - 1 bytes and a NUL
// into `text` (capacity at least 1), *length (may be null) the length of
// the whole text. 'desc' and 'text' are in host order as the container
// loads them; a 'desc' count beyond the tag is cut at the tag's end. 5005
// another type; 5015 a 'mluc' that reaches past the tag.
TntStatus ReadTagText(const TagReader& reader, char* text, size_t capacity, size_t* length);

}  // namespace tnt
