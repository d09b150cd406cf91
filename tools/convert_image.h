// Converting images band by band through a device link sampled from a
// chain of profiles, on several threads. Shared by 'image' and 'proof'.
#pragma once

#include <string>
#include <vector>

#include "common.h"
#include "image_io.h"

namespace tool {

struct ConvertRequest {
    std::vector<ProfileSource> chain;  // as named on the command line
    // The chain lacks its source: the image's embedded profile (or a
    // built-in for untagged gray, RGB and Lab images) goes in front.
    bool needsSource = false;
    bool ignoreEmbedded = false;  // never use the embedded profile
    // Empty: the profiles' own intents. One: every step. Otherwise one per
    // step of the completed chain (or one per profile).
    std::vector<uint16_t> intents;
    bool sixteen = false;  // sample a 16-bit link and write 16 bits
    int gridQuality = 0;   // 0 to 7 (0: the library's default)
    double preserveBlack = -1;      // percent; below 0: off
    std::vector<int16_t> controls;  // lightness, contrast, chroma, ab, a, b shifts; or empty
};

// A link ready for the pages of one kind of image.
struct Converter {
    ProfLink* link = nullptr;
    ImageInfo in;   // the page it was built for
    ImageInfo out;  // what the converted page is
    bool sixteen = false;
};

// Builds the link for a page (completing the chain from the page's own
// profile, with warnings when that profile goes unused or does not fit)
// and describes the output page: the destination model, the last profile
// embedded unless it is a device link, extras and metadata carried over,
// planar when `planarOut`. Reports failures on one line naming `subject`.
bool PrepareConverter(const ImageInfo& in, const std::string& subject, const ConvertRequest& request,
                      bool planarOut, Converter* converter);
// Whether a later page can use the same link.
bool SameSource(const Converter& converter, const ImageInfo& page);
// Converts `rows` rows: `in` in the input page's layout (changed in place
// on the way), `out` in the output page's, on `threads` threads.
bool ConvertBand(const Converter& converter, uint32_t rows, uint8_t* in, uint8_t* out, int threads,
                 const std::string& subject);
void ReleaseConverter(Converter* converter);

// The number of threads to use when none is asked for.
int DefaultThreads();

}  // namespace tool
