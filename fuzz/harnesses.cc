#include "fuzz/harnesses.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "colour/spaces.h"
#include "link/table.h"
#include "platform/memory.h"
#include "profile/lut_tag.h"
#include "profile/tag_reader.h"
#include "profile/text_tag.h"
#include "profile/tone_curve.h"
#include "stage/stage.h"
#include "tintwell.h"

#ifndef TNT_TEST_PROFILES
#define TNT_TEST_PROFILES "tests/data/profiles"
#endif

namespace tnt_fuzz {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kIntents[5] = {TNT_INTENT_PERCEPTUAL, TNT_INTENT_RELATIVE, TNT_INTENT_SATURATION,
                                  TNT_INTENT_ABSOLUTE, TNT_INTENT_PERCEPTUAL_ABSOLUTE_WHITE};
// Big enough for any space the table knows, plus one extra sample a colour.
constexpr size_t kColourSlots = tnt::kMaxSpaceChannels + 1;

[[noreturn]] void Fail(const char* harness, const char* what) {
    std::fprintf(stderr, "%s: %s\n", harness, what);
    std::abort();
}

// Every block the library hands out during one input must be back when the
// input is done: a leak found this way points at the input that caused it.
struct LeakCheck {
    const char* harness;
    int64_t before;
    explicit LeakCheck(const char* name) : harness(name), before(tnt::LiveBlockCount()) {}
    ~LeakCheck() {
        if (tnt::LiveBlockCount() != before) Fail(harness, "library blocks leaked");
    }
};

uint32_t BigU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// A profile opened from a private copy of the bytes: the copy is exactly as
// long as the input, so a read past the stored data is caught by the
// address checker, and the library may write to it.
struct OpenedProfile {
    Bytes bytes;
    ProfileLocation location;
    Profile* profile = nullptr;
    TntStatus status = TNT_ERR_CANNOT_OPEN_PROFILE;

