// Black preservation: a CMYK colour whose black reaches the threshold
// travels through the chain without it, and gets its own black back at the
// end, so that pure black text stays pure black.
#include <cstring>

#include "platform/memory.h"
#include "tintwell.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

struct PreserveBlackState {
    int32_t threshold;
    uint32_t sourceSpace;
    uint16_t savedColor[8];
    uint32_t blackRemoved;  // this colour's black was taken out before stage 0
};

uint32_t TNT_CALL PreserveBlack(uint16_t index, uint16_t count, uint32_t space, uint16_t* color,
                                uintptr_t userData) {
    auto* state = reinterpret_cast<PreserveBlackState*>(userData);
    if (!state || state->threshold < 0 || state->threshold > 65535) return 0;
    if (index == 0) {
        state->sourceSpace = space;
        state->blackRemoved = 0;
        if (space == kCMYK && color[3] >= state->threshold) {
            std::memcpy(state->savedColor, color, sizeof state->savedColor);
            color[3] = 0;
            state->blackRemoved = 1;
        }
    } else if (index == count && space == kCMYK && state->sourceSpace == kCMYK && state->blackRemoved) {
        color[3] = state->savedColor[3];
    }
    return 0;
}

uint32_t TNT_CALL FreePreserveBlackState(uintptr_t userData) {
    FreeBlock(reinterpret_cast<void*>(userData));
    return 0;
}

}  // namespace

}  // namespace tnt

extern "C" TNT_API TntStatus TNT_CALL TntSetPreserveBlack(MatchTransform* transform, const double* parameters) {
    using namespace tnt;
    if (!transform || !parameters) return TNT_OK;
    auto* state = static_cast<PreserveBlackState*>(AllocBlock(sizeof(PreserveBlackState)));
    if (!state) {
        TntUseColorManipulation(transform, nullptr, nullptr, 0);
        return TNT_OK;
    }
    std::memset(state, 0, sizeof *state);
    double threshold = parameters[1] * 655.35;
    // Out-of-range thresholds make the hook a no-op; keep them out of range
    // rather than let the conversion to int overflow.
    state->threshold = threshold < -1.0 ? -1 : threshold > 65536.0 ? 65536 : static_cast<int32_t>(threshold);
    TntUseColorManipulation(transform, PreserveBlack, FreePreserveBlackState, reinterpret_cast<uintptr_t>(state));
    return TNT_OK;
}
