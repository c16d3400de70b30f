#pragma once

#include <cstddef>
#include <new>

namespace tarnwick {

// Storage for the separately created parts of the relay-built memory.
//
// The memory creates 740,351 small objects. Through the general-purpose heap
// each 9-byte cell would take a 32-byte block and the tree about 31 MB,
// three times its contents; every step walks all of it. The pool instead
// hands out consecutive, tightly packed pieces of large chunks, in creation
// order, so that a step walks memory front to back.
//
// Every part is still created and released on its own: a chunk is returned
// to the heap once every part in it has been released and the chunk is no
// longer the one the creating thread fills. A failure to obtain a chunk
// throws std::bad_alloc from the part's creation.
class PartPool {
public:
    static void* allocate(std::size_t size, std::size_t alignment);
    static void release(void* part) noexcept;

    // Stops filling the calling thread's current chunk, so that it is
    // returned to the heap as soon as its parts are. Called when a memory has
    // been built, or has failed to build; nothing needs to call it otherwise.
    static void closeChunk() noexcept;

    // The largest part the pool takes.
    static constexpr std::size_t maxPartSize = 1024;
};

// Gives a part type class-specific new and delete that use the pool. An
// empty base: the part keeps exactly the size of its relays and pointers.
template <class Part>
class PooledPart {
public:
    static void* operator new(std::size_t size) {
        static_assert(sizeof(Part) <= PartPool::maxPartSize);
        return PartPool::allocate(size, alignof(Part));
    }
    static void operator delete(void* part) noexcept { PartPool::release(part); }
};

}  // namespace tarnwick
