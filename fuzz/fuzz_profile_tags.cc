// libFuzzer entry for the profile_tags harness; the body lives in harnesses.cc so the
// regression test can run the same code without libFuzzer.
#include "fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return tnt_fuzz::FuzzProfileTags(data, size); }
