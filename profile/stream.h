// Streams over profile locations: one small interface whether the profile
// lives in a file or in a caller's memory block.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// A stream is a 1024-byte block with the layout of a memory location. On a
// memory location it is a copy of the caller's record taken at open time (so
// it has its own position); on a file location `file` holds the open file
// and every operation works on the file alone.
struct ProfileStream {
    MemoryLocation record;
};

static_assert(sizeof(ProfileStream) == 1024, "a stream has the layout of a location");

bool IsMemoryLocation(const ProfileLocation* location);

// Opens a stream in mode 1 (read), 2 (write), 3 (read and write; files are
// truncated) or 4 (append). For a memory location, `mode` is also written
// into the caller's record. 21002 when the stream block cannot be had;
// 20204 for an empty or unterminated path, a mode other than 1 to 4 on a
// file, or a file that cannot be opened. `*out` is null on failure.
TntStatus OpenStream(ProfileLocation* location, uint32_t mode, ProfileStream** out);
void CloseStream(ProfileStream* stream);

// Reads up to `count` bytes; 3003 (with the bytes that were there) when
// fewer were available. Bytes moved are stored through `actual` if given.
TntStatus ReadStream(ProfileStream* stream, uint32_t count, uint32_t* actual, void* buffer);
// Writes `count` bytes; on a memory block only when they all fit (else
// nothing is written and 3004 results).
TntStatus WriteStream(ProfileStream* stream, uint32_t count, uint32_t* actual, const void* buffer);
TntStatus SeekStream(ProfileStream* stream, int64_t offset, bool absolute);
TntStatus StreamSize(ProfileStream* stream, uint32_t* size);

}  // namespace tnt
