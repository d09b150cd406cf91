#include "platform/file.h"

#include <cstdio>

#if defined(_WIN32)
#include <share.h>
#endif

namespace tnt {

void* FileOpen(const char* path, const char* mode) {
#if defined(_WIN32)
    return _fsopen(path, mode, _SH_DENYNO);
#else
    return std::fopen(path, mode);
#endif
}

void FileClose(void* file) {
    if (file) std::fclose(static_cast<FILE*>(file));
}

size_t FileRead(void* file, void* buffer, size_t count) {
    return std::fread(buffer, 1, count, static_cast<FILE*>(file));
}

size_t FileWrite(void* file, const void* buffer, size_t count) {
    return std::fwrite(buffer, 1, count, static_cast<FILE*>(file));
}

bool FileSeek(void* file, int64_t offset, bool absolute) {
    int whence = absolute ? SEEK_SET : SEEK_CUR;
#if defined(_WIN32)
    return _fseeki64(static_cast<FILE*>(file), offset, whence) == 0;
#else
    return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), whence) == 0;
#endif
}

bool FileSeekEnd(void* file) {
#if defined(_WIN32)
    return _fseeki64(static_cast<FILE*>(file), 0, SEEK_END) == 0;
#else
    return fseeko(static_cast<FILE*>(file), 0, SEEK_END) == 0;
#endif
}

int64_t FileTell(void* file) {
#if defined(_WIN32)
    return _ftelli64(static_cast<FILE*>(file));
#else
    return static_cast<int64_t>(ftello(static_cast<FILE*>(file)));
#endif
}

}  // namespace tnt
