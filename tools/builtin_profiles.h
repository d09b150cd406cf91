// Profiles the tool makes itself, in memory, through the library's own
// profile functions, so that its main jobs run with nothing downloaded.
#pragma once

#include <string>

#include "common.h"

namespace tool {

// "srgb", "lab" or "gray" (the part after "builtin:"); false for other names.
bool BuiltinProfile(const std::string& name, Bytes* out);
// The names, for help texts.
const char* BuiltinNames();

}  // namespace tool
