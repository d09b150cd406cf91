// Buffered file access for profiles stored as files. Files are opened
// shared, so other programs may read or write them at the same time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tnt {

// Opens `path` with a C mode string ("rb", "wb", "a+b"); null on failure.
void* FileOpen(const char* path, const char* mode);
void FileClose(void* file);
// Transfer `count` one-byte items; the number transferred is returned.
size_t FileRead(void* file, void* buffer, size_t count);
size_t FileWrite(void* file, const void* buffer, size_t count);
// Seek relative to the start (absolute) or to the current position.
bool FileSeek(void* file, int64_t offset, bool absolute);
bool FileSeekEnd(void* file);
// Current position, or -1.
int64_t FileTell(void* file);

}  // namespace tnt
