// Real ICC profiles for the tests: those Debian's colour packages install
// and the project's committed test set (tests/data/profiles).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tintwell.h"

namespace tnt_test {

// Every *.icc / *.icm file in the known profile folders, sorted.
std::vector<std::string> RealProfilePaths();
std::string TestProfile(const char* name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A fresh path in the test's temporary folder.
std::string TempPath(const std::string& name);

// Locations naming a byte vector (as a memory block) or a file path.
ProfileLocation MemoryLocationOf(std::vector<uint8_t>& bytes);
ProfileLocation FileLocationOf(const std::string& path);

// Big-endian reads of a raw profile image.
uint32_t BigU32(const std::vector<uint8_t>& bytes, size_t offset);
void PutBigU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

}  // namespace tnt_test
