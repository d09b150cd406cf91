#include "support/link_runs.h"

#include <algorithm>

namespace tnt_test {

namespace {

template <typename Sample>
std::vector<Sample> Narrow(const std::vector<uint16_t>& values) {
    return std::vector<Sample>(values.begin(), values.end());
}

template <typename Sample>
std::vector<uint16_t> Widen(const std::vector<Sample>& values) {
    return std::vector<uint16_t>(values.begin(), values.end());
}

template <typename Sample, typename Convert>
std::vector<uint16_t> RunWith(const tnt::LinkTable* table, const std::vector<uint16_t>& pixels, int count,
                              int destinationExtra, Convert convert) {
    std::vector<Sample> source = Narrow<Sample>(pixels);
    size_t size = static_cast<size_t>(count) * (table->outputChannels + destinationExtra);
    std::vector<Sample> destination(size, static_cast<Sample>(kUntouched));
    convert(source.data(), destination.data());
    return Widen(destination);
}

}  // namespace

std::vector<uint16_t> RunKernel(tnt::LinkKernel kernel, const tnt::LinkTable* table,
                                const std::vector<uint16_t>& pixels, int count, int sourceExtra,
                                int destinationExtra) {
    auto convert = [&](const void* source, void* destination) {
        kernel(table, source, destination, count, table->inputChannels + sourceExtra,
               table->outputChannels + destinationExtra, nullptr);
    };
    if (table->precision == 1) return RunWith<uint8_t>(table, pixels, count, destinationExtra, convert);
    return RunWith<uint16_t>(table, pixels, count, destinationExtra, convert);
}

std::vector<uint16_t> RunLink(ProfLink* link, const std::vector<uint16_t>& pixels, int count, int sourceExtra,
                              int destinationExtra) {
    auto convert = [&](const void* source, void* destination) {
        TntLinkMatchColors(link, count, source, destination, static_cast<int16_t>(sourceExtra),
                           static_cast<int16_t>(destinationExtra), 0, nullptr);
    };
    if (link->table->precision == 1) return RunWith<uint8_t>(link->table, pixels, count, destinationExtra, convert);
    return RunWith<uint16_t>(link->table, pixels, count, destinationExtra, convert);
}

namespace {

template <typename Sample>
std::vector<uint16_t> InPlace(tnt::LinkKernel kernel, const tnt::LinkTable* table,
                              const std::vector<uint16_t>& pixels, int count) {
    const int inputs = table->inputChannels, outputs = table->outputChannels;
    const int step = std::max(inputs, outputs);
    std::vector<Sample> buffer(static_cast<size_t>(count) * step);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < inputs; ++c) buffer[static_cast<size_t>(i) * step + c] = static_cast<Sample>(pixels[i * inputs + c]);
    kernel(table, buffer.data(), buffer.data(), count, step, step, nullptr);
    std::vector<uint16_t> result;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < outputs; ++j) result.push_back(buffer[static_cast<size_t>(i) * step + j]);
    return result;
}

}  // namespace

std::vector<uint16_t> RunInPlace(tnt::LinkKernel kernel, const tnt::LinkTable* table,
                                 const std::vector<uint16_t>& pixels, int count) {
    if (table->precision == 1) return InPlace<uint8_t>(kernel, table, pixels, count);
    return InPlace<uint16_t>(kernel, table, pixels, count);
}

std::vector<uint16_t> Channels(const std::vector<uint16_t>& run, int outputs, int destinationExtra) {
    std::vector<uint16_t> channels;
    const int step = outputs + destinationExtra;
    for (size_t i = 0; i + step <= run.size(); i += step)
        channels.insert(channels.end(), run.begin() + i, run.begin() + i + outputs);
    return channels;
}

}  // namespace tnt_test
