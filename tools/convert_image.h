// Converting an image through a device link sampled from a chain of
// profiles, on several threads. Shared by 'image' and 'proof'.
#pragma once

#include <string>
#include <vector>

#include "common.h"
#include "image_io.h"

namespace tool {

struct ConvertRequest {
    std::vector<ProfileSource> chain;  // complete: source first
    std::vector<uint16_t> intents;     // one per profile, or empty for the profiles' own
    bool sixteen = false;              // sample a 16-bit link and write 16 bits
    int gridQuality = 0;               // 0 to 7 (0: the library's default)
    int threads = 1;
    bool progress = false;             // draw a bar on standard error
    bool timing = false;               // report the link and conversion times
};

// When the chain has a single profile that is not a device link, puts the
// image's own profile (or a built-in for untagged gray, RGB and Lab images)
// in front of it. Reports and returns false when there is no source.
bool CompleteChain(const Image& image, const std::string& imageName, std::vector<ProfileSource>* chain);

// Converts `in` into `out`: the destination model comes from the chain's
// last space, extras are copied, the last profile (unless a device link)
// is embedded. Reports failures on one line (naming `subject`).
bool ConvertImage(const Image& in, ConvertRequest& request, const std::string& subject, Image* out);

// The number of threads to use when none is asked for.
int DefaultThreads();

}  // namespace tool
