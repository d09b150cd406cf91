#include "profile/container.h"

#include <cstring>
#include <ctime>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/stream.h"

namespace tnt {

namespace {

constexpr uint32_t kAcsp = 0x61637370u;  // 'acsp'
constexpr uint32_t kCreator = 0x54494E54u;  // 'TINT'
constexpr uint32_t kHeaderSize = 128;
constexpr uint8_t kFirstUnsupportedVersion = 5;  // the header's major version byte

uint32_t PaddedSize(uint32_t size) { return size % 4 ? size + (4 - size % 4) : size; }

void FillNewHeader(ProfileHeader& h) {
    std::memset(&h, 0, sizeof h);
    h.cmmType = kUnsetSignature;
    h.version = 0x02100000u;
    h.deviceClass = kUnsetSignature;
    h.colorSpace = kUnsetSignature;
    h.pcs = kUnsetSignature;
    std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    h.date[0] = static_cast<uint16_t>(local.tm_year + 1900);
    h.date[1] = static_cast<uint16_t>(local.tm_mon + 1);
    h.date[2] = static_cast<uint16_t>(local.tm_mday);
    h.date[3] = static_cast<uint16_t>(local.tm_hour);
    h.date[4] = static_cast<uint16_t>(local.tm_min);
    h.date[5] = static_cast<uint16_t>(local.tm_sec);
    h.signature = kAcsp;
    h.platform = kUnsetSignature;
    h.illuminant[0] = 0x0000F6D6;
    h.illuminant[1] = 0x00010000;
    h.illuminant[2] = 0x0000D32D;
    h.creator = kCreator;
}

// Reads the header and tag table of an opened stream into `p`.
TntStatus ReadHeaderAndDirectory(Profile* p, ProfileStream* stream) {
    uint32_t storedSize = 0;
    TntStatus st = StreamSize(stream, &storedSize);
    if (st) return st;
    if (storedSize <= kHeaderSize) return TNT_ERR_PROFILE_TOO_SHORT;

    uint8_t raw[kHeaderSize];
    st = ReadStream(stream, kHeaderSize, nullptr, raw);
    if (st) return st;
    uint32_t field;
    std::memcpy(&field, raw, 4);
    if (ConvertU32(field) > storedSize) return TNT_ERR_PROFILE_SIZE;
    std::memcpy(&field, raw + 36, 4);
    if (ConvertU32(field) != kAcsp) return TNT_ERR_NOT_ICC;
    // Version 5 profiles (iccMAX) are another format altogether; read as
    // version 2 or 4 they would mean something else.
    if (raw[8] >= kFirstUnsupportedVersion) return TNT_ERR_PROFILE_VERSION;
    std::memcpy(&p->header, raw, kHeaderSize);
    ConvertHeader(&p->header);

    st = SeekStream(stream, kHeaderSize, true);
    if (st) return st;
    uint32_t count = 0;
    st = ReadStream(stream, 4, nullptr, &count);
    if (st) return st;
    count = ConvertU32If(count, SwapIccData);
    // The directory has room for 100 entries; a longer table is refused.
    if (count > kMaxTags) return TNT_ERR_NO_MEMORY;
    p->tagCount = count;
    p->profileSize = p->header.size;
    p->flags &= ~kModified;

    uint32_t tableBytes = 12 * count + 4;
    auto* table = static_cast<uint8_t*>(AllocBlock(tableBytes));
    if (!table) return TNT_ERR_NO_MEMORY;
    st = SeekStream(stream, kHeaderSize, true);
    if (!st) st = ReadStream(stream, tableBytes, nullptr, table);
    if (!st) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v[3];
            std::memcpy(v, table + 4 + 12 * i, 12);
            p->directory[i] = TagEntry{ConvertU32If(v[0], SwapIccData), ConvertU32If(v[1], SwapIccData),
                                       ConvertU32If(v[2], SwapIccData)};
        }
    }
    FreeBlock(table);
    return st;
}

