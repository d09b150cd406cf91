// Profile images for tests: hand-made ICC files with chosen tag tables,
// real profiles read from disk, and save-and-reopen checks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "profile/container.h"
#include "support/real_profiles.h"
#include "tintwell.h"

namespace tnt_test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

struct RawTag { uint32_t signature, offset, size; };

// The tag table of an ICC file, as stored.
std::vector<RawTag> FileDirectory(const Bytes& image);
// An image with the given tag table over a byte pattern; tags of 8 bytes or
// more start as 'text' tags, whose conversion touches only the type signature.
Bytes MakeImage(const std::vector<RawTag>& tags, uint32_t total);
// Such a tag as the library hands it out: the type in host order, the rest as stored.
Bytes HostTextBytes(const Bytes& image, uint32_t offset, uint32_t size);

// Opens `image` in place; the image must outlive the profile.
Profile* OpenImage(Bytes& image);
// The whole tag through the public interface (empty for a 0-byte tag).
Bytes TagBytes(Profile* p, uint32_t signature);
// Saves into a memory block of exactly the laid-out size.
Bytes SaveToMemory(Profile* p);

struct Content { Bytes header; std::vector<std::pair<uint32_t, Bytes>> tags; };  // header size zeroed: it follows the layout

Content Snapshot(Profile* p);
void ExpectSameTags(const Content& a, const Content& b);
// The profile saves, and what was saved opens with the same header and tags.
void ExpectSavesAndReopensEqual(Profile* p);
inline bool IsModified(const Profile* p) { return (p->flags & tnt::kModified) != 0; }

}  // namespace tnt_test
