#include "profile/stream.h"

#include <cstddef>
#include <cstring>

#include "platform/file.h"
#include "platform/memory.h"

namespace tnt {

namespace {

const char kMemFileName[8] = {'M', 'e', 'm', 'F', 'i', 'l', 'e', '\0'};

const char* FileModeString(uint32_t mode) {
    switch (mode) {
        case TNT_MODE_READ: return "rb";
        case TNT_MODE_WRITE: return "wb";
        case TNT_MODE_READ_WRITE: return "wb";
        case TNT_MODE_APPEND: return "a+b";
        default: return nullptr;
    }
}

// The block's address for one access: the pointer field, or the locked
// handle when one is given (unlocked again by ReleaseBlock).
uint8_t* AcquireBlock(const MemoryLocation& record) {
    if (record.handle) return static_cast<uint8_t*>(LockHandle(record.handle));
    return static_cast<uint8_t*>(record.pointer);
}

void ReleaseBlock(const MemoryLocation& record) {
    if (record.handle) UnlockHandleFully(record.handle);
}

}  // namespace

bool IsMemoryLocation(const ProfileLocation* location) {
    uint32_t magic;
    std::memcpy(&magic, location->bytes, sizeof magic);
    return magic == TNT_MEMFILE_MAGIC;
}

TntStatus OpenStream(ProfileLocation* location, uint32_t mode, ProfileStream** out) {
    if (!out) return TNT_ERR_NULL_PARAMETER;
    *out = nullptr;
    if (!location) return TNT_ERR_CANNOT_OPEN_STREAM;
    auto* stream = static_cast<ProfileStream*>(AllocBlock(sizeof(ProfileStream)));
    if (!stream) return TNT_ERR_NO_MEMORY;

    if (IsMemoryLocation(location)) {
        location->memory.mode = mode;
        std::memcpy(stream, location, sizeof *stream);
        // A memory stream never carries a file, whatever the caller left there.
        stream->record.file = nullptr;
        *out = stream;
        return TNT_OK;
    }

    std::memset(stream, 0, sizeof *stream);
    stream->record.magic = TNT_MEMFILE_MAGIC;
    stream->record.mode = TNT_MODE_READ_WRITE;
    std::memcpy(stream->record.name, kMemFileName, sizeof kMemFileName);

    const char* modeString = FileModeString(mode);
    // The path must be non-empty and terminated inside the record.
    bool pathOk = location->path[0] != '\0' && std::memchr(location->path, 0, sizeof location->path);
    void* file = (modeString && pathOk) ? FileOpen(location->path, modeString) : nullptr;
    if (!file) {
        FreeBlock(stream);
        return TNT_ERR_CANNOT_OPEN_STREAM;
    }
    stream->record.file = file;
    *out = stream;
    return TNT_OK;
}

void CloseStream(ProfileStream* stream) {
    if (!stream) return;
    if (stream->record.file) FileClose(stream->record.file);
    FreeBlock(stream);
}

TntStatus ReadStream(ProfileStream* stream, uint32_t count, uint32_t* actual, void* buffer) {
    if (actual) *actual = 0;
    if (!stream || (!buffer && count)) return TNT_ERR_NULL_PARAMETER;
    MemoryLocation& r = stream->record;
    if (r.file) {
        size_t got = FileRead(r.file, buffer, count);
        if (actual) *actual = static_cast<uint32_t>(got);
        return got < count ? TNT_ERR_SHORT_READ : TNT_OK;
    }
    if (r.mode == TNT_MODE_WRITE) return TNT_ERR_STREAM_MODE;
    // A position past the end (seeks are not bounded) has nothing to give.
    uint32_t available = r.position < r.size ? r.size - r.position : 0;
    uint32_t n = count < available ? count : available;
    if (n) {
        uint8_t* block = AcquireBlock(r);
        if (!block) return TNT_ERR_SHORT_READ;
        CopyBytes(block + r.position, buffer, n);
        ReleaseBlock(r);
        r.position += n;
    }
    if (actual) *actual = n;
    return n < count ? TNT_ERR_SHORT_READ : TNT_OK;
}

TntStatus WriteStream(ProfileStream* stream, uint32_t count, uint32_t* actual, const void* buffer) {
    if (actual) *actual = 0;
    if (!stream || (!buffer && count)) return TNT_ERR_NULL_PARAMETER;
    MemoryLocation& r = stream->record;
    if (r.file) {
        size_t put = FileWrite(r.file, buffer, count);
        if (actual) *actual = static_cast<uint32_t>(put);
        return put < count ? TNT_ERR_SHORT_WRITE : TNT_OK;
    }
    if (r.mode == TNT_MODE_READ) return TNT_ERR_STREAM_MODE;
    if (static_cast<uint64_t>(r.position) + count > r.size) return TNT_ERR_SHORT_WRITE;
    if (count) {
        uint8_t* block = AcquireBlock(r);
        if (!block) return TNT_ERR_SHORT_WRITE;
        CopyBytes(buffer, block + r.position, count);
        ReleaseBlock(r);
        r.position += count;
    }
    if (actual) *actual = count;
    return TNT_OK;
}

TntStatus SeekStream(ProfileStream* stream, int64_t offset, bool absolute) {
    if (!stream) return TNT_ERR_NULL_PARAMETER;
    MemoryLocation& r = stream->record;
    if (r.file) return FileSeek(r.file, offset, absolute) ? TNT_OK : TNT_ERR_SEEK;
    // Memory positions are 32-bit and unbounded; reads and writes check them.
    r.position = static_cast<uint32_t>(absolute ? offset : r.position + offset);
    return TNT_OK;
}

TntStatus StreamSize(ProfileStream* stream, uint32_t* size) {
    if (!stream) return TNT_ERR_NULL_PARAMETER;
    MemoryLocation& r = stream->record;
    uint32_t length = r.size;
    if (r.file) {
        int64_t here = FileTell(r.file);
        if (here < 0 || !FileSeekEnd(r.file)) return TNT_ERR_SIZE_QUERY;
        int64_t end = FileTell(r.file);
        if (end < 0 || !FileSeek(r.file, here, true)) return TNT_ERR_SIZE_QUERY;
        // Profiles are addressed with 32-bit offsets; a larger file is read
        // as its first 4 GiB.
        length = end > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(end);
    }
    if (size) *size = length;
    return TNT_OK;
}

}  // namespace tnt