    OpenedProfile(const uint8_t* data, size_t size) : bytes(data, data + size) {
        std::memset(&location, 0, sizeof location);
        if (size > 0xFFFFFFFFu) return;
        TntMakeMemFile(&location, bytes.data(), static_cast<uint32_t>(bytes.size()));
        status = TntOpenProfile(&profile, &location);
        if (status != TNT_OK) profile = nullptr;
    }
    ~OpenedProfile() { TntCloseProfile(profile); }
    OpenedProfile(const OpenedProfile&) = delete;
    OpenedProfile& operator=(const OpenedProfile&) = delete;
};

// The stored profiles the harnesses pair the fuzzed ones with, read once.
const Bytes& StoredProfile(const std::string& path) {
    static std::vector<std::pair<std::string, Bytes>> cache;
    for (const auto& entry : cache)
        if (entry.first == path) return entry.second;
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cache.emplace_back(path, std::move(bytes));
    return cache.back().second;
}

// An RGB display profile (matrix and tone curves) for the source side, a
// CMYK printer profile with Lab tables for the destination side.
const Bytes& RealRgbProfile() { return StoredProfile("/usr/share/color/argyll/ref/sRGB.icm"); }
const Bytes& RealCmykProfile() { return StoredProfile(TNT_TEST_PROFILES "/tr003-cmyk-lab-low-v2.icc"); }
const Bytes& RealGrayProfile() { return StoredProfile(TNT_TEST_PROFILES "/gray-gamma1-mntr-xyz-v2.icc"); }

// The tag signatures the directory lists, read from the raw bytes, followed
// by a few that profiles commonly lack.
std::vector<uint32_t> ListedSignatures(const uint8_t* data, size_t size) {
    std::vector<uint32_t> signatures;
    if (size >= 132) {
        uint32_t count = BigU32(data + 128);
        for (uint32_t i = 0; i < count && i < 128 && 132 + 12 * size_t(i) + 4 <= size; ++i)
            signatures.push_back(BigU32(data + 132 + 12 * i));
    }
    for (uint32_t extra : {TNT_SIG('A', '2', 'B', '0'), TNT_SIG('B', '2', 'A', '1'), TNT_SIG('w', 't', 'p', 't'),
                           TNT_SIG('z', 'z', 'z', 'z')})
        signatures.push_back(extra);
    return signatures;
}

// Reads one tag every way the interface offers and checks the answers agree.
void ReadTagEveryWay(Profile* p, uint32_t signature, size_t storedSize) {
    const char* name = "profile_tags";
    uint32_t exists = 2;
    if (TntProfileElementExists(p, signature, &exists) != TNT_OK || exists > 1) Fail(name, "exists query failed");
    const uint32_t size = TntGetProfileElementSize(p, signature);
    if (!exists) {
        if (size != 0 || TntProfileGetTagDataPtr(p, signature)) Fail(name, "absent tag has data");
        uint32_t count = 4;
        uint8_t buffer[4];
        if (TntGetPartialProfileElement(p, signature, 0, &count, buffer) != TNT_ERR_TAG_NOT_FOUND)
            Fail(name, "absent tag read without 5005");
        return;
    }
    uint32_t queried = 0;
    if (TntGetProfileElement(p, signature, &queried, nullptr) != TNT_OK || queried != size)
        Fail(name, "size query disagrees with the directory");

    // A tag that claims more than the stored data cannot load; only its
    // refusal is checked, with buffers of the data's size at most.
    const auto* pointer = static_cast<const uint8_t*>(TntProfileGetTagDataPtr(p, signature));
    if (size > storedSize) {
        if (pointer) Fail(name, "a tag larger than the stored data loaded");
        uint8_t head[16];
        uint32_t asked = sizeof head;
        if (TntGetProfileElement(p, signature, &asked, head) == TNT_OK) Fail(name, "a tag past the data was read");
        return;
    }
    // An empty tag loads, but no access starts inside it.
    if (size == 0) {
        uint8_t none[1];
        uint32_t asked = 0;
        if (TntGetProfileElement(p, signature, &asked, none) != TNT_ERR_TAG_RANGE)
            Fail(name, "an empty tag read without 5015");
        return;
    }

    // Whole tag: the data pointer and a whole read must hold the same bytes.
    Bytes whole(size_t(size) + 1, 0xA5);
    uint32_t got = size;
    TntStatus st = TntGetProfileElement(p, signature, &got, whole.data());
    if ((st == TNT_OK) != (pointer != nullptr)) Fail(name, "data pointer and whole read disagree on loading");
    if (st != TNT_OK) return;
    if (whole[size] != 0xA5) Fail(name, "whole read wrote past the tag size");
    // Every byte of the block is touched, so a block shorter than the tag
    // size shows up as an out-of-bounds read.
    if (std::memcmp(pointer, whole.data(), size) != 0) Fail(name, "data pointer differs from the read");

    // Partial reads at the edges, inside and outside.
    const uint32_t offsets[] = {0, size / 2, size - 1, size, size + 1, 0xFFFFFFF0u};
    const uint32_t counts[] = {0, 1, 4, size, 0xFFFFFFFFu};
    uint8_t small[1];
    for (uint32_t offset : offsets) {
        for (uint32_t count : counts) {
            const bool inside = offset < size && uint64_t(offset) + count <= size;
            Bytes buffer(inside ? count : 0);
            uint32_t asked = count;
            TntStatus partial = TntGetPartialProfileElement(p, signature, offset, &asked,
                                                            buffer.empty() ? small : buffer.data());
            if (inside && partial != TNT_OK) Fail(name, "partial read inside the tag failed");
            if (!inside && partial != TNT_ERR_TAG_RANGE) Fail(name, "partial read outside the tag without 5015");
            if (asked != count) Fail(name, "partial read changed the count");
            if (inside && count && std::memcmp(buffer.data(), pointer + offset, count) != 0)
                Fail(name, "partial read differs from the data");
        }
    }
}

// The library's own readers of tag contents on one tag: tone curves,
// tables and text. Each gives a status or its contents, and releases what
// it allocated; the address checker sees every read, since the tag's block
// is exactly its size.
void ReadTagContents(Profile* p, uint32_t signature) {
    tnt::TagReader reader;
    if (tnt::OpenTagReader(p, signature, &reader)) return;
    tnt::ToneCurve curve;
    uint64_t length = 0;
    for (bool fileOrder : {false, true}) {
        if (tnt::ReadToneCurveAt(reader, 0, fileOrder, false, &curve, &length) == TNT_OK) {
            if (length > reader.size) Fail("profile_tags", "a curve longer than its tag");
            tnt::EvaluateToneCurve(curve, 0.5);
            tnt::InvertToneCurve(curve, 0.5);
            tnt::ReleaseToneCurve(&curve);
        }
    }
    tnt::LutTag table;
    if (tnt::ReadLutTag(reader, &table) == TNT_OK) {
        for (uint64_t i = 0; table.grid && i < table.gridValues; i += 97) tnt::LutGridValue(table, i);
        tnt::ReleaseLutTag(&table);
    }
    char text[64];
    size_t textLength = 0;
    if (tnt::ReadTagText(reader, text, sizeof text, &textLength) == TNT_OK && std::strlen(text) > textLength)
        Fail("profile_tags", "text longer than reported");
}

// Room for the profile as saved: header, directory and every tag padded,
// as if no two entries shared a block.
uint64_t SavedSizeBound(Profile* p, const std::vector<uint32_t>& signatures) {
    uint32_t count = 0;
    TntCountProfileElements(p, &count);
    uint64_t total = 132 + 12ull * count;
    for (uint32_t signature : signatures) total += (uint64_t(TntGetProfileElementSize(p, signature)) + 3) / 4 * 4;
    // Entries with one signature are counted once above; the directory may
    // list more, so allow for each at the largest tag size.
    uint64_t largest = 0;
    for (uint32_t signature : signatures) {
        uint64_t s = TntGetProfileElementSize(p, signature);
        largest = s > largest ? s : largest;
    }
    return total + uint64_t(count) * ((largest + 3) / 4 * 4);
}

// Saves to a memory block; the status comes back, the image in `saved`.
TntStatus SaveToMemory(Profile* p, uint64_t room, Bytes* saved) {
    saved->assign(room, 0);
    ProfileLocation target;
    std::memset(&target, 0, sizeof target);
    TntMakeMemFile(&target, saved->data(), static_cast<uint32_t>(room));
    TntStatus st = TntSaveProfile(p, &target);
    if (st == TNT_OK) {
        ProfileHeader header;
        TntGetProfileHeader(p, &header);
        if (header.size > room) Fail("profile_tags", "saved profile larger than its block");
        saved->resize(header.size);
    }
    return st;
}

}  // namespace

