// Access to a profile's tags and header. Tag data crosses this interface in
// host byte order; it is put into ICC order only when the profile is saved.
// The exported element functions are declared in tintwell.h.
#pragma once

#include <cstdint>

#include "profile/container.h"
#include "tintwell.h"

namespace tnt {

// Header fields; 0 for a null profile. The colour space and PCS come back
// with 'MCHx' renamed to 'xCLR'; the header itself keeps what it holds.
uint32_t GetProfileClass(Profile* profile);
uint32_t GetProfileColorSpace(Profile* profile);
uint32_t GetProfilePCS(Profile* profile);
// The low 16 bits of the header's rendering intent.
uint16_t GetProfileIntent(Profile* profile);
// Stores the data colour space without marking the profile modified: a
// transform chain uses it on profiles it does not mean to change.
void SetProfileColorSpace(Profile* profile, uint32_t space);

// 'MCH1'..'MCH9' (and the control characters 0x01.. before '0') and
// 'MCHA'..'MCHF' become 'xCLR'; every other signature is returned as it is.
uint32_t NormalizeSpaceSignature(uint32_t signature);

// The tag's type signature (its first four bytes) in host order. Statuses
// as TntGetPartialProfileElement: 5005 absent or unloadable, 5015 when the
// tag is shorter than 4 bytes.
TntStatus ReadTagType(Profile* profile, uint32_t signature, uint32_t* type);

}  // namespace tnt
