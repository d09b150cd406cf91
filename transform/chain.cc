#include <cstring>

#include "colour/convert.h"
#include "colour/spaces.h"
#include "platform/memory.h"
#include "profile/elements.h"
#include "transform/transform.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

constexpr uint16_t kOwnIntent = 0xFFFF;

bool Independent(uint32_t space) { return IsConvertibleSpace(space); }

void MakeConversionStage(TransformStage* stage, uint32_t from, uint32_t to) {
    ClearStage(stage);
    stage->kind = kStageSpaceConversion;
    stage->data.conversion.fromSpace = from;
    stage->data.conversion.toSpace = to;
}

// Steps through the profiles, choosing for each the direction it runs in
// and its intent, and builds one stage per step. A profile entered in
// reverse (PCS to device) stays current, so that when more follows it is
// run forward again, back into its PCS.
TntStatus BuildChain(MatchTransform* t, uint32_t srcSpace, uint32_t dstSpace, int count, Profile** profiles,
                     const uint16_t* intents, int* stagesBuilt, uint32_t* finalSpace) {
    uint32_t cur = 0;
    int n = 0, i = 0, k = 0;
    Profile* p = nullptr;
    uint16_t cand = intents ? intents[0] : kOwnIntent;
    uint16_t use = cand;
    TntStatus st = TNT_OK;

    if (Independent(srcSpace)) {
        MakeConversionStage(&t->stages[0], srcSpace, kLab);
        t->sourceSpace = srcSpace;
        cur = kLab;
        n = 1;
    }
    for (;;) {
        if (i < count && (!p || Independent(cur))) {
            p = profiles[i];
            if (i == 0 && Independent(srcSpace) && !Independent(GetProfileColorSpace(p))) k = 1;
            // The last profile never reads its own entry: it runs with the
            // intent of the step before it.
            if (intents && i + 1 < count) cand = intents[k + i];
            if (cand == kOwnIntent) cand = GetProfileIntent(p);
            if (i == 0 || i == count - 1) {
                uint32_t callerSpace = n == 0 ? srcSpace : dstSpace;
                if (callerSpace && !Independent(callerSpace) && !Independent(GetProfileColorSpace(p)))
                    SetProfileColorSpace(p, callerSpace);
            }
            ++i;
        }
        if (st) break;
        if (!p) {
            // A device link used up the last profile, and the destination
            // still wants a connection space no profile remains to reach.
            if (i >= count) {
                st = TNT_ERR_UNSUPPORTED_SPACE;
                break;
            }
            continue;
        }
        uint32_t cls = GetProfileClass(p), cs = GetProfileColorSpace(p), pcs = GetProfilePCS(p);
        if (cur == 0) cur = cs;
        if (t->sourceSpace == 0) t->sourceSpace = cur;

        uint32_t dir, next;
        if (Independent(cur)) {
            if (cls == kAbstract) {
                dir = 0;
                next = pcs;
            } else if (cls == kColorSpaceClass && i <= 1 && Independent(cs)) {
                dir = 0;
                next = pcs;
            } else {
                dir = 1;
                next = cs;
            }
        } else if (cur == cs) {
            dir = 0;
            next = pcs;
        } else {
            st = TNT_ERR_CHAIN_MISMATCH;
            break;
        }
        if (use == kOwnIntent || dir == 0) use = cand;

        if (n >= kMaxStages) {
            st = TNT_ERR_TOO_MANY_STAGES;
            break;
        }
        st = BuildStage(&t->stages[n], p, dir, use);
        ++n;
        cur = next;
        if (!Independent(pcs)) p = nullptr;  // a device link is used up

        if (i >= count) {
            if (!dstSpace) break;
            if (dstSpace != cur && !Independent(dstSpace)) st = TNT_ERR_UNSUPPORTED_SPACE;
            if (Independent(cur) == Independent(dstSpace)) break;
        }
        if (st) break;
    }
    if (!st && Independent(dstSpace) && Independent(cur)) {
        if (n >= kMaxStages) {
            st = TNT_ERR_TOO_MANY_STAGES;
        } else {
            MakeConversionStage(&t->stages[n++], cur, dstSpace);
            cur = dstSpace;
        }
    }
    *stagesBuilt = n;
    *finalSpace = cur;
    return st;
}

}  // namespace