extern "C" TNT_API TntStatus TNT_CALL TntMakeMemFile(ProfileLocation* location, void* pointer, uint32_t size) {
    if (!location) return TNT_OK;
    MemoryLocation& m = location->memory;
    m.magic = TNT_MEMFILE_MAGIC;
    m.mode = TNT_MODE_READ_WRITE;
    m.size = size;
    m.position = 0;
    std::memcpy(m.name, "MemFile", 8);
    m.file = nullptr;
    m.pointer = pointer;
    m.handle = nullptr;
    return TNT_OK;
}

// The memory location is shared with 32-bit hosts byte for byte; on 64-bit
// hosts the pointer fields widen and everything else stays put.
static_assert(sizeof(ProfileLocation) == 1024, "a location is 1024 bytes");
static_assert(sizeof(MemoryLocation) == 1024, "the memory form fills the record");
static_assert(offsetof(MemoryLocation, magic) == 0 && offsetof(MemoryLocation, mode) == 4 &&
                  offsetof(MemoryLocation, size) == 8 && offsetof(MemoryLocation, position) == 12 &&
                  offsetof(MemoryLocation, name) == 16 && offsetof(MemoryLocation, reserved1) == 24 &&
                  offsetof(MemoryLocation, file) == 32,
              "fixed fields of the memory location");
static_assert(sizeof(void*) == 4 ? (offsetof(MemoryLocation, pointer) == 36 &&
                                    offsetof(MemoryLocation, handle) == 40 &&
                                    offsetof(MemoryLocation, reserved2) == 44)
                                 : (offsetof(MemoryLocation, pointer) == 40 &&
                                    offsetof(MemoryLocation, handle) == 48 &&
                                    offsetof(MemoryLocation, reserved2) == 56),
              "pointer fields of the memory location");
