// Building profiles through the library's tag interface: tag images in host
// byte order (the interface converts them to ICC's big-endian layout when it
// saves) and saving a finished profile into a byte vector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common.h"

namespace tool {

struct TagWriter {
    Bytes b;
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void U64(uint64_t v);
    void S15(double v);  // s15Fixed16Number
    void Raw(const void* p, size_t n);
};

Bytes XYZTag(double x, double y, double z);
Bytes GammaTag(double gamma);  // 'curv' with one u8Fixed8 gamma
Bytes CurveTag(const std::vector<uint16_t>& entries);
Bytes TextTag(const std::string& text);  // 'text'
// The body of a textDescriptionType (from the 'desc' signature on): ASCII
// only, empty Unicode and ScriptCode parts.
Bytes DescTag(const std::string& text);

// One entry of a profile sequence description.
struct SequenceEntry {
    TntSignature manufacturer = 0;
    uint32_t model = 0;
    uint64_t attributes = 0;
    TntSignature technology = 0;
    std::string manufacturerText;
    std::string modelText;
};
Bytes SequenceTag(const std::vector<SequenceEntry>& entries);

// An 'mft2' table: identity matrix, curves and grid as given (16-bit, the
// grid's last input varying fastest).
struct Mft2 {
    uint8_t inputs = 0, outputs = 0, gridPoints = 0;
    uint16_t inputEntries = 0, outputEntries = 0;
    std::vector<uint16_t> inputCurves;   // inputs x inputEntries
    std::vector<uint16_t> grid;          // gridPoints^inputs x outputs
    std::vector<uint16_t> outputCurves;  // outputs x outputEntries
};
Bytes Mft2Tag(const Mft2& table);

// A new profile with a version 2.1 header: class, spaces, intent, D50
// illuminant, creator 'tntw'. Null (and a message) on failure.
Profile* NewProfile(TntSignature deviceClass, TntSignature colorSpace, TntSignature pcs, uint32_t intent);
TntStatus PutTag(Profile* p, TntSignature tag, const Bytes& image);
// Saves into `out` (exactly the profile's size).
TntStatus SaveToBytes(Profile* p, Bytes* out);

}  // namespace tool
