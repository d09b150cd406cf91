// Speed of the link pixel routines on tables shaped like real links
// (33-point grids for three inputs, 17-point grids for four, smooth grid
// values, input and output curves), over 4096 x 4096 images of noise and of
// a smooth gradient, converted row by row as a host would.
//
//   kernels_bench                 Mpx/s for every case, fast and plain
//                                 routines, and a memcpy ceiling
//   kernels_bench --instructions  instructions per pixel under callgrind
//                                 (the first 16 rows of each image), fast
//                                 and plain
//   kernels_bench --one C I P     one case under callgrind (used by the
//                                 mode above): case index, image 0 noise /
//                                 1 gradient, P 1 for the plain routines
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/table.h"
#include "platform/memory.h"
#include "tintwell.h"

namespace {

struct Case {
    int inputs;
    int outputs;
    uint32_t precision;
};

const Case kCases[] = {{3, 3, 1}, {3, 4, 1}, {4, 3, 1}, {4, 4, 1}, {4, 6, 1},
                       {3, 3, 2}, {3, 4, 2}, {4, 3, 2}, {4, 4, 2}, {4, 6, 2}};
const char* kImageNames[] = {"noise", "gradient"};

// A table like one sampled from real profiles: gamma-like input curves,
// smooth grid, slightly S-shaped output curves.
tnt::LinkTable* MakeTable(const Case& c) {
    uint32_t n = c.inputs == 3 ? 33 : 17;
    auto* table = static_cast<tnt::LinkTable*>(tnt::AllocBlock(sizeof(tnt::LinkTable)));
    tnt::InitLinkTable(table, n, c.precision, c.inputs, c.outputs);
    const uint32_t length = table->inputCurveLength;
    table->inputCurves = static_cast<uint16_t*>(tnt::AllocBlock(size_t{length} * c.inputs * 2));
    for (int ch = 0; ch < c.inputs; ++ch)
        for (uint32_t i = 0; i < length; ++i) {
            double x = static_cast<double>(i) / (length - 1);
            table->inputCurves[ch * length + i] = static_cast<uint16_t>(std::lround(65535 * std::pow(x, 1.0 / (1.6 + 0.2 * ch))));
        }
    size_t nodes = 1;
    for (int ch = 0; ch < c.inputs; ++ch) nodes *= n;
    table->grid = static_cast<uint16_t*>(tnt::AllocBlock(nodes * c.outputs * 2));
    for (size_t k = 0; k < nodes; ++k) {
        double x[4];
        size_t rest = k;
        for (int d = c.inputs - 1; d >= 0; --d) {
            x[d] = static_cast<double>(rest % n) / (n - 1);
            rest /= n;
        }
        for (int j = 0; j < c.outputs; ++j) {
            double value = 0.5 + 0.3 * std::sin(2.0 * x[j % c.inputs] + x[(j + 1) % c.inputs] - 0.7 * j) -
                           0.15 * x[(j + 2) % c.inputs] * x[c.inputs - 1];
            value = value < 0 ? 0 : value > 1 ? 1 : value;
            table->grid[k * c.outputs + j] = static_cast<uint16_t>(std::lround(65535 * value));
        }
    }
    table->outputCurves = tnt::AllocBlock(size_t{65536} * c.outputs * c.precision);
    for (int j = 0; j < c.outputs; ++j)
        for (uint32_t i = 0; i < 65536; ++i) {
            double x = i / 65535.0;
            double y = x * x * (3 - 2 * x) * 0.3 + 0.7 * x;
            if (c.precision == 1)
                static_cast<uint8_t*>(table->outputCurves)[j * 65536 + i] = static_cast<uint8_t>(std::lround(255 * y));
            else
                static_cast<uint16_t*>(table->outputCurves)[j * 65536 + i] = static_cast<uint16_t>(std::lround(65535 * y));
        }
    table->hasInputCurves = 1;
    table->hasOutputCurves = 1;
    return table;
}

// The first `rows` rows of a side x side image: noise, or a gradient that
// changes slowly along rows and columns (8-bit gradients repeat pixels in
// short runs).
std::vector<uint8_t> MakeImage(const Case& c, int image, int side, int rows) {
    size_t samples = size_t(side) * rows * c.inputs;
    std::vector<uint8_t> bytes(samples * c.precision);
    uint64_t state = 0x853C49E6748FEA9Bull;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < side; ++x)
            for (int ch = 0; ch < c.inputs; ++ch) {
                size_t at = (size_t(y) * side + x) * c.inputs + ch;
                uint32_t value;
                if (image == 0) {
                    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
                    value = static_cast<uint32_t>(state >> 40);
                } else {
                    double fx = double(x) / (side - 1), fy = double(y) / (side - 1);
                    double v = ch == 0 ? fx : ch == 1 ? fy : ch == 2 ? (fx + fy) / 2 : fx * fy;
                    value = static_cast<uint32_t>(v * 65535);
                }
                if (c.precision == 1)
                    bytes[at] = static_cast<uint8_t>(image == 0 ? value : value >> 8);
                else
                    std::memcpy(&bytes[at * 2], &value, 2);
            }
    return bytes;
}

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void ConvertImage(ProfLink* link, const Case& c, const std::vector<uint8_t>& source, std::vector<uint8_t>& destination,
                  int side, int rows) {
    size_t sourceRow = size_t(side) * c.inputs * c.precision;
    size_t destinationRow = size_t(side) * c.outputs * c.precision;
    for (int y = 0; y < rows; ++y)
        TntLinkMatchColors(link, side, &source[y * sourceRow], &destination[y * destinationRow], 0, 0, 0, nullptr);
}

