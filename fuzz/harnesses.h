// The bodies of the fuzz harnesses. Each takes one input, drives a family of
// exported functions with it and returns 0; it aborts when the library leaks
// a block or breaks an invariant the harness checks, so that the fuzzer and
// the regression test both see the failure. The fuzzer mains and the
// regression test call these same functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tnt_fuzz {

// Opens the input as a profile from memory, reads every tag whole, in parts
// and through its data pointer and through the library's readers of tone
// curves, tables and text, saves the profile to a memory block and checks
// that the saved copy reopens with the same tags.
int FuzzProfileTags(const uint8_t* data, size_t size);

// Classifies the input profile and builds its stages in both directions for
// every intent, then builds transforms from it alone and next to a real
// profile on either side and matches a few colours at 8 and 16 bits.
int FuzzTransforms(const uint8_t* data, size_t size);

// Splits the input into two profiles (the first ends where its header size
// says), chains them with each other and with a real profile, samples small
// links and converts pixels through them, interleaved and planar.
int FuzzLinks(const uint8_t* data, size_t size);

// Writes a PostScript colour rendering dictionary of the input profile for
// every intent through a write function that discards the text.
int FuzzCrd(const uint8_t* data, size_t size);

// The harness called `name` ("profile_tags", "transforms", "links", "crd"),
// or null.
using HarnessFunction = int (*)(const uint8_t* data, size_t size);
HarnessFunction HarnessByName(const char* name);

}  // namespace tnt_fuzz