int FuzzProfileTags(const uint8_t* data, size_t size) {
    const char* name = "profile_tags";
    LeakCheck leaks(name);
    OpenedProfile opened(data, size);
    Profile* p = opened.profile;
    if (!p) return 0;

    const std::vector<uint32_t> signatures = ListedSignatures(data, size);
    for (uint32_t signature : signatures) {
        ReadTagEveryWay(p, signature, size);
        ReadTagContents(p, signature);
    }

    constexpr uint64_t kSaveLimit = 8u << 20;
    const uint64_t room = SavedSizeBound(p, signatures);
    Bytes saved;
    TntStatus st = SaveToMemory(p, room <= kSaveLimit ? room : 256, &saved);
    if (room > kSaveLimit) {
        if (st == TNT_OK) Fail(name, "a profile saved into a block too small for it");
    } else if (st == TNT_OK) {
        // The saved image reopens with the same tags, byte for byte.
        OpenedProfile again(saved.data(), saved.size());
        if (!again.profile) Fail(name, "saved profile does not reopen");
        uint32_t before = 0, after = 0;
        TntCountProfileElements(p, &before);
        TntCountProfileElements(again.profile, &after);
        if (before != after) Fail(name, "saved profile has another tag count");
        for (uint32_t signature : signatures) {
            uint32_t a = TntGetProfileElementSize(p, signature), b = TntGetProfileElementSize(again.profile, signature);
            if (a != b) Fail(name, "saved tag has another size");
            if (!a) continue;
            const void* x = TntProfileGetTagDataPtr(p, signature);
            const void* y = TntProfileGetTagDataPtr(again.profile, signature);
            if (!x || !y || std::memcmp(x, y, a) != 0) Fail(name, "saved tag has other data");
        }
    } else if (st != TNT_ERR_CANNOT_SAVE && st != TNT_ERR_SHORT_WRITE) {
        Fail(name, "save failed with an unexpected status");
    }

    // A few edits, then another save: the profile must stay consistent.
    if (!signatures.empty()) {
        const uint32_t first = signatures.front();
        TntSetProfileElementReference(p, first, TNT_SIG('z', 'z', 'z', '1'));
        const uint8_t stamp[4] = {1, 2, 3, 4};
        uint32_t firstSize = TntGetProfileElementSize(p, first);
        TntSetPartialProfileElement(p, first, 0, firstSize < 4 ? firstSize : 4, stamp);
        if (signatures.size() > 1) TntRemoveProfileElement(p, signatures[1]);
        TntSetProfileElement(p, TNT_SIG('z', 'z', 'z', '2'), sizeof stamp, stamp);
        const uint64_t again = SavedSizeBound(p, ListedSignatures(data, size)) + 64;
        if (again <= kSaveLimit) SaveToMemory(p, again, &saved);
    }
    return 0;
}

