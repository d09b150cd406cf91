#include "stage/lut.h"

#include <cstring>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/tag_reader.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

constexpr uint32_t kMft1Header = 48;
constexpr uint32_t kMft2Header = 52;
constexpr uint32_t kMft1Entries = 256;

uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t LoadU16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Converts `curves` curves of `entries` samples starting at `source` and
// tells whether any differs from the identity ramp of its width.
bool ConvertCurves(const uint8_t* source, uint32_t curves, uint32_t entries, bool sixteenBit, double* out) {
    bool active = false;
    const double step = sixteenBit ? 65535.0 / (entries - 1) : 1.0;
    for (uint32_t c = 0; c < curves; ++c) {
        for (uint32_t k = 0; k < entries; ++k) {
            const uint32_t index = c * entries + k;
            const uint32_t value = sixteenBit ? LoadU16(source + 2 * index) : source[index];
            out[index] = sixteenBit ? value / 65535.0 : value / 255.0;
            if (value != static_cast<uint32_t>(k * step)) active = true;
        }
    }
    return active;
}

}  // namespace

TntStatus ChooseLutTag(Profile* profile, uint32_t direction, uint16_t intent, uint32_t* tag) {
    const bool forward = direction == kDirectionForward;
    const uint32_t family = forward ? TNT_SIG('A', '2', 'B', 0) : TNT_SIG('B', '2', 'A', 0);
    const uint32_t perceptual = family | '0';
    uint32_t wanted;
    switch (static_cast<int16_t>(intent)) {
        case 0:
        case 1028:
            *tag = perceptual;
            return TNT_OK;
        case 1:
        case 3:
            wanted = family | '1';
            break;
        case 2:
            wanted = family | '2';
            break;
        default:
            return TNT_ERR_UNKNOWN_INTENT;
    }
    uint32_t exists = 0;
    TntStatus st = TntProfileElementExists(profile, wanted, &exists);
    if (st) return st;
    *tag = exists ? wanted : perceptual;
    return TNT_OK;
}

TntStatus ReadLutTable(LutStageData* data, Profile* profile, uint32_t tag) {
    std::memset(data, 0, sizeof *data);
    // Every shortfall is reported as an unusable table.
    TagReader reader;
    uint32_t type = 0;
    if (OpenTagReader(profile, tag, &reader) || TagU32(reader, 0, &type)) return TNT_ERR_TAG_NOT_FOUND;
    // Later table types have another layout altogether; reading them as
    // 'mft1' would walk through unrelated bytes.
    if (type != kMft1 && type != kMft2) return TNT_ERR_TAG_NOT_FOUND;
    const bool sixteenBit = type == kMft2;
    const uint32_t header = sixteenBit ? kMft2Header : kMft1Header;
    const uint8_t* base = nullptr;
    if (TagBytes(reader, 0, header, &base)) return TNT_ERR_TAG_NOT_FOUND;
    const uint64_t size = reader.size;

    const uint32_t inputs = base[8], outputs = base[9], grid = base[10];
    if (inputs == 0 || inputs > kMaxLutChannels || outputs == 0 || outputs > kMaxLutChannels || grid < 2)
        return TNT_ERR_TAG_NOT_FOUND;
    const uint32_t inputEntries = sixteenBit ? LoadU16(base + 48) : kMft1Entries;
    const uint32_t outputEntries = sixteenBit ? LoadU16(base + 50) : kMft1Entries;
    if (inputEntries < 2 || outputEntries < 2) return TNT_ERR_TAG_NOT_FOUND;

    // Every count is checked against the tag before anything is read; the
    // grid count stops growing once it passes the tag size, so it cannot
    // overflow.
    const uint64_t width = sixteenBit ? 2 : 1;
    uint64_t gridEntries = outputs;
    for (uint32_t k = 0; k < inputs && gridEntries <= size; ++k) gridEntries *= grid;
    const uint64_t inputValues = static_cast<uint64_t>(inputs) * inputEntries;
    const uint64_t outputValues = static_cast<uint64_t>(outputs) * outputEntries;
    const uint8_t* inputTables = nullptr;
    if (gridEntries > size || TagBytes(reader, header, width * (inputValues + gridEntries + outputValues), &inputTables))
        return TNT_ERR_TAG_NOT_FOUND;

    data->sixteenBit = sixteenBit ? 1 : 0;
    data->inputChannels = static_cast<uint8_t>(inputs);
    data->outputChannels = static_cast<uint8_t>(outputs);
    data->gridPoints = static_cast<uint8_t>(grid);
    double offDiagonal = 0.0;
    for (int e = 0; e < 9; ++e) {
        data->matrix[e] = S15Fixed16ToDouble(LoadU32(base + 12 + 4 * e));
        if (e % 4 != 0) offDiagonal += data->matrix[e] < 0 ? -data->matrix[e] : data->matrix[e];
    }
    const bool identity =
        data->matrix[0] == 1.0 && data->matrix[4] == 1.0 && data->matrix[8] == 1.0 && offDiagonal == 0.0;
    data->useMatrix = inputs == 3 && !identity ? 1 : 0;
    data->inputEntries = static_cast<uint16_t>(inputEntries);
    data->outputEntries = static_cast<uint16_t>(outputEntries);

    const uint8_t* gridStart = inputTables + width * inputValues;
    const uint8_t* outputTables = gridStart + width * gridEntries;

    data->inputCurves = static_cast<double*>(AllocBlock(sizeof(double) * inputValues));
    if (!data->inputCurves) return TNT_ERR_NO_MEMORY;
    data->inputCurvesActive = ConvertCurves(inputTables, inputs, inputEntries, sixteenBit, data->inputCurves);
    data->grid = gridStart;
    data->gridSize = static_cast<uint32_t>(gridEntries);
    data->outputCurves = static_cast<double*>(AllocBlock(sizeof(double) * outputValues));
    if (!data->outputCurves) {
        ReleaseLutStage(data);
        return TNT_ERR_NO_MEMORY;
    }
    data->outputCurvesActive = ConvertCurves(outputTables, outputs, outputEntries, sixteenBit, data->outputCurves);

    data->stride[0] = outputs;
    for (uint32_t k = 1; k < inputs; ++k) data->stride[k] = data->stride[k - 1] * grid;
    return TNT_OK;
}

TntStatus ReadLutStage(LutStageData* data, Profile* profile, uint32_t direction, uint16_t intent) {
    std::memset(data, 0, sizeof *data);
    uint32_t tag = 0;
    TntStatus st = ChooseLutTag(profile, direction, intent, &tag);
    if (st) return st;
    return ReadLutTable(data, profile, tag);
}

void ReleaseLutStage(LutStageData* data) {
    FreeBlock(data->inputCurves);
    FreeBlock(data->outputCurves);
    data->inputCurves = nullptr;
    data->outputCurves = nullptr;
}

}  // namespace tnt
