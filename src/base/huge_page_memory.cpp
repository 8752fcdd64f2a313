#include "base/huge_page_memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace orvane {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

bool wantsHugePages(std::size_t bytes) { return bytes >= kHugePage; }

}  // namespace

void* allocateHugePageBacked(std::size_t bytes) {
    if (!wantsHugePages(bytes)) return ::operator new(bytes);
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (!block) throw std::bad_alloc();
    // Only advice: where huge pages are off or scarce the block simply gets ordinary pages.
    madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

void freeHugePageBacked(void* block, std::size_t bytes) noexcept {
    if (!wantsHugePages(bytes)) {
        ::operator delete(block);
        return;
    }
    std::free(block);
}

}  // namespace orvane
