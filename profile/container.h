// The in-memory profile: a 128-byte header, a directory of at most 100
// tags and the tags' data blocks, all in host byte order.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

constexpr uint32_t kMaxTags = 100;
constexpr uint32_t kNoTag = 0xFFFFFFFFu;
constexpr uint32_t kUnsetSignature = 0x7FFFFFFFu;

// Profile flags.
constexpr uint32_t kBoundToLocation = 1;
constexpr uint32_t kModified = 2;

struct TagEntry {
    uint32_t signature;
    uint32_t offset;  // from the start of the file
    uint32_t size;
};

}  // namespace tnt

// The opaque handle of the public interface. `location` comes first, so a
// profile is itself a location for the stream layer.
struct Profile {
    ProfileLocation location;
    uint32_t tagCount;
    uint32_t profileSize;
    uint32_t flags;
    ProfileHeader header;
    tnt::TagEntry directory[tnt::kMaxTags];
    // A tag's block, or null until loaded. Entries may share one block; a
    // shared block is loaded, written and freed once.
    uint8_t* data[tnt::kMaxTags];
};

namespace tnt {

// First entry with `signature`, or kNoTag.
uint32_t FindTagIndex(const Profile* profile, uint32_t signature);
TagEntry* TagEntryAt(Profile* profile, uint32_t index);
// Makes sure entry `index` has its block in memory. Entries with the same
// offset and size share what is loaded. 3003 when the tag reaches past the
// stored data (nothing is allocated then).
TntStatus LoadTagData(Profile* profile, uint32_t index);
TntStatus LoadAllTags(Profile* profile);
// Lowest other entry with the same non-zero offset; tagCount when none,
// kNoTag for a null profile.
uint32_t FindSharedEntry(const Profile* profile, uint32_t index);
// Lowest other entry holding the same block; tagCount when none.
uint32_t FindSharingBlock(const Profile* profile, uint32_t index);
// Frees entry `index`'s block unless another entry holds it too; the entry
// is left without a block either way.
void ReleaseTagBlock(Profile* profile, uint32_t index);

}  // namespace tnt