namespace {

uint16_t ChannelsOf(uint32_t space) { return tnt::SpaceChannelCount(space); }

// A few colours from the corners of the range and from the input's bytes.
void FillColours(const uint8_t* data, size_t size, uint8_t* buffer, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        const size_t colour = i / (kColourSlots * 2);
        uint8_t value = colour == 0 ? 0x00 : colour == 1 ? 0xFF : colour == 2 ? 0x80 : 0;
        if (colour >= 3 && size) value = data[(i * 7919) % size];
        buffer[i] = value;
    }
}

// Matches four colours at 8 and at 16 bits, with one extra sample a colour
// on either side that the transform must leave alone.
void MatchSomeColours(MatchTransform* t, const uint8_t* data, size_t size) {
    const uint32_t src = TntTransGetSrcSpace(t), dst = TntTransGetDstSpace(t);
    const int16_t in = static_cast<int16_t>(ChannelsOf(src)), out = static_cast<int16_t>(ChannelsOf(dst));
    constexpr int32_t kCount = 4;
    uint8_t source[kCount * kColourSlots * 2];
    uint8_t destination[kCount * kColourSlots * 2 + 16];
    FillColours(data, size, source, sizeof source);
    for (int16_t depth : {int16_t(1), int16_t(2)}) {
        std::memset(destination, 0x5A, sizeof destination);
        TntICCMatchColors(t, 0, source, destination, kCount, in, out, 1, 1, depth);
        const size_t used = size_t(kCount) * (out + 1) * depth;
        for (size_t i = used; i < sizeof destination; ++i)
            if (destination[i] != 0x5A) Fail("transforms", "matching wrote past the destination run");
    }
    uint8_t single[kColourSlots * 2];
    TntICCSingleMatchProc(source, single, t, 2);
}

// One transform over `count` profiles with `intent` for every step.
void TransformAndMatch(uint32_t sourceSpace, uint32_t destinationSpace, int16_t count, Profile** profiles,
                       uint16_t intent, const uint8_t* data, size_t size) {
    MatchTransform* t = TntNewTransformPtr();
    if (!t) Fail("transforms", "no transform");
    uint16_t intents[3] = {intent, intent, intent};
    if (TntConcatProfileRefs(t, sourceSpace, destinationSpace, count, profiles, intents) == TNT_OK)
        MatchSomeColours(t, data, size);
    if (TntDisposeMatchTransform(t) != TNT_OK) Fail("transforms", "dispose failed");
}

// Builds the stage of `p` in `direction` with `intent` and runs colours
// through each of its parts.
void BuildAndApplyStage(Profile* p, uint32_t direction, uint16_t intent) {
    uint32_t kind = 0;
    tnt::ClassifyProfile(p, direction, &kind);
    tnt::TransformStage stage;
    tnt::ClearStage(&stage);
    if (tnt::BuildStage(&stage, p, direction, intent) == TNT_OK) {
        for (uint16_t flags : {tnt::kPassFull, tnt::kPassInputCurves, tnt::kPassCore, tnt::kPassOutputCurves}) {
            uint32_t in = 0, out = 0;
            tnt::StageSpaces(&stage, flags, &in, &out);
            for (uint16_t value : {uint16_t(0), uint16_t(0x8000), uint16_t(0xFFFF)}) {
                tnt::WorkColor colour;
                for (uint16_t& c : colour.channel) c = value;
                tnt::ApplyStage(&stage, &colour, &colour, flags);
            }
        }
    }
    tnt::ReleaseStageTables(&stage);
}

}  // namespace

