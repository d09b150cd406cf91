// What every real profile gives, as digests compared with tests/data/golden/
// results.txt: matched colours, 8- and 16-bit link bytes, rendering-dictionary
// text, intents 0, 1 and 3, to and from an sRGB-like profile. Entries of v2
// profiles date from before v4 types were read: any change is a regression.
// TNT_REGENERATE_GOLDEN=1 rewrites the list from the build under test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "colour/spaces.h"
#include "link/table.h"
#include "support/profile_builder.h"
#include "support/real_profiles.h"

using namespace tnt_test;

namespace {

const std::string kListPath = std::string(TNT_SOURCE_DIR) + "/tests/data/golden/results.txt";

struct Digest {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    Digest& Add(const void* data, size_t size) {
        for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
        return *this;
    }
    std::string Hex() const {
        char text[17];
        return std::string(text, std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h)));
    }
};

// Every mix of five levels (at most 625), then 64 from a fixed pseudo-random sequence.
std::vector<uint16_t> SampleColours(int channels) {
    static const uint16_t kLevels[5] = {0, 0x1234, 0x7FFF, 0xC000, 0xFFFF};
    std::vector<uint16_t> out;
    const int mixes = channels > 4 ? 625 : int(std::pow(5, channels));
    for (int i = 0; i < mixes; ++i)
        for (int c = 0, rest = i; c < channels; ++c, rest /= 5) out.push_back(kLevels[rest % 5]);
    for (uint32_t i = 0, state = 12345; i < 64u * channels; ++i) out.push_back(uint16_t((state = state * 1103515245u + 12345u) >> 8));
    return out;
}

std::string LinkDigest(MatchTransform* t, bool sixteenBit) {
    ProfLink* link = nullptr;
    if (TntStatus st = TntMatchTrans2Link(t, sixteenBit ? SetOptions(0, TNT_OPTION_PRECISION, 1) : 0, &link))
        return std::to_string(st);
    const tnt::LinkTable* table = link->table;
    size_t nodes = 1;
    for (int c = 0; c < table->inputChannels; ++c) nodes *= table->gridPoints;
    const std::string hex = Digest()
                                .Add(&table->gridPoints, 4).Add(&table->hasInputCurves, 4).Add(&table->hasOutputCurves, 4)
                                .Add(table->inputCurves, size_t(table->inputChannels) * table->inputCurveLength * 2)
                                .Add(table->outputCurves, size_t(table->outputChannels) * 65536 * table->precision)
                                .Add(table->grid, nodes * size_t(table->outputChannels) * 2).Hex();
    TntDisposeProfLink(link);
    return hex;
}

// "status" or "status/match status:colours/8-bit link/16-bit link" of one chain and intent.
std::string ChainResult(std::vector<Profile*> chain, uint16_t intent) {
    MatchTransform* t = TntNewTransformPtr();
    const std::vector<uint16_t> intents(chain.size(), intent);
    TntStatus st = TntConcatProfileRefs(t, 0, 0, int16_t(chain.size()), chain.data(), intents.data());
    std::string result = std::to_string(st);
    if (!st) {
        const int in = tnt::SpaceChannelCount(TntTransGetSrcSpace(t)), out = tnt::SpaceChannelCount(TntTransGetDstSpace(t));
        const std::vector<uint16_t> colours = SampleColours(in);
        const int count = int(colours.size()) / in;
        std::vector<uint16_t> matched(size_t(count) * out);
        st = TntICCMatchColors(t, 0, colours.data(), matched.data(), count, int16_t(in), int16_t(out), 0, 0, 2);
        result += "/" + std::to_string(st) + ":" + Digest().Add(matched.data(), matched.size() * 2).Hex() + "/" +
                  LinkDigest(t, false) + "/" + LinkDigest(t, true);
    }
    TntDisposeMatchTransform(t);
    return result;
}

TntStatus TNT_CALL AppendText(uintptr_t user, const char* text) {
    *reinterpret_cast<std::string*>(user) += text;
    return 0;
}

