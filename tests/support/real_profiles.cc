#include "support/real_profiles.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace fs = std::filesystem;

namespace tnt_test {

namespace {

void Collect(const fs::path& dir, std::vector<std::string>& out) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (!ec && it->is_regular_file() && (ext == ".icc" || ext == ".icm")) out.push_back(it->path().string());
    }
}

}  // namespace

std::vector<std::string> RealProfilePaths() {
    std::vector<std::string> out;
    Collect(TNT_TEST_PROFILES, out);
#if !defined(_WIN32)
    // The Debian packages' folders; a Windows test run sees the committed set only.
    Collect("/usr/share/color/icc", out);
    Collect("/usr/share/color/argyll/ref", out);
#endif
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string TestProfile(const char* name) { return std::string(TNT_TEST_PROFILES) + "/" + name; }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string TempPath(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("tintwell-tests-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

ProfileLocation MemoryLocationOf(std::vector<uint8_t>& bytes) {
    ProfileLocation loc{};
    TntMakeMemFile(&loc, bytes.data(), uint32_t(bytes.size()));
    return loc;
}

ProfileLocation FileLocationOf(const std::string& path) {
    ProfileLocation loc{};
    std::strncpy(loc.path, path.c_str(), sizeof loc.path - 1);
    return loc;
}

uint32_t BigU32(const std::vector<uint8_t>& b, size_t o) {
    return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | uint32_t(b[o + 3]);
}

void PutBigU32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace tnt_test