int FuzzTransforms(const uint8_t* data, size_t size) {
    LeakCheck leaks("transforms");
    OpenedProfile fuzzed(data, size);
    Profile* p = fuzzed.profile;
    if (!p) return 0;
    const Bytes& rgb = RealRgbProfile().empty() ? RealGrayProfile() : RealRgbProfile();
    OpenedProfile source(rgb.data(), rgb.size());
    OpenedProfile destination(RealCmykProfile().data(), RealCmykProfile().size());

    for (uint32_t direction : {tnt::kDirectionForward, tnt::kDirectionReverse})
        for (uint16_t intent : kIntents) BuildAndApplyStage(p, direction, intent);
    BuildAndApplyStage(p, tnt::kDirectionForward, 7);

    for (uint16_t intent : kIntents) {
        Profile* alone[1] = {p};
        TransformAndMatch(0, 0, 1, alone, intent, data, size);
        TransformAndMatch(TNT_SIG('L', 'a', 'b', ' '), 0, 1, alone, intent, data, size);
        TransformAndMatch(0, TNT_SIG('X', 'Y', 'Z', ' '), 1, alone, intent, data, size);
        if (source.profile) {
            Profile* chain[2] = {source.profile, p};
            TransformAndMatch(0, 0, 2, chain, intent, data, size);
        }
        if (destination.profile) {
            Profile* chain[2] = {p, destination.profile};
            TransformAndMatch(0, 0, 2, chain, intent, data, size);
        }
    }
    // The profile's own intent.
    Profile* alone[1] = {p};
    TransformAndMatch(0, 0, 1, alone, TNT_INTENT_FROM_PROFILE, data, size);
    return 0;
}

namespace {

// Converts a run of pixels through the link interleaved and, for an 8-bit
// link, planar; both ways the conversion must stay inside the buffers.
void ConvertThroughLink(ProfLink* link, const uint8_t* data, size_t size) {
    const tnt::LinkTable* table = link->table;
    if (!table) return;
    const int in = table->inputChannels, out = table->outputChannels;
    const int width = table->precision == 2 ? 2 : 1;
    constexpr int32_t kPixels = 37;
    Bytes source(size_t(kPixels) * (in + 1) * width);
    FillColours(data, size, source.data(), source.size());
    Bytes destination(size_t(kPixels) * (out + 2) * width);
    TntLinkMatchColors(link, kPixels, source.data(), destination.data(), 1, 2, 0, nullptr);
    // In place, as the interface allows for equal layouts.
    if (in == out) TntLinkMatchColors(link, kPixels, source.data(), source.data(), 1, 1, 0, nullptr);
    // Packed pixels in buffers of exactly their size: the routines that load
    // a block of pixels at once must not read past the last one.
    Bytes packed(size_t(kPixels) * in * width), packedOut(size_t(kPixels) * out * width);
    FillColours(data, size, packed.data(), packed.size());
    TntLinkMatchColors(link, kPixels, packed.data(), packedOut.data(), 0, 0, 0, nullptr);

    std::vector<Bytes> sourcePlanes(in, Bytes(kPixels * 2)), destinationPlanes(out, Bytes(kPixels * 2));
    std::vector<const uint8_t*> from;
    std::vector<uint8_t*> to;
    for (int c = 0; c < in; ++c) {
        FillColours(data + (size ? c % size : 0), size ? size - c % size : 0, sourcePlanes[c].data(),
                    sourcePlanes[c].size());
        from.push_back(sourcePlanes[c].data());
    }
    for (int c = 0; c < out; ++c) to.push_back(destinationPlanes[c].data());
    TntStatus st = TntLinkMatchColorPlanes(link, kPixels, from.data(), 2, to.data(), 2, nullptr);
    if (width == 2 && st != TNT_ERR_PLANAR_NOT_8BIT) Fail("links", "planar conversion of a 16-bit link");
}

// Chains the profiles into a transform, samples a small link from it and
// converts pixels through the link.
void LinkAndConvert(int16_t count, Profile** profiles, uint16_t intent, bool sixteenBit, const uint8_t* data,
                    size_t size) {
    MatchTransform* t = TntNewTransformPtr();
    if (!t) Fail("links", "no transform");
    uint16_t intents[3] = {intent, intent, intent};
    if (TntConcatProfileRefs(t, 0, 0, count, profiles, intents) == TNT_OK) {
        // Small grids keep each input fast: 5 points a dimension, 3 for
        // sources of more than four channels.
        const bool wide = ChannelsOf(TntTransGetSrcSpace(t)) > 4;
        uint32_t options = SetOptions(0, TNT_OPTION_PRECISION, sixteenBit ? 1 : 0);
        options = SetOptions(options, TNT_OPTION_GRID_QUALITY, wide ? 5 : 1);
        ProfLink* link = nullptr;
        TntStatus st = TntMatchTrans2Link(t, options, &link);
        if ((st == TNT_OK) != (link != nullptr)) Fail("links", "link status and handle disagree");
        if (link) ConvertThroughLink(link, data, size);
        TntDisposeProfLink(link);
    }
    if (TntDisposeMatchTransform(t) != TNT_OK) Fail("links", "dispose failed");
}

}  // namespace

