#include "support/random_links.h"

#include "platform/memory.h"

namespace tnt_test {

std::vector<uint16_t> EdgeValues(const tnt::LinkTable* table) {
    std::vector<uint16_t> values;
    uint32_t cell = 1u << table->indexShift;
    for (uint32_t v = 0; v <= 65536; v += cell)
        for (int d = -1; d <= 1; ++d) {
            int64_t value = static_cast<int64_t>(v) + d;
            if (value >= 0 && value <= 65535) values.push_back(static_cast<uint16_t>(value));
        }
    for (uint16_t v : {65535, 65534, 65281, 65280, 65279, 32768, 32767, 256, 255}) values.push_back(v);
    return values;
}

tnt::LinkTable* RandomTable(Noise& noise, int inputs, int outputs, uint32_t gridPoints, uint32_t precision) {
    auto* table = static_cast<tnt::LinkTable*>(tnt::AllocBlock(sizeof(tnt::LinkTable)));
    tnt::InitLinkTable(table, gridPoints, precision, inputs, outputs);
    size_t inputEntries = static_cast<size_t>(inputs) * table->inputCurveLength;
    size_t outputEntries = static_cast<size_t>(outputs) * 65536;
    size_t nodes = 1;
    for (int c = 0; c < inputs; ++c) nodes *= gridPoints;
    size_t gridValues = nodes * outputs;
    table->inputCurves = static_cast<uint16_t*>(tnt::AllocBlock(inputEntries * 2));
    table->outputCurves = tnt::AllocBlock(outputEntries * precision);
    table->grid = static_cast<uint16_t*>(tnt::AllocBlock(gridValues * 2));

    std::vector<uint16_t> edges = EdgeValues(table);
    for (size_t i = 0; i < inputEntries; ++i) {
        uint64_t r = noise.Next();
        table->inputCurves[i] = (r & 7) == 0 ? edges[(r >> 8) % edges.size()] : static_cast<uint16_t>(r >> 32);
    }
    // The extreme node values are the ones that would overflow a careless
    // accumulator, so they come up often.
    for (size_t i = 0; i < gridValues; ++i) {
        uint64_t r = noise.Next();
        uint32_t kind = r & 15;
        table->grid[i] = kind == 0 ? 65535 : kind == 1 ? 0 : static_cast<uint16_t>(r >> 32);
    }
    if (precision == 1) {
        auto* curves = static_cast<uint8_t*>(table->outputCurves);
        for (size_t i = 0; i < outputEntries; i += 8) {
            uint64_t r = noise.Next();
            for (size_t k = 0; k < 8; ++k) curves[i + k] = static_cast<uint8_t>(r >> (8 * k));
        }
    } else {
        auto* curves = static_cast<uint16_t*>(table->outputCurves);
        for (size_t i = 0; i < outputEntries; i += 4) {
            uint64_t r = noise.Next();
            for (size_t k = 0; k < 4; ++k) curves[i + k] = static_cast<uint16_t>(r >> (16 * k));
        }
    }
    table->hasInputCurves = 1;
    table->hasOutputCurves = 1;
    return table;
}

uint32_t GridPointsFor(int inputs, int outputs, uint64_t limit) {
    for (uint32_t n : {33u, 17u, 9u, 5u}) {
        uint64_t values = static_cast<uint64_t>(outputs);
        for (int c = 0; c < inputs; ++c) values *= n;
        if (values <= limit) return n;
    }
    return 3;
}

std::vector<uint16_t> TestPixels(Noise& noise, const tnt::LinkTable* table, int count, int extra) {
    const int inputs = table->inputChannels;
    const int step = inputs + extra;
    const bool eight = table->precision == 1;
    std::vector<uint16_t> edges = EdgeValues(table);
    std::vector<uint16_t> pixels(static_cast<size_t>(count) * step);
    for (int i = 0; i < count; ++i) {
        uint16_t* pixel = &pixels[static_cast<size_t>(i) * step];
        uint32_t kind = noise.Below(8);
        if (i > 0 && kind < 2) {
            // The same pixel again, or with one channel changed.
            for (int c = 0; c < step; ++c) pixel[c] = pixel[c - step];
            if (kind == 1) {
                int c = static_cast<int>(noise.Below(inputs));
                pixel[c] = static_cast<uint16_t>(pixel[c] ^ (1u << noise.Below(eight ? 8 : 16)));
            }
            continue;
        }
        for (int c = 0; c < step; ++c) {
            uint16_t value;
            if (kind < 5)
                value = static_cast<uint16_t>(noise.Next() >> 40);
            else
                value = edges[noise.Below(static_cast<uint32_t>(edges.size()))];
            if (eight) value = kind < 5 ? static_cast<uint16_t>(value & 255) : static_cast<uint16_t>(value >> 8);
            pixel[c] = value;
        }
    }
    return pixels;
}

}  // namespace tnt_test
