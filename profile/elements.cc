#include "profile/elements.h"

#include <cstring>

#include "platform/memory.h"

namespace tnt {

namespace {

// What a host recorded with TntSetUserFunc; nothing in the library reads it.
uint32_t gUserValues[3] = {0, 0, 0};

// A partial access must start inside the tag and end at or before its end.
// The sum is taken in 64 bits so that a huge count cannot wrap round.
bool InsideTag(uint32_t tagSize, uint32_t offset, uint32_t count) {
    return offset < tagSize && static_cast<uint64_t>(offset) + count <= tagSize;
}

// Whether entries i and j hold one block. Loaded entries share by block
// identity, as the writer and the closer see it. Entries not loaded yet
// share when the loader would give them one block: same offset and same
// size. A loaded and an unloaded entry never share; the unloaded one reads
// its own bytes from the location.
bool SharesBlock(const Profile* p, uint32_t i, uint32_t j) {
    if (p->data[i] || p->data[j]) return p->data[i] == p->data[j];
    return p->directory[i].offset == p->directory[j].offset && p->directory[i].size == p->directory[j].size;
}

// The block of entry `index`, read from the location on first use; null
// when it cannot be loaded.
uint8_t* LoadedBlock(Profile* p, uint32_t index) {
    if (LoadTagData(p, index)) return nullptr;
    return p->data[index];
}

void AppendEntry(Profile* p, uint32_t signature, uint32_t offset, uint32_t size, uint8_t* block) {
    p->directory[p->tagCount] = TagEntry{signature, offset, size};
    p->data[p->tagCount] = block;
    ++p->tagCount;
}

// Drops entry `index`, freeing its block unless another entry holds it, and
// closes the gap so the others keep their order.
void RemoveEntry(Profile* p, uint32_t index) {
    ReleaseTagBlock(p, index);
    uint32_t last = p->tagCount - 1;
    for (uint32_t j = index; j < last; ++j) {
        p->directory[j] = p->directory[j + 1];
        p->data[j] = p->data[j + 1];
    }
    p->directory[last] = TagEntry{kUnsetSignature, 0, 0};
    p->data[last] = nullptr;
    --p->tagCount;
    p->flags |= kModified;
}

}  // namespace

uint32_t GetProfileClass(Profile* profile) { return profile ? profile->header.deviceClass : 0; }

uint32_t GetProfileColorSpace(Profile* profile) {
    return profile ? NormalizeSpaceSignature(profile->header.colorSpace) : 0;
}

uint32_t GetProfilePCS(Profile* profile) { return profile ? NormalizeSpaceSignature(profile->header.pcs) : 0; }

uint16_t GetProfileIntent(Profile* profile) {
    return profile ? static_cast<uint16_t>(profile->header.renderingIntent & 0xFFFFu) : 0;
}

void SetProfileColorSpace(Profile* profile, uint32_t space) {
    if (profile) profile->header.colorSpace = space;
}

uint32_t NormalizeSpaceSignature(uint32_t signature) {
    if ((signature & 0xFFFFFF00u) != TNT_SIG('M', 'C', 'H', 0)) return signature;
    uint32_t last = signature & 0xFFu;
    // The older multichannel names count from 0x01 up to '9', then 'A'..'F'.
    bool digit = last >= 0x01 && last <= 0x39;
    bool letter = last >= 'A' && last <= 'F';
    if (!digit && !letter) return signature;
    return (last << 24) | TNT_SIG(0, 'C', 'L', 'R');
}

TntStatus ReadTagType(Profile* profile, uint32_t signature, uint32_t* type) {
    uint32_t count = 4;
    return TntGetPartialProfileElement(profile, signature, 0, &count, type);
}

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntProfileElementExists(Profile* profile, TntSignature tag, uint32_t* exists) {
    if (!profile || !exists) return TNT_ERR_NULL_ARGUMENT;
    *exists = FindTagIndex(profile, tag) != kNoTag ? 1 : 0;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntCountProfileElements(Profile* profile, uint32_t* count) {
    if (!profile || !count) return TNT_ERR_NULL_ARGUMENT;
    *count = profile->tagCount;
    return TNT_OK;
}

extern "C" TNT_API uint32_t TNT_CALL TntGetProfileElementSize(Profile* profile, TntSignature tag) {
    uint32_t index = FindTagIndex(profile, tag);
    return index == kNoTag ? 0 : profile->directory[index].size;
}

extern "C" TNT_API void* TNT_CALL TntProfileGetTagDataPtr(Profile* profile, TntSignature tag) {
    uint32_t index = FindTagIndex(profile, tag);
    return index == kNoTag ? nullptr : LoadedBlock(profile, index);
}

extern "C" TNT_API TntStatus TNT_CALL TntGetProfileHeader(Profile* profile, void* header) {
    if (!profile || !header) return TNT_ERR_NULL_ARGUMENT;
    std::memcpy(header, &profile->header, sizeof profile->header);
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntSetProfileHeader(Profile* profile, const void* header) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    if (!header) return TNT_OK;
    std::memcpy(&profile->header, header, sizeof profile->header);
    profile->flags |= kModified;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntGetPartialProfileElement(Profile* profile, TntSignature tag,
                                                                  uint32_t offset, uint32_t* count, void* buffer) {
    if (!profile || !count) return TNT_ERR_NULL_ARGUMENT;
    uint32_t index = FindTagIndex(profile, tag);
    if (index == kNoTag) return TNT_ERR_TAG_NOT_FOUND;
    if (!buffer) return TNT_OK;
    // Checked against the directory before anything is read, so a request
    // outside the tag costs no load.
    if (!InsideTag(profile->directory[index].size, offset, *count)) return TNT_ERR_TAG_RANGE;
    const uint8_t* block = LoadedBlock(profile, index);
    if (!block) return TNT_ERR_TAG_NOT_FOUND;
    std::memcpy(buffer, block + offset, *count);
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntGetProfileElement(Profile* profile, TntSignature tag, uint32_t* size,
                                                           void* buffer) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    uint32_t index = FindTagIndex(profile, tag);
    if (index == kNoTag) return TNT_ERR_TAG_NOT_FOUND;
    uint32_t tagSize = profile->directory[index].size;
    if (!buffer) {
        if (size) *size = tagSize;
        return TNT_OK;
    }
    uint32_t count = size && *size < tagSize ? *size : tagSize;
    return TntGetPartialProfileElement(profile, tag, 0, &count, buffer);
}

extern "C" TNT_API TntStatus TNT_CALL TntSetPartialProfileElement(Profile* profile, TntSignature tag,
                                                                  uint32_t offset, uint32_t count,
                                                                  const void* buffer) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    uint32_t index = FindTagIndex(profile, tag);
    if (index == kNoTag) return TNT_ERR_TAG_NOT_FOUND;
    if (!buffer) return TNT_OK;
    if (!InsideTag(profile->directory[index].size, offset, count)) return TNT_ERR_TAG_RANGE;
    // Writing into the shared block changes every name of the tag at once.
    uint8_t* block = LoadedBlock(profile, index);
    if (!block) return TNT_ERR_TAG_NOT_FOUND;
    std::memmove(block + offset, buffer, count);
    profile->flags |= kModified;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntSetProfileElementSize(Profile* profile, TntSignature tag, uint32_t size) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    uint32_t index = FindTagIndex(profile, tag);
    if (index == kNoTag && profile->tagCount >= kMaxTags) return TNT_ERR_NO_MEMORY;
    // The new block is had before anything changes: when memory is short the
    // profile keeps its old tag (or gains no entry) and stays loadable and
    // savable, even when it has no location to reload from.
    auto* block = static_cast<uint8_t*>(AllocBlock(size));
    if (!block) return TNT_ERR_NO_MEMORY;
    std::memset(block, 0, size);

    if (index == kNoTag) {
        // A provisional offset past everything else; saving assigns the real one.
        uint32_t offset = profile->profileSize;
        AppendEntry(profile, tag, offset, size, block);
        uint64_t grown = static_cast<uint64_t>(profile->profileSize) + size;
        profile->profileSize = grown > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(grown);
        return TNT_OK;
    }

    // Every other name of this tag moves to the new block with it. The old
    // block need not be read: its bytes are discarded, and the entries that
    // would have shared it once loaded are found without loading it.
    for (uint32_t j = 0; j < profile->tagCount; ++j) {
        if (j == index || !SharesBlock(profile, index, j)) continue;
        profile->data[j] = block;
        profile->directory[j].size = size;
    }
    ReleaseTagBlock(profile, index);
    profile->data[index] = block;
    profile->directory[index].size = size;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntSetProfileElement(Profile* profile, TntSignature tag, uint32_t size,
                                                           const void* buffer) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    if (FindTagIndex(profile, tag) == kNoTag) {
        TntStatus st = TntSetProfileElementSize(profile, tag, size);
        if (st) return st;
    }
    return TntSetPartialProfileElement(profile, tag, 0, size, buffer);
}

extern "C" TNT_API TntStatus TNT_CALL TntRemoveProfileElement(Profile* profile, TntSignature tag) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    uint32_t index = FindTagIndex(profile, tag);
    if (index == kNoTag) return TNT_ERR_TAG_NOT_FOUND;
    while (index != kNoTag) {
        RemoveEntry(profile, index);
        index = FindTagIndex(profile, tag);
    }
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntSetProfileElementReference(Profile* profile, TntSignature existing,
                                                                    TntSignature tag) {
    if (!profile) return TNT_ERR_NULL_ARGUMENT;
    if (FindTagIndex(profile, tag) != kNoTag) TntRemoveProfileElement(profile, tag);
    uint32_t index = FindTagIndex(profile, existing);
    if (index == kNoTag) return TNT_ERR_TAG_NOT_FOUND;
    if (profile->tagCount >= kMaxTags) return TNT_ERR_NO_MEMORY;
    // An unloaded tag is referenced by its place in the file: both entries
    // then get the one block that the first load of either reads.
    const TagEntry entry = profile->directory[index];
    AppendEntry(profile, tag, entry.offset, entry.size, profile->data[index]);
    profile->flags |= kModified;
    return TNT_OK;
}

extern "C" TNT_API void TNT_CALL TntSetUserFunc(uint32_t a, uint32_t b, uint32_t c) {
    gUserValues[0] = a;
    gUserValues[1] = b;
    gUserValues[2] = c;
}