int FuzzLinks(const uint8_t* data, size_t size) {
    LeakCheck leaks("links");
    // The first profile ends where its header says; a size field that does
    // not split the input cuts it in half.
    size_t split = size >= 4 ? BigU32(data) : 0;
    if (split < 132 || split >= size) split = size / 2;
    OpenedProfile first(data, split), second(data + split, size - split);
    Profile* fuzzed = first.profile ? first.profile : second.profile;
    if (!fuzzed) return 0;

    // Sampling a link costs some 65536 colours for its output curves alone,
    // so each input builds one link: the last byte picks the chain, the
    // precision (16 bits one time in four) and the intent.
    const uint8_t selector = data[size - 1];
    const bool sixteenBit = (selector >> 2 & 3) == 3;
    const uint16_t intent = kIntents[(selector >> 4) % 5];
    const Bytes& rgb = RealRgbProfile().empty() ? RealGrayProfile() : RealRgbProfile();
    OpenedProfile real(rgb.data(), rgb.size());
    switch (selector & 3) {
        case 0:
            if (first.profile && second.profile) {
                Profile* chain[2] = {first.profile, second.profile};
                LinkAndConvert(2, chain, intent, sixteenBit, data, size);
                break;
            }
            [[fallthrough]];
        case 1:
            if (real.profile) {
                Profile* chain[2] = {real.profile, fuzzed};
                LinkAndConvert(2, chain, intent, sixteenBit, data, size);
            }
            break;
        case 2:
            if (real.profile) {
                Profile* chain[2] = {fuzzed, real.profile};
                LinkAndConvert(2, chain, intent, sixteenBit, data, size);
            }
            break;
        default: {
            // The builder that takes open profiles, with the profile alone.
            Profile* alone[1] = {fuzzed};
            uint32_t options = SetOptions(0, TNT_OPTION_GRID_QUALITY, 5);
            options = SetOptions(options, TNT_OPTION_PRECISION, sixteenBit ? 1 : 0);
            ProfLink* link = nullptr;
            if (TntBuildLinkFromProfileRefs(0, 0, 1, alone, nullptr, options, nullptr, 0, &link) == TNT_OK) {
                TntLinkSourceType(link);
                TntLinkDestType(link);
                ConvertThroughLink(link, data, size);
            }
            TntDisposeProfLink(link);
            break;
        }
    }
    return 0;
}

namespace {

struct CrdSink {
    uint64_t bytes;
};

// Keeps nothing but a count; every piece must be a terminated string.
TntStatus TNT_CALL DiscardText(uintptr_t user, const char* text) {
    if (!text) Fail("crd", "null text");
    reinterpret_cast<CrdSink*>(user)->bytes += std::strlen(text);
    return TNT_OK;
}

}  // namespace

int FuzzCrd(const uint8_t* data, size_t size) {
    LeakCheck leaks("crd");
    OpenedProfile opened(data, size);
    if (!opened.profile) return 0;
    for (uint32_t intent = 0; intent < 4; ++intent) {
        CrdSink sink{0};
        TntSaveCRD(opened.profile, intent, DiscardText, reinterpret_cast<uintptr_t>(&sink));
    }
    CrdSink sink{0};
    const TntStatus unknown = TntSaveCRD(opened.profile, 4, DiscardText, reinterpret_cast<uintptr_t>(&sink));
    if (unknown != TNT_ERR_NULL_PARAMETER && unknown != TNT_ERR_UNSUPPORTED_SPACE) Fail("crd", "unknown intent accepted");
    return 0;
}

HarnessFunction HarnessByName(const char* name) {
    static const struct {
        const char* name;
        HarnessFunction function;
    } kHarnesses[] = {{"profile_tags", FuzzProfileTags}, {"transforms", FuzzTransforms}, {"links", FuzzLinks},
                      {"crd", FuzzCrd}};
    for (const auto& h : kHarnesses)
        if (std::strcmp(h.name, name) == 0) return h.function;
    return nullptr;
}

}  // namespace tnt_fuzz