void ReleaseStages(MatchTransform* t) {
    // A profile may run in several stages (in reverse, then forward again);
    // it is closed once.
    Profile* closed[kMaxStages] = {};
    int closedCount = 0;
    for (int s = 0; s < t->stageCount && s < kMaxStages; ++s) {
        TransformStage* stage = &t->stages[s];
        ReleaseStageTables(stage);
        Profile* p = stage->profile;
        stage->profile = nullptr;
        if (!p || t->profilesBorrowed) continue;
        bool done = false;
        for (int c = 0; c < closedCount; ++c) done |= closed[c] == p;
        if (done) continue;
        TntCloseProfile(p);
        closed[closedCount++] = p;
    }
}

bool HasManipulation(const MatchTransform* t) { return t && t->manipulation; }

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API MatchTransform* TNT_CALL TntNewTransformPtr(void) {
    auto* t = static_cast<MatchTransform*>(AllocBlock(sizeof(MatchTransform)));
    if (!t) return nullptr;
    std::memset(t, 0, sizeof *t);
    for (TransformStage& stage : t->stages) ClearStage(&stage);
    return t;
}

extern "C" TNT_API TntStatus TNT_CALL TntDisposeMatchTransform(MatchTransform* t) {
    if (!t) return TNT_ERR_NULL_ARGUMENT;
    if (t->dispose) t->dispose(t->userData);
    ReleaseStages(t);
    FreeBlock(t);
    return TNT_OK;
}

extern "C" TNT_API TntStatus TNT_CALL TntConcatProfileRefs(MatchTransform* t, TntSignature srcSpace,
                                                           TntSignature dstSpace, int16_t count, Profile** profiles,
                                                           const uint16_t* intents) {
    if (!t) return TNT_ERR_NULL_PARAMETER;
    // An empty chain has nothing to run; a missing profile cannot be run.
    if (count < 1 || !profiles) return TNT_ERR_NULL_PARAMETER;
    for (int i = 0; i < count; ++i)
        if (!profiles[i]) return TNT_ERR_NULL_PARAMETER;
    t->profilesBorrowed = 1;
    t->sourceSpace = 0;
    int n = 0;
    uint32_t cur = 0;
    TntStatus st = BuildChain(t, srcSpace, dstSpace, count, profiles, intents, &n, &cur);
    t->destinationSpace = cur;
    t->stageCount = static_cast<int16_t>(n);
    if (st) ReleaseStages(t);
    return st;
}

extern "C" TNT_API TntStatus TNT_CALL TntConcatProfiles(MatchTransform* t, TntSignature srcSpace,
                                                        TntSignature dstSpace, int16_t count,
                                                        const ProfileLocation* locations, const uint16_t* intents) {
    if (!t) return TNT_ERR_NULL_PARAMETER;
    if (count < 1 || !locations) return TNT_ERR_NULL_PARAMETER;
    auto** profiles = static_cast<Profile**>(AllocBlock(sizeof(Profile*) * count));
    if (!profiles) return TNT_ERR_NO_MEMORY;
    TntStatus st = TNT_OK;
    int opened = 0;
    for (; opened < count; ++opened) {
        st = TntOpenProfile(&profiles[opened], &locations[opened]);
        if (st) break;
    }
    if (!st) st = TntConcatProfileRefs(t, srcSpace, dstSpace, count, profiles, intents);
    if (!st) {
        t->profilesBorrowed = 0;
    } else {
        for (int i = 0; i < opened; ++i) TntCloseProfile(profiles[i]);
    }
    FreeBlock(profiles);
    return st;
}

extern "C" TNT_API void TNT_CALL TntUseColorManipulation(MatchTransform* t, ColorManipulationProc proc,
                                                         ColorManipulationDispose dispose, uintptr_t userData) {
    if (!t) return;
    t->manipulation = proc;
    t->dispose = dispose;
    t->userData = userData;
}

extern "C" TNT_API TntSignature TNT_CALL TntTransGetSrcSpace(MatchTransform* t) { return t ? t->sourceSpace : 0; }

extern "C" TNT_API TntSignature TNT_CALL TntTransGetDstSpace(MatchTransform* t) {
    return t ? t->destinationSpace : 0;
}