// Gives every entry its offset in the written file. Entries holding the
// same block share one place; each distinct block starts on a multiple of 4.
TntStatus LayOut(Profile* p) {
    uint64_t running = 132ull + 12ull * p->tagCount;
    for (uint32_t i = 0; i < p->tagCount; ++i) {
        uint32_t j = FindSharingBlock(p, i);
        if (j < i) {
            p->directory[i].offset = p->directory[j].offset;
            p->directory[i].size = p->directory[j].size;
            continue;
        }
        if (running > 0xFFFFFFFFull) return TNT_ERR_CANNOT_SAVE;
        p->directory[i].offset = static_cast<uint32_t>(running);
        running += PaddedSize(p->directory[i].size);
    }
    if (running > 0xFFFFFFFFull) return TNT_ERR_CANNOT_SAVE;
    p->profileSize = static_cast<uint32_t>(running);
    p->header.size = p->profileSize;
    return TNT_OK;
}

void ConvertDirectory(Profile* p) {
    for (uint32_t i = 0; i < p->tagCount; ++i) {
        TagEntry& e = p->directory[i];
        e.signature = ConvertU32If(e.signature, SwapIccData);
        e.offset = ConvertU32If(e.offset, SwapIccData);
        e.size = ConvertU32If(e.size, SwapIccData);
    }
}

TntStatus WriteProfile(Profile* p, ProfileStream* stream) {
    ConvertHeader(&p->header);
    TntStatus st = WriteStream(stream, kHeaderSize, nullptr, &p->header);
    ConvertHeader(&p->header);
    if (st) return st;

    uint32_t count = ConvertU32If(p->tagCount, SwapIccData);
    st = WriteStream(stream, 4, nullptr, &count);
    ConvertDirectory(p);
    if (!st) st = WriteStream(stream, 12 * p->tagCount, nullptr, p->directory);
    ConvertDirectory(p);
    if (st) return st;

    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < p->tagCount && !st; ++i) {
        if (FindSharingBlock(p, i) < i) continue;  // written with the earlier entry
        uint32_t size = p->directory[i].size;
        ConvertTagData(p, i, p->data[i], ToFile);
        st = WriteStream(stream, size, nullptr, p->data[i]);
        if (!st && size % 4) st = WriteStream(stream, 4 - size % 4, nullptr, kZeros);
        ConvertTagData(p, i, p->data[i], ToHost);
    }
    return st;
}

}  // namespace

uint32_t FindTagIndex(const Profile* profile, uint32_t signature) {
    if (!profile) return kNoTag;
    for (uint32_t i = 0; i < profile->tagCount && i < kMaxTags; ++i)
        if (profile->directory[i].signature == signature) return i;
    return kNoTag;
}

TagEntry* TagEntryAt(Profile* profile, uint32_t index) {
    if (!profile || index >= kMaxTags) return nullptr;
    return &profile->directory[index];
}

uint32_t FindSharedEntry(const Profile* profile, uint32_t index) {
    if (!profile) return kNoTag;
    if (index >= profile->tagCount) return profile->tagCount;
    uint32_t offset = profile->directory[index].offset;
    if (offset == 0) return profile->tagCount;
    for (uint32_t j = 0; j < profile->tagCount; ++j)
        if (j != index && profile->directory[j].offset == offset) return j;
    return profile->tagCount;
}

uint32_t FindSharingBlock(const Profile* profile, uint32_t index) {
    if (!profile) return kNoTag;
    if (index >= profile->tagCount || !profile->data[index]) return profile->tagCount;
    for (uint32_t j = 0; j < profile->tagCount; ++j)
        if (j != index && profile->data[j] == profile->data[index]) return j;
    return profile->tagCount;
}

void ReleaseTagBlock(Profile* profile, uint32_t index) {
    if (!profile || index >= kMaxTags || !profile->data[index]) return;
    bool shared = false;
    for (uint32_t j = 0; j < kMaxTags; ++j)
        if (j != index && profile->data[j] == profile->data[index]) shared = true;
    if (!shared) FreeBlock(profile->data[index]);
    profile->data[index] = nullptr;
}

