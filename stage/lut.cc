#include "stage/lut.h"

#include <cstring>
#include <initializer_list>

#include "platform/memory.h"
#include "profile/tag_reader.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

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
    TagReader reader;
    LutTag table;
    if (OpenTagReader(profile, tag, &reader)) return TNT_ERR_TAG_NOT_FOUND;
    if (TntStatus st = ReadLutTag(reader, &table)) return st == TNT_ERR_NO_MEMORY ? st : TNT_ERR_TAG_NOT_FOUND;
    const uint32_t inputs = table.inputs, outputs = table.outputs;
    const bool v4 = IsV4LutType(table.type);
    if (table.grid && table.gridWidth == 2 && table.gridFileOrder) {
        // The ICC v4 types are handed out as stored; the grid is read in
        // host order.
        data->ownedGrid = static_cast<uint16_t*>(AllocBlock(sizeof(uint16_t) * table.gridValues));
        if (!data->ownedGrid) {
            ReleaseLutTag(&table);
            return TNT_ERR_NO_MEMORY;
        }
        for (uint64_t i = 0; i < table.gridValues; ++i) data->ownedGrid[i] = uint16_t(LutGridValue(table, i));
        data->grid = reinterpret_cast<const uint8_t*>(data->ownedGrid);
    } else {
        data->grid = table.grid;
    }
    data->type = table.type;
    data->sixteenBit = table.gridWidth == 2 ? 1 : 0;
    data->inputChannels = static_cast<uint8_t>(inputs);
    data->outputChannels = static_cast<uint8_t>(outputs);
    std::memcpy(data->gridPoints, table.gridPoints, sizeof data->gridPoints);
    std::memcpy(data->matrix, table.matrix, sizeof data->matrix);
    data->gridSize = data->grid ? static_cast<uint32_t>(table.gridValues) : 0;
    if (v4) {
        data->v4Encoding = 1;
        data->useMatrix = table.type == kLutBtoA && table.hasMatrix ? 1 : 0;
        data->matrixAfterGrid = table.type == kLutAtoB && table.hasMatrix ? 1 : 0;
    } else {
        double offDiagonal = 0.0;
        for (int e = 0; e < 9; ++e)
            if (e % 4 != 0) offDiagonal += data->matrix[e] < 0 ? -data->matrix[e] : data->matrix[e];
        const bool identity =
            data->matrix[0] == 1.0 && data->matrix[4] == 1.0 && data->matrix[8] == 1.0 && offDiagonal == 0.0;
        data->useMatrix = inputs == 3 && !identity ? 1 : 0;
    }
    // The stage takes the curves over.
    std::memcpy(data->inputCurves, table.inputCurves.curve, sizeof data->inputCurves);
    std::memcpy(data->middleCurves, table.middleCurves.curve, sizeof data->middleCurves);
    std::memcpy(data->outputCurves, table.outputCurves.curve, sizeof data->outputCurves);
    data->inputCurvesActive = table.inputCurves.active ? 1 : 0;
    data->outputCurvesActive = table.outputCurves.active ? 1 : 0;

    data->stride[0] = outputs;
    for (uint32_t k = 1; k < inputs; ++k) data->stride[k] = data->stride[k - 1] * data->gridPoints[inputs - k];
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
    for (ToneCurve* set : {data->inputCurves, data->middleCurves, data->outputCurves})
        for (uint32_t k = 0; k < kMaxLutChannels; ++k) ReleaseToneCurve(&set[k]);
    FreeBlock(data->ownedGrid);
    data->ownedGrid = nullptr;
    data->grid = nullptr;
}

}  // namespace tnt
