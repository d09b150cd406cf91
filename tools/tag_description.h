// One tag of a profile in words, read through the library's own readers so
// that it shows what the library makes of the tag: tone curves ('curv', and
// 'para' with its function and parameters), tables ('mft1', 'mft2', 'mAB ',
// 'mBA ' with their elements), text ('desc', 'text', 'mluc'), XYZ numbers,
// matrices ('sf32', such as 'chad') and a few small types. 'info' uses the
// one-line summary in its tag table; 'info --tag' the whole description.
#pragma once

#include <string>
#include <vector>

#include "tintwell.h"

namespace tool {

// One line, or empty for types that have nothing short to say.
std::string TagSummary(Profile* profile, TntSignature tag);

// The tag's contents, line by line; a tag the library refuses says why.
std::vector<std::string> TagDetails(Profile* profile, TntSignature tag);

// The text of a 'desc', 'text' or 'mluc' tag (American English, else the
// first record) as UTF-8; empty when the tag is absent or of another type.
std::string TagText(Profile* profile, TntSignature tag);

}  // namespace tool