std::string Name(const Case& c) {
    return std::to_string(c.inputs) + "->" + std::to_string(c.outputs) + " " + std::to_string(8 * c.precision) + "-bit";
}

// The first 16 rows of the 4096 x 4096 image: 65536 pixels.
constexpr int kCallgrindRows = 16;

int RunOne(int index, int image, bool plain) {
    const int side = 4096;
    const Case& c = kCases[index];
    tnt::LinkTable* table = MakeTable(c);
    if (!plain) tnt::PrepareLinkTable(table);
    ProfLink link{table, 0, 0};
    std::vector<uint8_t> source = MakeImage(c, image, side, kCallgrindRows);
    std::vector<uint8_t> destination(size_t(side) * kCallgrindRows * c.outputs * c.precision);
    ConvertImage(&link, c, source, destination, side, kCallgrindRows);
    tnt::ReleaseLinkTable(table);
    return 0;
}

// Runs the case under callgrind, counting only inside TntLinkMatchColors.
double InstructionsPerPixel(const char* self, int index, int image, bool plain) {
    std::string out = "/tmp/tnt_kernels_bench.callgrind." + std::to_string(index) + "." + std::to_string(image);
    std::string command = "valgrind --tool=callgrind --toggle-collect=TntLinkMatchColors --callgrind-out-file=" + out +
                          " " + self + " --one " + std::to_string(index) + " " + std::to_string(image) + " " +
                          (plain ? "1" : "0") + " > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return -1;
    FILE* file = std::fopen(out.c_str(), "r");
    if (!file) return -1;
    char line[512];
    double total = -1;
    while (std::fgets(line, sizeof line, file))
        if (std::strncmp(line, "totals:", 7) == 0 || std::strncmp(line, "summary:", 8) == 0)
            total = std::strtod(line + (line[0] == 't' ? 7 : 8), nullptr);
    std::fclose(file);
    std::remove(out.c_str());
    return total / (4096.0 * kCallgrindRows);
}

void Timing() {
    const int side = 4096;
    const double pixels = double(side) * side;
    std::printf("%-14s %-9s %12s %12s %12s\n", "case", "image", "fast Mpx/s", "plain Mpx/s", "memcpy Mpx/s");
    for (const Case& c : kCases) {
        tnt::LinkTable* table = MakeTable(c);
        ProfLink link{table, 0, 0};
        std::vector<uint8_t> destination(size_t(side) * side * c.outputs * c.precision);
        for (int image = 0; image < 2; ++image) {
            std::vector<uint8_t> source = MakeImage(c, image, side, side);
            double rate[2];
            for (int plain = 0; plain < 2; ++plain) {
                if (plain)
                    tnt::ReleaseLinkLookups(table);
                else
                    tnt::PrepareLinkTable(table);
                double best = 1e30;
                for (int repeat = 0; repeat < 3; ++repeat) {
                    double start = Seconds();
                    ConvertImage(&link, c, source, destination, side, side);
                    best = std::min(best, Seconds() - start);
                }
                rate[plain] = pixels / best / 1e6;
            }
            double best = 1e30;
            for (int repeat = 0; repeat < 3; ++repeat) {
                double start = Seconds();
                std::memcpy(destination.data(), source.data(), std::min(source.size(), destination.size()));
                best = std::min(best, Seconds() - start);
            }
            std::printf("%-14s %-9s %12.1f %12.1f %12.1f\n", Name(c).c_str(), kImageNames[image], rate[0], rate[1],
                        pixels / best / 1e6);
            std::fflush(stdout);
        }
        tnt::ReleaseLinkTable(table);
    }
}

void Instructions(const char* self) {
    std::printf("%-14s %-9s %14s %14s\n", "case", "image", "fast instr/px", "plain instr/px");
    for (int index = 0; index < int(sizeof kCases / sizeof kCases[0]); ++index)
        for (int image = 0; image < 2; ++image) {
            double fast = InstructionsPerPixel(self, index, image, false);
            double plain = InstructionsPerPixel(self, index, image, true);
            std::printf("%-14s %-9s %14.1f %14.1f\n", Name(kCases[index]).c_str(), kImageNames[image], fast, plain);
            std::fflush(stdout);
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--one") == 0)
        return RunOne(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]) != 0);
    if (argc == 2 && std::strcmp(argv[1], "--instructions") == 0) {
        Instructions(argv[0]);
        return 0;
    }
    Timing();
    return 0;
}
