#include "platform/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tnt {

namespace {

// Allocation counters are atomics: links may be used from several threads,
// and a counter that tears would make the leak checks lie.
std::atomic<uint64_t> gCalls{0};
std::atomic<uint64_t> gFailAt{0};
std::atomic<int64_t> gLive{0};

}  // namespace

void FailAllocationAt(uint64_t k) {
    gCalls.store(0);
    gFailAt.store(k);
}

uint64_t AllocationCalls() { return gCalls.load(); }

int64_t LiveBlockCount() { return gLive.load(); }

void* AllocBlock(size_t size) {
    uint64_t call = gCalls.fetch_add(1) + 1;
    if (call == gFailAt.load()) return nullptr;
    // A zero-size tag still gets a distinct block, so that sharing by block
    // identity stays meaningful.
    if (size == 0) size = 1;
#if defined(_WIN32)
    void* block = GlobalAlloc(GMEM_FIXED, size);
#else
    void* block = std::malloc(size);
#endif
    if (block) gLive.fetch_add(1);
    return block;
}

void FreeBlock(void* block) {
    if (!block) return;
    gLive.fetch_sub(1);
#if defined(_WIN32)
    GlobalFree(block);
#else
    std::free(block);
#endif
}

void CopyBytes(const void* source, void* target, size_t count) {
    if (count) std::memmove(target, source, count);
}

#if defined(_WIN32)

void* LockHandle(void* handle) { return handle ? GlobalLock(handle) : nullptr; }

void UnlockHandleFully(void* handle) {
    if (!handle) return;
    UINT flags = GlobalFlags(handle);
    if (flags == GMEM_INVALID_HANDLE) return;
    for (UINT n = flags & GMEM_LOCKCOUNT; n > 0; --n) GlobalUnlock(handle);
}

void* AllocMovableBlock(size_t size) { return GlobalAlloc(GMEM_MOVEABLE, size ? size : 1); }

void FreeMovableBlock(void* handle) {
    if (handle) GlobalFree(handle);
}

uint32_t HandleLockCount(void* handle) {
    if (!handle) return 0;
    UINT flags = GlobalFlags(handle);
    return flags == GMEM_INVALID_HANDLE ? 0 : (flags & GMEM_LOCKCOUNT);
}

#else

// A small movable-block emulation: a handle is a slot number and a
// generation packed into a pointer-sized value, so a stale or invented
// handle is recognised instead of being dereferenced. Like the Windows
// functions, it is meant for the host's thread; it takes no locks.
namespace {

constexpr uint32_t kSlots = 4096;

struct MovableSlot {
    void* block;
    uint32_t generation;
    uint32_t locks;
    bool used;
};

MovableSlot gSlots[kSlots];

MovableSlot* SlotOf(void* handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    uint32_t slot = static_cast<uint32_t>(value & 0xFFFF);
    uint32_t generation = static_cast<uint32_t>((value >> 16) & 0x7FFF);
    if (slot == 0 || slot > kSlots) return nullptr;
    MovableSlot* s = &gSlots[slot - 1];
    if (!s->used || s->generation != generation) return nullptr;
    return s;
}

}  // namespace

void* LockHandle(void* handle) {
    MovableSlot* s = SlotOf(handle);
    if (!s) return nullptr;
    if (s->locks < 0xFF) ++s->locks;
    return s->block;
}

void UnlockHandleFully(void* handle) {
    MovableSlot* s = SlotOf(handle);
    if (s) s->locks = 0;
}

void* AllocMovableBlock(size_t size) {
    for (uint32_t i = 0; i < kSlots; ++i) {
        MovableSlot& s = gSlots[i];
        if (s.used) continue;
        void* block = std::malloc(size ? size : 1);
        if (!block) return nullptr;
        s.block = block;
        s.generation = (s.generation + 1) & 0x7FFF;
        if (s.generation == 0) s.generation = 1;
        s.locks = 0;
        s.used = true;
        uintptr_t value = (static_cast<uintptr_t>(s.generation) << 16) | (i + 1);
        return reinterpret_cast<void*>(value);
    }
    return nullptr;
}

void FreeMovableBlock(void* handle) {
    MovableSlot* s = SlotOf(handle);
    if (!s) return;
    std::free(s->block);
    s->block = nullptr;
    s->locks = 0;
    s->used = false;
}

uint32_t HandleLockCount(void* handle) {
    MovableSlot* s = SlotOf(handle);
    return s ? s->locks : 0;
}

#endif

}  // namespace tnt
