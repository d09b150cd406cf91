// Real lookup tables against Little CMS's evaluation of the same tags, and
// stage building under failing allocations.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/memory.h"
#include "stage/stage.h"
#include "support/allocation_sweep.h"
#include "support/profile_builder.h"
#include "support/v4_profiles.h"

using namespace tnt;
using namespace tnt_test;

namespace {

constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');

// One stage of a Little CMS pipeline run alone, 16 bits in and out.
struct LcmsPart {
    cmsPipeline* pipeline = nullptr;
    void Eval(const uint16_t* in, uint16_t* out) const { cmsPipelineEval16(in, out, pipeline); }
};

LcmsPart Alone(cmsStage* stage) {
    LcmsPart part;
    part.pipeline = cmsPipelineAlloc(nullptr, cmsStageInputChannels(stage), cmsStageOutputChannels(stage));
    cmsPipelineInsertStage(part.pipeline, cmsAT_END, cmsStageDup(stage));
    return part;
}

uint32_t GridEntry(const LutStageData& d, uint64_t index) {
    if (!d.sixteenBit) return d.grid[index] * 257u;
    uint16_t v;
    std::memcpy(&v, d.grid + 2 * index, 2);
    return v;
}

// How far multilinear interpolation (ours) and Little CMS's may part at the
// point `in` (16-bit codes of the grid's inputs), for output k. Little CMS
// interpolates the last three inputs tetrahedrally and every input before
// them linearly. Write the multilinear interpolant of a 3-D cell as the sum
// over input subsets S of c_S times the product of the fractions in S, c_S
// being the alternating sum of the corners S spans. Tetrahedral
// interpolation keeps the constant and linear terms and turns each product
// into the minimum of its fractions, so the two differ by the sum of
// c_S (min - product) over |S| >= 2; the bound takes absolute values term
// by term. At most |c_S| / 4 for pairs and 0.385 |c_S| for the triple, it
// falls to 0 at nodes and along edges. Blending over the leading inputs is
// linear in both, so the worst slice bounds the whole.
double InterpolationBound(const LutStageData& d, const uint16_t* in, int k) {
    const int inputs = d.inputChannels;
    if (inputs < 3) return 0.0;
    const int g = d.gridPoints[0];
    uint64_t base = 0;
    double fraction[8];
    for (int j = 0; j < inputs; ++j) {
        const double p = (g - 1) * (in[j] / 65535.0);
        uint32_t index = uint32_t(p);
        fraction[j] = p - index;
        if (index >= uint32_t(g - 1)) {
            index = g - 2;
            fraction[j] = 1.0;
        }
        base += index * d.stride[inputs - 1 - j];
    }
    const int lead = inputs - 3;
    const double* x = fraction + lead;  // the three tetrahedral inputs
    double worst = 0.0;
    for (uint32_t slice = 0; slice < (1u << lead); ++slice) {
        uint64_t sliceBase = base;
        for (int j = 0; j < lead; ++j)
            if (slice >> j & 1) sliceBase += d.stride[inputs - 1 - j];
        // Corner t: bit 2 steps input lead, bit 1 input lead+1, bit 0 the last.
        double f[8];
        for (int t = 0; t < 8; ++t) {
            uint64_t at = sliceBase;
            for (int b = 0; b < 3; ++b)
                if (t >> b & 1) at += d.stride[b];
            f[t] = GridEntry(d, at + k);
        }
        auto c = [&](int s) {
            double sum = 0;
            for (int t = 0; t < 8; ++t)
                if ((t & ~s) == 0) sum += (__builtin_popcount(s ^ t) % 2 ? -1 : 1) * f[t];
            return std::fabs(sum);
        };
        // Bit 2 of a subset is x[0], bit 1 x[1], bit 0 x[2].
        auto gap = [&](int s) {
            double lo = 1.0, product = 1.0;
            for (int b = 0; b < 3; ++b)
                if (s >> b & 1) {
                    lo = std::min(lo, x[2 - b]);
                    product *= x[2 - b];
                }
            return lo - product;
        };
        double sum = 0;
        for (int subset : {3, 5, 6, 7}) sum += c(subset) * gap(subset);
        worst = std::max(worst, sum);
    }
    return worst;
}

// The spread of output k over the cell holding `in`: what one code of
// difference in where the two place a point can cost, times (g - 1) / 65535.
double CellSpread(const LutStageData& d, const uint16_t* in, int k) {
    const int inputs = d.inputChannels, g = d.gridPoints[0];
    uint64_t base = 0;
    for (int j = 0; j < inputs; ++j)
        base += std::min<uint32_t>(uint32_t((g - 1) * (in[j] / 65535.0)), g - 2) * d.stride[inputs - 1 - j];
    double lo = 1e9, hi = -1e9;
    for (uint32_t c = 0; c < (1u << inputs); ++c) {
        uint64_t at = base;
        for (int b = 0; b < inputs; ++b)
            if (c >> b & 1) at += d.stride[b];
        const double v = GridEntry(d, at + k);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return hi - lo;
}

}  // namespace

// Each part of every real table we build against the same part of Little
// CMS's pipeline for the tag. Curves agree to a code (we truncate, Little CMS
// rounds and works in 16-bit fixed point). The grid (with the matrix in
// front of it where a table has one) agrees within InterpolationBound plus
// two codes; that is one code at grid nodes. Where a matrix comes first,
// Little CMS rounds its result to 16 bits before the grid, which may move
// the point by half a code along each axis: inputs x spread x (g-1)/65535
// more.
TEST(StageReference, RealTablesAgreeWithLittleCms) {
    int tables = 0;
    for (const std::string& path : RealProfilePaths()) {
        for (uint32_t direction = 0; direction < 2; ++direction) {
            ProfileLocation loc = FileLocationOf(path);
            Profile* p = nullptr;
            ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
            TransformStage s;
            ClearStage(&s);
            cmsHPROFILE h = nullptr;
            cmsPipeline* pipe = nullptr;
            if (BuildStage(&s, p, direction, 0) == 0 && s.kind == kStageLookupTable) {
                h = cmsOpenProfileFromFile(path.c_str(), "r");
                if (h) pipe = static_cast<cmsPipeline*>(cmsReadTag(h, direction ? cmsSigBToA0Tag : cmsSigAToB0Tag));
            }
            if (!pipe) {
                if (h) cmsCloseProfile(h);
                ReleaseStageTables(&s);
                TntCloseProfile(p);
                continue;
            }
            SCOPED_TRACE(path + (direction ? " B2A0" : " A2B0"));
            const LutStageData& d = s.data.lut;
            // Little CMS's stages: [matrix] input curves, grid, output curves.
            LcmsPart inputCurves, core, outputCurves;
            cmsStage* matrix = nullptr;
            for (cmsStage* st = cmsPipelineGetPtrToFirstStage(pipe); st; st = cmsStageNext(st)) {
                if (cmsStageType(st) == cmsSigMatrixElemType) matrix = st;
                if (cmsStageType(st) == cmsSigCLutElemType) {
                    core = Alone(st);
                    if (matrix) cmsPipelineInsertStage(core.pipeline, cmsAT_BEGIN, cmsStageDup(matrix));
                }
                if (cmsStageType(st) == cmsSigCurveSetElemType)
                    (core.pipeline ? outputCurves : inputCurves) = Alone(st);
            }
            ASSERT_TRUE(core.pipeline && inputCurves.pipeline && outputCurves.pipeline);
            ASSERT_EQ(matrix != nullptr, d.useMatrix != 0);
            const int inputs = d.inputChannels, outputs = d.outputChannels, g = d.gridPoints[0];

            // One colour through one part; false after the first disagreement.
            using Tolerance = std::array<double, 8>;
            auto compare = [&](const LcmsPart& part, uint16_t flags, const uint16_t* in, int channels,
                               const Tolerance& tolerance) {
                uint32_t from, to;
                StageSpaces(&s, flags, &from, &to);
                if (from == kLab && in[0] >= 65280) return true;  // we read such L as 100
                WorkColor ours{};
                std::copy(in, in + 8, ours.channel);
                uint16_t theirs[16] = {};
                part.Eval(in, theirs);
                EXPECT_EQ(ApplyStage(&s, &ours, &ours, flags), 0);
                for (int k = 0; k < channels; ++k) {
                    double expect = theirs[k];
                    // We write Lab from 8-bit tables on the 65280 scale and cap L there.
                    if (to == kLab && !d.sixteenBit && k < 3) expect = std::floor(expect * 65280.0 / 65535.0);
                    if (to == kLab && k == 0) expect = std::min(expect, 65280.0);
                    if (std::fabs(ours.channel[k] - expect) > tolerance[k]) {
                        ADD_FAILURE() << "flags " << flags << ", output " << k << ": ours " << ours.channel[k]
                                      << ", Little CMS " << expect << ", tolerance " << tolerance[k];
                        return false;
                    }
                }
                return true;
            };
            auto gridTolerance = [&](const uint16_t* in) {
                Tolerance t{};
                if (!d.useMatrix) {
                    for (int k = 0; k < outputs; ++k) t[k] = InterpolationBound(d, in, k) + 2.0;
                    return t;
                }
                // The bound is taken where the matrix sends the colour.
                uint16_t moved[8] = {};
                for (int r = 0; r < 3; ++r) {
                    double v = 0;
                    for (int c = 0; c < 3; ++c) v += d.matrix[3 * r + c] * in[c] / 65535.0;
                    moved[r] = uint16_t(std::lround(std::clamp(v, 0.0, 1.0) * 65535));
                }
                for (int k = 0; k < outputs; ++k)
                    t[k] = InterpolationBound(d, moved, k) + 2.0 + 3 * CellSpread(d, moved, k) * (g - 1) / 65535.0;
                return t;
            };
            Tolerance one;
            one.fill(1.0);

            // Grid nodes, all of them when there are not too many.
            uint64_t nodes = 1;
            for (int j = 0; j < inputs; ++j) nodes *= g;
            const uint64_t step = nodes > 20000 ? nodes / 20000 + 1 : 1;
            for (uint64_t n = 0; n < nodes; n += step) {
                uint16_t in[8] = {};
                uint64_t rest = n;
                for (int j = inputs - 1; j >= 0; --j) {
                    in[j] = uint16_t(std::lround((rest % g) * 65535.0 / (g - 1)));
                    rest /= g;
                }
                if (!compare(core, kPassCore, in, outputs, gridTolerance(in))) break;
            }
            // Inside cells, and the curves on their own.
            uint32_t seed = 2024;
            for (int n = 0; n < 3000; ++n) {
                uint16_t in[8];
                for (int j = 0; j < 8; ++j) {
                    seed = seed * 1664525u + 1013904223u;
                    in[j] = uint16_t(seed >> 16);
                }
                if (!compare(core, kPassCore, in, outputs, gridTolerance(in))) break;
                if (!d.useMatrix && !compare(inputCurves, kPassInputCurves, in, inputs, one)) break;
                if (!compare(outputCurves, kPassOutputCurves, in, outputs, one)) break;
            }
            cmsPipelineFree(inputCurves.pipeline);
            cmsPipelineFree(core.pipeline);
            cmsPipelineFree(outputCurves.pipeline);
            cmsCloseProfile(h);
            ReleaseStageTables(&s);
            TntCloseProfile(p);
            ++tables;
        }
    }
    EXPECT_GE(tables, 15);
}

