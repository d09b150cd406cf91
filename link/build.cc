// Sampling a transform into a device link: input curves, a regular grid,
// output curves.
#include <cstring>
#include <initializer_list>

#include "colour/controls.h"
#include "colour/encoding.h"
#include "colour/power.h"
#include "colour/spaces.h"
#include "link/build.h"
#include "link/table.h"
#include "platform/memory.h"
#include "profile/signatures.h"
#include "stage/lut.h"
#include "transform/match.h"
#include "transform/transform.h"

namespace tnt {

namespace {

constexpr uint32_t kUnknownSpace = 0x7FFFFFFFu;

// Off only while tests compare the direct fills with colour-by-colour
// sampling.
bool directSampling = true;

uint32_t GridPointsFor(uint32_t quality, int sourceChannels) {
    static const uint32_t kFixed[5] = {3, 5, 9, 17, 33};
    if (quality < 5) return kFixed[quality];
    // Higher qualities spend their points where they pay: fine grids for
    // three channels, coarser ones as the dimension grows.
    static const uint32_t kBySource[3][4] = {{3, 9, 5, 3}, {5, 17, 9, 5}, {5, 33, 17, 5}};
    int column = sourceChannels <= 0 ? 0 : sourceChannels <= 3 ? 1 : sourceChannels == 4 ? 2 : 3;
    return kBySource[quality - 5][column];
}

// Allocates a table's three buffers. The grid's size is checked before
// anything is allocated, so that many channels cannot wrap it.
TntStatus CreateTable(uint32_t n, uint32_t precision, int in, int out, LinkTable** result) {
    uint64_t nodes = 1;
    for (int d = 0; d < in; ++d) nodes *= n;
    uint64_t gridBytes = nodes * uint64_t(out) * 2;
    if (gridBytes > 0xFFFFFFFFull) return TNT_ERR_NO_MEMORY;
    auto* table = static_cast<LinkTable*>(AllocBlock(sizeof(LinkTable)));
    if (!table) return TNT_ERR_NO_MEMORY;
    InitLinkTable(table, n, precision, in, out);
    table->inputCurves = static_cast<uint16_t*>(AllocBlock(size_t(in) * table->inputCurveLength * 2));
    if (table->inputCurves) table->outputCurves = AllocBlock(size_t(65536) * precision * out);
    if (table->outputCurves) table->grid = static_cast<uint16_t*>(AllocBlock(size_t(gridBytes)));
    if (!table->grid) {
        ReleaseLinkTable(table);
        return TNT_ERR_NO_MEMORY;
    }
    *result = table;
    return TNT_OK;
}

// Whether a one-step curve plan (input curves of the first stage, output
// curves of the last) works channel by channel on the link's channels, with
// no join or white scaling around it: matrix and gray stages pass the codes
// through under such a pass, a table stage runs each channel's own curve.
bool CurvePassPerChannel(const MatchPlan& plan, int channels) {
    if (plan.count != 1 || plan.sourceChannels != channels) return false;
    const StepPlan& step = plan.steps[0];
    const TransformStage* stage = step.stage;
    if (stage->kind == kStageSpaceConversion || !stage->profile) return false;
    if (step.passFlags != kPassInputCurves && step.passFlags != kPassOutputCurves) return false;
    if (step.refusal || step.scaleIn || step.scaleOut) return false;
    if (step.before != step.inSpace || step.inSpace != step.outSpace || step.after != step.outSpace) return false;
    if (step.inChannels != channels || step.outChannels != channels) return false;
    switch (stage->kind) {
        case kStageMatrixForward:
        case kStageMatrixReverse:
        case kStageGrayForward:
        case kStageGrayReverse:
            return true;
        case kStageLookupTable: {
            const LutStageData& lut = stage->data.lut;
            return (step.passFlags == kPassInputCurves ? lut.inputChannels : lut.outputChannels) == channels;
        }
        default:
            return false;
    }
}

// Channel c of a per-channel curve pass for the codes first, first + step,
// ...: what the plan's single step makes of them.
void CurvePassCodes(const StepPlan& step, uint32_t c, uint32_t first, uint32_t stride, uint32_t count,
                    uint16_t* codes) {
    if (step.stage->kind == kStageLookupTable) {
        LutCurvePass(&step.stage->data.lut, step.outSpace, c, step.passFlags, first, stride, count, codes);
    } else {
        for (uint32_t i = 0; i < count; ++i) codes[i] = uint16_t(first + i * stride);
    }
}

TntStatus SampleInputCurves(LinkTable* table, MatchTransform* t) {
    int in = table->inputChannels;
    uint32_t length = table->inputCurveLength;
    uint16_t work[kWorkChannels];
    MatchPlan plan;
    TntStatus planned = PlanMatch(t, MatchKind::kInputCurves, &plan);
    if (planned) return planned;
    if (directSampling && CurvePassPerChannel(plan, in)) {
        // 8-bit samples unpack as i x 257 (i x 256 in 'Lab ').
        const uint32_t stride = length == 256 ? (plan.sourceSpace == kLab ? 256 : 257) : 1;
        for (int c = 0; c < in; ++c)
            CurvePassCodes(plan.steps[0], uint32_t(c), 0, stride, length, table->inputCurves + size_t(c) * length);
        table->hasInputCurves = 1;
        return TNT_OK;
    }
    for (uint32_t i = 0; i < length; ++i) {
        TntStatus st;
        if (length == 256) {
            uint8_t sample[kWorkChannels];
            std::memset(sample, int(i), sizeof sample);
            st = MatchPlanned(&plan, sample, work, 1, 2);
        } else {
            for (uint16_t& w : work) w = uint16_t(i);
            st = MatchPlanned(&plan, work, work, 2, 2);
        }
        if (st) return st;
        for (int c = 0; c < in; ++c) table->inputCurves[c * length + i] = work[c];
    }
    table->hasInputCurves = 1;
    return TNT_OK;
}

// The output curves of a per-channel pass, filled channel by channel; an
// 8-bit link packs each code as PackColor would.
void FillOutputCurvesPerChannel(LinkTable* table, const StepPlan& step) {
    constexpr uint32_t kChunk = 4096;
    uint16_t codes[kChunk];
    for (int c = 0; c < table->outputChannels; ++c) {
        auto* bytes = static_cast<uint8_t*>(table->outputCurves) + size_t(c) * 65536;
        auto* words = static_cast<uint16_t*>(table->outputCurves) + size_t(c) * 65536;
        // Only a and b of 'Lab ' round; every other channel keeps the high byte.
        const bool highByte = !(step.after == kLab && (c == 1 || c == 2));
        if (highByte && table->precision == 1 && step.stage->kind != kStageLookupTable) {
            // The codes pass through: each byte value covers 256 codes.
            for (uint32_t high = 0; high < 256; ++high) std::memset(bytes + high * 256, int(high), 256);
            continue;
        }
        for (uint32_t first = 0; first < 65536; first += kChunk) {
            if (table->precision != 1) {
                CurvePassCodes(step, uint32_t(c), first, 1, kChunk, words + first);
                continue;
            }
            CurvePassCodes(step, uint32_t(c), first, 1, kChunk, codes);
            for (uint32_t i = 0; i < kChunk; ++i)
                bytes[first + i] = highByte ? uint8_t(codes[i] >> 8) : PackChannel8(step.after, uint16_t(c), codes[i]);
        }
    }
}

TntStatus SampleOutputCurves(LinkTable* table, MatchTransform* t) {
    int out = table->outputChannels;
    MatchPlan plan;
    TntStatus planned = PlanMatch(t, MatchKind::kOutputCurves, &plan);
    if (planned) return planned;
    if (directSampling && CurvePassPerChannel(plan, out)) {
        FillOutputCurvesPerChannel(table, plan.steps[0]);
        table->hasOutputCurves = 1;
        return TNT_OK;
    }
    for (uint32_t i = 0; i < 65536; ++i) {
        uint16_t work[kWorkChannels];
        for (uint16_t& w : work) w = uint16_t(i);
        TntStatus st;
        if (table->precision == 1) {
            uint8_t result[kWorkChannels];
            st = MatchPlanned(&plan, work, result, 2, 1);
            if (st) return st;
            auto* curves = static_cast<uint8_t*>(table->outputCurves);
            for (int c = 0; c < out; ++c) curves[c * 65536 + i] = result[c];
        } else {
            st = MatchPlanned(&plan, work, work, 2, 2);
            if (st) return st;
            auto* curves = static_cast<uint16_t*>(table->outputCurves);
            for (int c = 0; c < out; ++c) curves[c * 65536 + i] = work[c];
        }
    }
    table->hasOutputCurves = 1;
    return TNT_OK;
}

// A first step that is the core of a matrix-forward stage on the very
// colour unpacked: no join, no white scaling, no hook around it.
bool FirstStepIsPlainMatrixForward(const MatchPlan& plan) {
    if (plan.count < 1 || plan.sourceChannels != 3) return false;
    if (plan.manipulate && plan.transform->manipulation) return false;
    const StepPlan& step = plan.steps[0];
    const TransformStage* stage = step.stage;
    return stage->kind == kStageMatrixForward && stage->profile && (step.passFlags & kPassCore) && !step.refusal &&
           !step.scaleIn && !step.scaleOut && step.before == step.inSpace && step.inChannels == 3 &&
           step.outChannels == 3;
}

// A chain of just a plain matrix-forward stage and a matrix-reverse core
// with nothing between or after them: RGB to RGB between two matrix
// profiles.
bool MatrixToMatrix(const MatchPlan& plan, const LinkTable* table) {
    if (plan.count != 2 || table->inputChannels != 3 || table->outputChannels != 3) return false;
    if (!FirstStepIsPlainMatrixForward(plan)) return false;
    const StepPlan& step = plan.steps[1];
    const TransformStage* stage = step.stage;
    return stage->kind == kStageMatrixReverse && stage->profile && (step.passFlags & kPassCore) && !step.refusal &&
           !step.scaleIn && !step.scaleOut && step.before == step.inSpace && step.inChannels == 3 &&
           step.outChannels == 3;
}

// The grid of MatrixToMatrix chains row by row along the last channel.
void SampleMatrixGrid(LinkTable* table, const MatchPlan& plan, const double curves[3][kLinkMaxGridPoints]) {
    const uint32_t n = table->gridPoints;
    const MatrixStageData* forward = &plan.steps[0].stage->data.matrix;
    const MatrixStageData* reverse = &plan.steps[1].stage->data.matrix;
    uint16_t xyz[3 * kLinkMaxGridPoints];
    uint16_t* node = table->grid;
    for (uint32_t d0 = 0; d0 < n; ++d0)
        for (uint32_t d1 = 0; d1 < n; ++d1) {
            const double first[2] = {curves[0][d0], curves[1][d1]};
            MatrixForwardRow(forward, first, curves[2], n, xyz);
            MatrixReverseRow(reverse, &plan.steps[1].inverse, xyz, n, node, 3);
            node += 3 * n;
        }
}

// A first step that is a table stage's core on the very colour unpacked,
// with each channel reaching the grid on its own (no matrix in front): no
// join, white scaling or hook around it, the table's channels those of the
// link's source and of the step's output space.
bool FirstStepIsPlainTable(const MatchPlan& plan, const LinkTable* table) {
    if (plan.count < 1 || plan.sourceChannels != table->inputChannels) return false;
    if (plan.manipulate && plan.transform->manipulation) return false;
    const StepPlan& step = plan.steps[0];
    const TransformStage* stage = step.stage;
    if (stage->kind != kStageLookupTable || !stage->profile || !(step.passFlags & kPassCore)) return false;
    if (step.refusal || step.scaleIn || step.scaleOut || step.before != step.inSpace) return false;
    const LutStageData& lut = stage->data.lut;
    return !lut.useMatrix && lut.inputChannels == step.inChannels && step.inChannels == plan.sourceChannels &&
           lut.outputChannels == step.outChannels;
}

// A chain whose second and last step is a matrix-reverse core reached from
// 'Lab ' or 'XYZ ' with no white scaling: a printer's table into a display
// profile.
bool TableThenMatrixReverse(const MatchPlan& plan, const LinkTable* table) {
    if (plan.count != 2 || table->outputChannels != 3 || plan.steps[0].outChannels != 3) return false;
    const StepPlan& step = plan.steps[1];
    const TransformStage* stage = step.stage;
    return stage->kind == kStageMatrixReverse && stage->profile && (step.passFlags & kPassCore) && !step.refusal &&
           !step.scaleIn && !step.scaleOut && step.inSpace == kXYZ && (step.before == kXYZ || step.before == kLab) &&
           step.inChannels == 3 && step.outChannels == 3;
}

// The grid of a chain that starts with FirstStepIsPlainTable, row by row
// along the last channel: the grid's inputs are found once per axis, each
// row is interpolated with what its shared channels give found once, and
// the steps after it run on each node's codes as they would have.
TntStatus SampleTableGrid(LinkTable* table, const MatchPlan& plan, const uint16_t* samples) {
    const int in = table->inputChannels, out = table->outputChannels;
    const uint32_t n = table->gridPoints;
    const StepPlan& first = plan.steps[0];
    const LutStageData* lut = &first.stage->data.lut;
    const uint32_t outputs = lut->outputChannels, channels = first.outChannels;
    double axis[kMaxLutChannels][kLinkMaxGridPoints];
    for (int d = 0; d < in; ++d)
        for (uint32_t r = 0; r < n; ++r)
            axis[d][r] = LutCoreInput(lut, first.inSpace, uint32_t(d), samples[r], first.passFlags);
    const bool matrixTail = TableThenMatrixReverse(plan, table);
    // The table's entries as doubles, once for all rows (unless the table
    // is far larger than any a profile needs); without them each row reads
    // the entries as they are stored, to the same values.
    constexpr uint32_t kMaxConvertedEntries = 1u << 20;
    auto* entries = lut->gridSize <= kMaxConvertedEntries
                        ? static_cast<double*>(AllocBlock(sizeof(double) * lut->gridSize))
                        : nullptr;
    if (entries) ConvertGridEntries(lut, entries);
    double values[kLinkMaxGridPoints * kMaxLutChannels];
    uint16_t codes[kLinkMaxGridPoints * kMaxLutChannels];
    uint32_t digits[kLinkMaxChannels] = {};
    uint16_t* node = table->grid;
    for (;;) {
        double fixed[kMaxLutChannels];
        for (int d = 0; d + 1 < in; ++d) fixed[d] = axis[d][digits[d]];
        InterpolateGridRow(lut, entries, fixed, axis[in - 1], n, values);
        for (uint32_t i = 0; i < n; ++i)
            LutOutputCodes(lut, first.outSpace, values + i * outputs, first.passFlags, codes + i * channels);
        if (matrixTail) {
            const StepPlan& last = plan.steps[1];
            if (last.before == kLab)
                for (uint32_t i = 0; i < n; ++i) ConvertLabToXyz16(codes + 3 * i);
            MatrixReverseRow(&last.stage->data.matrix, &last.inverse, codes, n, node, 3);
            node += 3 * n;
        } else {
            for (uint32_t i = 0; i < n; ++i) {
                // The working colour after the first step: its output
                // channels over the source codes.
                uint16_t work[kWorkChannels] = {}, result[kWorkChannels] = {};
                for (int d = 0; d + 1 < in; ++d) work[d] = samples[digits[d]];
                work[in - 1] = samples[i];
                std::memcpy(work, codes + i * channels, channels * sizeof(uint16_t));
                TntStatus st = MatchPlannedFrom(&plan, 1, work, result, 2);
                if (st) {
                    FreeBlock(entries);
                    return st;
                }
                std::memcpy(node, result, size_t(out) * 2);
                node += out;
            }
        }
        // Next row: the last input channel but one is the lowest digit.
        int d = in - 2;
        while (d >= 0 && ++digits[d] == n) digits[d--] = 0;
        if (d < 0) {
            FreeBlock(entries);
            return TNT_OK;
        }
    }
}

TntStatus SampleGrid(LinkTable* table, MatchTransform* t, bool wholeChain) {
    int in = table->inputChannels, out = table->outputChannels;
    uint32_t n = table->gridPoints;
    // The sample for every node index along one axis: 65535 r / (n - 1) to
    // the nearest integer.
    uint16_t samples[kLinkMaxGridPoints];
    for (uint32_t r = 0; r < n; ++r) samples[r] = uint16_t((r * 65535 + (n - 1) / 2) / (n - 1));
    // Spaces, channel counts and pass flags are found once for all nodes.
    MatchPlan plan;
    TntStatus planned = PlanMatch(t, wholeChain ? MatchKind::kSingle : MatchKind::kGrid, &plan);
    if (planned) return planned;
    // Powers met at every node (a gamma's inverse, the cube roots of 'Lab ')
    // are tabulated once; each node's codes stay what std::pow gives.
    PowerTable powers[4];
    CurveSearch searches[3];
    if (directSampling) {
        AttachPowerTables(&plan, powers, 4);
        AttachCurveSearches(&plan, searches, 3);
    }
    // A matrix-forward first stage meets each axis sample again and again;
    // its tone curves read one channel each, so their values are found once
    // per axis and each node only goes through the matrix.
    const bool curvesOnce = directSampling && in == 3 && FirstStepIsPlainMatrixForward(plan);
    double curves[3][kLinkMaxGridPoints];
    if (curvesOnce) {
        const MatrixStageData* matrix = &plan.steps[0].stage->data.matrix;
        for (int c = 0; c < 3; ++c)
            for (uint32_t r = 0; r < n; ++r) curves[c][r] = MatrixForwardCurve(matrix, c, samples[r]);
    }
    if (curvesOnce && MatrixToMatrix(plan, table)) {
        SampleMatrixGrid(table, plan, curves);
        return TNT_OK;
    }
    if (directSampling && FirstStepIsPlainTable(plan, table)) return SampleTableGrid(table, plan, samples);
    uint32_t digits[kLinkMaxChannels] = {};
    uint16_t* node = table->grid;
    for (;;) {
        uint16_t source[kWorkChannels] = {}, result[kWorkChannels] = {};
        for (int d = 0; d < in; ++d) source[d] = samples[digits[d]];
        TntStatus st;
        if (curvesOnce) {
            WorkColor colour;
            std::memcpy(colour.channel, source, sizeof source);
            const double values[3] = {curves[0][digits[0]], curves[1][digits[1]], curves[2][digits[2]]};
            MatrixForwardFromCurves(&plan.steps[0].stage->data.matrix, values, &colour, &colour);
            st = MatchPlannedFrom(&plan, 1, colour.channel, result, 2);
        } else {
            st = MatchPlanned(&plan, source, result, 2, 2);
        }
        if (st) return st;
        std::memcpy(node, result, size_t(out) * 2);
        node += out;
        // Next node: the last input channel is the lowest digit.
        int d = in - 1;
        while (d >= 0 && ++digits[d] == n) digits[d--] = 0;
        if (d < 0) return TNT_OK;
    }
}

TntStatus SampleTable(LinkTable* table, MatchTransform* t) {
    // A manipulation hook must see whole colours, so the whole chain goes
    // into the grid and the curves stay unused.
    bool wholeChain = HasManipulation(t);
    TntStatus st = TNT_OK;
    if (!wholeChain) st = SampleInputCurves(table, t);
    if (!st) st = SampleGrid(table, t, wholeChain);
    if (!st && !wholeChain) st = SampleOutputCurves(table, t);
    return st;
}

// Builds, samples and disposes of a transform; the builders below differ
// only in how the chain is built.
template <typename Concat>
TntStatus LinkFromNewTransform(Concat concat, bool install, ColorManipulationProc proc, uintptr_t userData,
                               uint32_t options, ProfLink** link) {
    if (link) *link = nullptr;
    MatchTransform* t = TntNewTransformPtr();
    if (!t) return TNT_ERR_NO_MEMORY;
    TntStatus st = concat(t);
    if (!st && install) TntUseColorManipulation(t, proc, nullptr, userData);
    if (!st) st = TntMatchTrans2Link(t, options, link);
    TntDisposeMatchTransform(t);
    return st;
}

}  // namespace

void UseDirectLinkSampling(bool direct) { directSampling = direct; }

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntMatchTrans2Link(MatchTransform* t, uint32_t options, ProfLink** link) {
    if (!link) return TNT_ERR_NULL_ARGUMENT;
    *link = nullptr;
    if (!t) return TNT_ERR_NULL_ARGUMENT;
    auto* handle = static_cast<ProfLink*>(AllocBlock(sizeof(ProfLink)));
    if (!handle) return TNT_ERR_NO_MEMORY;
    if (GetOptions(3, options) == 0) options = SetOptions(options, 3, 7);
    handle->table = nullptr;
    handle->sourceSpace = TntTransGetSrcSpace(t);
    handle->destinationSpace = TntTransGetDstSpace(t);
    int in = SpaceChannelCount(handle->sourceSpace), out = SpaceChannelCount(handle->destinationSpace);
    uint32_t precision = GetOptions(2, options) == 1 ? 2 : 1;
    uint32_t n = GridPointsFor(GetOptions(3, options), in);
    // Links are sampled through the eight-channel working colour.
    TntStatus st = (in > kWorkChannels || out > kWorkChannels) ? TNT_ERR_UNSUPPORTED_SPACE
                                                                : CreateTable(n, precision, in, out, &handle->table);
    if (!st) st = SampleTable(handle->table, t);
    // The fast routines' lookups are an optimisation: without them the link
    // converts through the plain routines, so a shortage here is not fatal.
    if (!st) PrepareLinkTable(handle->table);
    if (st) {
        TntDisposeProfLink(handle);
        return st;
    }
    *link = handle;
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntCreateMatchTransformation(MatchTransform* t, const char* sourcePath,
                                                                   const char* destinationPath,
                                                                   const char* middlePath, uint32_t options,
                                                                   uint32_t, uint32_t, uint32_t, uint32_t) {
    ProfileLocation locations[3];
    int16_t count = 0;
    for (const char* path : {sourcePath, middlePath, destinationPath}) {
        if (!path) continue;
        size_t length = std::strlen(path);
        // A path must fit the 1024-byte record with its NUL.
        if (length >= sizeof locations[0].path) return TNT_ERR_CANNOT_OPEN_PROFILE;
        std::memset(&locations[count], 0, sizeof locations[count]);
        std::memcpy(locations[count].path, path, length + 1);
        ++count;
    }
    uint16_t intents[3] = {uint16_t(GetOptions(0, options)), uint16_t(GetOptions(1, options)), 0xFFFF};
    TntStatus st = TntConcatProfiles(t, 0, 0, count, locations, intents);
    if (st) return st;
    uintptr_t userData = 0;
    ColorManipulationProc proc = ProcessColorManipulation(&userData);
    if (ColorControlsEnabled() && proc) TntUseColorManipulation(t, proc, nullptr, userData);
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntDeleteMatchTransformation(MatchTransform* t) {
    return TntDisposeMatchTransform(t);
}

extern "C" TNT_API TntStatus TNT_CALL TntNewProfLink(const char* sourcePath, const char* destinationPath,
                                                     const char* middlePath, uint32_t options, ProfLink** link) {
    return LinkFromNewTransform(
        [&](MatchTransform* t) {
            return TntCreateMatchTransformation(t, sourcePath, destinationPath, middlePath, options, 0, 0, 0, 0);
        },
        false, nullptr, 0, options, link);
}

extern "C" TNT_API TntStatus TNT_CALL TntBuildLink(TntSignature sourceSpace, TntSignature destinationSpace,
                                                   int16_t count, const ProfileLocation* locations,
                                                   const uint16_t* intents, uint32_t options,
                                                   ColorManipulationProc manipulation, uintptr_t userData,
                                                   ProfLink** link) {
    return LinkFromNewTransform(
        [&](MatchTransform* t) {
            return TntConcatProfiles(t, sourceSpace, destinationSpace, count, locations, intents);
        },
        true, manipulation, userData, options, link);
}

extern "C" TNT_API TntStatus TNT_CALL TntBuildLinkFromProfileRefs(TntSignature sourceSpace,
                                                                  TntSignature destinationSpace, int16_t count,
                                                                  Profile** profiles, const uint16_t* intents,
                                                                  uint32_t options,
                                                                  ColorManipulationProc manipulation,
                                                                  uintptr_t userData, ProfLink** link) {
    return LinkFromNewTransform(
        [&](MatchTransform* t) {
            return TntConcatProfileRefs(t, sourceSpace, destinationSpace, count, profiles, intents);
        },
        true, manipulation, userData, options, link);
}

extern "C" TNT_API TntStatus TNT_CALL TntProfiles2Link(TntSignature sourceSpace, TntSignature destinationSpace,
                                                       int16_t count, const ProfileLocation* locations,
                                                       const uint16_t* intents, uint32_t options,
                                                       ProfLink** link) {
    if (GetOptions(3, options) == 0) options = SetOptions(options, 3, 7);
    return TntBuildLink(sourceSpace, destinationSpace, count, locations, intents, options, nullptr, 0, link);
}

extern "C" TNT_API TntStatus TNT_CALL TntProfiles2LinkWithControls(TntSignature sourceSpace,
                                                                   TntSignature destinationSpace, int16_t count,
                                                                   const ProfileLocation* locations,
                                                                   const uint16_t* intents, uint32_t options,
                                                                   const int16_t* controls, ProfLink** link) {
    if (GetOptions(3, options) == 0) options = SetOptions(options, 3, 7);
    return LinkFromNewTransform(
        [&](MatchTransform* t) {
            return TntConcatProfiles(t, sourceSpace, destinationSpace, count, locations, intents);
        },
        controls != nullptr, LinkColorManipulation, reinterpret_cast<uintptr_t>(controls), options, link);
}

extern "C" TNT_API TntSignature TNT_CALL TntLinkSourceType(ProfLink* link) {
    return link ? link->sourceSpace : kUnknownSpace;
}

extern "C" TNT_API TntSignature TNT_CALL TntLinkDestType(ProfLink* link) {
    return link ? link->destinationSpace : kUnknownSpace;
}

extern "C" TNT_API TntStatus TNT_CALL TntDisposeProfLink(ProfLink* link) {
    if (!link) return TNT_OK;
    ReleaseLinkTable(link->table);
    FreeBlock(link);
    return TNT_OK;
}
