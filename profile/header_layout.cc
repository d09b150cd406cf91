// Records that cross the library boundary keep one layout on every build;
// the 32-bit Windows build, whose hosts share them byte for byte, is the
// one that matters. The memory location is checked next to the stream code
// (profile/stream.cc).
#include <cstddef>

#include "stage/stage.h"
#include "tintwell.h"

// TntGetProfileHeader and TntSetProfileHeader copy this record to and from
// the host's 128-byte buffer, and it mirrors the first 128 bytes of the file.
static_assert(sizeof(ProfileHeader) == 128, "the header is 128 bytes");
static_assert(offsetof(ProfileHeader, size) == 0 && offsetof(ProfileHeader, cmmType) == 4 &&
                  offsetof(ProfileHeader, version) == 8 && offsetof(ProfileHeader, deviceClass) == 12 &&
                  offsetof(ProfileHeader, colorSpace) == 16 && offsetof(ProfileHeader, pcs) == 20 &&
                  offsetof(ProfileHeader, date) == 24 && offsetof(ProfileHeader, signature) == 36 &&
                  offsetof(ProfileHeader, platform) == 40 && offsetof(ProfileHeader, flags) == 44 &&
                  offsetof(ProfileHeader, manufacturer) == 48 && offsetof(ProfileHeader, model) == 52 &&
                  offsetof(ProfileHeader, attributes) == 56 && offsetof(ProfileHeader, renderingIntent) == 64 &&
                  offsetof(ProfileHeader, illuminant) == 68 && offsetof(ProfileHeader, creator) == 80 &&
                  offsetof(ProfileHeader, reserved) == 84,
              "header fields sit at their file offsets");

// The manipulation hook gets the working colour as a pointer to eight
// consecutive 16-bit channels.
static_assert(sizeof(tnt::WorkColor) == 16 && offsetof(tnt::WorkColor, channel) == 0,
              "the working colour is eight packed 16-bit channels");

// Callbacks and handles travel as single machine words.
static_assert(sizeof(ColorManipulationProc) == sizeof(void*) && sizeof(ColorManipulationDispose) == sizeof(void*) &&
                  sizeof(SpotColorProc) == sizeof(void*) && sizeof(CrdWriteProc) == sizeof(void*),
              "callbacks are plain function pointers");
static_assert(sizeof(TntStatus) == 2 && sizeof(TntSignature) == 4, "statuses are 16-bit, signatures 32-bit");