TntStatus LoadTagData(Profile* profile, uint32_t index) {
    if (!profile) return TNT_ERR_NULL_PARAMETER;
    if (index >= profile->tagCount) return TNT_ERR_TAG_NOT_FOUND;
    if (profile->data[index]) return TNT_OK;
    const TagEntry entry = profile->directory[index];

    ProfileStream* stream = nullptr;
    TntStatus st = OpenStream(&profile->location, TNT_MODE_READ, &stream);
    if (st) return st;
    uint32_t storedSize = 0;
    st = StreamSize(stream, &storedSize);
    // A tag that reaches past the stored data would be a short read; find
    // that out before allocating what a lying size asks for.
    if (!st && static_cast<uint64_t>(entry.offset) + entry.size > storedSize) st = TNT_ERR_SHORT_READ;
    uint8_t* block = nullptr;
    if (!st) {
        block = static_cast<uint8_t*>(AllocBlock(entry.size));
        if (!block) st = TNT_ERR_NO_MEMORY;
    }
    if (!st) st = SeekStream(stream, entry.offset, true);
    if (!st) st = ReadStream(stream, entry.size, nullptr, block);
    CloseStream(stream);
    if (st) {
        FreeBlock(block);
        return st;
    }
    ConvertTagData(profile, index, block, ToHost);
    // Tags listed at one place in the file share one block in memory. Only
    // entries of equal size can share: a block must cover every entry's size.
    for (uint32_t j = 0; j < profile->tagCount; ++j) {
        const TagEntry& other = profile->directory[j];
        if (j == index || (!profile->data[j] && other.offset == entry.offset && other.size == entry.size))
            profile->data[j] = block;
    }
    return TNT_OK;
}

TntStatus LoadAllTags(Profile* profile) {
    if (!profile) return TNT_ERR_NULL_PARAMETER;
    for (uint32_t i = 0; i < profile->tagCount; ++i) {
        TntStatus st = LoadTagData(profile, i);
        if (st) return st;
    }
    return TNT_OK;
}

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntNewProfile(Profile** out, const ProfileLocation* location) {
    if (!out) return TNT_ERR_NULL_ARGUMENT;
    auto* p = static_cast<Profile*>(AllocBlock(sizeof(Profile)));
    if (!p) return TNT_ERR_NO_MEMORY;
    std::memset(p, 0, sizeof *p);
    FillNewHeader(p->header);
    p->profileSize = 128;
    p->flags = kModified;
    for (TagEntry& e : p->directory) e = TagEntry{kUnsetSignature, 0, 0};
    if (location) {
        std::memcpy(&p->location, location, sizeof p->location);
        p->flags |= kBoundToLocation;
    }
    *out = p;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntOpenProfile(Profile** out, const ProfileLocation* location) {
    if (!out || !location) return TNT_ERR_NULL_PARAMETER;
    Profile* p = nullptr;
    if (TntNewProfile(&p, location)) return TNT_ERR_CANNOT_OPEN_PROFILE;
    // The stream is opened on the profile's own copy, so the caller's record
    // is left exactly as it was.
    ProfileStream* stream = nullptr;
    if (OpenStream(&p->location, TNT_MODE_READ, &stream)) {
        TntCloseProfile(p);
        return TNT_ERR_CANNOT_OPEN_PROFILE;
    }
    TntStatus st = ReadHeaderAndDirectory(p, stream);
    CloseStream(stream);
    if (st) {
        TntCloseProfile(p);
        return st;
    }
    *out = p;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntCloseProfile(Profile* profile) {
    if (!profile) return TNT_OK;
    for (uint32_t i = 0; i < kMaxTags; ++i) {
        uint8_t* block = profile->data[i];
        if (!block) continue;
        for (uint32_t j = i; j < kMaxTags; ++j)
            if (profile->data[j] == block) profile->data[j] = nullptr;
        FreeBlock(block);
    }
    FreeBlock(profile);
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntSaveProfile(Profile* profile, ProfileLocation* location) {
    if (!profile || !location) return TNT_ERR_NULL_ARGUMENT;
    // Everything is in memory before the target is opened, so a profile can
    // be saved over the very file or block it was read from.
    if (LoadAllTags(profile)) return TNT_ERR_CANNOT_SAVE;
    TntStatus st = LayOut(profile);
    if (st) return st;
    ProfileStream* stream = nullptr;
    if (OpenStream(location, TNT_MODE_WRITE, &stream)) return TNT_ERR_CANNOT_SAVE;
    st = WriteProfile(profile, stream);
    CloseStream(stream);
    return st;
}

extern "C" TNT_API TntStatus TNT_CALL TntUpdateProfile(Profile* profile) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    if (!(profile->flags & kModified) || !(profile->flags & kBoundToLocation)) return TNT_OK;
    TntStatus st = TntSaveProfile(profile, &profile->location);
    if (!st) profile->flags &= ~kModified;
    return st;
}
