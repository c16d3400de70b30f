// The global allocator for tests that make allocations fail (see
// FailingAllocator.h).

#include "tests/support/FailingAllocator.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> countdown{0};
std::atomic<long> made{0};
std::atomic<long> live{0};

void countOrFail() {
    long left = countdown.load(std::memory_order_relaxed);
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
    }
    if (left == 1) throw std::bad_alloc();
}

void counted() {
    made.fetch_add(1, std::memory_order_relaxed);
    live.fetch_add(1, std::memory_order_relaxed);
}

void* allocate(std::size_t size) {
    countOrFail();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    counted();
    return p;
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    countOrFail();
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded);
    if (!p) throw std::bad_alloc();
    counted();
    return p;
}

void release(void* p) noexcept {
    if (p == nullptr) return;
    live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

namespace tarnwick::testing {

void failAllocation(long n) {
    made.store(0);
    live.store(0);
    countdown.store(n);
}

long allocationsSinceArmed() { return made.load(); }
long liveSinceArmed() { return live.load(); }

}  // namespace tarnwick::testing

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