// Every result of one profile, by item.
std::map<std::string, std::string> ResultsOf(Profile* p, Profile* srgb) {
    std::map<std::string, std::string> out;
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    std::vector<std::pair<std::string, std::vector<Profile*>>> chains = {{"P-S", {p, srgb}}, {"S-P", {srgb, p}}};
    if (h.deviceClass == Sig("link")) chains.push_back({"P", {p}});
    if (h.deviceClass == Sig("abst")) chains.push_back({"S-P-S", {srgb, p, srgb}});
    for (const auto& [name, chain] : chains)
        for (uint16_t intent : {0, 1, 3}) out[name + "/" + std::to_string(intent)] = ChainResult(chain, intent);
    for (uint32_t intent = 0; intent < 4 && (h.colorSpace == Sig("RGB ") || h.colorSpace == Sig("CMYK")); ++intent) {
        std::string text;
        const TntStatus st = TntSaveCRD(p, intent, AppendText, reinterpret_cast<uintptr_t>(&text));
        out["crd/" + std::to_string(intent)] = std::to_string(st) + ":" + Digest().Add(text.data(), text.size()).Hex();
    }
    return out;
}

}  // namespace

TEST(GoldenResults, RealProfilesGiveWhatTheyGaveBefore) {
#if defined(_WIN32)
    GTEST_SKIP() << "the list holds results of the C library's pow on Linux";
#endif
    // The partner: sRGB's colorants and curve (1024 samples) in a display profile.
    Profile* srgb = MatrixProfile(Sig("mntr"), SampledCurveTag(1024, [](double x) {
                                      return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
                                  }));
    ASSERT_NE(srgb, nullptr);
    // "profile item" to "file-digest value", as listed.
    std::map<std::string, std::string> list;
    std::ifstream in(kListPath);
    for (std::string line, profile, fileDigest, item, value; std::getline(in, line);) {
        std::istringstream fields(line);
        if (line[0] != '#' && fields >> profile >> fileDigest >> item >> value) list[profile + " " + item] = fileDigest + " " + value;
    }
    std::ostringstream recorded;
    recorded << "# Results of the real profiles found by tests/golden_results_test.cc:\n"
             << "# profile, digest of its file, chain (P the profile, S sRGB) and intent or crd and intent,\n"
             << "# status / match status:colours / 8-bit link / 16-bit link, or status:dictionary text.\n";
    int compared = 0, skipped = 0, committed = 0;
    const std::string test = TNT_TEST_PROFILES, shared = "/usr/share/color/";
    for (const std::string& path : RealProfilePaths()) {
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        // The profile's name in the list: its path below the folder it was found in.
        std::string key = path.rfind(test, 0) == 0 ? "tests/data/profiles" + path.substr(test.size()) : path;
        if (key.rfind(shared, 0) == 0) key = key.substr(shared.size());
        const std::string fileDigest = Digest().Add(bytes.data(), bytes.size()).Hex();
        ProfileLocation location = MemoryLocationOf(bytes);
        Profile* p = nullptr;
        if (TntOpenProfile(&p, &location)) continue;
        for (const auto& [item, value] : ResultsOf(p, srgb)) {
            recorded << key << " " << fileDigest << " " << item << " " << value << "\n";
            auto found = list.find(key + " " + item);
            if (found == list.end() || found->second.rfind(fileDigest + " ", 0) != 0) {  // not listed, or a changed file
                ++skipped;
                continue;
            }
            EXPECT_EQ(fileDigest + " " + value, found->second) << key << " " << item;
            ++compared;
            committed += key.rfind("tests/", 0) == 0;
        }
        TntCloseProfile(p);
    }
    TntCloseProfile(srgb);
    if (std::getenv("TNT_REGENERATE_GOLDEN")) {
        std::ofstream(kListPath) << recorded.str();
        std::printf("recorded %s\n", kListPath.c_str());
        return;
    }
    std::printf("%d results compared, %d of profiles not in the list or of changed files\n", compared, skipped);
    EXPECT_GE(committed, 40) << "the committed test profiles are all in the list";
}
