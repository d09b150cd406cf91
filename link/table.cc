#include "link/table.h"

#include "link/lookups.h"
#include "platform/memory.h"

namespace tnt {

uint32_t HighestBit(uint32_t value) {
    uint32_t bit = 0;
    while (value > 1) {
        value >>= 1;
        ++bit;
    }
    return bit;
}

void FillLinkGeometry(LinkTable* table) {
    uint32_t n = table->gridPoints;
    uint32_t bits = HighestBit(n > 1 ? n - 1 : 1);
    table->indexShift = static_cast<uint16_t>(16 - bits);
    table->fractionMask = static_cast<uint16_t>(65535u >> bits);
    int32_t inputs = table->inputChannels;
    for (int d = 0; d < kLinkMaxChannels; ++d) {
        // Nodes along dimension d lie outputChannels x n^(inputs - 1 - d)
        // values apart, because the last input channel varies fastest.
        uint32_t step = 0;
        if (d < inputs) {
            step = static_cast<uint32_t>(table->outputChannels);
            for (int32_t e = d + 1; e < inputs; ++e) step *= n;
        }
        for (uint32_t i = 0; i < kLinkMaxGridPoints; ++i) table->gridOffsets[d][i] = i < n ? i * step : 0;
    }
}

void InitLinkTable(LinkTable* table, uint32_t gridPoints, uint32_t precision, int32_t inputChannels,
                   int32_t outputChannels) {
    table->inputCurveLength = precision == 1 ? 256 : 65536;
    table->outputCurveLength = 65536;
    table->gridPoints = gridPoints;
    table->precision = precision;
    table->inputChannels = inputChannels;
    table->outputChannels = outputChannels;
    table->inputCurves = nullptr;
    table->outputCurves = nullptr;
    table->grid = nullptr;
    table->hasInputCurves = 0;
    table->hasOutputCurves = 0;
    table->lookups = nullptr;
    FillLinkGeometry(table);
}

void ReleaseLinkTable(LinkTable* table) {
    if (!table) return;
    ReleaseLinkLookups(table);
    FreeBlock(table->inputCurves);
    FreeBlock(table->outputCurves);
    FreeBlock(table->grid);
    FreeBlock(table);
}

}  // namespace tnt
