// Memory helpers. Every block the library allocates comes from AllocBlock
// and goes back through FreeBlock, so tests can count blocks and make any
// single allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tnt {

// A fixed block of `size` bytes, not zero-filled; null when refused.
void* AllocBlock(size_t size);
// Frees a block from AllocBlock; null is ignored.
void FreeBlock(void* block);
// Copies `count` bytes; the source comes first.
void CopyBytes(const void* source, void* target, size_t count);

// Movable blocks named by handle (Windows global memory; emulated on other
// systems). LockHandle gives the block's address, or null for a null,
// unknown or freed handle. UnlockHandleFully drops every lock held.
void* LockHandle(void* handle);
void UnlockHandleFully(void* handle);

// The calls a host uses to make movable blocks; on Windows these are
// GlobalAlloc(GMEM_MOVEABLE) and GlobalFree. Null when refused.
void* AllocMovableBlock(size_t size);
void FreeMovableBlock(void* handle);
// The lock count of a movable block (the low byte of GlobalFlags); 0 for an
// unknown handle.
uint32_t HandleLockCount(void* handle);

// Test switches. FailAllocationAt(k) makes the k-th AllocBlock call from now
// on fail (k = 1 is the next call); 0 turns failures off. AllocationCalls
// counts AllocBlock calls since the last FailAllocationAt; LiveBlockCount is
// the number of blocks allocated and not yet freed.
void FailAllocationAt(uint64_t k);
uint64_t AllocationCalls();
int64_t LiveBlockCount();

}  // namespace tnt
