#include "memory/PartPool.h"

#include <atomic>
#include <cstdint>

namespace tarnwick {

namespace {

// Chunks are aligned to their size, so a part finds its chunk's header by
// masking its own address.
constexpr std::size_t kChunkBytes = std::size_t{1} << 18;

// The header's reference count starts at kFilling for as long as a thread
// fills the chunk; each release takes one off. When the thread closes the
// chunk it takes off kFilling less the number of parts it handed out, which
// leaves exactly the number of parts still alive.
constexpr std::size_t kFilling = std::size_t{1} << 40;

struct ChunkHeader {
    std::atomic<std::size_t> references{kFilling};
};

static_assert(sizeof(ChunkHeader) <= 64);
constexpr std::size_t kFirstPart = 64;

void dropReferences(ChunkHeader* chunk, std::size_t count) noexcept {
    // acq_rel: whoever frees the chunk sees every other thread's last use.
    if (chunk->references.fetch_sub(count, std::memory_order_acq_rel) == count) {
        chunk->~ChunkHeader();
        ::operator delete (static_cast<void*>(chunk), std::align_val_t{kChunkBytes});
    }
}

// The chunk the calling thread is filling.
struct FillingChunk {
    ChunkHeader* chunk = nullptr;
    std::uintptr_t next = 0;
    std::uintptr_t end = 0;
    std::size_t handedOut = 0;

    void close() noexcept {
        if (chunk == nullptr) return;
        ChunkHeader* closing = chunk;
        chunk = nullptr;
        next = end = 0;
        dropReferences(closing, kFilling - handedOut);
    }
    ~FillingChunk() { close(); }
};

thread_local FillingChunk filling;

std::uintptr_t alignUp(std::uintptr_t address, std::size_t alignment) {
    return (address + alignment - 1) & ~(static_cast<std::uintptr_t>(alignment) - 1);
}

}  // namespace

void* PartPool::allocate(std::size_t size, std::size_t alignment) {
    std::uintptr_t part = alignUp(filling.next, alignment);
    if (filling.chunk == nullptr || part + size > filling.end) {
        // Obtain the new chunk before closing the old one: if that fails,
        // nothing has changed.
        void* raw = ::operator new (kChunkBytes, std::align_val_t{kChunkBytes});
        filling.close();
        filling.chunk = new (raw) ChunkHeader;
        filling.next = reinterpret_cast<std::uintptr_t>(raw) + kFirstPart;
        filling.end = reinterpret_cast<std::uintptr_t>(raw) + kChunkBytes;
        filling.handedOut = 0;
        part = alignUp(filling.next, alignment);
    }
    filling.next = part + size;
    ++filling.handedOut;
    return reinterpret_cast<void*>(part);
}

void PartPool::release(void* part) noexcept {
    if (part == nullptr) return;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(part);
    dropReferences(reinterpret_cast<ChunkHeader*>(address & ~(kChunkBytes - 1)), 1);
}

void PartPool::closeChunk() noexcept { filling.close(); }

}  // namespace tarnwick
