// Writing a chain of profiles as an ICC v2 device-link profile: the chain is
// sampled into a 16-bit link whose input curves, grid and output curves go
// into one 'mft2' table.
#pragma once

#include <string>
#include <vector>

#include "common.h"

namespace tool {

struct LinkProfileRequest {
    std::vector<ProfileSource> chain;
    std::vector<uint16_t> intents;  // one per profile, or empty for the profiles' own
    bool sixteen = false;           // 4096-entry input curves instead of 256
    int gridQuality = 0;
};

// The profile image, or false after a one-line message naming `subject`.
bool BuildLinkProfile(LinkProfileRequest& request, const std::string& subject, Bytes* out);

}  // namespace tool
